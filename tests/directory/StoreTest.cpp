#include "DocFixture.h"

#include "base/Text.h"
#include "directory/Archive.h"
#include "sap/SapAnnounce.h"
#include "sap/SapCodec.h"

#include <cstring>
#include <tuple>
#include <vector>

namespace {

TEST_F(DocTest, SessionsAreKeptPerDirectory)
{
    auto a = AddDirectory("900", "224.2.127.254");
    auto b = Directory("901", "239.192.4.254", 9876, 15);
    doc->AddSession(b, nullptr);
    ASSERT_EQ(doc->AddSession(Session("1"), a), 1);
    doc->AddSession(Session("2"), a);
    auto stored = a->links->children->Front();

    // A repeat silently refreshes the stored record, which keeps its identity.
    t.clock.Advance(100);
    auto repeat = Session("1");
    repeat->name = "Renamed";
    EXPECT_EQ(doc->AddSession(repeat, a), 0);
    EXPECT_EQ(a->links->children->Front(), stored);
    EXPECT_EQ(std::tuple(stored->name, stored->lastHeard), std::tuple("Renamed", t.clock.Now()));
    EXPECT_EQ(views.added.size(), 4u); // the directories and the first announcements only

    // The same id heard in another directory is another record.
    EXPECT_EQ(doc->AddSession(Session("1"), b), 1);
    EXPECT_EQ(b->links->children->Front()->parentDirectory.lock(), b);

    // A deletion datagram: a freshly parsed record of the same session.
    doc->OnSapMessage(ESapAction::Delete, Session("1"), a);
    EXPECT_EQ(std::tuple(Count(a), a->links->children->Front()->originSessionId, Count(b)), std::tuple(1u, "2", 1u));
    EXPECT_TRUE(stored->IsDeleting());
    const size_t hints = views.hints.size();
    auto unknown = Session("77");
    unknown->parentDirectory = a;
    EXPECT_EQ(doc->RemoveSession(unknown), 0);
    EXPECT_EQ(views.hints.size(), hints);
    // The list's own reference may be handed in: it must outlive the call.
    EXPECT_EQ(doc->RemoveSession(a->links->children->Front()), 1);
    EXPECT_EQ(Count(a), 0u);

    // A directory listens on its group, port and TTL; a refresh opens nothing more.
    doc->AddSession(Directory("901", "239.192.4.254", 9876, 15), nullptr);
    ASSERT_EQ(net.sockets.size(), 2u);
    EXPECT_EQ(std::tuple(net.sockets[1]->group, net.sockets[1]->port, net.sockets[1]->openTtl),
              std::tuple(inet_addr("239.192.4.254"), 9876, 15));

    // Datagrams still queued for a released directory are dropped.
    doc->RemoveSession(b);
    EXPECT_EQ(doc->AddSession(Session("3"), b), 0);
    doc->OnSapMessage(ESapAction::Delete, Session("1"), b);
    EXPECT_EQ(doc->MainList().Size(), 1u);
}

// ---- the walk -------------------------------------------------------------

// The TTL bands that share out the announcement bandwidth: each band's TTL
// range, limit and count, seen through the interval they give a record.
// A record whose first media has `ttl`, parsed from a text of `size` bytes.
std::shared_ptr<CSDPObject> WithTtl(CTestEnv& t, int ttl, int size = 10000)
{
    static int id = 0;
    auto r = t.Parse("v=0\no=- " + std::to_string(++id) + " 1 IN IP4 h\nm=audio 1 RTP/AVP 0\n");
    r->media[0].ttl = ttl;
    r->sourceLength = size;
    return r;
}

TEST(TtlBandTable, RangesLimitsAndCounts)
{
    CTtlBands bands;
    const int counts[] = {10, 20, 30, 40}; // distinct, so a band's own count must be used
    std::copy(std::begin(counts), std::end(counts), bands.counts);
    // Interval = 8 * count * size / limit, at least 300; a TTL in no band gives itself.
    const struct { int ttl, band, interval; } cases[] = {
        {-1, -1, 300},   {0, -1, 300},     {1, 0, 390},      {15, 0, 390},    {16, 1, 1562},   {63, 1, 1562},
        {64, 2, 2343},   {127, 2, 2343},   {128, -1, 300},   {129, 3, 16000}, {255, 3, 16000}, {256, -1, 300},
        {1000, -1, 1000},
    };
    CTestEnv t;
    for (const auto& c : cases) {
        EXPECT_EQ(CTtlBands::BandOf(c.ttl), c.band) << c.ttl;
        EXPECT_EQ(CSessionStore::AnnouncementInterval(*WithTtl(t, c.ttl), bands), c.interval) << c.ttl;
    }
    // A record without media counts as TTL 127; a short text gets the floor.
    auto bare = t.Parse("v=0\no=- bare 1 IN IP4 h\n");
    bare->sourceLength = 10000;
    EXPECT_EQ(CSessionStore::AnnouncementInterval(*bare, bands), 2343);
    EXPECT_EQ(CSessionStore::AnnouncementInterval(*WithTtl(t, 1, 100), bands), 300);

    // Counting: by the first media's TTL; records without media and TTLs in
    // no band are not counted.
    CSessionList list;
    for (int ttl : {1, 15, 16, 64, 127, 128, 200, 0, 256})
        list.Append(WithTtl(t, ttl));
    list.Append(t.Parse("v=0\n"));
    auto two = WithTtl(t, 1);
    two->media.push_back(two->media[0]);
    two->media[1].ttl = 200;
    list.Append(two);
    const CTtlBands counted = CTtlBands::Count(list);
    EXPECT_EQ(std::vector<int>(std::begin(counted.counts), std::end(counted.counts)), (std::vector<int>{3, 1, 2, 1}));
}

// Ten intervals of silence; the interval grows with the traffic of the
// session's TTL band (100 texts of 1000 bytes: 8 * 100 * 1000 / 1024 = 781 s).
TEST_F(DocTest, HeardSessionTimesOutAfterTenIntervals)
{
    for (const auto& [sessions, lifetime] : {std::pair{1, 3000}, {100, 7810}}) {
        SCOPED_TRACE(sessions);
        doc.reset();
        doc = MakeDoc();
        views.removed.clear();
        auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
        for (int i = 0; i < sessions; ++i)
            doc->AddSession(Session(std::to_string(i), 127, "0", 1000), dir);
        const int64_t heard = t.clock.Now();
        t.clock.Set(heard + lifetime);
        doc->CheckSessions();
        EXPECT_EQ(Count(dir), size_t(sessions));
        t.clock.Set(heard + lifetime + 1);
        doc->CheckSessions();
        EXPECT_EQ(std::tuple(Count(dir), views.removed.size()), std::tuple(0u, size_t(sessions)));
        EXPECT_EQ(doc->MainList().Size(), 1u); // the scope directory itself stays
    }
}

TEST_F(DocTest, PassedStopTimeRemovesAFreshRecordButNoScopeDirectory)
{
    auto scope = Directory("900", "224.2.127.254");
    scope->sessionType = kTypeScopeDirectory;
    scope->times.push_back(CSDPTime{"0", NtpStop(t.clock.Now() - 100), "", "", ""});
    doc->AddSession(scope, nullptr);
    auto plain = AddDirectory("901", "224.2.1.1");
    for (const char* id : {"1", "2", "3"})
        doc->AddSession(Session(id, 127, NtpStop(t.clock.Now() + (id[0] == '2' ? 60 : -1))), scope);
    scope->links->children->FindById("3")->DeleteLater(); // its lock is refused: left for whoever deletes it
    doc->CheckSessions();
    ASSERT_EQ(Count(scope), 2u);
    EXPECT_EQ(scope->links->children->Front()->originSessionId, "2");
    EXPECT_EQ(doc->MainList().Size(), 2u);

    t.clock.Advance(100000);
    doc->CheckSessions();
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(doc->MainList().Front(), scope);
    EXPECT_FALSE(net.SocketOf(*plain)->open);
}

TEST(EndTime, LatestPositiveStopOfAllEntries)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=0 0\nt=0 " + NtpStop(2000) + "\nt=0 "
                     + NtpStop(1000) + "\nt=0 12\n");
    EXPECT_EQ(CSessionStore::EndTime(*r), 2000);
    EXPECT_EQ(CSessionStore::EndTime(*t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=0 0\n")), 0);
    // Stop times past 2036 still compare as later (no 32-bit wrap).
    auto late = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=0 4200000000\n");
    EXPECT_EQ(CSessionStore::EndTime(*late), 4200000000LL - kNtpUnixOffset);
}

TEST_F(DocTest, AutoStartFiresOnceWhenTheSessionRuns)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    const int64_t now = t.clock.Now();
    auto later = Session("1", 127, NtpStop(now + 7200));
    later->times[0].start = NtpStop(now + 600);
    doc->AddSession(later, dir);
    later->startTools = 1;

    doc->CheckSessions();
    EXPECT_EQ(later->cachedNextStart, now + 600);
    size_t hints = views.hints.size();
    t.clock.Advance(1);
    doc->CheckSessions();
    EXPECT_TRUE(tools.started.empty());
    EXPECT_EQ(views.hints.size(), hints); // the next start did not change

    t.clock.Set(now + 601);
    hints = views.ListsChangedCount();
    doc->CheckSessions();
    EXPECT_EQ(std::tuple(tools.started, later->startTools), std::tuple(std::vector<std::string>{"1:-1:0"}, 0));
    EXPECT_GT(views.ListsChangedCount(), hints);
    t.clock.Advance(1);
    doc->CheckSessions();
    EXPECT_EQ(tools.started.size(), 1u);
}

