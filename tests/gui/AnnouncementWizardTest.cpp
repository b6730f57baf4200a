// The "Announcement Wizard": its pages, what they write into the record,
// and New Session, New Folder and Edit on a store with a recording network.
#include "directory/AdminScope.h"
#include "directory/SessionListRules.h"
#include "directory/SessionStore.h"
#include "gui/AnnouncementWizard.h"
#include "gui/AnnouncementWizardCommands.h"
#include "gui/AnnouncementWizardPages.h"
#include "gui/MediaPages.h"
#include "gui/MediaPagesAddress.h"
#include "gui/SchedulePage.h"
#include "support/FakeSapNetwork.h"
#include "support/GuiTestSupport.h"
#include "support/MediaRulesSample.h"
#include "support/TestEnv.h"
#include "support/TestZone.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeView>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <cstdlib>
#include <tuple>

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
    EXPECT_EQ(commands.NewSession(ttlScope), nullptr); // one at a time
    EXPECT_EQ(w->windowTitle(), "Announcement Wizard");
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
    EXPECT_EQ(w->Record().name, "Weekly seminar");
    EXPECT_EQ(w->Record().information, "Talks on multicast");
    EXPECT_EQ(w->Record().uri, "http://example.org/");

    auto& contact = PageOf<CAnnouncementWizardContactPage>(*w, CAnnouncementWizard::kContactPage);
    EXPECT_EQ(contact.Name().text(), "Unknown");
    EXPECT_TRUE(contact.Name().isReadOnly());
    EXPECT_EQ(contact.Email().text(), "alice@example.org");
    contact.Phone().setText("+32 2 555 0199");
    Click(*w, QWizard::NextButton);
    EXPECT_EQ(w->currentId(), CAnnouncementWizard::kSchedulePage);
    EXPECT_EQ(w->Record().phone, "+32 2 555 0199");
    EXPECT_EQ(w->Record().originUser, "-");
}

