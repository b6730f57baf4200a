// The "Announcement Wizard": its pages, what they write into the record,
// and New Session, New Folder and Edit on a store with a recording network.
#include "directory/SessionListRules.h"
#include "gui/AnnouncementWizard.h"
#include "gui/AnnouncementWizardCommands.h"
#include "gui/AnnouncementWizardPages.h"
#include "gui/MediaPages.h"
#include "gui/MediaPagesAddress.h"
#include "gui/SchedulePage.h"
#include "support/FakeSapNetwork.h"
#include "support/GuiTestSupport.h"
#include "support/MediaRulesSample.h"
#include "support/TestZone.h"

namespace {

constexpr int64_t kNow = 1700000000; // Tuesday, November 14, 2023, 23:13:20 in Brussels
const std::string kNtpNow = std::to_string(kNow + kNtpUnixOffset);

// A media entry as the media list page's own wizard makes it.
CSDPMedia Media(const char* kind, const char* port, const char* format, const char* address)
{
    CSDPMedia m;
    m.media = kind;
    m.port = port;
    m.protocol = "RTP/AVP";
    m.formatList = format;
    m.address = address;
    m.ttl = 15;
    return m;
}

class AnnouncementWizardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(UseTestZone());
        t.clock.Set(kNow);
        auto ttl = t.Parse(CSessionStore::kTtlScopeText);
        ttl->sessionType = kTypeScopeDirectory;
        doc.AddSession(ttl, nullptr);
        ttlScope = ttl;
        scopes.Entries().push_back({"Campus", 31, 9875, 0x0000FFEF /* 239.255.0.0 */, 16});
        campus = MakeScopeDirectory(scopes.Entries()[0], "12358", t.env);
        doc.AddSession(campus, nullptr);
        commands.loginName = [] { return std::string("alice"); };
        commands.hostName = [] { return std::string("host.example"); };
        doc.userEmail = "alice@example.org";
        doc.userPhone = "+32 2 555 0100";
    }
    void TearDown() override
    {
        if (auto* w = commands.Current())
            w->reject();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::shared_ptr<CSDPObject> FolderIn(const std::shared_ptr<CSDPObject>& directory, const std::string& id)
    {
        auto folder = t.Parse("v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Folder " + id +
                              "\nt=0 0\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.255.3.3/15\n");
        EXPECT_EQ(doc.AddSession(folder, directory), 1);
        return folder;
    }
    template <class Page> Page& PageOf(CAnnouncementWizard& w, int id)
    {
        auto* page = dynamic_cast<Page*>(w.page(id));
        EXPECT_NE(page, nullptr) << id;
        return *page;
    }
    static void Click(CAnnouncementWizard& w, QWizard::WizardButton b) { w.button(b)->click(); }
    // Fills the first page and goes on.
    void PassSessionPage(CAnnouncementWizard& w, const char* title = "Weekly seminar")
    {
        auto& page = PageOf<CAnnouncementWizardSessionPage>(w, CAnnouncementWizard::kSessionPage);
        page.Title().setText(title);
        page.Description().setPlainText("Talks on multicast");
        page.Url().setText("http://example.org/seminar");
        Click(w, QWizard::NextButton);
    }

    QApplication& app = GuiApplication();
    CTestEnv t;
    CFakePrompter prompter;
    CFakeExit exit;
    CFakeSapNetwork net;
    CFakeViews views;
    CSessionStore doc{CStorePorts{t.clock, t.random, prompter, exit, net, &views, nullptr, &t.used}};
    CAdminScopeList scopes;
    std::shared_ptr<CSDPObject> ttlScope, campus;
    QWidget window;
    CAnnouncementCommands commands{CWizardContext(doc, prompter, &scopes), &window};
};

