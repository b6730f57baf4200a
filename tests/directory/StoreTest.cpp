#include "DocFixture.h"

#include "sap/SapCodec.h"

#include <cstring>

namespace {

TEST_F(DocTest, RepeatRefreshesWithoutNotification)
{
    auto dir = AddDirectory("900", "224.2.127.254");
    ASSERT_EQ(doc->AddSession(Session("1"), dir), 1);
    const size_t hintsAfterAdd = views.hints.size();
    auto stored = dir->children->Front();

    t.clock.Advance(100);
    auto repeat = Session("1");
    repeat->name = "Renamed";
    EXPECT_EQ(doc->AddSession(repeat, dir), 0);
    EXPECT_EQ(Count(dir), 1u);
    EXPECT_EQ(dir->children->Front(), stored); // the older record keeps its identity
    EXPECT_EQ(stored->name, "Renamed");
    EXPECT_EQ(stored->lastHeard, t.clock.Now());
    EXPECT_EQ(views.hints.size(), hintsAfterAdd);
    EXPECT_EQ(views.added.size(), 2u); // the directory and the first announcement only
}

TEST_F(DocTest, SameIdInTwoDirectoriesGivesTwoRecords)
{
    auto a = AddDirectory("900", "224.2.127.254");
    auto b = AddDirectory("901", "239.255.255.254");
    EXPECT_EQ(doc->AddSession(Session("1"), a), 1);
    EXPECT_EQ(doc->AddSession(Session("1"), b), 1);
    EXPECT_EQ(Count(a), 1u);
    EXPECT_EQ(Count(b), 1u);
    EXPECT_EQ(a->children->Front()->parentDirectory.lock(), a);
    EXPECT_EQ(b->children->Front()->parentDirectory.lock(), b);
}

TEST_F(DocTest, DeletionsRemoveOnlyTheStoredSessionOfThatDirectory)
{
    auto a = AddDirectory("900", "224.2.127.254");
    auto b = AddDirectory("901", "239.255.255.254");
    doc->AddSession(Session("1"), a);
    doc->AddSession(Session("1"), b);
    doc->AddSession(Session("2"), a);
    auto stored = a->children->Front();

    // A deletion datagram: a freshly parsed record of the same session.
    doc->OnSapMessage(ESapAction::Delete, Session("1"), a);
    EXPECT_EQ(Count(a), 1u);
    EXPECT_EQ(a->children->Front()->originSessionId, "2");
    EXPECT_EQ(Count(b), 1u);
    EXPECT_TRUE(stored->IsDeleting());
    EXPECT_EQ(views.hints.back().code, CViewHint::kListsChanged);

    // A deletion of something not stored changes nothing.
    const size_t hints = views.hints.size();
    auto unknown = Session("77");
    unknown->parentDirectory = a;
    EXPECT_EQ(doc->RemoveSession(unknown), 0);
    EXPECT_EQ(Count(a), 1u);
    EXPECT_EQ(views.hints.size(), hints);
    EXPECT_TRUE(net.sent.empty());
}

TEST_F(DocTest, DirectoryOpensItsSocketWithItsGroupPortAndTtl)
{
    auto dir = Directory("900", "239.192.4.254", 9876, 15);
    doc->AddSession(dir, nullptr);
    ASSERT_NE(dir->children, nullptr);
    auto socket = net.SocketOf(*dir);
    ASSERT_NE(socket, nullptr);
    EXPECT_EQ(socket->group, Group("239.192.4.254"));
    EXPECT_EQ(socket->port, 9876);
    EXPECT_EQ(socket->openTtl, 15);
    // A refresh of the directory opens nothing more.
    doc->AddSession(Directory("900", "239.192.4.254", 9876, 15), nullptr);
    EXPECT_EQ(net.sockets.size(), 1u);
}

TEST_F(DocTest, DatagramForAReleasedDirectoryIsDropped)
{
    auto dir = AddDirectory("900", "224.2.127.254");
    doc->RemoveSession(dir);
    EXPECT_EQ(doc->AddSession(Session("1"), dir), 0);
    doc->OnSapMessage(ESapAction::Delete, Session("1"), dir);
    EXPECT_EQ(doc->MainList().Size(), 0u);
}

// ---- the walk -------------------------------------------------------------

TEST_F(DocTest, HeardSessionTimesOutAfterTenIntervals)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    doc->AddSession(Session("1", 127, "0", 400), dir);
    const int64_t heard = t.clock.Now();

