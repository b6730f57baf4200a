#include "gui/HelpPages.h"

#include "support/GuiTestSupport.h"

namespace {

TEST(HelpPagesTest, TopicsAndHomeFollowTheWebHost)
{
    const char* const installed = "file:///opt/talmira/help/index.html";
    for (const auto& [host, topics, home] :
         {std::tuple("", installed, installed), std::tuple("  ", installed, installed),
          std::tuple("www.example.org", "https://www.example.org/Talmira/help/", "https://www.example.org/"),
          std::tuple("http://localhost:8080/", "http://localhost:8080/Talmira/help/", "http://localhost:8080/")}) {
        const CHelpPages pages(host, "/opt/talmira/help/index.html");
        EXPECT_EQ(std::tuple(pages.TopicsUrl().toString(), pages.HomeUrl().toString(), pages.TopicsUrl("list").fragment()),
                  std::tuple(QString(topics), QString(home), QString("list"))) << host;
    }
}

TEST(HelpPagesTest, WithoutABrowserEachCommandSaysSo)
{
    CHelpPages pages("www.example.org");
    pages.opener = [](const QUrl&) { return false; };
    CFakePrompter prompter;
    EXPECT_FALSE(pages.ShowTopics(prompter));
    EXPECT_FALSE(pages.ShowHome(prompter));
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{"I can't find a webbrowser, make sure you installed one!",
                                                        "Could not find a Web browser.\nPlease install one."}));
    EXPECT_EQ(pages.HomePrompt(), "Go to the website www.example.org");
}

// The Help menu of the running program, with and without the web host set.
class HelpMenuTest : public CDesktopTest {
protected:
    // Starts the program and presses F1 in the session list, then triggers
    // the home-page command; gives the URLs the browser was handed.
    std::vector<QUrl> PressF1AndHome()
    {
        CDesktopApp app(prompter, exit);
        CMainFrame& window = StartShown(app);
        std::vector<QUrl> opened;
        app.Help()->opener = [&opened](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        window.ListView().setFocus();
        QTest::keyClick(&window.ListView(), Qt::Key_F1);
        EXPECT_TRUE(window.WebsiteAction()->isEnabled());
        window.WebsiteAction()->trigger();
        window.close();
        return opened;
    }
};

// Without a web host both open the installed page; the setting sends them
// to the web.
TEST_F(HelpMenuTest, F1AndHomeOpenTheInstalledPageOrTheWebHost)
{
    std::vector<QUrl> opened = PressF1AndHome();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_TRUE(QFileInfo(opened[0].toLocalFile()).isFile()) << opened[0].toString().toStdString();
    EXPECT_EQ(opened[0].fragment(), "list");
    EXPECT_EQ(opened[1], QUrl::fromLocalFile(opened[0].toLocalFile()));
    EXPECT_TRUE(prompter.shown.empty());
    {
        CQtSettingsStore store(qEnvironmentVariable("TALMIRA_SETTINGS"));
        ASSERT_TRUE(store.CreateKey("Talmira/Web") && store.WriteText("Talmira/Web", "Host", "help.example.net"));
    }
    opened = PressF1AndHome();
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl("https://help.example.net/Talmira/help/#list"), QUrl("https://help.example.net/")}));
}

} // namespace