TEST_F(AnnouncementWizardTest, SessionAndContactPagesCheckAndStoreTheirFields)
{
    std::vector<QString> browsed;
    commands.Context().openUrl = [&browsed](const QString& url) {
        browsed.push_back(url);
        return false;
    };
    commands.loginName = [] { return std::string(); }; // the login name cannot be read
    CAnnouncementWizard* w = commands.NewSession(ttlScope);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(commands.NewSession(ttlScope) == nullptr && w->windowTitle() == "Announcement Wizard"); // one at a time
    auto& session = PageOf<CAnnouncementWizardSessionPage>(*w, CAnnouncementWizard::kSessionPage);

    session.Url().setText("http://example.org/");
    session.TestUrl().click();
    EXPECT_EQ(browsed, std::vector<QString>{"http://example.org/"});
    // Both title and description are needed.
    session.Title().setText("Only a title");
    Click(*w, QWizard::NextButton);
    EXPECT_EQ(w->currentId(), CAnnouncementWizard::kSessionPage);
    EXPECT_EQ(prompter.shown,
              (std::vector<std::string>{"Unable to locate a web browser", "Title and description are mandatory fields!"}));

    // By keyboard: type, Tab on, Enter goes to the next page. A line break
    // in the description becomes a blank: SDP has one line per value.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    session.Title().clear();
    session.Title().setFocus();
    QTest::keyClicks(&session.Title(), "Weekly seminar");
    QTest::keyClick(&session.Title(), Qt::Key_Tab);
    EXPECT_TRUE(session.Description().hasFocus());
    QTest::keyClicks(&session.Description(), "Talks");
    QTest::keyClick(&session.Description(), Qt::Key_Return);
    QTest::keyClicks(&session.Description(), "on multicast");
    QTest::keyClick(&session.Title(), Qt::Key_Return);
    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kContactPage);
    EXPECT_EQ(std::tuple(w->Record().name, w->Record().information, w->Record().uri),
              std::tuple("Weekly seminar", "Talks on multicast", "http://example.org/"));

    auto& contact = PageOf<CAnnouncementWizardContactPage>(*w, CAnnouncementWizard::kContactPage);
    EXPECT_EQ(std::tuple(contact.Name().text(), contact.Name().isReadOnly(), contact.Email().text()),
              std::tuple(QString("Unknown"), true, QString("alice@example.org")));
    contact.Phone().setText("+32 2 555 0199");
    Click(*w, QWizard::NextButton);
    EXPECT_EQ(std::tuple(w->currentId(), w->Record().phone, w->Record().originUser),
              std::tuple(int(CAnnouncementWizard::kSchedulePage), "+32 2 555 0199", "-"));
}

