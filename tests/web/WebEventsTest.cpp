#include "WebFixture.h"

#include <thread>

namespace {
struct CSeen {
    std::string type;
    std::string name;
    std::string id;
};
} // namespace

class WebEventsTest : public WebTest {
protected:
    std::vector<CSeen> Seen(uint64_t after = 0)
    {
        publisher.Flush();
        std::vector<CSeen> seen;
        uint64_t last = after;
        for (const auto& e : EventsAfter(after)) {
            EXPECT_GT(e.id, last);
            last = e.id;
            const QJsonObject o = QJsonDocument::fromJson(e.data).object();
            seen.push_back({e.type, o["name"].toString().toStdString(), o["id"].toString().toStdString()});
        }
        return seen;
    }
    static std::vector<std::string> Types(const std::vector<CSeen>& seen)
    {
        std::vector<std::string> types;
        for (const auto& s : seen)
            types.push_back(s.type + (s.name.empty() ? "" : " " + s.name));
        return types;
    }
};

using Strings = std::vector<std::string>;

TEST_F(WebEventsTest, EachChangeIsOneNumberedEventAfterItsSnapshot)
{
    publisher.Flush();
    const uint64_t start = state.Events().LastId();
    auto a = Add(Timed("1", "First"));
    EXPECT_EQ(Types(Seen(start)), Strings({"added First"}));
    const uint64_t afterAdd = state.Events().LastId();
    // An unchanged repeat is no event; a renamed one is.
    Add(Timed("1", "First"));
    EXPECT_TRUE(Seen(afterAdd).empty());
    Add(t.Parse("v=0\no=- 1 2 IN IP4 10.0.0.1\ns=Renamed\nc=IN IP4 224.2.17.12/127\nt=0 0\nm=audio 49170 RTP/AVP 0\n"));
    const auto changed = Seen(afterAdd);
    ASSERT_EQ(Types(changed), Strings({"changed Renamed"}));
    // The snapshot is there before the event: a client reacting finds it.
    EXPECT_EQ(Json(Get("/api/v1/sessions/" + changed[0].id))["record"].toObject()["name"].toString(), "Renamed");
    const uint64_t beforeRemove = state.Events().LastId();
    doc.RemoveSession(a);
    const auto removed = Seen(beforeRemove);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].type, "removed");
    EXPECT_EQ(removed[0].id, changed[0].id);
    EXPECT_EQ(Get("/api/v1/sessions/" + removed[0].id).status, 404);
}

TEST_F(WebEventsTest, ARemovedDirectoryTakesEverySessionBelowIt)
{
    auto dir = Folder("9", "224.2.200.1");
    auto inner = Folder("8", "224.2.200.2", dir);
    Add(Timed("1", "a"), dir);
    Add(Timed("2", "b"), inner);
    Seen();
    const uint64_t before = state.Events().LastId();
    doc.RemoveSession(dir);
    const auto gone = Seen(before);
    EXPECT_EQ(gone.size(), 4u);
    for (const auto& g : gone)
        EXPECT_EQ(g.type, "removed");
    EXPECT_EQ(Json(Get("/api/v1/directories"))["directories"].toArray().size(), 1);
}

TEST_F(WebEventsTest, IdsFollowTheSessionsIdentityAndTellDirectoriesApart)
{
    auto dir = Folder("9", "224.2.200.1");
    auto top = Add(Timed("1", "Same"));
    Add(Timed("1", "Same"), dir);
    const std::string topId = IdOf("main", "Same");
    const std::string dirId = Json(Get("/api/v1/directories"))["directories"].toArray()[1].toObject()["id"].toString().toStdString();
    const std::string innerId = IdOf(dirId, "Same");
    EXPECT_NE(topId, innerId);
    // Gone and heard again: the same id, so a page's links keep working.
    doc.RemoveSession(top);
    publisher.Flush();
    EXPECT_EQ(IdOf("main", "Same"), "");
    Add(Timed("1", "Same"));
    EXPECT_EQ(IdOf("main", "Same"), topId);
    // A host-less origin is told apart by its media destination.
    Add(t.Parse("v=0\no=- 5 1 IN IP4 127.0.0.1\ns=Loop A\nc=IN IP4 224.2.1.1/127\nt=0 0\nm=audio 5000 RTP/AVP 0\n"));
    Add(t.Parse("v=0\no=- 5 1 IN IP4 127.0.0.1\ns=Loop B\nc=IN IP4 224.2.1.2/127\nt=0 0\nm=audio 5002 RTP/AVP 0\n"));
    EXPECT_NE(IdOf("main", "Loop A"), IdOf("main", "Loop B"));
}

