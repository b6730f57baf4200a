// The TTL bands that share out the announcement bandwidth: each band's TTL
// range, limit and count, seen through the interval they give a record.
#include "directory/Ostara32Doc.h"
#include "sdp/SessionList.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

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
    const struct {
        int ttl, band, interval;
    } cases[] = {
        {-1, -1, 300},   {0, -1, 300},     {1, 0, 390},      {15, 0, 390},    {16, 1, 1562},   {63, 1, 1562},
        {64, 2, 2343},   {127, 2, 2343},   {128, -1, 300},   {129, 3, 16000}, {255, 3, 16000}, {256, -1, 300},
        {1000, -1, 1000},
    };
    CTestEnv t;
    for (const auto& c : cases) {
        EXPECT_EQ(CTtlBands::BandOf(c.ttl), c.band) << c.ttl;
        EXPECT_EQ(COstara32Doc::AnnouncementInterval(*WithTtl(t, c.ttl), bands), c.interval) << c.ttl;
    }
    // A record without media counts as TTL 127; a short text gets the floor.
    auto bare = t.Parse("v=0\no=- bare 1 IN IP4 h\n");
    bare->sourceLength = 10000;
    EXPECT_EQ(COstara32Doc::AnnouncementInterval(*bare, bands), 2343);
    EXPECT_EQ(COstara32Doc::AnnouncementInterval(*WithTtl(t, 1, 100), bands), 300);

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

} // namespace
