#include "gui/Splash.h"

#include "support/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

namespace {

TEST(SplashTest, AKeyPressAnywhereClosesItAndGoesNoFurther)
{
    GuiApplication();
    QLineEdit field;
    field.show();
    CSplash splash(60000);
    splash.Start();
    ASSERT_TRUE(splash.isVisible());
    QTest::keyClick(&field, Qt::Key_A);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(field.text(), "");
    // Once it is gone, keys reach the window again.
    QTest::keyClick(&field, Qt::Key_B);
    EXPECT_EQ(field.text(), "b");
}

TEST(SplashTest, ClosesByItselfAndStaysAwayWhenAsked)
{
    GuiApplication();
    CSplash splash(50);
    splash.Start();
    ASSERT_TRUE(splash.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 2000));

    EXPECT_TRUE(CSplash::Wanted({"-f", "session.sdp"}));
    EXPECT_FALSE(CSplash::Wanted({"-nologo"}));
    EXPECT_FALSE(CSplash::Wanted({"/NOLOGO"}));
}

} // namespace
