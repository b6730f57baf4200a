#include "gui/MediaPages.h"
#include "gui/MediaPagesAddress.h"
#include "gui/AnnouncementWizardPages.h"
#include "support/GuiTestSupport.h"
#include "support/MediaRulesSample.h"

namespace {

class MediaPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApplication();
        CAdminScopeEntry local{"Local", 31, 9875, inet_addr("239.255.0.0"), 16};
        scopes.Entries().push_back(local);
        ttlScope = t.Parse(CSessionStore::kTtlScopeText);
        ttlScope->sessionType = kTypeScopeDirectory;
        localScope = MakeScopeDirectory(local, "12358", t.env);
        session = CSDPObject::MakeWithoutText(t.env, "h");
        session->announceTtl = 63;
        session->parentDirectory = ttlScope;
    }
    CMediaContext Context() { return {&rules, &scopes, &t.used, &t.random, &t.clock, &prompter}; }
    // Inside the range of `base`/`prefix` (host order).
    static bool Within(const std::string& dotted, uint32_t base, int prefix)
    {
        const uint32_t mask = ~uint32_t(0) << (32 - prefix);
        return (ntohl(inet_addr(dotted.c_str())) & mask) == base;
    }
    static void Key(QWizard& wizard, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(wizard.focusWidget() ? wizard.focusWidget() : &wizard, key, modifiers);
    }

    CTestEnv t;
    CPluginTable rules = SampleRules();
    CAdminScopeList scopes;
    CFakePrompter prompter;
    std::shared_ptr<CSDPObject> ttlScope;
    std::shared_ptr<CSDPObject> localScope;
    std::shared_ptr<CSDPObject> session;
};

TEST_F(MediaPagesTest, AddByKeyboardWritesTheEntryAndItsRow)
{
    CAnnouncementWizardMediaPage page(*session, Context());
    page.initializePage();
    ASSERT_NO_FATAL_FAILURE(ShowActive(page));
    std::vector<std::string> listed;
    page.runWizard = [&](CMediaWizard& wizard) {
        wizard.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&wizard));
        for (int id : {kPageMedia, kPageProtocol, kPageFormat, kPageTool}) {
            EXPECT_EQ(wizard.currentId(), id);
            QStringList items;
            auto& list = static_cast<CMediaChoicePage*>(wizard.currentPage())->Choices();
            for (int i = 0; i < list.count(); ++i)
                items << list.item(i)->text() + (i == list.currentRow() ? "*" : "");
            listed.push_back(items.join(',').toStdString());
            Key(wizard, Qt::Key_Return);
        }
        EXPECT_EQ(wizard.currentId(), kPageAttributes);
        // The page starts on the first name: a flag.
        Key(wizard, Qt::Key_Tab);
        Key(wizard, Qt::Key_Space); // Yes
        Key(wizard, Qt::Key_Tab, Qt::ShiftModifier);
        Key(wizard, Qt::Key_Down); // the free text "title"
        Key(wizard, Qt::Key_Tab);
        QTest::keyClicks(wizard.focusWidget(), "Hi");
        Key(wizard, Qt::Key_Tab, Qt::ShiftModifier);
        Key(wizard, Qt::Key_Down); // Quality, whose default goes in at once
        Key(wizard, Qt::Key_Return);
        EXPECT_EQ(wizard.currentId(), kPageAddress);
        Key(wizard, Qt::Key_Return);
        EXPECT_EQ(wizard.currentId(), kPageOverview);
        auto* overview = static_cast<CMediaWizardOverviewPage*>(wizard.currentPage());
        EXPECT_EQ(overview->Shown("Protocol:"), "RTP");
        EXPECT_EQ(overview->Shown("Attributes:"), "mute; title:Hi; quality:high; ");
        Key(wizard, Qt::Key_Return);
        return wizard.result() == QDialog::Accepted;
    };
    page.AddButton().setFocus();
    QTest::keyClick(&page, Qt::Key_A, Qt::AltModifier);
    QTest::qWait(150); // a mnemonic clicks the button animated

    EXPECT_EQ(listed, (std::vector<std::string>{"audio*,video", "RTP*", "PCMU*,PCMA", "Tool A*,Tool B"}));
    ASSERT_EQ(session->media.size(), 1u);
    const CSDPMedia& m = session->media[0];
    EXPECT_EQ(std::tuple(m.media, m.extras->mediaLabel, m.protocol, m.formatList, m.extras->formatLabel, m.extras->toolChoice,
                         m.attributes, m.ttl, m.addressCount),
              std::tuple("audio", "audio", "RTP/AVP", "0", "PCMU", "Tool A",
                         std::vector<std::string>{"mute", "title:Hi", "quality:high"}, 63, 1));
    const int port = std::stoi(m.port);
    EXPECT_TRUE(port >= 16384 && port <= 32766 && port % 2 == 0) << port;
    EXPECT_TRUE(Within(m.address, 0xE0028000u, 17)) << m.address;
    ASSERT_EQ(page.Table().rowCount(), 1);
    EXPECT_TRUE(page.Table().item(0, 4)->text() == "mute title:Hi quality:high " && prompter.shown.empty());
}