    t.clock.Set(heard + 3000);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 1u);
    t.clock.Set(heard + 3001);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 0u);
    EXPECT_EQ(views.removedRows, std::vector<std::string>{"1"});
    // The scope directory itself never expires.
    EXPECT_EQ(doc->MainList().Size(), 1u);
}

TEST_F(DocTest, IntervalGrowsWithTheBandsTraffic)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    for (int i = 0; i < 100; ++i)
        doc->AddSession(Session(std::to_string(i), 127, "0", 1000), dir);
    ASSERT_EQ(dir->children->Front()->sourceLength, 1000);
    const CTtlBands bands = CTtlBands::Count(*dir->children);
    EXPECT_EQ(bands.counts[2], 100);
    EXPECT_EQ(COstara32Doc::AnnouncementInterval(*dir->children->Front(), bands), 781);

    const int64_t heard = t.clock.Now();
    t.clock.Set(heard + 7810);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 100u);
    t.clock.Set(heard + 7811);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 0u);
}

TEST(TtlBands, BandsAndIntervalsOutsideThem)
{
    EXPECT_EQ(CTtlBands::BandOf(0), -1);
    EXPECT_EQ(CTtlBands::BandOf(1), 0);
    EXPECT_EQ(CTtlBands::BandOf(15), 0);
    EXPECT_EQ(CTtlBands::BandOf(16), 1);
    EXPECT_EQ(CTtlBands::BandOf(63), 1);
    EXPECT_EQ(CTtlBands::BandOf(64), 2);
    EXPECT_EQ(CTtlBands::BandOf(127), 2);
    EXPECT_EQ(CTtlBands::BandOf(128), -1);
    EXPECT_EQ(CTtlBands::BandOf(129), 3);
    EXPECT_EQ(CTtlBands::BandOf(255), 3);
    EXPECT_EQ(CTtlBands::BandOf(256), -1);

    CTestEnv t;
    CTtlBands bands;
    bands.counts[3] = 10;
    // 8 * 10 * 1000 / 200 = 400 in the 129..255 band.
    auto wide = t.Parse(sdptext::Session("1", 200, "0", 1000));
    EXPECT_EQ(COstara32Doc::AnnouncementInterval(*wide, bands), 400);
    // A TTL in no band gives the TTL itself, still at least 300.
    auto odd = t.Parse(sdptext::Session("2", 128));
    EXPECT_EQ(COstara32Doc::AnnouncementInterval(*odd, bands), 300);
    auto big = t.Parse(sdptext::Session("3", 1000));
    EXPECT_EQ(COstara32Doc::AnnouncementInterval(*big, bands), 1000);
    // No media: TTL 127, and the record is not counted itself.
    auto bare = t.Parse("v=0\no=- 4 1 IN IP4 h\ns=x\n");
    CSessionList list;
    list.Append(bare);
    EXPECT_EQ(CTtlBands::Count(list).counts[2], 0);
}

TEST(EndTime, LatestPositiveStopOfAllEntries)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=0 0\nt=0 " + sdptext::NtpStop(2000) + "\nt=0 "
                     + sdptext::NtpStop(1000) + "\nt=0 12\n");
    EXPECT_EQ(COstara32Doc::EndTime(*r), 2000);
    auto open = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=0 0\n");
    EXPECT_EQ(COstara32Doc::EndTime(*open), 0);
    // Stop times past 2036 still compare as later (no 32-bit wrap).
    auto late = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=0 4200000000\n");
    EXPECT_EQ(COstara32Doc::EndTime(*late), 4200000000LL - kNtpUnixOffset);
}