TEST_F(AnnouncementWizardTest, SchedulePageEnablesRowsAndWritesTimeEntries)
{
    CAnnouncementWizard* w = commands.NewSession(ttlScope);
    ASSERT_NE(w, nullptr);
    PassSessionPage(*w);
    Click(*w, QWizard::NextButton);
    auto& page = PageOf<CAnnouncementWizardSchedulePage>(*w, CAnnouncementWizard::kSchedulePage);
    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kSchedulePage);

    // The page applies the enabling rules (the rules' own cases are theirs):
    // the rows' lists, their fields and "Repeat for:".
    const auto enabled = [&page] {
        return std::tuple(page.Repetition(1).isEnabled(), page.Date(1).isEnabled(), page.Repetition(2).isEnabled(),
                          page.Date(2).isEnabled(), page.RepeatFor().isEnabled());
    };
    // A fresh page: row 1 "Once" from now, the other rows and "Repeat for:" shut.
    EXPECT_EQ(std::tuple(page.Repetition(0).currentText(), page.Duration(0).count(), page.Date(0).date(), page.Time(2).time()),
              std::tuple(QString("Once"), 40, QDate(2023, 11, 14), QTime(23, 13, 20)));
    EXPECT_EQ(enabled(), std::tuple(false, false, false, false, false));

    // Weekly beside every two weeks: only "4 weeks" to repeat for.
    page.Repetition(0).setFocus();
    QTest::keyClick(&page.Repetition(0), Qt::Key_Down); // keyboard: Daily
    EXPECT_EQ(std::tuple(page.Repetition(0).currentText(), page.Duration(0).count()), std::tuple(QString("Daily"), 25));
    page.Repetition(0).setCurrentIndex(2);
    emit page.Repetition(0).activated(2);
    page.Repetition(1).setCurrentText("Every Two Weeks");
    EXPECT_EQ(enabled(), std::tuple(true, true, true, false, true));
    EXPECT_EQ(std::tuple(page.RepeatFor().count(), page.RepeatFor().currentText()), std::tuple(1, QString("4 weeks")));
    page.Date(0).setDate(QDate(2023, 11, 21));
    page.Time(0).setTime(QTime(20, 0, 0));
    page.Duration(0).setCurrentText("2 hour");
    page.Date(1).setDate(QDate(2023, 11, 22));
    page.Time(1).setTime(QTime(9, 30, 0));
    page.Duration(1).setCurrentText("8 days");
    page.Save();
    const int64_t tue = 1700593200; // November 21, 2023, 20:00 in Brussels
    const int64_t wed = tue + 86400 - 10 * 3600 - 1800;
    const std::vector<CSDPTime> two = {
        {std::to_string(tue + kNtpUnixOffset), std::to_string(tue + 4 * 604800 + kNtpUnixOffset), "604800", "7200", "0"},
        {std::to_string(wed + kNtpUnixOffset), std::to_string(wed + 4 * 604800 + kNtpUnixOffset), "1209600", "691200",
         "0"}};
    EXPECT_EQ(w->Record().times, two);

    // Shown again from the record, the page holds the same choices.
    page.Repetition(1).setCurrentText("N/A");
    page.initializePage();
    EXPECT_EQ(std::tuple(page.Repetition(1).currentText(), page.Duration(1).currentText(), page.Time(1).time(),
                         page.Repetition(2).currentText()),
              std::tuple(QString("Every Two Weeks"), QString("8 days"), QTime(9, 30, 0), QString("N/A")));
}