// ---- own sessions ---------------------------------------------------------

class OwnSessionTest : public DocTest {
protected:
    std::shared_ptr<CSDPObject> dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
};

TEST_F(OwnSessionTest, OwnSessionIsSentAtOnceAndWithdrawnWithItsFullText)
{
    auto ending = Own("1", NtpStop(t.clock.Now() + 10), 63);
    doc->AddSession(ending, dir);
    auto kept = Own("2");
    doc->AddSession(kept, dir);
    const std::string endingText = WrittenSdp(*ending), keptText = WrittenSdp(*kept);
    ASSERT_EQ(net.sent.size(), 2u);
    const auto& d = net.sent[0];
    EXPECT_EQ(d.Flags(), sap::kFlagAnnounce);
    EXPECT_EQ(d.datagram.substr(1, 3), std::string(3, '\0')); // no auth data, hash 0
    uint32_t source = 0;
    std::memcpy(&source, d.datagram.data() + 4, 4);
    EXPECT_EQ(source, net.source);
    EXPECT_EQ(std::tuple(d.group, d.port, d.ttl, net.sent[1].ttl), std::tuple(inet_addr("224.2.127.254"), 9875, 63, 15));
    EXPECT_EQ(std::tuple(d.Payload(), net.SocketOf(*dir)->openTtl), std::tuple(endingText, 127));

    // One that ends goes with one deletion; so does one the user removes.
    t.clock.Advance(11);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 1u);
    EXPECT_EQ(doc->RemoveSession(kept), 1);
    ASSERT_EQ(net.sent.size(), 4u);
    for (size_t i : {2u, 3u})
        EXPECT_EQ(std::tuple(net.sent[i].Flags(), net.sent[i].Payload()),
                  std::tuple(sap::kFlagDelete, i == 2 ? endingText : keptText));
}