TEST_F(DocTest, StopTimeZeroNeverExpiresByEnd)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    doc->AddSession(Session("1", 127, "0"), dir);
    t.clock.Advance(2999);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 1u);
}

TEST_F(DocTest, PassedStopTimeRemovesEvenAFreshSession)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    doc->AddSession(Session("1", 127, sdptext::NtpStop(t.clock.Now() - 1)), dir);
    doc->AddSession(Session("2", 127, sdptext::NtpStop(t.clock.Now() + 60)), dir);
    doc->CheckSessions();
    ASSERT_EQ(Count(dir), 1u);
    EXPECT_EQ(dir->children->Front()->originSessionId, "2");
}

TEST_F(DocTest, ScopeDirectoriesNeverExpire)
{
    auto scope = Directory("900", "224.2.127.254");
    scope->sessionType = kTypeScopeDirectory;
    scope->times.push_back(CSDPTime{"0", sdptext::NtpStop(t.clock.Now() - 100), "", "", ""});
    doc->AddSession(scope, nullptr);
    auto plain = AddDirectory("901", "224.2.1.1");
    t.clock.Advance(100000);
    doc->CheckSessions();
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(doc->MainList().Front(), scope);
    EXPECT_FALSE(net.SocketOf(*plain)->open);
}

TEST_F(DocTest, RecordBeingDeletedIsSkippedByTheWalk)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    doc->AddSession(Session("1"), dir);
    auto stored = dir->children->Front();
    stored->DeleteLater();
    t.clock.Advance(100000);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 1u); // refused lock: left for whoever deletes it
}

// ---- own sessions ---------------------------------------------------------

class OwnSessionTest : public DocTest {
protected:
    std::shared_ptr<CSDPObject> dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);

    std::shared_ptr<CSDPObject> Own(const std::string& id, const std::string& stop = "0", size_t size = 0)
    {
        auto r = Session(id, 127, stop, size);
        r->own = 1;
        r->announceTtl = 15;
        return r;
    }
};

TEST_F(OwnSessionTest, AddedOwnSessionIsSentAtOnce)
{
    doc->AddSession(Own("1"), dir);
    ASSERT_EQ(net.sent.size(), 1u);
    const auto& d = net.sent[0];
    EXPECT_EQ(d.Flags(), sap::kFlagAnnounce);
    EXPECT_EQ(d.datagram.substr(1, 3), std::string(3, '\0')); // no auth data, hash 0
    uint32_t source = 0;
    std::memcpy(&source, d.datagram.data() + 4, 4);
    EXPECT_EQ(source, net.source);
    EXPECT_EQ(d.group, Group("224.2.127.254"));
    EXPECT_EQ(d.port, 9875);
    EXPECT_EQ(d.ttl, 15);
    std::string text;
    dir->children->Front()->WriteSdp(text);
    EXPECT_EQ(d.Payload(), text);
}

TEST_F(OwnSessionTest, NeverTimesOutAndIsResentEveryInterval)
{
    doc->AddSession(Own("1"), dir);
    const int64_t start = t.clock.Now();
    t.clock.Set(start + 299);
    doc->CheckSessions();
    EXPECT_EQ(net.sent.size(), 1u);
    t.clock.Set(start + 300);
    doc->CheckSessions();
    EXPECT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(dir->children->Front()->lastHeard, start + 300);
    t.clock.Set(start + 100000);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 1u);
    EXPECT_EQ(net.sent.size(), 3u);
    EXPECT_EQ(net.sent.back().Flags(), sap::kFlagAnnounce);
}

