// What the views hear from the store; the fake views check every notice
// against the store as an item model would (see FakeViews.h).
#include "DocFixture.h"

#include "directory/Archive.h"
#include "sap/SapCodec.h"

#include <filesystem>

namespace {

using Events = std::vector<std::string>;

class StoreNoticesTest : public DocTest {
protected:
    std::shared_ptr<CSDPObject> top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    void SetUp() override
    {
        for (const char* id : {"1", "2", "3"})
            doc->AddSession(Session(id), top);
        views.Take();
        views.hints.clear();
    }
};

TEST_F(StoreNoticesTest, AddAndRemoveCarryTheirDirectoryAndRow)
{
    EXPECT_EQ(doc->AddSession(Session("4"), top), 1);
    EXPECT_EQ(views.Take(), (Events{"about-to-add 900/4@3", "add 900/4@3", "hint -1"}));
    // A deletion datagram: announced while the record still has its row.
    doc->OnSapMessage(ESapAction::Delete, Session("2"), top);
    EXPECT_EQ(views.Take(), (Events{"about-to-remove 900/2@1", "remove 900/2@1", "hint -1"}));
    doc->AddSession(Directory("910", "239.1.1.1"), nullptr);
    EXPECT_EQ(views.Take(), (Events{"about-to-add 910@1", "add 910@1", "hint -1"}));
}

// A refresh is news exactly when something a view shows changed.
TEST_F(StoreNoticesTest, RefreshThatChangesWhatIsShownIsAnnounced)
{
    const struct {
        const char* what;
        void (*edit)(CSDPObject&);
        bool news;
    } cases[] = {
        {"nothing", [](CSDPObject&) {}, false}, {"origin version", [](CSDPObject& r) { r.originVersion = "9"; }, false},
        {"name", [](CSDPObject& r) { r.name = "New"; }, true},
        {"information", [](CSDPObject& r) { r.information = "More"; }, true},
        {"a media section", [](CSDPObject& r) { r.media.emplace_back().media = "video"; }, true},
        {"times", [](CSDPObject& r) { r.times[0].stop = NtpStop(2000000000); }, true},
        {"type", [](CSDPObject& r) { r.sessionType = kTypeMeeting; }, true},
    };
    for (const auto& c : cases) {
        auto repeat = Session("2");
        c.edit(*repeat);
        EXPECT_EQ(doc->AddSession(repeat, top), 0);
        EXPECT_EQ(views.Take(), c.news ? (Events{"change 2@1", "hint -1"}) : Events{}) << c.what;
        // Back to the plain text for the next case.
        doc->AddSession(Session("2"), top);
        views.Take();
    }
}

// Two hundred sessions expire in one walk: one batch, one removal each,
// one hint; a walk with nothing to say sends nothing but its frame.
TEST_F(StoreNoticesTest, WalkIsOneBatchWithOneHint)
{
    for (int i = 10; i < 210; ++i)
        doc->AddSession(Session(std::to_string(i)), top);
    doc->CheckSessions();
    views.Take();
    doc->CheckSessions();
    EXPECT_EQ(views.Take(), (Events{"begin walk", "end walk"}));

    t.clock.Advance(1000000);
    doc->CheckSessions();
    const Events events = views.Take();
    ASSERT_EQ(events.size(), 2 + 2 * 203 + 1u);
    EXPECT_EQ(Events(events.begin(), events.begin() + 3), (Events{"begin walk", "about-to-remove 900/1@0", "remove 900/1@0"}));
    EXPECT_EQ(Events(events.end() - 2, events.end()), (Events{"hint -1", "end walk"}));
}

// A list showing a directory that goes, or one below it, shows the parent;
// the walk sends that hint once, after removing every expired directory.
TEST_F(StoreNoticesTest, ListLeavesARemovedDirectoryForItsParent)
{
    auto folder = Directory("910", "239.1.1.1");
    doc->AddSession(folder, top);
    auto inner = Directory("911", "239.1.1.2");
    doc->AddSession(inner, folder);
    doc->AddSession(Session("5"), inner);
    views.showing = inner.get();
    views.Take();
    doc->OnSapMessage(ESapAction::Delete, Directory("910", "239.1.1.1"), top);
    EXPECT_EQ(views.Take(), (Events{"about-to-remove 900/910@3", "remove 900/910@3", "hint dir 900"}));
    EXPECT_EQ(views.showing, top.get());

    // Nested folders expiring in one walk: the list ends up at the top.
    auto a = AddDirectory("920", "239.1.2.1");
    auto b = Directory("921", "239.1.2.2");
    doc->AddSession(b, a);
    views.showing = b.get();
    views.Take();
    t.clock.Advance(1000000);
    doc->CheckSessions();
    EXPECT_EQ(views.showing, nullptr);
    const Events events = views.Take();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const auto& e) { return e.rfind("hint", 0) == 0; }), 1);
    EXPECT_EQ(events[events.size() - 2], "hint 0");
}