TEST_F(AnnouncementWizardTest, ScopeAndTypePagesStoreTtlTypeAndAttributes)
{
    auto folder = FolderIn(ttlScope, "501");
    CAnnouncementWizard* w = commands.NewSession(folder);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->page(CAnnouncementWizard::kScopePage), nullptr); // below the TTL Scope
    auto& scope = PageOf<CAnnouncementWizardScopePage>(*w, CAnnouncementWizard::kScopePage);
    PassSessionPage(*w);
    Click(*w, QWizard::NextButton);
    Click(*w, QWizard::NextButton);
    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kScopePage);
    const QAbstractButton& site = scope.Choice(CAnnouncementWizardScopePage::kSite);
    EXPECT_TRUE(site.isChecked() && site.text() == "Site " && !scope.OtherTtl().isEnabled());

    const struct {
        CAnnouncementWizardScopePage::EChoice choice;
        const char* other;
        bool accepted;
        int ttl;
    } cases[] = {{CAnnouncementWizardScopePage::kRegion, nullptr, true, 63},
                 {CAnnouncementWizardScopePage::kOther, nullptr, true, 128},
                 {CAnnouncementWizardScopePage::kOther, "200", true, 200},
                 {CAnnouncementWizardScopePage::kOther, "255", false, 200},
                 {CAnnouncementWizardScopePage::kOther, "0", false, 200},
                 {CAnnouncementWizardScopePage::kWorld, nullptr, true, 127}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.other ? c.other : "radio");
        prompter.shown.clear();
        scope.Choice(c.choice).click();
        EXPECT_EQ(scope.OtherTtl().isEnabled(), c.choice == CAnnouncementWizardScopePage::kOther);
        if (c.other)
            scope.OtherTtl().setText(c.other);
        EXPECT_EQ(scope.validatePage(), c.accepted);
        EXPECT_EQ(w->Record().announceTtl, c.ttl);
        EXPECT_EQ(prompter.shown.empty(), c.accepted);
    }
    // A TTL none of the radios names shows as "Other".
    w->Record().announceTtl = 100;
    scope.initializePage();
    EXPECT_EQ(std::tuple(scope.Choice(CAnnouncementWizardScopePage::kOther).isChecked(), scope.OtherTtl().text()),
              std::tuple(true, QString("100")));
    Click(*w, QWizard::NextButton);

    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kTypePage);
    auto& type = PageOf<CAnnouncementWizardTypePage>(*w, CAnnouncementWizard::kTypePage);
    QStringList offered;
    for (int i = 0; i < type.Type().count(); ++i)
        offered << type.Type().itemText(i);
    EXPECT_EQ(offered.join(' ') + " / " + type.Type().currentText(), "broadcast H332 meeting test unknown / unknown");
    for (const auto& [name, value] : {std::pair("lang", "en"), std::pair("recvonly", "")}) {
        type.AttributeName().setText(name);
        type.AttributeValue().setText(value);
        type.Add().click();
    }
    EXPECT_EQ(w->Record().attributes, (std::vector<std::string>{"lang: en", "recvonly"}));
    ASSERT_EQ(type.Attributes().topLevelItemCount(), 2);
    EXPECT_EQ(type.Attributes().topLevelItem(0)->text(0) + "|" + type.Attributes().topLevelItem(0)->text(1), "lang| en");
    type.Attributes().setCurrentItem(type.Attributes().topLevelItem(1));
    type.Delete().click();
    EXPECT_EQ(w->Record().attributes, std::vector<std::string>{"lang: en"});
    type.AttributeName().clear();
    type.Add().click(); // no name: nothing
    EXPECT_EQ(w->Record().attributes.size(), 1u);
    type.Type().setCurrentText("H332");
    // With no media page the type page ends the wizard.
    ASSERT_TRUE(w->button(QWizard::FinishButton)->isVisible());
    Click(*w, QWizard::FinishButton);
    const auto stored = folder->links->children->Front();
    EXPECT_EQ(std::tuple(stored->sessionType, stored->announceTtl, net.sent.back().ttl), std::tuple(kTypeH332, 100, 100));
}

TEST_F(AnnouncementWizardTest, ScopesDecideThePagesAndTheTtl)
{
    const struct {
        const char* what;
        std::shared_ptr<CSDPObject> directory;
        bool scopePage;
        int ttl;
    } cases[] = {{"TTL Scope", ttlScope, true, 15},
                 {"a folder below the TTL Scope", FolderIn(ttlScope, "601"), true, 15},
                 {"a folder below Campus", FolderIn(campus, "602"), false, 31},
                 {"the top level", nullptr, false, 15}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CAnnouncementWizard* w = commands.NewSession(c.directory);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->page(CAnnouncementWizard::kScopePage) != nullptr, c.scopePage);
        EXPECT_EQ(w->Record().announceTtl, c.ttl);
        EXPECT_EQ(w->Record().parentDirectory.lock(), c.directory);
        w->reject();
    }
    EXPECT_TRUE(net.sent.empty());
}