TEST_F(OwnSessionTest, TwoOwnSessionsKeepTheirOwnSchedules)
{
    const int64_t start = t.clock.Now();
    doc->AddSession(Own("1"), dir);
    t.clock.Set(start + 100);
    doc->AddSession(Own("2"), dir);
    net.sent.clear();
    t.clock.Set(start + 300);
    doc->CheckSessions();
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_NE(net.sent[0].Payload().find("o=- 1 "), std::string::npos);
    t.clock.Set(start + 400);
    doc->CheckSessions();
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_NE(net.sent[1].Payload().find("o=- 2 "), std::string::npos);
}

TEST_F(OwnSessionTest, EndedOwnSessionIsRemovedWithOneDeletion)
{
    doc->AddSession(Own("1", sdptext::NtpStop(t.clock.Now() + 10)), dir);
    t.clock.Advance(11);
    doc->CheckSessions();
    EXPECT_EQ(Count(dir), 0u);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].Flags(), sap::kFlagDelete);
    EXPECT_NE(net.sent[1].Payload().find("s=Session 1"), std::string::npos);
}

TEST_F(OwnSessionTest, RefreshFromTheNetworkOnlyPostponesTheNextSend)
{
    doc->AddSession(Own("1"), dir);
    const int64_t start = t.clock.Now();
    t.clock.Set(start + 200);
    auto heard = Session("1");
    heard->name = "Someone else's name";
    doc->AddSession(heard, dir);
    EXPECT_EQ(dir->children->Front()->name, "Session 1");
    t.clock.Set(start + 499);
    doc->CheckSessions();
    EXPECT_EQ(net.sent.size(), 1u);
    t.clock.Set(start + 500);
    doc->CheckSessions();
    EXPECT_EQ(net.sent.size(), 2u);
}

TEST_F(OwnSessionTest, TtlIsSetPerSend)
{
    auto a = Own("1");
    a->announceTtl = 63;
    doc->AddSession(a, dir);
    auto b = Own("2");
    b->announceTtl = 15;
    doc->AddSession(b, dir);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[0].ttl, 63);
    EXPECT_EQ(net.sent[1].ttl, 15);
    EXPECT_EQ(net.SocketOf(*dir)->openTtl, 127);
}

TEST_F(OwnSessionTest, TextsOf2039BytesGoOutAnd2040DoNot)
{
    auto r = Own("1");
    r->parentDirectory = dir;
    for (size_t target : {2039u, 2040u}) {
        std::string text;
        r->information = "y";
        r->WriteSdp(text);
        r->information.assign(target - text.size() + r->information.size(), 'y');
        r->WriteSdp(text);
        ASSERT_EQ(text.size(), target);
        net.sent.clear();
        t.clock.Advance(5);
        doc->AnnounceSession(*r, false);
        EXPECT_EQ(net.sent.size(), target == 2039u ? 1u : 0u) << target;
        if (!net.sent.empty())
            EXPECT_EQ(net.sent[0].datagram.size(), 2047u);
        EXPECT_EQ(r->lastHeard, t.clock.Now()); // renewed either way
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(OwnSessionTest, SendFailuresAreShown)
{
    net.refuseTtl = true;
    doc->AddSession(Own("1"), dir);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Failed to adjust TTL!"});
    EXPECT_EQ(net.sent.size(), 1u); // still sent

    net.refuseTtl = false;
    net.failSend = true;
    prompter.shown.clear();
    doc->AddSession(Own("2"), dir);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Failed to write to socket"});
}

TEST_F(OwnSessionTest, UnboundSocketFailsEverySend)
{
    net.bindFails = true;
    auto lonely = AddDirectory("901", "239.1.1.1");
    doc->AddSession(Own("1"), lonely);
    EXPECT_EQ(prompter.shown,
              (std::vector<std::string>{"Failed to adjust TTL!", "Failed to write to socket"}));
    EXPECT_EQ(lonely->children->Size(), 1u); // the directory stays, hearing nothing
}

TEST_F(OwnSessionTest, DeletingAnOwnSessionSendsItsFullText)
{
    doc->AddSession(Own("1"), dir);
    auto stored = dir->children->Front();
    std::string text;
    stored->WriteSdp(text);
    EXPECT_EQ(doc->RemoveSession(stored), 1);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].Flags(), sap::kFlagDelete);
    EXPECT_EQ(net.sent[1].Payload(), text);
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
    EXPECT_EQ(net.sockets.size(), 2u);
    EXPECT_EQ(Count(top), 1u);
    EXPECT_EQ(Count(sub), 0u);
    // The same group on another port is another directory.
    EXPECT_EQ(doc->AddSession(Directory("79", "224.2.127.254", 9876), sub), 1);
    EXPECT_EQ(net.sockets.size(), 3u);
}