TEST_F(OwnSessionTest, EachIsResentOnItsOwnScheduleAndNeverTimesOut)
{
    const int64_t start = t.clock.Now();
    doc->AddSession(Own("1"), dir);
    t.clock.Set(start + 100);
    doc->AddSession(Own("2"), dir);
    // Heard back from the network: only postpones the next send.
    t.clock.Set(start + 200);
    auto heard = Session("2");
    heard->name = "Someone else's name";
    doc->AddSession(heard, dir);
    EXPECT_EQ(dir->links->children->FindById("2")->name, "Session 2");

    for (const auto& [at, ids] : {std::pair<int64_t, std::string>{299, ""}, {300, "1"}, {499, ""}, {500, "2"},
                                  {100000, "12"}}) {
        net.sent.clear();
        t.clock.Set(start + at);
        doc->CheckSessions();
        std::string sent;
        for (const auto& d : net.sent)
            sent += d.Flags() == sap::kFlagAnnounce ? d.Payload().substr(d.Payload().find("o=- ") + 4, 1) : "?";
        EXPECT_EQ(sent, ids) << at;
    }
    EXPECT_EQ(Count(dir), 2u);
}

// The longest text an IPv4 datagram holds goes out (and passes for one that
// fits in the list); a byte more is not sent, silently, and waits for its
// next turn all the same.
TEST_F(OwnSessionTest, TooLongATextIsNotSentButKeepsItsSchedule)
{
    auto r = Own("1");
    r->parentDirectory = dir;
    r->information = "y";
    const size_t room = sap::MaxAnnouncementText(false) - WrittenSdp(*r).size();
    for (const size_t over : {0, 1}) {
        net.sent.clear();
        r->information.assign(1 + room + over, 'y');
        t.clock.Advance(5);
        doc->AnnounceSession(*r, false);
        EXPECT_EQ(std::tuple(net.sent.size(), CSessionStore::SendSizeOf(*r).Fits(), prompter.shown.empty(), r->lastHeard),
                  std::tuple(1 - over, over == 0, true, t.clock.Now()));
    }
}