// A weekly session from the first page to Finish: added, announced at once,
// the whole text as sent.
TEST_F(AnnouncementWizardTest, FinishAnnouncesTheSession)
{
    commands.Context().mediaPage = [](CSDPObject&) { return new QWizardPage; }; // its entries are put in below
    CAnnouncementWizard* w = commands.NewSession(ttlScope);
    ASSERT_NE(w, nullptr);
    PassSessionPage(*w);
    Click(*w, QWizard::NextButton);
    auto& schedule = PageOf<CAnnouncementWizardSchedulePage>(*w, CAnnouncementWizard::kSchedulePage);
    schedule.Repetition(0).setCurrentText("Weekly");
    schedule.Date(0).setDate(QDate(2023, 11, 21));
    schedule.Time(0).setTime(QTime(20, 0, 0));
    schedule.Duration(0).setCurrentText("2 hour");
    schedule.RepeatFor().setCurrentText("3 weeks");
    Click(*w, QWizard::NextButton);
    PageOf<CAnnouncementWizardScopePage>(*w, CAnnouncementWizard::kScopePage).Choice(CAnnouncementWizardScopePage::kRegion).click();
    Click(*w, QWizard::NextButton);
    auto& type = PageOf<CAnnouncementWizardTypePage>(*w, CAnnouncementWizard::kTypePage);
    type.Type().setCurrentText("meeting");
    type.AttributeName().setText("lang");
    type.AttributeValue().setText("en");
    type.Add().click();
    EXPECT_FALSE(w->button(QWizard::FinishButton)->isVisible());
    Click(*w, QWizard::NextButton);
    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kMediaPage);
    w->Record().media = {Media("audio", "20000", "0", "239.255.1.1"), Media("video", "50000", "31", "239.255.1.2")};
    t.clock.Advance(60);
    const std::string version = std::to_string(kNow + 60 + kNtpUnixOffset);
    Click(*w, QWizard::FinishButton);
    EXPECT_EQ(commands.Current(), nullptr);
    ASSERT_EQ(ttlScope->links->children->Size(), 1u);
    const auto stored = ttlScope->links->children->Front();
    EXPECT_TRUE(stored->own);
    const std::string expected = "v=0\r\no=alice " + kNtpNow + " " + version + " IN IP4 host.example\r\n"
                                 "s=Weekly seminar\r\ni=Talks on multicast\r\nu=http://example.org/seminar\r\n"
                                 "e=alice@example.org\r\np=+32 2 555 0100\r\nt=3909582000 3911396400\r\nr=604800 7200 0\r\n"
                                 "a=lang: en\r\na=tool:Talmira by TalmiraSoft\r\na=type:meeting\r\n"
                                 "m=audio 20000 RTP/AVP 0\r\nc=IN IP4 239.255.1.1/15/1\r\n"
                                 "m=video 50000 RTP/AVP 31\r\nc=IN IP4 239.255.1.2/15/1\r\n";
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(std::tuple(net.sent[0].Flags(), net.sent[0].ttl, net.sent[0].Payload()), std::tuple(0x20, 63, expected));
    EXPECT_EQ(views.hints.back().directory, ttlScope);
}