TEST_F(DocTest, AnnouncedDirectorySocketsAreBounded)
{
    constexpr size_t bound = COstara32Doc::kMaxAnnouncedDirectories;
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto groupOf = [](size_t i) { return "239.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1); };
    for (size_t i = 0; i < bound + 20; ++i)
        doc->AddSession(Directory(std::to_string(1000 + i), groupOf(i)), top);
    EXPECT_EQ(Count(top), bound);
    EXPECT_EQ(net.OpenCount(), bound + 1);
    EXPECT_EQ(doc->AnnouncedDirectorySockets(), bound);

    // The program's own scope directories and the user's folders still listen.
    auto scope = AddDirectory("901", "239.255.255.254", kTypeScopeDirectory);
    auto folder = Directory("902", "239.3.0.1");
    folder->own = 1;
    EXPECT_EQ(doc->AddSession(folder, top), 1);
    EXPECT_EQ(net.OpenCount(), bound + 3);
    // A directory that goes makes room for the next one.
    const auto first = top->children->Front();
    doc->RemoveSession(first);
    EXPECT_EQ(doc->AddSession(Directory("999", "239.4.0.1"), top), 1);
    EXPECT_EQ(doc->AnnouncedDirectorySockets(), bound);
    doc->DeleteContents();
    EXPECT_EQ(doc->AnnouncedDirectorySockets(), 0u);
}

// A session heard again as the other kind (plain session / directory) is a
// new entry in place of the stored one: only directories own a child list
// and a socket.
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
    auto stored = top->children->Front();
    EXPECT_NE(stored, first);
    EXPECT_TRUE(first->IsDeleting());
    EXPECT_EQ(IsDirectoryType(stored->sessionType), becomesDirectory);
    EXPECT_EQ(stored->children != nullptr, becomesDirectory);
    EXPECT_EQ(stored->directoryReceiver != nullptr, becomesDirectory);
    EXPECT_EQ(net.OpenCount(), becomesDirectory ? 2u : 1u);
    if (auto socket = net.SocketOf(*stored); becomesDirectory && socket) {
        EXPECT_EQ(socket->group, Group("239.1.1.1"));
    }
    EXPECT_EQ(views.removed, std::vector<std::string>{"5"});
}

INSTANTIATE_TEST_SUITE_P(BothWays, ClassChangeTest, ::testing::Bool());

TEST_F(DocTest, OwnRecordKeepsItsKindWhenHeardAsAnother)
{
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto own = Session("5");
    own->own = 1;
    doc->AddSession(own, top);
    EXPECT_EQ(doc->AddSession(Directory("5", "239.1.1.1"), top), 0);
    EXPECT_EQ(top->children->Front(), own);
    EXPECT_FALSE(IsDirectoryType(own->sessionType));
    EXPECT_EQ(net.OpenCount(), 1u);
}

// ---- directories leaving the store -----------------------------------------

TEST_F(DocTest, RemovingAShownDirectoryShowsItsParent)
{
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto sub = Directory("901", "224.2.1.1");
    doc->AddSession(sub, top);
    views.showing = sub.get();

    auto deletion = Directory("901", "224.2.1.1");
    deletion->parentDirectory = top;
    EXPECT_EQ(doc->RemoveSession(deletion), 1);
    EXPECT_EQ(views.hints.back().directory, top);
    EXPECT_EQ(views.showing, top.get());
    EXPECT_EQ(views.deletedTreeItems, std::vector<std::string>{"901"});
    EXPECT_TRUE(sub->IsDeleting());
}

