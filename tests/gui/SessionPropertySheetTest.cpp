#include "gui/SessionPropertySheet.h"
#include "sdp/Schedule.h"
#include "support/GuiTestSupport.h"
#include "tools/ToolsTestSupport.h"

namespace {

constexpr int64_t kNow = 1700000000;

std::string Times(int64_t from, int64_t to)
{
    return "t=" + std::to_string(from + kNtpUnixOffset) + " " + std::to_string(to + kNtpUnixOffset) + "\n";
}

// A session of the given media lines; on now unless `times` says otherwise.
std::string SessionText(const std::string& media, const std::string& extra = {}, const std::string& times = "t=0 0\n")
{
    return "v=0\no=ann 77 1 IN IP4 10.0.0.1\ns=Jazz Night\ni=Live from the union\nu=http://example.org/jazz\n"
           "e=ann@example.org\np=+32 2 555 0101\nc=IN IP4 239.1.2.3/15\n" + times + extra + media;
}

const std::string kFolderText = "v=0\no=- 9001 1 IN IP4 10.0.0.1\ns=Labs\nc=IN IP4 239.195.1.1/15\nt=0 0\n"
                                "m=directory 9875 SAP/SDP 14\n";

class PropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApplication();
        t.clock.Set(kNow);
        data.installDir = dir.Path();
        exe.known = {{"listen", "/opt/l/listen"}};
        dir.AddPlugin("rev2.plugin.listen", "media: audio\nproto: RTP/AVP\ntool: listen\ntoolname: Listen\n"
                                            "fmt: 8\n{\n  fmtname: A-law\n}\nflags: -a $(ADDRESS) -p $(PORT)\n");
        ASSERT_EQ(data.Load(prompter), EPluginLoad::Ok);
        launcher.onFatal = [] { FAIL() << "fatal"; };
    }
    std::shared_ptr<CSDPObject> Parse(const std::string& text, int type = -1)
    {
        auto record = t.Parse(text);
        if (type >= 0)
            record->sessionType = type;
        return record;
    }
    std::unique_ptr<CSessionPropertySheet> Open(const std::shared_ptr<CSDPObject>& record,
                                           ESheetKind kind = ESheetKind::Session)
    {
        return CSessionPropertySheet::Create(record, context, kind);
    }
    static QString Titles(const CSessionPropertySheet& sheet)
    {
        QStringList titles;
        for (int i = 0; i < sheet.Pages().count(); ++i)
            titles << sheet.Pages().tabText(i) + "/" + sheet.PageIconOf(i);
        return titles.join(' ');
    }
    template <class W> static W& Find(const QWidget& page, const char* name)
    {
        W* w = page.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return *w;
    }
    static QString Text(const QWidget& page, const char* name) { return Find<QLineEdit>(page, name).text(); }
    static QString Items(const QWidget& page, const char* name)
    {
        QStringList items;
        const QListWidget& list = Find<QListWidget>(page, name);
        for (int i = 0; i < list.count(); ++i)
            items << list.item(i)->text();
        return items.join('|');
    }

    CTestEnv t;
    CFakePrompter prompter;
    CTempInstallDir dir;
    CToolData data;
    CScriptedToolDialogs dialogs;
    CRecordingStarter starter;
    CFakeExecutables exe;
    CToolLauncher launcher{data, prompter, dialogs, starter, t.clock, exe.Locator()};
    CAdminScopeList scopes;
    std::vector<std::string> opened;
    bool browserWorks = true;
    CPropertyContext context{t.clock, prompter, &launcher, &data.registry, exe.Locator(), &scopes,
                             [this](const std::string& url) { return opened.push_back(url), browserWorks; }};
};

} // namespace

