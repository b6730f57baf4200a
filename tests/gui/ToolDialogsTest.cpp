#include "gui/FindToolDialog.h"
#include "gui/SearchingDialog.h"
#include "gui/ToolDialogs.h"
#include "support/GuiTestSupport.h"

namespace {

void Keys(QWidget& dialog, const std::vector<Qt::Key>& keys)
{
    for (Qt::Key key : keys)
        QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, key);
}

// Alt and the underlined letter; a button answers its mnemonic with an animated click.
void Mnemonic(QWidget& dialog, Qt::Key key)
{
    QTest::keyClick(&dialog, key, Qt::AltModifier);
    QTest::qWait(150);
}

class ToolDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { GuiApplication(); }
    CFakePrompter prompter;
    CGuiToolDialogs dialogs{prompter};
};

// Keyboard alone: the preselected choice, the other one, and Escape.
TEST_F(ToolDialogsTest, KeysGiveTheChoice)
{
    for (const auto& [keys, autoStart, where] :
         {std::tuple(std::vector{Qt::Key_Return}, EAutoStartChoice::StartNow, ESearchWhere::FileSystem),
          std::tuple(std::vector{Qt::Key_Down, Qt::Key_Return}, EAutoStartChoice::AutoStart, ESearchWhere::Online),
          std::tuple(std::vector{Qt::Key_Down, Qt::Key_Escape}, EAutoStartChoice::Cancel, ESearchWhere::Cancel)}) {
        QStringList titles;
        const std::vector<Qt::Key>& pressed = keys;
        const auto answer = [&](QDialog& d) { titles << d.windowTitle(); Keys(d, pressed); };
        OnModal<CAutoStartDialog>(answer);
        EXPECT_EQ(dialogs.AskAutoStart("The Session \"Jazz\" is currently not active.\n"), autoStart);
        OnModal<CWhereToSearchDialog>(answer);
        EXPECT_EQ(dialogs.AskWhereToSearch(), where);
        EXPECT_EQ(titles, (QStringList{"Auto Start?", "Where do I search?"}));
    }
}

TEST_F(ToolDialogsTest, ChooserReturnsTheTickedPluginsAndShowsTheDescriptionUnderTheCaret)
{
    const std::vector<COnlinePlugin> offered = {
        {"Alpha", "http://h/a", "first one", ""}, {"Beta", "http://h/b", "second one", ""},
        {"Gamma", "http://h/c", "third one", ""}};
    CGuiPluginChooser chooser(nullptr);
    OnModal<CPluginChooserDialog>([](CPluginChooserDialog& d) {
        EXPECT_EQ(d.windowTitle() + ": " + d.Description().toPlainText(), "Select the plugin you want to install: first one");
        Keys(d, {Qt::Key_Down});
        EXPECT_EQ(d.Description().toPlainText(), "second one");
        Keys(d, {Qt::Key_Space, Qt::Key_Down, Qt::Key_Space, Qt::Key_Return});
    });
    EXPECT_EQ(chooser.ChoosePlugins(offered), (std::vector<size_t>{1, 2}));
    OnModal<CPluginChooserDialog>([](CPluginChooserDialog& d) { Keys(d, {Qt::Key_Space, Qt::Key_Escape}); });
    EXPECT_EQ(chooser.ChoosePlugins(offered), std::nullopt);
    // No database: no update check.
    EXPECT_EQ(dialogs.CheckForUpdate(), std::nullopt);
    EXPECT_TRUE(prompter.shown.empty());
}

class FindToolDialogTest : public ToolDialogsTest {
protected:
    void Touch(const fs::path& path)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
    QTemporaryDir tmp;
    fs::path root = tmp.path().toStdString();
};

TEST_F(FindToolDialogTest, ListsEveryMatchAndOkNeedsAPick)
{
    for (const char* name : {"a/viewer.exe", "b/deep/VIEWER.EXE", "c/viewer.com", "d/viewer.exe.old", "e/myviewer.exe"})
        Touch(root / name);
    CFindToolDialog d("viewer", prompter);
    EXPECT_EQ(d.windowTitle() + " " + d.StartFolder(), "Find Tool viewer /usr");
    EXPECT_FALSE(d.StopButton().isEnabled() || d.NewSearchButton().isEnabled());
    d.pickFolder = [&](QWidget*, const QString&) { return tmp.path(); };
    ASSERT_NO_FATAL_FAILURE(ShowActive(d));
    EXPECT_FALSE(d.findChild<QProgressBar*>()->isVisible()); // no busy bar while idle
    Mnemonic(d, Qt::Key_C); // "&Change..."
    EXPECT_EQ(d.StartFolder(), tmp.path());
    Mnemonic(d, Qt::Key_F); // "&Find Now"
    QTRY_VERIFY_WITH_TIMEOUT(!d.IsSearching() && d.FindNowButton().isEnabled(), 10000);
    QStringList listed = ItemTexts(d.Matches());
    listed.sort();
    EXPECT_EQ(listed, (QStringList{tmp.path() + "/a/viewer.exe", tmp.path() + "/b/deep/VIEWER.EXE", tmp.path() + "/c/viewer.com"}));
    EXPECT_TRUE(d.Processing().text().isEmpty());

    d.accept();
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Please Select a tool path"});
    EXPECT_TRUE(d.isVisible());
    d.Matches().setCurrentRow(1);
    d.accept();
    EXPECT_TRUE(d.result() == QDialog::Accepted && d.ResultPath() == d.Matches().item(1)->text());
}

