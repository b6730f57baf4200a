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

// Closing by itself, after the window and before any message, is
// desktop_first_start.sh's.
TEST(SplashTest, StaysAwayWhenAsked)
{
    EXPECT_TRUE(CSplash::Wanted({"-f", "session.sdp"}) && !CSplash::Wanted({"-nologo"}) && !CSplash::Wanted({"/NOLOGO"}));
}

} // namespace