TEST_F(OwnSessionTest, SendFailuresAreShown)
{
    const struct { bool refuseTtl, failSend, bindFails; std::vector<std::string> shown; size_t sent; } cases[] = {
        {true, false, false, {"Failed to adjust TTL!"}, 1}, // still sent
        {false, true, false, {"Failed to write to socket"}, 0},
        // A socket that could not be bound fails every send; its directory stays.
        {false, false, true, {"Failed to adjust TTL!", "Failed to write to socket"}, 0},
    };
    int id = 0;
    for (const auto& c : cases) {
        std::tie(net.refuseTtl, net.failSend, net.bindFails) = std::tie(c.refuseTtl, c.failSend, c.bindFails);
        net.sent.clear();
        prompter.shown.clear();
        auto in = c.bindFails ? AddDirectory("901", "239.1.1.1") : dir;
        EXPECT_EQ(doc->AddSession(Own(std::to_string(++id)), in), 1);
        EXPECT_EQ(prompter.shown, c.shown) << id;
        EXPECT_EQ(net.sent.size(), c.sent) << id;
    }
}

// ---- directories heard from others ----------------------------------------

TEST_F(DocTest, DirectoryRepeatingTheAddressOfOneAboveItIsDropped)
{
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto sub = Directory("901", "239.1.1.1");
    doc->AddSession(sub, top);
    // What a socket hears is handed to its directory; a directory announcing
    // the group and port it is heard on would be heard again by its own socket.
    for (int repeat = 0; repeat < 5; ++repeat) {
        const size_t open = net.sockets.size();
        for (size_t i = 0; i < open; ++i)
            if (auto heardIn = net.sockets[i]->directory.lock(); heardIn && net.sockets[i]->open)
                doc->OnSapMessage(ESapAction::Announce, Directory("77", "224.2.127.254"), heardIn);
    }
    doc->OnSapMessage(ESapAction::Announce, Directory("78", "239.1.1.1"), sub);
    EXPECT_EQ(std::tuple(net.sockets.size(), Count(top), Count(sub)), std::tuple(2u, 1u, 0u));
    // The same group on another port is another directory.
    EXPECT_EQ(doc->AddSession(Directory("79", "224.2.127.254", 9876), sub), 1);
    EXPECT_EQ(net.sockets.size(), 3u);
}