TEST_F(MediaPagesTest, ToolWithoutAttributesSkipsThePageAndCancelKeepsEarlierPages)
{
    CSDPMedia old;
    old.media = old.extras.Edit().mediaLabel = "audio";
    old.protocol = "RTP/AVP";
    old.extras.Edit().protocolLabel = "RTP";
    old.formatList = "0";
    old.extras.Edit().formatLabel = "PCMU";
    old.extras.Edit().toolChoice = "Tool A";
    old.port = "20000";
    old.address = "224.2.130.1";
    session->media.push_back(old);
    CAnnouncementWizardMediaPage page(*session, Context());
    page.initializePage();
    page.runWizard = [&](CMediaWizard& wizard) {
        wizard.show();
        for (int i = 0; i < 3; ++i)
            wizard.next();
        static_cast<CMediaChoicePage*>(wizard.currentPage())->Choices().setCurrentRow(1); // Tool B
        wizard.next();
        EXPECT_TRUE(wizard.currentId() == kPageAddress &&
                    static_cast<CMediaWizardAddressPage*>(wizard.currentPage())->Port().text() == "20000");
        wizard.back();
        EXPECT_EQ(wizard.currentId(), kPageTool);
        wizard.next();
        wizard.next();
        EXPECT_EQ(wizard.currentId(), kPageOverview);
        wizard.reject();
        return false;
    };
    page.Table().selectRow(0);
    page.EditButton().click();
    EXPECT_TRUE(session->media[0].extras->toolChoice == "Tool B" && page.Table().item(0, 3)->text() == "Tool B");
    page.DeleteButton().click();
    EXPECT_TRUE(session->media.empty());
}

TEST_F(MediaPagesTest, AddressProposalKeepsToTheScopeAndGivesUp)
{
    CSDPMedia entry;
    entry.media = "whiteboard";
    session->parentDirectory = localScope;
    CMediaWizardAddressPage page(entry, *session, Context(), false);
    page.initializePage();
    EXPECT_TRUE(Within(page.Address().text().toStdString(), 0xEFFF0000u, 17)) << page.Address().text().toStdString();
    const int port = page.Port().text().toInt();
    EXPECT_TRUE(port >= 32768 && port <= 49151) << port;

    // Every draw lands on the same address, which is taken.
    t.random.Push(5);
    t.used.Add(inet_addr("239.255.0.5"), 0);
    page.initializePage();
    EXPECT_TRUE(page.Address().text().isEmpty());
    EXPECT_EQ(prompter.shown, std::vector<std::string>{CMediaWizardAddressPage::kNoFreeAddressText});
}

TEST_F(MediaPagesTest, InAnIpv6ScopeTheProposalIsATransientGroupOfThatScopeWrittenAsIp6)
{
    auto site = MakeIpv6ScopeDirectory(kIpv6SapScopes[1], t.env);
    session->parentDirectory = site;
    CSDPMedia entry;
    entry.media = "audio";
    CMediaWizardAddressPage page(entry, *session, Context(), false);
    page.initializePage();
    const auto proposed = text::ParseIpv6(page.Address().text().toStdString());
    ASSERT_TRUE(proposed) << page.Address().text().toStdString();
    EXPECT_EQ(std::tuple((*proposed)[0], (*proposed)[1]), std::tuple(uint8_t{0xFF}, uint8_t{0x15}));
    page.Levels().setValue(2);
    // Typed over with an IPv4 group, the entry is IPv4 again.
    for (const QString& typed : {QString(), QString("239.255.1.2")}) {
        if (!typed.isEmpty())
            page.Address().setText(typed);
        ASSERT_TRUE(page.validatePage());
        session->media = {entry};
        const std::string out = WrittenSdp(*session);
        const std::string line = typed.isEmpty() ? "c=IN IP6 " + page.Address().text().toStdString() + "/2\r\n"
                                                 : "c=IN IP4 239.255.1.2/63/2\r\n";
        EXPECT_NE(out.find(line), std::string::npos) << out;
    }
}

TEST_F(MediaPagesTest, AddressPageRefusesOutOfRangeValues)
{
    struct Case {
        const char* port;
        int levels;
        const char* message; // empty: accepted
        const char* address = nullptr; // null: the proposed one
    };
    const Case cases[] = {{"0", 1, ""},
                          {"65535", 100, ""},
                          {"65536", 1, "Please enter an integer between 0 and 65535."},
                          {"12ab", 1, "Please enter an integer between 0 and 65535."},
                          {"5000", 0, "Please enter an integer between 1 and 100."},
                          {"5000", 101, "Please enter an integer between 1 and 100."},
                          {"5000", 1, "The address you entered doesn't look like an IP address", "not an address"},
                          {"5000", 1, "Please enter a Multicast IP address", "10.0.0.1"}};
    for (const Case& c : cases) {
        CSDPMedia entry;
        entry.media = "audio";
        CMediaWizardAddressPage page(entry, *session, Context(), false);
        page.initializePage();
        page.Port().setText(c.port);
        page.Levels().setValue(c.levels);
        if (c.address)
            page.Address().setText(c.address);
        prompter.shown.clear();
        const bool accepted = page.validatePage();
        EXPECT_EQ(accepted, std::string(c.message).empty()) << c.port << " " << c.levels;
        EXPECT_EQ(prompter.shown, accepted ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        EXPECT_EQ(entry.port, accepted ? c.port : "");
    }
    CSDPMedia entry;
    CMediaWizardAddressPage page(entry, *session, Context(), false);
    page.Levels().setValue(100);
    page.Levels().stepBy(1);
    EXPECT_EQ(page.Levels().value(), 100) << "the arrows stop at 100";
}

} // namespace
