// The session record: how it is made, refreshed, locked and deleted.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <tuple>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const char* kV1 =
    "v=0\no=u 42 1 IN IP4 10.0.0.1\ns=First\ni=Info\nu=http://a\nc=IN IP4 224.2.1.1/127\nt=0 0\na=type:test\n"
    "m=audio 3456 RTP/AVP 0\nm=video 5000 RTP/AVP 31\n";

TEST(Record, MadeWithoutTextOrFromText)
{
    CTestEnv t;
    auto r = CSDPObject::MakeWithoutText(t.env, "host.example");
    // Its origin is checked with the writer. Type, TTL, scope, length, changed, heard:
    EXPECT_EQ((std::vector<int64_t>{r->sessionType, r->announceTtl, r->scopeMode, r->sourceLength, r->changed,
                                    r->lastHeard}),
              (std::vector<int64_t>{kTypeUnknown, 15, 1120, 0, 1, 1700000000}));
    auto parsed = t.Parse(kV1);
    EXPECT_EQ(parsed->announceTtl, 0);
    EXPECT_EQ(parsed->scopeMode, 0);
    // The random tag is drawn again until it is not 0.
    CScriptedRandom zeros{0, 0, 0, 9};
    EXPECT_EQ(CSDPObject::FromText("v=0\n", CSdpEnvironment{t.clock, zeros, nullptr})->randomTag, 9);
}

// What makes two texts the same session, and what a deletion withdraws.
TEST(SessionIdentity, OriginTupleAndHostlessDestinations)
{
    CTestEnv t;
    const std::string head = "v=0\no=";
    auto parse = [&](const std::string& origin, const std::string& rest = "") {
        return t.Parse(head + origin + "\ns=S\n" + rest);
    };
    const std::string mediaA = "c=IN IP4 239.255.10.1/15\nm=video 5004 RTP/AVP 96\n";
    const std::string mediaB = "c=IN IP4 239.255.10.2/15\nm=video 5006 RTP/AVP 96\n";
    struct Case { const char* what; std::string a, aRest, b, bRest; bool same; bool aScope = false; } const cases[] = {
        {"a new version of the same session", "x 42 1 IN IP4 1.1.1.1", "", "x 42 9 IN IP4 1.1.1.1", "", true},
        {"another user", "x 42 1 IN IP4 1.1.1.1", "", "y 42 1 IN IP4 1.1.1.1", "", false},
        {"another id", "x 42 1 IN IP4 1.1.1.1", "", "x 420 1 IN IP4 1.1.1.1", "", false},
        {"another host", "x 42 1 IN IP4 1.1.1.1", "", "x 42 1 IN IP4 2.2.2.2", "", false},
        {"another address type", "x 42 1 IN IP4 ::1.1.1.1", "", "x 42 1 IN IP6 ::1.1.1.1", "", false},
        {"a named host: the media do not count", "- 0 0 IN IP4 h.example", mediaA, "- 0 0 IN IP4 h.example", mediaB, true},
        {"loopback, other destinations", "- 0 0 IN IP4 127.0.0.1", mediaA, "- 0 0 IN IP4 127.0.0.1", mediaB, false},
        {"loopback, one destination", "- 0 0 IN IP4 127.0.0.1", mediaA, "- 0 0 IN IP4 127.0.0.1", mediaA, true},
        {"same group, other port", "- 0 0 IN IP4 localhost", mediaA,
         "- 0 0 IN IP4 LOCALHOST", "c=IN IP4 239.255.10.1/15\nm=video 5006 RTP/AVP 96\n", false},
        {"a media c= line beats the session's", "- 0 0 IN IP6 ::", "c=IN IP4 239.1.1.1/15\nm=audio 5004 RTP/AVP 0\n",
         "- 0 0 IN IP6 ::", "c=IN IP4 239.9.9.9/15\nm=audio 5004 RTP/AVP 0\nc=IN IP4 239.1.1.1/15\n", true},
        {"unspecified, media against none", "- 7 0 IN IP4 0.0.0.0", mediaA, "- 7 0 IN IP4 0.0.0.0", "", false},
        // A scope directory is ours: its origin alone names it, on either side.
        {"a scope directory, media against none", "- 7 0 IN IP4 0.0.0.0", "", "- 7 0 IN IP4 0.0.0.0", mediaA, true, true},
    };
    for (const Case& c : cases) {
        const auto a = parse(c.a, c.aRest);
        const auto b = parse(c.b, c.bRest);
        a->sessionType = c.aScope ? kTypeScopeDirectory : a->sessionType;
        EXPECT_EQ(a->IsSameSession(*b), c.same) << c.what;
        EXPECT_EQ(b->IsSameSession(*a), c.same) << c.what;
        EXPECT_EQ(a->DeletionCovers(*b), c.same) << c.what;
    }
    // A deletion that gives no media covers every stream of a host-less origin.
    const auto bare = parse("- 0 0 IN IP4 127.0.0.1");
    EXPECT_TRUE(bare->DeletionCovers(*parse("- 0 0 IN IP4 127.0.0.1", mediaA)));
    EXPECT_TRUE(bare->DeletionCovers(*parse("- 0 0 IN IP4 127.0.0.1", mediaB)));
    EXPECT_FALSE(bare->DeletionCovers(*parse("- 0 0 IN IP4 127.0.0.2", mediaB))) << "the address still counts";
    EXPECT_FALSE(bare->IsSameSession(*parse("- 0 0 IN IP4 127.0.0.1", mediaA)));
}