TEST_F(AnnouncementWizardTest, SchedulePageEnablesRowsAndWritesTimeEntries)
{
    CAnnouncementWizard* w = commands.NewSession(ttlScope);
    ASSERT_NE(w, nullptr);
    PassSessionPage(*w);
    Click(*w, QWizard::NextButton);
    auto& page = PageOf<CAnnouncementWizardSchedulePage>(*w, CAnnouncementWizard::kSchedulePage);
    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kSchedulePage);

    // A fresh page: row 1 "Once" from now, the other rows and "Repeat for:" shut.
    EXPECT_EQ(page.Repetition(0).currentText(), "Once");
    EXPECT_EQ(page.Duration(0).count(), 40);
    EXPECT_EQ(page.Date(0).date(), QDate(2023, 11, 14));
    EXPECT_EQ(page.Time(2).time(), QTime(23, 13, 20));
    EXPECT_FALSE(page.Repetition(1).isEnabled());
    EXPECT_FALSE(page.Date(1).isEnabled());
    EXPECT_FALSE(page.Repetition(2).isEnabled());
    EXPECT_FALSE(page.RepeatFor().isEnabled());

    // Weekly beside every two weeks: only "4 weeks" to repeat for.
    page.Repetition(0).setFocus();
    QTest::keyClick(&page.Repetition(0), Qt::Key_Down); // keyboard: Daily
    EXPECT_EQ(page.Repetition(0).currentText(), "Daily");
    EXPECT_EQ(page.Duration(0).count(), 25);
    page.Repetition(0).setCurrentIndex(2);
    emit page.Repetition(0).activated(2);
    ASSERT_TRUE(page.Repetition(1).isEnabled());
    page.Repetition(1).setCurrentText("Every Two Weeks");
    EXPECT_TRUE(page.Date(1).isEnabled());
    EXPECT_TRUE(page.Repetition(2).isEnabled());
    EXPECT_FALSE(page.Date(2).isEnabled());
    EXPECT_TRUE(page.RepeatFor().isEnabled());
    ASSERT_EQ(page.RepeatFor().count(), 1);
    EXPECT_EQ(page.RepeatFor().currentText(), "4 weeks");
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
    EXPECT_EQ(page.Repetition(1).currentText(), "Every Two Weeks");
    EXPECT_EQ(page.Duration(1).currentText(), "8 days");
    EXPECT_EQ(page.Time(1).time(), QTime(9, 30, 0));
    EXPECT_EQ(page.Repetition(2).currentText(), "N/A");
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
    EXPECT_TRUE(scope.Choice(CAnnouncementWizardScopePage::kSite).isChecked());
    EXPECT_EQ(scope.Choice(CAnnouncementWizardScopePage::kSite).text(), "Site ");
    EXPECT_FALSE(scope.OtherTtl().isEnabled());

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
    EXPECT_TRUE(scope.Choice(CAnnouncementWizardScopePage::kOther).isChecked());
    EXPECT_EQ(scope.OtherTtl().text(), "100");
    Click(*w, QWizard::NextButton);

    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kTypePage);
    auto& type = PageOf<CAnnouncementWizardTypePage>(*w, CAnnouncementWizard::kTypePage);
    QStringList offered;
    for (int i = 0; i < type.Type().count(); ++i)
        offered << type.Type().itemText(i);
    EXPECT_EQ(offered, QStringList({"broadcast", "H332", "meeting", "test", "unknown"}));
    EXPECT_EQ(type.Type().currentText(), "unknown");
    type.AttributeName().setText("lang");
    type.AttributeValue().setText("en");
    type.Add().click();
    type.AttributeName().setText("recvonly");
    type.AttributeValue().clear();
    type.Add().click();
    EXPECT_EQ(w->Record().attributes, (std::vector<std::string>{"lang: en", "recvonly"}));
    ASSERT_EQ(type.Attributes().topLevelItemCount(), 2);
    EXPECT_EQ(type.Attributes().topLevelItem(0)->text(0), "lang");
    EXPECT_EQ(type.Attributes().topLevelItem(0)->text(1), " en");
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
    EXPECT_EQ(stored->sessionType, kTypeH332);
    EXPECT_EQ(stored->announceTtl, 100);
    EXPECT_EQ(net.sent.back().ttl, 100);
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
// and its SDP text read back by the parser gives the same record.
TEST_F(AnnouncementWizardTest, FinishAnnouncesTheSessionAndItsTextReadsBack)
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
    const std::string expected = "v=0\r\n"
                                 "o=alice " + kNtpNow + " " + version + " IN IP4 host.example\r\n"
                                 "s=Weekly seminar\r\n"
                                 "i=Talks on multicast\r\n"
                                 "u=http://example.org/seminar\r\n"
                                 "e=alice@example.org\r\n"
                                 "p=+32 2 555 0100\r\n"
                                 "t=3909582000 3911396400\r\n"
                                 "r=604800 7200 0\r\n"
                                 "a=lang: en\r\n"
                                 "a=tool:Talmira by TalmiraSoft\r\n"
                                 "a=type:meeting\r\n"
                                 "m=audio 20000 RTP/AVP 0\r\n"
                                 "c=IN IP4 239.255.1.1/15/1\r\n"
                                 "m=video 50000 RTP/AVP 31\r\n"
                                 "c=IN IP4 239.255.1.2/15/1\r\n";
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].Flags(), 0x20);
    EXPECT_EQ(net.sent[0].ttl, 63);
    EXPECT_EQ(net.sent[0].Payload(), expected);
    EXPECT_EQ(views.hints.back().directory, ttlScope);

    auto back = t.Parse(expected);
    std::string again;
    back->WriteSdp(again);
    EXPECT_EQ(again, expected);
    EXPECT_EQ(back->name, stored->name);
    EXPECT_EQ(back->times, stored->times);
    EXPECT_EQ(back->sessionType, stored->sessionType);
    ASSERT_EQ(back->media.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const CSDPMedia &a = back->media[i], &b = stored->media[i];
        EXPECT_EQ(std::tie(a.media, a.port, a.protocol, a.formatList, a.address, a.ttl, a.addressCount),
                  std::tie(b.media, b.port, b.protocol, b.formatList, b.address, b.ttl, b.addressCount));
    }
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
    std::string before;
    own->WriteSdp(before);

    EXPECT_EQ(commands.Edit(ttlScope), nullptr); // not own
    CAnnouncementWizard* w = commands.Edit(own);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(own->links->viewerWindow, w);
    EXPECT_EQ(own->LockCount(), 1);
    PassSessionPage(*w, "Changed title");
    Click(*w, QWizard::NextButton);
    PageOf<CAnnouncementWizardSchedulePage>(*w, CAnnouncementWizard::kSchedulePage).Repetition(0).setCurrentText("Daily");
    Click(*w, QWizard::NextButton);
    PageOf<CAnnouncementWizardScopePage>(*w, CAnnouncementWizard::kScopePage).Choice(CAnnouncementWizardScopePage::kWorld).click();
    Click(*w, QWizard::NextButton);
    EXPECT_EQ(own->name, "Mine"); // the stored record waits for Finish
    Click(*w, QWizard::CancelButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::string after;
    own->WriteSdp(after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(own->announceTtl, 15);
    EXPECT_EQ(own->links->viewerWindow, nullptr);
    EXPECT_EQ(own->LockCount(), 0);
    EXPECT_TRUE(net.sent.empty());

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
    EXPECT_EQ(own->name, "Changed title");
    EXPECT_EQ(own->times, times);
    EXPECT_EQ(own->originVersion, std::to_string(kNow + 3600 + kNtpUnixOffset));
    EXPECT_EQ(own->originSessionId, "42");
    EXPECT_EQ(own->LockCount(), 0);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].Flags(), 0x20);
    EXPECT_NE(net.sent[0].Payload().find("s=Changed title\r\n"), std::string::npos);
    EXPECT_EQ(views.changed.empty(), false);

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
    EXPECT_EQ(own->links->viewerWindow, nullptr);
    EXPECT_EQ(own->LockCount(), 0);

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
    EXPECT_EQ(w->page(CAnnouncementWizard::kScopePage), nullptr);
    EXPECT_EQ(w->page(CAnnouncementWizard::kTypePage), nullptr);
    PassSessionPage(*w, "Our folder");
    Click(*w, QWizard::NextButton);
    Click(*w, QWizard::NextButton);
    ASSERT_EQ(w->currentId(), CAnnouncementWizard::kAddressPage);
    EXPECT_TRUE(w->button(QWizard::FinishButton)->isVisible());
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
    EXPECT_EQ(folder->sessionType, kTypeDirectory);
    EXPECT_TRUE(folder->own);
    EXPECT_EQ(folder->announceTtl, 31);
    EXPECT_EQ(folder->attributes, std::vector<std::string>{"tool:Talmira by TalmiraSoft"});
    ASSERT_EQ(folder->media.size(), 1u);
    EXPECT_EQ(folder->media[0].media, "directory");
    EXPECT_EQ(folder->media[0].protocol, "SAP");
    EXPECT_EQ(folder->media[0].formatList, "SDP");
    EXPECT_EQ(folder->links->directoryGroup, 0x0909FFEFu);
    EXPECT_EQ(folder->links->directoryPort, 9876);
    EXPECT_EQ(folder->links->directoryTtl, 31);
    const auto socket = net.SocketOf(*folder);
    ASSERT_NE(socket, nullptr);
    EXPECT_EQ(socket->port, 9876);
    ASSERT_FALSE(net.sent.empty());
    EXPECT_NE(net.sent.back().Payload().find("m=directory 9876 SAP SDP\r\nc=IN IP4 239.255.9.9/31/1\r\n"),
              std::string::npos);
    EXPECT_EQ(views.hints.back().directory, parent);

    // Edited to another group, the folder listens there instead.
    w = commands.Edit(folder);
    ASSERT_NE(w, nullptr);
    while (w->currentId() != CAnnouncementWizard::kAddressPage)
        Click(*w, QWizard::NextButton);
    PageOf<CMediaWizardAddressPage>(*w, CAnnouncementWizard::kAddressPage).Address().setText("239.255.9.10");
    Click(*w, QWizard::FinishButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(socket->open);
    EXPECT_EQ(folder->links->directoryGroup, 0x0A09FFEFu);
    const auto moved = net.sockets.back();
    EXPECT_EQ(moved->directory.lock(), folder);
    EXPECT_TRUE(moved->open);
    EXPECT_EQ(std::tuple(moved->group, moved->port), std::tuple(0x0A09FFEFu, uint16_t{9876}));
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
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isModal() || w->windowModality() != Qt::NonModal);
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
    EXPECT_EQ(sessions, 0u);
    EXPECT_EQ(tree.model()->rowCount(root), scopes);
    EXPECT_EQ(tree.model()->rowCount(tree.model()->index(0, 0, root)), 0);
}

} // namespace