TEST_F(DocTest, AnnouncedDirectorySocketsAreBounded)
{
    constexpr size_t bound = CSessionStore::kMaxAnnouncedDirectories;
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto groupOf = [](size_t i) { return "239.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1); };
    for (size_t i = 0; i < bound + 20; ++i)
        doc->AddSession(Directory(std::to_string(1000 + i), groupOf(i)), top);
    EXPECT_EQ(Count(top), bound + 20) << "listed, the last ones unheard";
    EXPECT_FALSE(top->links->children->At(bound)->links->directoryReceiver);
    EXPECT_EQ(std::tuple(net.OpenCount(), doc->AnnouncedDirectorySockets()), std::tuple(bound + 1, bound));

    // The program's own scope directories and the user's folders still listen.
    AddDirectory("901", "239.255.255.254", kTypeScopeDirectory);
    auto folder = Directory("902", "239.3.0.1");
    folder->own = 1;
    EXPECT_EQ(doc->AddSession(folder, top), 1);
    EXPECT_EQ(net.OpenCount(), bound + 3);
    // A directory that goes makes room for the next one.
    const auto first = top->links->children->Front();
    doc->RemoveSession(first);
    const auto second = top->links->children->Front();
    EXPECT_EQ(doc->AddSession(Directory("999", "239.4.0.1"), second), 1);
    EXPECT_EQ(doc->AnnouncedDirectorySockets(), bound);
    // Moving to another group keeps its place, and the one below keeps its.
    doc->AddSession(Directory(second->originSessionId, "239.4.0.2"), top);
    EXPECT_EQ(doc->AnnouncedDirectorySockets(), bound);
    EXPECT_TRUE(second->links->children->Front()->links->directoryReceiver);
    doc->DeleteContents();
    EXPECT_EQ(doc->AnnouncedDirectorySockets(), 0u);
}

TEST_F(DocTest, RefreshedDirectoryListensOnItsNewGroupAndPort)
{
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto dir = Directory("901", "239.1.1.1");
    doc->AddSession(dir, top);
    doc->AddSession(Session("1"), dir);
    auto below = Directory("902", "239.1.1.3");
    doc->AddSession(below, dir);
    auto socketOf = [](const CSDPObject& d) {
        return d.links->directoryReceiver ? static_cast<CFakeSapNetwork::Socket*>(d.links->directoryReceiver.get()) : nullptr;
    };
    auto listening = [&](const CSDPObject& d) {
        const auto* s = socketOf(d);
        return s && s->open ? std::pair<std::string, int>(text::DottedQuad(s->group), s->port)
                            : std::pair<std::string, int>("", 0);
    };
    const struct { const char* group; int port, ttl; bool moves; std::pair<std::string, int> dir, below; } steps[] = {
        {"239.1.1.1", 9875, 31, false, {"239.1.1.1", 9875}, {"239.1.1.3", 9875}}, // TTL only
        {"239.1.1.2", 9875, 31, true, {"239.1.1.2", 9875}, {"239.1.1.3", 9875}},
        {"239.1.1.2", 9876, 31, true, {"239.1.1.2", 9876}, {"239.1.1.3", 9875}},
        {"224.2.127.254", 9875, 127, true, {"", 0}, {"239.1.1.3", 9875}},    // the address it is heard on
        {"239.1.1.3", 9875, 127, true, {"239.1.1.3", 9875}, {"", 0}},         // the address of one below it
        {"239.1.1.4", 9875, 127, true, {"239.1.1.4", 9875}, {"239.1.1.3", 9875}},
    };
    for (const auto& step : steps) {
        auto* before = socketOf(*dir);
        EXPECT_EQ(doc->AddSession(Directory("901", step.group, step.port, step.ttl), top), 0);
        EXPECT_EQ(top->links->children->Front(), dir);
        EXPECT_EQ(dir->links->directoryTtl, step.ttl);
        EXPECT_EQ(socketOf(*dir) != before, step.moves) << step.group << ":" << step.port;
        EXPECT_FALSE(before && step.moves && before->open) << step.group << ":" << step.port;
        EXPECT_EQ(listening(*dir), step.dir) << step.group << ":" << step.port;
        EXPECT_EQ(listening(*below), step.below) << step.group << ":" << step.port;
    }
    EXPECT_EQ(Count(dir), 2u); // what it heard stays until it times out
    EXPECT_EQ(std::tuple(net.OpenCount(), doc->AnnouncedDirectorySockets()), std::tuple(3u, 2u));
}

// A session heard again as the other kind (plain session / directory) is a
// new entry in place of the stored one: only directories own a child list
// and a socket. The user's own records keep their kind.
class ClassChangeTest : public DocTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ClassChangeTest, RefreshAsTheOtherKindReplacesTheRecord)
{
    const bool becomesDirectory = GetParam();
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto first = becomesDirectory ? Session("5") : Directory("5", "239.1.1.1");
    doc->AddSession(first, top);
    if (!becomesDirectory)
        doc->AddSession(Session("6"), first);