// A refresh copies from the newer record, or takes its texts and blocks over
// when that record is thrown away next; both must give the same record.
class RefreshTest : public ::testing::TestWithParam<bool> {
protected:
    static void Refresh(CSDPObject& stored, CSDPObject& newer, int64_t now)
    {
        if (GetParam())
            stored.TakeFrom(newer, now);
        else
            stored.UpdateFrom(newer, now);
    }
};
INSTANTIATE_TEST_SUITE_P(CopyOrTake, RefreshTest, ::testing::Bool());

TEST_P(RefreshTest, CopiesFieldsAndTracksChanges)
{
    CTestEnv t;
    auto old = t.Parse(kV1);
    old->changed = 0;
    old->media[0].extras.Edit().toolChoice = "audio tool";
    old->media[0].extras.Edit().spare = "kept";
    old->media[1].extras.Edit().toolChoice = "video tool";
    old->extras.Edit().reserved[2] = "r";
    const char* const newerText = "v=0\no=u 42 2 IN IP4 10.0.0.2\ns=First\ni=Info\nu=http://b\nc=IN IP4 224.2.1.1/127\n"
                                  "b=AS:64\nt=1 2\nr=7d 1h 0\nk=clear:pw\na=type:meeting\nm=audio 3456 RTP/AVP 0\n"
                                  "a=rtpmap:0 PCMU/8000\nm=video 5002 RTP/AVP 31\nm=text 1 udp x\n";
    auto newer = t.Parse(newerText);
    const std::string want = WrittenSdp(*t.Parse(newerText));
    t.clock.Advance(50);
    Refresh(*old, *newer, t.clock.Now());
    newer.reset(); // the stored record must not lean on what it came from
    EXPECT_EQ(WrittenSdp(*old), want); // every written field: origin, URI, times, type, media
    ASSERT_EQ(old->media.size(), 3u);
    // Only the name and information mark a change; reserved texts are copied
    // too; unchanged media keep the tool choice and spare text, the one
    // whose port changed does not.
    EXPECT_EQ(std::tuple(old->changed, std::string(old->extras->reserved[2]), old->media[0].extras->toolChoice + "|" +
                         old->media[0].extras->spare + "|" + old->media[1].extras->toolChoice, old->media[0].payloadCount, old->lastHeard),
              std::tuple(0, "", "audio tool|kept|", 1, 1700000050));

    Refresh(*old, *t.Parse("v=0\no=u 42 3 IN IP4 10.0.0.2\ns=Second\n"), 1);
    EXPECT_EQ(std::tuple(old->changed, old->name + "|", old->media.size()), std::tuple(1, "Second|", 0u));
    old->changed = 0;
    Refresh(*old, *t.Parse("v=0\no=u 42 3 IN IP4 10.0.0.2\ns=Second\ni=New\n"), 1);
    EXPECT_EQ(old->changed, 1);

    // Our own record only takes the time it was heard.
    auto own = t.Parse(kV1);
    own->own = 1;
    own->changed = 0;
    Refresh(*own, *t.Parse("v=0\no=u 42 2 IN IP4 10.0.0.9\ns=Hijack\n"), 1234);
    EXPECT_EQ(std::tuple(own->name + "|" + own->originAddress, own->media.size(), own->changed, own->lastHeard),
              std::tuple("First|10.0.0.1", 2u, 0, 1234));
}

struct CRecordingViewer : CViewerWindow {
    int told = 0;
    void RecordExpired(CSDPObject& r) override
    {
        ++told;
        EXPECT_TRUE(r.IsDeleting() || r.LockCount() == 0);
    }
};

TEST(Record, DeletionRefusesLocksAndTellsTheViewerOnce)
{
    CTestEnv t;
    CRecordingViewer viewer;
    {
        auto r = t.Parse(kV1);
        r->links.Edit().viewerWindow = &viewer;
        ASSERT_TRUE(r->Lock(__FILE__, __LINE__));
        ASSERT_TRUE(r->Lock(__FILE__, __LINE__)) << "the lock is re-entrant for its owner";
        EXPECT_EQ(r->LockCount(), 2);
        r->Unlock();
        r->Unlock();
        r->DeleteLater();
        r->DeleteLater();
        EXPECT_FALSE(r->Lock(__FILE__, __LINE__));
        EXPECT_EQ(r->LockCount(), 0);
        EXPECT_EQ(viewer.told, 1);
    }
    EXPECT_EQ(viewer.told, 1) << "not told again when the memory goes";

    CRecordingViewer last;
    t.Parse(kV1)->links.Edit().viewerWindow = &last;
    EXPECT_EQ(last.told, 1) << "a record that goes while shown still tells its viewer";
}

// Another thread waits for the lock: the last of the owner's holds lets it
// in; waiters count in LockCount, and an Unlock by a thread that holds
// nothing releases nothing.
TEST(Record, LockStaysWithItsOwnerUntilItsLastUnlock)
{
    CTestEnv t;
    auto r = t.Parse(kV1);
    ASSERT_TRUE(r->Lock());
    ASSERT_TRUE(r->Lock());
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        r->Unlock();
        got = r->Lock();
        if (got)
            r->Unlock();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (r->LockCount() != 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(r->LockCount(), 3) << "two holds and one waiter";
    r->Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(got) << "one hold is left";
    r->Unlock();
    waiter.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(r->LockCount(), 0);
}

} // namespace