TEST_F(AnnouncementWizardTest, EditWorksOnACopyCancelKeepsTheRecordFinishAnnouncesANewVersion)
{
    // Entries the schedule page has no items for: on continually, ten weeks, yearly, every two days, a fourth.
    auto own = t.Parse("v=0\no=alice 42 1 IN IP4 host.example\ns=Mine\ni=About\nt=0 0\nt=3909582000 3915630000\n"
                       "r=604800 3600 0\nt=3909582000 3941118000\nr=31536000 3600 0\nt=3909582000 3910791600\n"
                       "r=172800 3600 0\na=type:test\nm=audio 20000 RTP/AVP 0\nc=IN IP4 239.255.1.1/15\n");
    own->own = 1;
    own->announceTtl = 15;
    ASSERT_EQ(doc.AddSession(own, ttlScope), 1);
    net.sent.clear();
    const std::string before = WrittenSdp(*own);

    EXPECT_EQ(commands.Edit(ttlScope), nullptr); // not own
    CAnnouncementWizard* w = commands.Edit(own);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(own->links->viewerWindow == w && own->LockCount() == 1);
    PassSessionPage(*w, "Changed title");
    Click(*w, QWizard::NextButton);
    PageOf<CAnnouncementWizardSchedulePage>(*w, CAnnouncementWizard::kSchedulePage).Repetition(0).setCurrentText("Daily");
    Click(*w, QWizard::NextButton);
    PageOf<CAnnouncementWizardScopePage>(*w, CAnnouncementWizard::kScopePage).Choice(CAnnouncementWizardScopePage::kWorld).click();
    Click(*w, QWizard::NextButton);
    EXPECT_EQ(own->name, "Mine"); // the stored record waits for Finish
    Click(*w, QWizard::CancelButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WrittenSdp(*own), before);
    const auto released = [&own] { return own->links->viewerWindow == nullptr && own->LockCount() == 0; };
    EXPECT_TRUE(own->announceTtl == 15 && released() && net.sent.empty());

    t.clock.Advance(3600);
    w = commands.Edit(own);
    ASSERT_NE(w, nullptr);
    PassSessionPage(*w, "Changed title");
    const std::vector<CSDPTime> times = own->times;
    while (w->currentId() != CAnnouncementWizard::kTypePage)
        Click(*w, QWizard::NextButton);
    auto& schedule = PageOf<CAnnouncementWizardSchedulePage>(*w, CAnnouncementWizard::kSchedulePage);
    EXPECT_EQ(std::tuple(schedule.Repetition(0).currentText(), schedule.RepeatFor().currentText(),
                         schedule.Repetition(2).currentText(), !schedule.Note().isHidden()),
              std::tuple("Continually", "10 weeks", "Every 365 days", true));
    EXPECT_EQ(PageOf<CAnnouncementWizardTypePage>(*w, CAnnouncementWizard::kTypePage).Type().currentText(), "test");
    Click(*w, QWizard::FinishButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::tuple(own->name, own->times, own->originVersion, own->originSessionId, own->LockCount()),
              std::tuple("Changed title", times, std::to_string(kNow + 3600 + kNtpUnixOffset), "42", 0));
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].Flags(), 0x20);
    EXPECT_NE(net.sent[0].Payload().find("s=Changed title\r\n"), std::string::npos);
    EXPECT_FALSE(views.changed.empty());

    // Too long to send: Finish says so, and the row does not pass for announced.
    net.sent.clear();
    prompter.shown.clear();
    w = commands.Edit(own);
    ASSERT_NE(w, nullptr);
    PageOf<CAnnouncementWizardSessionPage>(*w, CAnnouncementWizard::kSessionPage).Description().setPlainText(QString(2100, 'x'));
    while (w->currentId() != CAnnouncementWizard::kTypePage)
        Click(*w, QWizard::NextButton);
    Click(*w, QWizard::FinishButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::tuple(net.sent.size(), prompter.shown.size(), listrules::MakeRow(*own, kNow, t.clock)->start),
              std::tuple(0u, 1u, std::string(CSessionStore::kNotAnnouncedText)));

    // A wizard that goes without being closed (its window went first) lets
    // the record go all the same.
    w = commands.Edit(own);
    ASSERT_NE(w, nullptr);
    delete w;
    EXPECT_TRUE(released());

    // The record expiring under an open edit closes it with the message.
    w = commands.Edit(own);
    ASSERT_NE(w, nullptr);
    prompter.shown.clear();
    doc.RemoveSession(own);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.shown, std::vector<std::string>{CSDPObject::kExpiredText});
    EXPECT_EQ(commands.Current(), nullptr);
}