TEST_F(StoreNoticesTest, ClearCacheAndCacheLoadAreResets)
{
    auto folder = Directory("910", "239.1.1.1");
    doc->AddSession(folder, top);
    auto own = Own("8");
    doc->AddSession(own, top);
    const size_t sent = net.sent.size();
    views.Take();
    doc->ClearCache();
    EXPECT_EQ(views.Take(), (Events{"begin reset", "hint 0", "end reset"}));
    EXPECT_TRUE(top->links->children->Empty() && own->IsDeleting());
    EXPECT_EQ(std::make_pair(net.SocketOf(*top)->open, net.SocketOf(*folder)->open), std::make_pair(true, false));
    EXPECT_EQ(net.sent.size(), sent); // no deletion for own sessions

    // A cache read into the store: one reset, no row notices; the fake's
    // mirror then follows the loaded records.
    doc->AddSession(Session("1"), top);
    CArchiveWriter out;
    doc->StoreList(out, doc->MainList(), false);
    doc->DeleteContents();
    views.Take();
    CArchiveReader in(out.Bytes());
    ASSERT_TRUE(doc->ReadCache(in));
    EXPECT_EQ(views.Take(), (Events{"begin reset", "end reset"}));
    doc->AddSession(Session("2"), doc->MainList().Front());
    EXPECT_EQ(views.Take(), (Events{"about-to-add 900/2@1", "add 900/2@1", "hint -1"}));
}

// A message box runs a nested event loop in which the walk's timer fires
// again. The walk does not re-enter, and its messages wait until it is over.
class ReenteringPrompter final : public Prompter {
public:
    CSessionStore* doc = nullptr;
    int ticks = 5; // one timer tick per box shown
    std::vector<std::string> shown;
    bool inWalk = false;
    EPromptAnswer Show(const std::string& text, EPromptButtons, EPromptIcon, const std::string&) override
    {
        shown.push_back(text);
        inWalk = inWalk || (doc && doc->Walking());
        if (doc && ticks-- > 0)
            doc->CheckSessions();
        return EPromptAnswer::Ok;
    }
};

TEST_F(DocTest, OneFailedSendShowsOneMessageWhateverTheBoxRuns)
{
    ReenteringPrompter boxes;
    CSessionStore store(CStorePorts{t.clock, t.random, boxes, exit, net, nullptr, &tools, &t.used});
    auto dir = Directory("900", "224.2.127.254");
    dir->sessionType = kTypeScopeDirectory;
    store.AddSession(dir, nullptr);
    for (const char* id : {"1", "2"})
        store.AddSession(Own(id), dir);
    boxes.doc = &store;
    net.failSend = true;
    t.clock.Advance(CSessionStore::kMinInterval);
    store.CheckSessions();
    EXPECT_EQ(std::exchange(boxes.shown, {}), std::vector<std::string>{"Failed to write to socket"});
    EXPECT_FALSE(boxes.inWalk);

    // The same holds for a datagram's handler.
    boxes.ticks = 5;
    store.OnSapMessage(ESapAction::Announce, Own("3"), dir);
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"Failed to write to socket"});
    EXPECT_FALSE(boxes.inWalk);
}

} // namespace