// Time alone turns a session on: after the walks the row is active and
// passes the Current filter, and the page hears a change.
TEST_F(WebEventsTest, TimeAloneChangesTheRowsAfterTheWalk)
{
    const int64_t now = t.clock.Now();
    Add(Timed("1", "Soon", now + 30, now + 3600));
    EXPECT_TRUE(Names("main", {{"filter", "current"}}).empty());
    const uint64_t before = state.Events().LastId();
    t.clock.Advance(31);
    publisher.BeginWalk();
    publisher.EndWalk();
    EXPECT_EQ(Names("main", {{"filter", "current"}}), Strings({"Soon"}));
    EXPECT_EQ(Types(Seen(before)), Strings({"changed Soon"}));
    EXPECT_TRUE(Json(Get("/api/v1/directories/main/sessions"))["sessions"].toArray()[0].toObject()["active"].toBool());
}

TEST_F(WebEventsTest, ASnapshotHandedOutStaysAsItWas)
{
    auto kept = Add(Timed("1", "Kept"));
    publisher.Flush();
    const WebSnapshotPtr old = state.Snapshot();
    doc.RemoveSession(kept);
    publisher.Flush();
    EXPECT_EQ(old->Directory("main")->sessions.size(), 1u);
    EXPECT_EQ(old->Directory("main")->sessions[0]->title, "Kept");
    EXPECT_TRUE(state.Snapshot()->Directory("main")->sessions.empty());
}

TEST(EventLogTest, KeepsTheLastEventsAndTellsLateReadersToReload)
{
    CEventLog log(4, "e1");
    for (int i = 0; i < 10; ++i)
        log.Append("added", QByteArray::number(i));
    EXPECT_EQ(log.LastId(), 10u);
    const auto chrono0 = std::chrono::milliseconds(0);
    EXPECT_TRUE(log.ReadAfter(0, 100, chrono0).lost);
    EXPECT_TRUE(log.ReadAfter(5, 100, chrono0).lost);
    const auto tail = log.ReadAfter(6, 100, chrono0);
    EXPECT_FALSE(tail.lost);
    ASSERT_EQ(tail.events.size(), 4u);
    EXPECT_EQ(tail.events.front().id, 7u);
    EXPECT_EQ(tail.events.back().data, "9");
    EXPECT_EQ(log.ReadAfter(8, 1, chrono0).events.size(), 1u);
    EXPECT_TRUE(log.ReadAfter(10, 100, chrono0).events.empty());
    // An id beyond the last: the log restarted under this epoch.
    EXPECT_TRUE(log.ReadAfter(11, 100, chrono0).lost);
}

TEST(EventLogTest, ReadsOnlyItsOwnIds)
{
    CEventLog log(4, "abc");
    EXPECT_EQ(log.IdText(42), "abc-42");
    EXPECT_EQ(log.ParseId("abc-42"), 42u);
    EXPECT_EQ(log.ParseId("abc-0"), 0u);
    for (const char* bad : {"", "abc", "abc-", "abd-1", "xabc-1", "abc-1x", "abc--1", "abc- 1", "abc-99999999999999999999999"})
        EXPECT_FALSE(log.ParseId(bad).has_value()) << bad;
}

TEST(EventLogTest, AWaitingReaderWakesOnAnEventOrTheClose)
{
    CEventLog log(8, "e");
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        log.Append("added", "x");
    });
    const auto started = std::chrono::steady_clock::now();
    const auto read = log.ReadAfter(0, 10, std::chrono::seconds(10));
    writer.join();
    EXPECT_EQ(read.events.size(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        log.Close();
    });
    EXPECT_TRUE(log.ReadAfter(1, 10, std::chrono::seconds(10)).closed);
    closer.join();
}

// A walk that changes nothing a client sees publishes nothing: handlers
// keep the snapshot, with the orders already worked out for it.
TEST_F(WebEventsTest, AQuietWalkKeepsTheSnapshotAndItsOrders)
{
    for (int i = 0; i < 50; ++i)
        Add(Timed(std::to_string(i), "S" + std::to_string(i)));
    publisher.Flush();
    const WebSnapshotPtr before = state.Snapshot();
    const auto* order = &before->Directory("main")->Order(listrules::kSortNameDown);
    const uint64_t built = publisher.RowsBuilt();
    for (int walk = 0; walk < 30; ++walk) {
        t.clock.Advance(1);
        publisher.BeginWalk();
        publisher.EndWalk();
        publisher.Flush();
    }
    EXPECT_EQ(state.Snapshot(), before);
    EXPECT_EQ(publisher.RowsBuilt(), built); // no row was due to be looked at again
    // A change elsewhere makes a new snapshot; an unchanged list keeps its orders.
    auto dir = Folder("d", "224.2.200.1");
    publisher.Flush();
    ASSERT_NE(state.Snapshot(), before);
    EXPECT_NE(&state.Snapshot()->Directory("main")->Order(listrules::kSortNameDown), order); // the main list grew
    Add(Timed("x", "inner"), dir);
    publisher.Flush();
    const auto* mainOrder = &state.Snapshot()->Directory("main")->Order(listrules::kSortNameDown);
    Add(Timed("y", "inner 2"), dir);
    publisher.Flush();
    EXPECT_EQ(&state.Snapshot()->Directory("main")->Order(listrules::kSortNameDown), mainOrder);
}