    EXPECT_EQ(doc->AddSession(becomesDirectory ? Directory("5", "239.1.1.1") : Session("5"), top), 1);
    ASSERT_EQ(Count(top), 1u);
    auto stored = top->links->children->Front();
    EXPECT_TRUE(first->IsDeleting());
    EXPECT_EQ(std::tuple(IsDirectoryType(stored->sessionType), stored->links->children != nullptr, net.OpenCount()),
              std::tuple(becomesDirectory, becomesDirectory, becomesDirectory ? 2u : 1u));
    EXPECT_EQ(becomesDirectory ? net.SocketOf(*stored)->group : 0u, becomesDirectory ? inet_addr("239.1.1.1") : 0u);
    EXPECT_EQ(views.removed, std::vector<std::string>{"5"});

    auto own = becomesDirectory ? Session("7") : Directory("7", "239.1.1.2");
    own->own = 1;
    doc->AddSession(own, top);
    EXPECT_EQ(doc->AddSession(becomesDirectory ? Directory("7", "239.1.1.3") : Session("7"), top), 0);
    EXPECT_EQ(top->links->children->FindById("7"), own);
    EXPECT_EQ(IsDirectoryType(own->sessionType), !becomesDirectory);
}

INSTANTIATE_TEST_SUITE_P(BothWays, ClassChangeTest, ::testing::Bool());

// ---- directories leaving the store -----------------------------------------

TEST_F(DocTest, RemovingOrEmptyingClosesEverySocketBelow)
{
    auto top = AddDirectory("900", "224.2.127.254");
    auto mid = Directory("901", "224.2.1.1");
    doc->AddSession(mid, top);
    auto leaf = Directory("902", "224.2.1.2");
    doc->AddSession(leaf, mid);
    auto nestedScope = Directory("903", "224.2.1.3");
    nestedScope->sessionType = kTypeScopeDirectory;
    doc->AddSession(nestedScope, mid);
    auto own = Own("1");
    doc->AddSession(own, leaf);
    auto other = AddDirectory("910", "239.255.255.254");
    doc->AddSession(Directory("911", "224.2.1.1"), other);
    ASSERT_EQ(net.OpenCount(), 6u);
    const size_t sentBefore = net.sent.size();

    auto deletion = Directory("901", "224.2.1.1");
    deletion->parentDirectory = top;
    EXPECT_EQ(doc->RemoveSession(deletion), 1);
    EXPECT_EQ(views.removed, std::vector<std::string>{"901"}); // what lies below goes with it
    EXPECT_EQ(net.OpenCount(), 3u);
    EXPECT_TRUE(mid->IsDeleting() && leaf->IsDeleting() && leaf->links->children->Empty());
    EXPECT_EQ(net.sent.size(), sentBefore); // own sessions lost with their directory are not withdrawn

    doc->RemoveSession(top);
    EXPECT_EQ(net.OpenCount(), 2u);
    doc->DeleteContents();
    EXPECT_EQ(std::tuple(doc->MainList().Size(), net.OpenCount()), std::tuple(0u, 0u));
    EXPECT_TRUE(other->links->children == nullptr && other->IsDeleting());
}

// ---- who a session is, and who may withdraw it ------------------------------

class HeardTest : public DocTest {
protected:
    std::shared_ptr<CSDPObject> dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);

    // What a socket hands over: the text parsed, the sender's origin noted.
    std::shared_ptr<CSDPObject> From(const std::string& origin, const std::string& text)
    {
        auto r = t.Parse(text);
        r->sourceHash = sap::TextHash(text);
        r->announcedFrom = sap::OriginKey(origin);
        return r;
    }
    // One stream of a sender that names no host in its origin.
    static std::string Stream(const std::string& name, const std::string& group, int port)
    {
        return "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=" + name + "\nc=IN IP4 " + group + "/15\nt=0 0\nm=video "
            + std::to_string(port) + " RTP/AVP 96\n";
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto& r : *dir->links->children)
            names.push_back(r->name);
        return names;
    }
};