TEST_F(DocTest, ExpiringAShownTopLevelDirectoryGoesBackToTheTopLevel)
{
    auto dir = AddDirectory("900", "224.2.127.254");
    views.showing = dir.get();
    t.clock.Advance(100000);
    doc->CheckSessions();
    EXPECT_EQ(doc->MainList().Size(), 0u);
    EXPECT_EQ(views.showing, nullptr);
    EXPECT_EQ(views.hints.back().code, CViewHint::kTopLevel);
}

TEST_F(DocTest, RemovingADirectoryClosesEverySocketBelowIt)
{
    auto top = AddDirectory("900", "224.2.127.254");
    auto mid = Directory("901", "224.2.1.1");
    doc->AddSession(mid, top);
    auto leaf = Directory("902", "224.2.1.2");
    doc->AddSession(leaf, mid);
    auto nestedScope = Directory("903", "224.2.1.3");
    nestedScope->sessionType = kTypeScopeDirectory;
    doc->AddSession(nestedScope, mid);
    doc->AddSession(Session("1"), leaf);
    auto other = AddDirectory("910", "239.255.255.254");
    ASSERT_EQ(net.OpenCount(), 5u);

    auto own = Session("2");
    own->own = 1;
    doc->AddSession(own, leaf);
    const size_t sentBefore = net.sent.size();

    doc->RemoveSession(top);
    EXPECT_EQ(net.OpenCount(), 1u);
    EXPECT_TRUE(net.SocketOf(*other)->open);
    EXPECT_TRUE(leaf->IsDeleting());
    EXPECT_TRUE(leaf->children->Empty());
    // Own sessions lost with their directory are not withdrawn.
    EXPECT_EQ(net.sent.size(), sentBefore);
}

TEST_F(DocTest, EmptyingReleasesEverything)
{
    auto top = AddDirectory("900", "224.2.127.254");
    doc->AddSession(Directory("901", "224.2.1.1"), top);
    doc->AddSession(Session("1"), top);
    doc->DeleteContents();
    EXPECT_EQ(doc->MainList().Size(), 0u);
    EXPECT_EQ(net.OpenCount(), 0u);
    EXPECT_EQ(top->children, nullptr);
    EXPECT_TRUE(top->IsDeleting());
}

// ---- automatic start and next start ----------------------------------------

TEST_F(DocTest, AutoStartFiresOnceWhenTheSessionRuns)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    const int64_t now = t.clock.Now();
    auto later = Session("1", 127, sdptext::NtpStop(now + 7200));
    later->times[0].start = sdptext::NtpStop(now + 600);
    doc->AddSession(later, dir);
    auto stored = dir->children->Front();
    stored->startTools = 1;

    doc->CheckSessions();
    EXPECT_TRUE(tools.started.empty());
    EXPECT_EQ(stored->cachedNextStart, now + 600);

    t.clock.Set(now + 601);
    const size_t hints = views.ListsChangedCount();
    doc->CheckSessions();
    EXPECT_EQ(tools.started, std::vector<std::string>{"1:-1:0"});
    EXPECT_EQ(stored->startTools, 0);
    EXPECT_GT(views.ListsChangedCount(), hints);
    t.clock.Advance(1);
    doc->CheckSessions();
    EXPECT_EQ(tools.started.size(), 1u);
}

TEST_F(DocTest, UnchangedNextStartSendsNoNotification)
{
    auto dir = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    const int64_t now = t.clock.Now();
    auto later = Session("1", 127, sdptext::NtpStop(now + 7200));
    later->times[0].start = sdptext::NtpStop(now + 600);
    doc->AddSession(later, dir);
    doc->CheckSessions();
    const size_t hints = views.hints.size();
    t.clock.Advance(1);
    doc->CheckSessions();
    EXPECT_EQ(views.hints.size(), hints);
}

} // namespace