TEST_F(AnnouncementWizardTest, NewFolderEndsWithTheAddressPageAndListensOnItsGroup)
{
    EXPECT_EQ(commands.NewFolder(campus), nullptr); // no address page to end with
    const CPluginTable rules = SampleRules();
    AttachMediaPages(commands.Context(), {&rules, &scopes, &t.used, &t.random, &t.clock, &prompter});
    const auto parent = FolderIn(campus, "701"); // the scope is found above the parent folder
    CAnnouncementWizard* w = commands.NewFolder(parent);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(!w->page(CAnnouncementWizard::kScopePage) && !w->page(CAnnouncementWizard::kTypePage));
    PassSessionPage(*w, "Our folder");
    Click(*w, QWizard::NextButton);
    Click(*w, QWizard::NextButton);
    ASSERT_TRUE(w->currentId() == CAnnouncementWizard::kAddressPage && w->button(QWizard::FinishButton)->isVisible());
    // The proposal lies in the lower half of Campus, above the tools' ports;
    // a group that is not multicast is refused.
    auto& address = PageOf<CMediaWizardAddressPage>(*w, CAnnouncementWizard::kAddressPage);
    const std::string proposed = address.Address().text().toStdString();
    EXPECT_EQ(ntohl(inet_addr(proposed.c_str())) & 0xFFFF8000u, 0xEFFF0000u) << proposed;
    EXPECT_GE(address.Port().text().toInt(), 49152);
    address.Address().setText("10.1.2.3");
    Click(*w, QWizard::FinishButton);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Please enter a Multicast IP address"});
    address.Address().setText("239.255.9.9");
    address.Port().setText("9876");
    Click(*w, QWizard::FinishButton);

    ASSERT_EQ(parent->links->children->Size(), 1u);
    const auto folder = parent->links->children->Front();
    EXPECT_EQ(std::tuple(folder->sessionType, folder->own, folder->announceTtl, folder->attributes.size(),
                         folder->links->directoryGroup, folder->links->directoryPort, folder->links->directoryTtl),
              std::tuple(kTypeDirectory, 1, 31, size_t{1}, 0x0909FFEFu, 9876, 31));
    const auto socket = net.SocketOf(*folder);
    ASSERT_TRUE(socket && socket->port == 9876 && !net.sent.empty());
    EXPECT_NE(net.sent.back().Payload().find("a=tool:Talmira by TalmiraSoft\r\na=\r\nm=directory 9876 SAP SDP\r\n"
                                             "c=IN IP4 239.255.9.9/31/1\r\n"), std::string::npos) << net.sent.back().Payload();
    EXPECT_EQ(views.hints.back().directory, parent);

    // Edited to another group, the folder listens there instead.
    w = commands.Edit(folder);
    ASSERT_NE(w, nullptr);
    while (w->currentId() != CAnnouncementWizard::kAddressPage)
        Click(*w, QWizard::NextButton);
    PageOf<CMediaWizardAddressPage>(*w, CAnnouncementWizard::kAddressPage).Address().setText("239.255.9.10");
    Click(*w, QWizard::FinishButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto moved = net.sockets.back();
    EXPECT_EQ(std::tuple(socket->open, folder->links->directoryGroup, moved->directory.lock(), moved->open, moved->group, moved->port),
              std::tuple(false, 0x0A09FFEFu, folder, true, 0x0A09FFEFu, uint16_t{9876}));
}

// Through the main window: New Session from the tree, cancelled, leaves the
// store and the tree as they were.
class AnnouncementWizardWindowTest : public CDesktopTest {};

TEST_F(AnnouncementWizardWindowTest, NewSessionFromTheTreeCancelledChangesNothing)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = StartShown(app);
    QTreeView& tree = window.TreeView();
    const QModelIndex root = tree.model()->index(0, 0);
    const int scopes = tree.model()->rowCount(root);
    QAction* newSession = window.CommandAction(ECommand::NewSession);
    EXPECT_FALSE(newSession->isEnabled()); // the root: no directory
    tree.setFocus();
    tree.setCurrentIndex(tree.model()->index(0, 0, root));
    ASSERT_TRUE(newSession->isEnabled());
    newSession->trigger();
    CAnnouncementWizard* w = app.Announcements()->Current();
    ASSERT_TRUE(w && w->isVisible() && w->windowModality() != Qt::NonModal);
    auto* session = dynamic_cast<CAnnouncementWizardSessionPage*>(w->page(CAnnouncementWizard::kSessionPage));
    ASSERT_NE(session, nullptr);
    session->Title().setText("Left unsaid");
    session->Description().setPlainText("Never announced");
    w->button(QWizard::NextButton)->click();
    QTest::keyClick(w, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.Announcements()->Current(), nullptr);
    size_t sessions = 0;
    for (const auto& directory : app.Runtime().Doc().MainList())
        sessions += directory->links->children ? directory->links->children->Size() : 0;
    EXPECT_EQ(std::tuple(sessions, tree.model()->rowCount(root), tree.model()->rowCount(tree.model()->index(0, 0, root))),
              std::tuple(size_t{0}, scopes, 0));
}

} // namespace