TEST_F(HeardTest, HostlessSendersKeepEachStreamAndDeleteOnlyTheirOwn)
{
    const std::string one = Stream("Channel One", "239.255.10.1", 5004);
    const std::string two = Stream("Channel Two", "239.255.10.2", 5006);
    for (int round = 0; round < 3; ++round)
        for (const auto* text : {&one, &two})
            doc->OnSapMessage(ESapAction::Announce, From("10.77.93.2", *text), dir);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Channel One", "Channel Two"}));
    // Another host sending the very same o= line and streams is another session
    // only where the streams differ; its deletion must not touch ours.
    doc->OnSapMessage(ESapAction::Announce, From("10.77.93.3", Stream("Elsewhere", "239.255.10.3", 5004)), dir);
    doc->OnSapMessage(ESapAction::Delete, From("10.77.93.3", one), dir);
    EXPECT_EQ(Count(dir), 3u) << "a deletion from another source";
    doc->OnSapMessage(ESapAction::Delete, From("10.77.93.2", one), dir);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Channel Two", "Elsewhere"}));
    // A deletion with nothing but the o= line takes every stream of that
    // origin the sender announced here.
    doc->OnSapMessage(ESapAction::Announce, From("10.77.93.2", one), dir);
    doc->OnSapMessage(ESapAction::Delete, From("10.77.93.2", "v=0\no=- 0 0 IN IP4 127.0.0.1\n"), dir);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Elsewhere"}));
}

TEST_F(HeardTest, DeletionMustComeFromTheLastSourceOnceOneIsKnown)
{
    const std::string text = "v=0\no=alice 77 1 IN IP4 10.1.1.1\ns=Talk\nc=IN IP4 239.1.1.1/15\nt=0 0\nm=audio 5004 RTP/AVP 0\n";
    const std::string bare = "v=0\no=alice 77 2 IN IP4 10.1.1.1\ns=-\n";
    // From the cache: no source known yet, a matching deletion is honoured.
    auto cached = t.Parse(text);
    doc->AddSession(cached, dir);
    EXPECT_EQ(doc->RemoveHeard(From("10.9.9.9", bare), dir), 1);

    doc->OnSapMessage(ESapAction::Announce, From("10.1.1.1", text), dir);
    for (const char* spoof : {"o=alice 77 2 IN IP4 10.1.1.2", "o=bob 77 2 IN IP4 10.1.1.1", "o=alice 78 2 IN IP4 10.1.1.1"})
        doc->OnSapMessage(ESapAction::Delete, From("10.1.1.1", std::string("v=0\n") + spoof + "\n"), dir);
    doc->OnSapMessage(ESapAction::Delete, From("10.66.6.6", bare), dir);
    EXPECT_EQ(Count(dir), 1u) << "another identity or another source";
    // The same text repeated from a new source (the known-repeat way) moves it.
    EXPECT_TRUE(doc->RefreshRepeat(text, sap::TextHash(text), dir, "10.1.1.9"));
    doc->OnSapMessage(ESapAction::Delete, From("10.1.1.1", bare), dir);
    EXPECT_EQ(Count(dir), 1u);
    doc->OnSapMessage(ESapAction::Delete, From("10.1.1.9", bare), dir);
    EXPECT_EQ(Count(dir), 0u);
}