TEST_F(PropertySheetTest, CaptionPagesTitlesAndIconsFollowTheRecordAndWhereItWasOpened)
{
    std::string nine;
    for (int i = 0; i < 9; ++i)
        nine += "m=audio " + std::to_string(5000 + 2 * i) + " RTP/AVP 0\n";
    const struct {
        const char* what;
        std::string text;
        int type;
        ESheetKind kind;
        QString caption;
        QString pages;
    } cases[] = {
        {"two media", SessionText("m=audio 5004 RTP/AVP 0\nm=video 5006 RTP/AVP 31\n"), -1, ESheetKind::Session,
         "Session Properties", "Info/info Contact/contact Schedule/schedule Audio/audio Video/video"},
        {"key and other names", SessionText("m=Audio 1 RTP/AVP 0\nm=whiteboard 2 UDP wb\nm=text 3 UDP t\n", "k=clear s3cret\n"),
         -1, ESheetKind::Session, "Session Properties",
         "Info/info Contact/contact Schedule/schedule Encryption/key Audio/media White Board/whiteboard Text/text"},
        {"nine media", SessionText(nine), -1, ESheetKind::Session, "Session Properties",
         "Info/info Contact/contact Schedule/schedule" + QString(" Audio/audio").repeated(9)},
        {"folder in the list", kFolderText, -1, ESheetKind::Session, "Folder Properties",
         "Info/info Contact/contact Schedule/schedule Folder/folder"},
        {"folder in the tree", kFolderText, -1, ESheetKind::Directory, "Folder Properties",
         "Info/info Contact/contact Schedule/schedule Folder/folder"},
        {"scope in the list", kFolderText, kTypeScopeDirectory, ESheetKind::Session, "Admin Scope Properties",
         "Info/info Contact/contact Schedule/schedule Admin Scope/scope"},
        {"scope in the tree", kFolderText, kTypeScopeDirectory, ESheetKind::Directory, "Admin Scope Properties",
         "Info/info Admin Scope/scope"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto sheet = Open(Parse(c.text, c.type), c.kind);
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->windowTitle() + ": " + Titles(*sheet), c.caption + ": " + c.pages);
        sheet->show();
        const QTabBar& tabs = *sheet->Pages().tabBar();
        // Every tab in sight; nine media take the scroll buttons.
        EXPECT_TRUE(tabs.count() >= 9 || tabs.tabRect(tabs.count() - 1).right() <= tabs.width());
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(PropertySheetTest, InfoContactScheduleAndEncryptionShowTheRecord)
{
    auto record = Parse(SessionText("m=audio 5004 RTP/AVP 0\n", "k=clear s3cret\na=type:meeting\na=tool:x\n"));
    auto sheet = Open(record);
    const QTabWidget& pages = sheet->Pages();
    const QWidget &info = *pages.widget(0), &contact = *pages.widget(1), &schedule = *pages.widget(2);
    EXPECT_EQ((QStringList{Text(info, "name"), Find<QPlainTextEdit>(info, "information").toPlainText(),
                           Items(info, "attributes"), Find<QLabel>(info, "picture").accessibleName(),
                           Text(contact, "email"), Text(contact, "phone"), Text(contact, "url"), Text(contact, "sender"),
                           Find<QPlainTextEdit>(schedule, "schedule").toPlainText(), Text(schedule, "status"),
                           Text(*pages.widget(3), "keyMethod"), Text(*pages.widget(3), "keyValue")}),
              (QStringList{"Jazz Night", "Live from the union", "tool:x", "meeting", "ann@example.org", "+32 2 555 0101",
                           "http://example.org/jazz", "ann@10.0.0.1", "Continually", "Active", "clear", "s3cret"}));
    EXPECT_EQ(Text(schedule, "lastMessage"), QString::fromStdString(FormatLocalTime(t.clock, kNow, "%I:%M%p %A %B %d, %Y")));

    // Without times; a session later on offers Auto Start, a folder neither button.
    sheet.reset();
    const struct {
        const char* what;
        std::string text;
        const char* schedule;
        const char* status;
        bool startAll, autoStart;
    } cases[] = {
        {"no times", "v=0\no=- 5 1 IN IP4 10.0.0.1\ns=x\nm=audio 1 RTP/AVP 0\n", "No timing information available",
         "Inactive", true, false},
        {"later", SessionText("m=audio 1 RTP/AVP 0\n", {}, Times(kNow + 3600, kNow + 7200)), nullptr, "Inactive", true,
         true},
        {"folder", kFolderText, "Continually", "Active", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto other = Open(Parse(c.text));
        const QWidget &page = *other->Pages().widget(0), &times = *other->Pages().widget(2);
        EXPECT_EQ(std::tuple(!Find<QPushButton>(page, "startAll").isHidden(), !Find<QCheckBox>(page, "autoStart").isHidden(),
                             Text(times, "status")),
                  std::tuple(c.startAll, c.autoStart, QString(c.status)));
        EXPECT_TRUE(!c.schedule || Find<QPlainTextEdit>(times, "schedule").toPlainText() == c.schedule);
    }
}

TEST_F(PropertySheetTest, MediaPagesListToolsFormatsAndStartTheChosenTool)
{
    auto record = Parse(SessionText("m=audio 5004 RTP/AVP 8\na=rtpmap:8 PCMA/8000\na=ptime:20\n"
                                    "m=audio 5006 RTP/AVP 0\nc=IN IP4 239.9.9.9/31/3\ni=Backup\n"
                                    "m=data 5008 UDP raw more\n"));
    auto sheet = Open(record);
    const QWidget &found = *sheet->Pages().widget(3), &none = *sheet->Pages().widget(4);
    EXPECT_EQ((QStringList{Text(found, "address"), Text(found, "port"), Text(found, "scope"), Text(found, "levels"),
                           Text(found, "description"), Items(found, "tools"),
                           found.findChild<QListWidget*>("tools")->item(0)->toolTip(), Items(found, "formats"),
                           Find<QLabel>(found, "studioFormat").text(), Items(found, "attributes")}),
              (QStringList{"239.1.2.3", "5004", "15", "1", "N/A", "Listen -a 239.1.2.3 -p 5004", "Listen -a 239.1.2.3 -p 5004",
                           "A-law", "PCMA 8 kHz, 1 ch, 20 ms", "ptime:20"}));
    EXPECT_EQ((QStringList{Text(none, "address"), Text(none, "scope"), Text(none, "levels"), Text(none, "description"),
                           Items(none, "tools"), Items(none, "formats"), Items(*sheet->Pages().widget(5), "formats")}),
              (QStringList{"239.9.9.9", "31", "3", "Backup", "No Tool available", "PCMU", "raw"}));

    // An RTP/AVP entry read from the cache keeps no payload names: its format is shown.
    record->media[1].payloadCount = 0;
    EXPECT_EQ(Items(*Open(record)->Pages().widget(4), "formats"), "0");

    QTest::mouseClick(&Find<QPushButton>(found, "start"), Qt::LeftButton);
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(std::tuple(starter.started[0].program, starter.started[0].args),
              std::tuple("/opt/l/listen", Words{"-a", "239.1.2.3", "-p", "5004"}));

    // A folder's media page shows no tools, formats, levels or Start.
    auto folder = Open(Parse(kFolderText));
    const QWidget& directory = *folder->Pages().widget(3);
    for (const char* hidden : {"tools", "formats", "levels", "start"})
        EXPECT_TRUE(directory.findChild<QWidget*>(hidden)->isHidden()) << hidden;
    EXPECT_FALSE(directory.findChild<QWidget*>("port")->isHidden());
}

TEST_F(PropertySheetTest, AutoStartIsWrittenBackOnOkAndApplyOnlyWhenTheUserChangedIt)
{
    const std::string later = SessionText("m=audio 1 RTP/AVP 8\n", {}, Times(kNow + 3600, kNow + 7200));
    const struct {
        const char* what;
        Qt::Key key; // Enter takes the page's data, Escape does not
        int expected;
    } cases[] = {{"Enter", Qt::Key_Return, 1}, {"Escape", Qt::Key_Escape, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto record = Parse(later);
        auto sheet = Open(record);
        ASSERT_NO_FATAL_FAILURE(ShowActive(*sheet));
        auto& box = Find<QCheckBox>(*sheet->Pages().widget(0), "autoStart");
        QTest::keyClick(&box, Qt::Key_Space);
        EXPECT_EQ(record->startTools, 0); // not before the data is taken
        QTest::keyClick(&box, c.key);
        EXPECT_TRUE(!sheet->isVisible() && record->startTools == c.expected);
    }

    // Apply takes it at once; the walk clearing the flag afterwards (it
    // started the tools) is not undone by OK.
    auto record = Parse(later);
    auto sheet = Open(record);
    Find<QCheckBox>(*sheet->Pages().widget(0), "autoStart").setChecked(true);
    sheet->Buttons().button(QDialogButtonBox::Apply)->click();
    EXPECT_EQ(record->startTools, 1);
    record->startTools = 0;
    sheet->accept();
    EXPECT_EQ(record->startTools, 0);
}

TEST_F(PropertySheetTest, StartAllOnAnInactiveSessionAsksAndFollowsTheAnswer)
{
    const struct {
        EAutoStartChoice answer;
        size_t started;
        int flag;
        bool ticked;
    } cases[] = {
        {EAutoStartChoice::Cancel, 0, 0, false},
        {EAutoStartChoice::AutoStart, 0, 1, true},
        {EAutoStartChoice::StartNow, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        starter.started.clear();
        dialogs.asked.clear();
        dialogs.autoStart = c.answer;
        auto record = Parse(SessionText("m=audio 1 RTP/AVP 8\n", {}, Times(kNow + 3600, kNow + 7200)));
        auto sheet = Open(record);
        const QWidget& info = *sheet->Pages().widget(0);
        Find<QPushButton>(info, "startAll").click();
        EXPECT_EQ(dialogs.asked, Words{"auto:The Session \"Jazz Night\" is currently not active.\n"});
        EXPECT_EQ(std::tuple(starter.started.size(), record->startTools, Find<QCheckBox>(info, "autoStart").isChecked()),
                  std::tuple(c.started, c.flag, c.ticked));
        sheet->reject();
        EXPECT_EQ(record->startTools, c.flag); // the answer stands even on Cancel
    }
}

TEST_F(PropertySheetTest, ExpiryClosesTheSheetWithTheMessageAndReleasesTheRecord)
{
    auto record = Parse(SessionText("m=audio 1 RTP/AVP 8\n"));
    auto sheet = Open(record);
    sheet->show();
    EXPECT_TRUE(record->links->viewerWindow == sheet.get() && record->LockCount() == 1);
    record->DeleteLater();
    EXPECT_TRUE(prompter.shown.empty()); // not inside the store's own work
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.shown, Words{CSDPObject::kExpiredText});
    EXPECT_TRUE(!sheet->isVisible() && sheet->result() == QDialog::Rejected);
    sheet.reset();
    EXPECT_TRUE(record->LockCount() == 0 && record->links->viewerWindow == nullptr);
    // A record being deleted gets no sheet.
    EXPECT_EQ(Open(record), nullptr);
}

TEST_F(PropertySheetTest, AdminScopePageShowsTheScopeOrTheTtlScopeAddress)
{
    CAdminScopeEntry local{"Local", 15, 9875, 0x0000ffef, 16}; // 239.255.0.0/16
    scopes.Entries().push_back(local);
    auto scope = Open(Parse(kFolderText + "", kTypeScopeDirectory), ESheetKind::Directory);
    auto named = Parse(kFolderText, kTypeScopeDirectory);
    named->name = "Local";
    auto sheet = Open(named, ESheetKind::Directory);
    const QWidget& page = *sheet->Pages().widget(1);
    EXPECT_EQ(Text(page, "baseAddress") + " " + Text(page, "prefixLength") + " " + Text(page, "port") + " " +
                  Text(page, "scope"),
              "239.255.0.0 16 9875 15");
    const QWidget& ttl = *scope->Pages().widget(1);
    EXPECT_EQ(Text(ttl, "baseAddress") + " " + Text(ttl, "port"), "224.2.165.3 9875");
    EXPECT_TRUE(ttl.findChild<QWidget*>("prefixLength")->isHidden() && ttl.findChild<QWidget*>("scope")->isHidden());
}

TEST_F(PropertySheetTest, ViewWebPageOpensTheUrlOrSaysNoBrowserWasFound)
{
    auto sheet = Open(Parse(SessionText("m=audio 1 RTP/AVP 8\n")));
    auto& view = Find<QPushButton>(*sheet->Pages().widget(1), "viewWebPage");
    view.click();
    browserWorks = false;
    view.click();
    auto without = Open(Parse("v=0\no=- 5 1 IN IP4 10.0.0.1\ns=x\nt=0 0\n"));
    EXPECT_FALSE(Find<QPushButton>(*without->Pages().widget(1), "viewWebPage").isEnabled());
    // Another scheme is refused with its own message, before any browser.
    auto local = Open(Parse("v=0\no=- 6 1 IN IP4 10.0.0.1\ns=x\nu=file:///etc/passwd\nt=0 0\n"));
    Find<QPushButton>(*local->Pages().widget(1), "viewWebPage").click();
    EXPECT_EQ(opened, (Words{"http://example.org/jazz", "http://example.org/jazz"}));
    EXPECT_EQ(prompter.shown, (Words{"Unable to locate a web browser", COwnerPage::kNotAWebPageText}));
}

// Properties in the running program: the list's first selected row and the
// tree's directory item, each shown modally and let go afterwards.
class PropertiesCommandTest : public CDesktopTest {};

TEST_F(PropertiesCommandTest, OpensFromTheListAndTheTreeAndLetsTheRecordGo)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = StartShown(app);
    CSessionStore& doc = app.Runtime().Doc();
    const auto scope = doc.MainList().At(0);
    const auto session = CSDPObject::FromText(SessionText("m=audio 5004 RTP/AVP 0\nm=video 5006 RTP/AVP 31\n"),
                                              app.Runtime().Environment());
    ASSERT_EQ(doc.AddSession(session, scope), 1);

    // What the sheet shows when the command opens it, then Escape closes it.
    const auto shown = [&] {
        QString seen;
        QTimer::singleShot(0, [&] {
            if (auto* sheet = qobject_cast<CSessionPropertySheet*>(QApplication::activeModalWidget())) {
                seen = sheet->windowTitle() + ": " + QString::number(sheet->Pages().count());
                QTest::keyClick(sheet, Qt::Key_Escape);
            }
        });
        window.CommandAction(ECommand::Properties)->trigger();
        return seen;
    };

    QTreeView& tree = window.TreeView();
    const QModelIndex root = tree.model()->index(0, 0);
    tree.setFocus();
    tree.setCurrentIndex(root);
    EXPECT_FALSE(window.CommandAction(ECommand::Properties)->isEnabled());
    tree.setCurrentIndex(Child(*tree.model(), root, "TTL Scope"));
    EXPECT_EQ(shown(), "Admin Scope Properties: 2");
    EXPECT_EQ(scope->LockCount(), 0);

    ShowActive(window);
    QTreeView& list = window.ListView();
    list.setFocus();
    list.setCurrentIndex(list.model()->index(0, 0));
    EXPECT_EQ(shown(), "Session Properties: 6"); // Info, Contact, Schedule, two media, Reception
    EXPECT_TRUE(session->LockCount() == 0 && session->links->viewerWindow == nullptr && prompter.shown.empty());
}