TEST_F(FindToolDialogTest, StopAndCancelEndTheWorkerAndKeepWhatWasFound)
{
    for (int i = 0; i < 400; ++i)
        Touch(root / ("f" + std::to_string(i)) / "sub" / "viewer.exe");
    CFindToolDialog d("viewer.exe", prompter);
    d.SetStartFolder(tmp.path());
    ASSERT_NO_FATAL_FAILURE(ShowActive(d));
    d.FindNowButton().click();
    EXPECT_TRUE(d.StopButton().isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(d.Matches().count() > 0, 10000);
    Mnemonic(d, Qt::Key_S); // "&Stop"
    EXPECT_EQ(std::tuple(d.IsSearching(), d.FindNowButton().isEnabled(), d.NewSearchButton().isEnabled(), d.StopButton().isEnabled()),
              std::tuple(false, true, true, false));
    QTest::qWait(50); // what the worker reported before it stopped arrives too
    const int kept = d.Matches().count();
    EXPECT_TRUE(kept >= 1 && kept <= 400) << kept;
    QTest::qWait(50);
    EXPECT_EQ(d.Matches().count(), kept);

    Mnemonic(d, Qt::Key_N); // "&New Search"
    EXPECT_EQ(d.Matches().count(), 0);

    d.FindNowButton().click();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_TRUE(!d.IsSearching() && d.result() == QDialog::Rejected && prompter.shown.empty());
}

// The database stand-in on loopback, in a state folder of its own.
class SearchingDialogTest : public ToolDialogsTest {
protected:
    void SetUp() override
    {
        ToolDialogsTest::SetUp();
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(proxy);
        if (QStandardPaths::findExecutable("python3").isEmpty())
            GTEST_SKIP() << "python3 is missing";
        fs::create_directories(state);
        server.start("python3", {QStringLiteral(TALMIRA_TEST_DATA "/../support/online_db_server.py"),
                                 QString::fromStdString(state.string())});
        ASSERT_TRUE(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(state / "port"), 10000);
        std::string port;
        std::ifstream(state / "port") >> port;
        host = "127.0.0.1:" + port;
        dialogs.SetOnline({host, install.string()});
        dialogs.openBrowser = [this](const std::string& url) {
            opened.push_back(url);
            return true;
        };
        dialogs.openFolder = dialogs.openBrowser;
    }
    void TearDown() override
    {
        server.kill();
        server.waitForFinished();
    }
    QTemporaryDir tmp;
    fs::path state = fs::path(tmp.path().toStdString()) / "state";
    fs::path install = fs::path(tmp.path().toStdString()) / "install";
    QProcess server;
    std::string host;
    std::vector<std::string> opened;
};

TEST_F(SearchingDialogTest, CancelDuringASlowDownloadStopsItWithoutAMessageOrAFile)
{
    OnModal<CPluginChooserDialog>([](CPluginChooserDialog& chooser) {
        Keys(chooser, {Qt::Key_Space, Qt::Key_Return});
        // The download answers only after 20 s: cancel it once it is under way.
        OnModal<CSearchingDialog>(
            [](CSearchingDialog& searching) {
                EXPECT_EQ(std::tuple(searching.windowTitle(), searching.Progress().value() > 0, searching.Progress().maximum()),
                          std::tuple(QString("Searching..."), true, 12));
                Keys(searching, {Qt::Key_Escape});
            },
            [](CSearchingDialog& searching) { return searching.Caption().text() == "Request Sent..."; });
    });
    QElapsedTimer took;
    took.start();
    EXPECT_FALSE(dialogs.SearchOnlinePlugin("slow", "RTP/AVP", "0"));
    EXPECT_LT(took.elapsed(), 15000);
    EXPECT_TRUE(prompter.shown.empty() && !QApplication::activeModalWidget());
    EXPECT_FALSE(fs::exists(install / "plugins" / "rev2.plugin.slow.audio.rtpavp.1"));
}

TEST_F(SearchingDialogTest, ToolPageAndUpdateGoToTheOpeners)
{
    EXPECT_TRUE(dialogs.SearchOnlineTool("vic"));
    // A page that is no web page is named, not opened.
    EXPECT_TRUE(dialogs.SearchOnlineTool("local"));
    EXPECT_EQ(opened, std::vector<std::string>{"http://" + host + "/pages/vic"});
    // No newer version (404): nothing said.
    EXPECT_EQ(dialogs.CheckForUpdate(), std::nullopt);
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{kOpenToolPage, std::string(kNotAWebPage) + "file:///etc/passwd"}));
    prompter.shown.clear();

    // An offered installer is kept, not run; its folder is opened on Yes.
    // The finished "Searching..." dialog is not behind the questions.
    prompter.onShow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<CSearchingDialog*>(w) && w->isVisible());
    };
    std::ofstream(state / "version") << "http://" << host << "/setup.bin\n";
    const auto path = dialogs.CheckForUpdate();
    ASSERT_TRUE(path);
    EXPECT_EQ(std::tuple(*path, fs::file_size(*path)), std::tuple((install / "tmpInstall" / "setup.bin").string(), uintmax_t{256000}));
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0], "A new version of this program is available.\nDo you want me to download it? You "
                                 "then install it yourself.");
    EXPECT_EQ(opened.back(), (install / "tmpInstall").string());
}

} // namespace