TEST_F(HeardTest, OwnSessionIgnoresItsEchoAndNoDeletionFromTheNetwork)
{
    auto own = Own("5");
    doc->AddSession(own, dir);
    ASSERT_EQ(net.sent.size(), 1u);
    const std::string sent = net.sent[0].Payload();
    const int64_t sentAt = own->lastHeard;
    t.clock.Advance(30);
    views.Take();
    // Our datagram comes back on this host's loopback: nothing changes.
    doc->OnSapMessage(ESapAction::Announce, From(text::DottedQuad(net.source), sent), dir);
    EXPECT_EQ(std::tuple(own->lastHeard, own->changed), std::tuple(sentAt, 1));
    EXPECT_TRUE(views.Take().empty());
    // A peer repeating it postpones our next send, as before.
    doc->OnSapMessage(ESapAction::Announce, From("10.5.5.5", sent), dir);
    EXPECT_EQ(own->lastHeard, t.clock.Now());
    for (const char* origin : {"10.0.0.1", "10.5.5.5"})
        doc->OnSapMessage(ESapAction::Delete, From(origin, sent), dir);
    EXPECT_EQ(Count(dir), 1u);
    EXPECT_EQ(net.sent.size(), 1u) << "no withdrawal was sent";
}

TEST_F(HeardTest, SocketsAreSharedFairlyBetweenSources)
{
    constexpr size_t bound = CSessionStore::kMaxAnnouncedDirectories;
    auto announce = [&](const std::string& origin, size_t i) {
        const std::string group = "239.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        const std::string text = "v=0\no=- " + std::to_string(1000 + i) + " 1 IN IP4 " + origin + "\ns=Dir "
            + std::to_string(i) + "\nm=directory 9875 SAP/SDP 14\nc=IN IP4 " + group + "/127\n";
        auto r = From(origin, text);
        doc->OnSapMessage(ESapAction::Announce, r, dir);
        return dir->links->children->Find(*r);
    };
    std::vector<std::shared_ptr<CSDPObject>> first;
    for (size_t i = 0; i < 150; ++i) {
        t.clock.Advance(1);
        first.push_back(announce("10.0.0.1", i));
    }
    std::vector<std::shared_ptr<CSDPObject>> second;
    for (size_t i = 150; i < 200; ++i)
        second.push_back(announce("10.0.0.2", i));
    // The second host gets half, taken from the first host's least recently heard.
    size_t heard = 0;
    for (const auto& d : second)
        heard += d->links->directoryReceiver != nullptr;
    EXPECT_EQ(std::tuple(heard, first.front()->links->directoryReceiver != nullptr,
                         first[99]->links->directoryReceiver != nullptr, doc->AnnouncedDirectorySockets()),
              std::tuple(bound / 2, false, true, bound));
    // Hearing a socketless one again changes nothing while the share is fair;
    // once the other host's directories go, it gets a socket back.
    announce("10.0.0.1", 0);
    EXPECT_FALSE(first.front()->links->directoryReceiver);
    for (const auto& d : second)
        doc->RemoveSession(d);
    announce("10.0.0.1", 0);
    EXPECT_TRUE(first.front()->links->directoryReceiver);
}

TEST_F(OwnSessionTest, AnnounceTtlComesBackAfterARestart)
{
    auto wide = t.Parse("v=0\no=me 1 1 IN IP4 h\ns=Wide\nc=IN IP4 224.2.1.1/200\nt=0 0\nm=audio 5004 RTP/AVP 0\n"
                        "m=video 5006 RTP/AVP 31\nc=IN IP4 224.2.1.2/7\n");
    auto bare = t.Parse("v=0\no=me 2 1 IN IP4 h\ns=Bare\nt=0 0\n");
    // A cache that does not hold it: the media's, else the directory's.
    EXPECT_EQ(std::tuple(CSessionStore::AnnounceTtlOf(*wide, dir.get()), CSessionStore::AnnounceTtlOf(*bare, dir.get()),
                         CSessionStore::AnnounceTtlOf(*bare, nullptr)), std::tuple(200, 127, 15));
    // Kept in the cache: a session without media goes out as chosen (the
    // lowest TTL), not at 127.
    bare->own = 1;
    bare->announceTtl = 1;
    doc->AddSession(bare, dir);
    CArchiveWriter out;
    doc->StoreList(out, doc->MainList(), false);
    auto next = MakeDoc();
    CArchiveReader in(out.Bytes());
    ASSERT_TRUE(next->LoadList(in, next->MainList(), nullptr));
    net.sent.clear();
    t.clock.Advance(CSessionStore::kMinInterval);
    next->CheckSessions();
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].ttl, 1);
}

} // namespace
