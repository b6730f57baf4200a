// Continuity counters of transport stream packets.
#include "RtpPackets.h"

#include "reception/TsContinuity.h"

#include <gtest/gtest.h>

namespace {

struct CTs {
    uint16_t pid;
    uint8_t counter;
    uint8_t control = 1;
    bool discontinuity = false;
};

uint64_t Errors(const std::vector<CTs>& packets)
{
    CTsContinuity ts;
    for (const CTs& p : packets) {
        const std::vector<uint8_t> bytes = TsPacket(p.pid, p.counter, p.control, p.discontinuity);
        EXPECT_TRUE(ts.Feed(bytes.data(), bytes.size()));
    }
    return ts.Errors();
}

TEST(TsContinuity, CounterTable)
{
    std::vector<CTs> wrap;
    for (int i = 0; i < 40; ++i)
        wrap.push_back({100, uint8_t(i & 15)});
    struct Row {
        const char* what;
        std::vector<CTs> packets;
        uint64_t errors;
    } rows[] = {
        {"steps through the wrap", wrap, 0},
        {"one skipped", {{100, 0}, {100, 1}, {100, 3}, {100, 4}}, 1},
        {"one repeat allowed", {{100, 0}, {100, 1}, {100, 1}, {100, 2}}, 0},
        {"a second repeat is not", {{100, 0}, {100, 1}, {100, 1}, {100, 1}, {100, 2}}, 1},
        {"two separate repeats", {{100, 0}, {100, 0}, {100, 1}, {100, 1}, {100, 2}}, 0},
        {"adaptation only keeps the counter", {{100, 5}, {100, 5, 2}, {100, 5, 2}, {100, 6}}, 0},
        {"adaptation only with a wrong counter is its own error only", {{100, 5}, {100, 9, 2}, {100, 6}}, 1},
        {"adaptation with payload steps", {{100, 5}, {100, 6, 3}, {100, 7}}, 0},
        {"discontinuity indicator forgives", {{100, 5}, {100, 6}, {100, 12, 3, true}, {100, 13}}, 0},
        {"a backward step", {{100, 5}, {100, 6}, {100, 4}, {100, 5}}, 1},
        {"null packets are not counted", {{0x1FFF, 3}, {0x1FFF, 9}, {0x1FFF, 9}}, 0},
        {"PIDs are independent", {{100, 0}, {200, 7}, {100, 1}, {200, 8}, {100, 2}, {200, 10}}, 1},
        {"reserved control is skipped", {{100, 0}, {100, 9, 0}, {100, 1}}, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Errors(row.packets), row.errors) << row.what;
}

TEST(TsContinuity, PidsInOrderSeenWithTheirCounts)
{
    CTsContinuity ts;
    std::vector<uint8_t> payload;
    for (const CTs& p : std::vector<CTs>{{0, 0}, {256, 0}, {257, 3}, {256, 2}, {0, 1}, {256, 3}, {257, 4}}) {
        const std::vector<uint8_t> bytes = TsPacket(p.pid, p.counter);
        payload.insert(payload.end(), bytes.begin(), bytes.end());
    }
    ASSERT_TRUE(CTsContinuity::LooksLikeTs(payload.data(), payload.size()));
    EXPECT_TRUE(ts.Feed(payload.data(), payload.size()));
    std::vector<std::tuple<int, uint64_t, uint64_t>> pids; // PID, packets, continuity errors
    for (const CPidFigures& f : ts.Pids())
        pids.emplace_back(f.pid, f.packets, f.continuityErrors);
    EXPECT_EQ(pids, (std::vector<std::tuple<int, uint64_t, uint64_t>>{{0, 2, 0}, {256, 3, 1}, {257, 2, 0}}));
    EXPECT_EQ(std::pair(ts.Packets(), ts.Errors()), std::pair(uint64_t{7}, uint64_t{1}));
}

TEST(TsContinuity, LostSyncStopsTheDatagram)
{
    std::vector<uint8_t> two = TsPacket(100, 0);
    const std::vector<uint8_t> second = TsPacket(100, 1);
    two.insert(two.end(), second.begin(), second.end());
    two[188] = 0x48;
    CTsContinuity ts;
    EXPECT_FALSE(ts.Feed(two.data(), two.size()));
    EXPECT_EQ(ts.Packets(), 1u);
    EXPECT_FALSE(ts.Feed(two.data(), 100));
    EXPECT_EQ(ts.SyncErrors(), 2u);
    EXPECT_FALSE(CTsContinuity::LooksLikeTs(two.data(), 187));
}

} // namespace
