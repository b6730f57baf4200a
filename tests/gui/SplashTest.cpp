#include "gui/Splash.h"

#include "support/GuiTestSupport.h"

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
    EXPECT_TRUE(!splash.isVisible() && field.text().isEmpty());
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
    EXPECT_TRUE(CSplash::Wanted({"-f", "session.sdp"}) && !CSplash::Wanted({"-nologo"}) && !CSplash::Wanted({"/NOLOGO"}));
}

} // namespace
