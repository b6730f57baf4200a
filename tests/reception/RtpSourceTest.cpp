// The RTP arithmetic: header checks, extended sequence numbers, probation,
// duplicates, reordering, resynchronisation and the interarrival jitter.
#include "RtpPackets.h"

#include "reception/RtpSource.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct CCounts {
    uint64_t expected, received, lost, duplicates, outOfOrder;
    bool operator==(const CCounts&) const = default;
};
std::ostream& operator<<(std::ostream& out, const CCounts& c)
{
    return out << "expected " << c.expected << " received " << c.received << " lost " << c.lost << " dup "
               << c.duplicates << " ooo " << c.outOfOrder;
}

CCounts Counts(const std::vector<uint16_t>& sequences)
{
    CRtpSource source(1);
    for (uint16_t s : sequences)
        source.Receive(s, 0, 0, 0);
    return {source.Expected(), source.Received(), source.Lost(), source.Duplicates(), source.OutOfOrder()};
}

std::vector<uint16_t> Range(uint16_t first, int count)
{
    std::vector<uint16_t> out;
    for (int i = 0; i < count; ++i)
        out.push_back(uint16_t(first + i));
    return out;
}

template <class... More>
std::vector<uint16_t> Join(std::vector<uint16_t> a, const More&... more)
{
    (a.insert(a.end(), more.begin(), more.end()), ...);
    return a;
}

TEST(RtpSource, SequenceTable)
{
    // Probation holds the first packet back until a second near it
    // arrives; then both count.
    struct Row {
        const char* what;
        std::vector<uint16_t> sequences;
        CCounts counts;
    } rows[] = {
        {"in order", Range(1000, 100), {100, 100, 0, 0, 0}},
        {"wraps at 65535", Range(65530, 20), {20, 20, 0, 0, 0}},
        {"three lost", Join(Range(10, 10), Range(23, 10)), {23, 20, 3, 0, 0}},
        {"loss across the wrap", Join(Range(65530, 5), Range(2, 5)), {13, 10, 3, 0, 0}},
        {"repeat of the newest", Join(Range(10, 10), std::vector<uint16_t>{19, 19}, Range(20, 5)), {15, 15, 0, 2, 0}},
        {"repeat of an older one", Join(Range(10, 10), std::vector<uint16_t>{15}), {10, 10, 0, 1, 0}},
        {"repeat of the first", Join(Range(10, 5), std::vector<uint16_t>{10}), {5, 5, 0, 1, 0}},
        {"two swapped", Join(Range(10, 5), std::vector<uint16_t>{16, 15}, Range(17, 3)), {10, 10, 0, 0, 1}},
        {"swapped across the wrap", Join(Range(65530, 5), std::vector<uint16_t>{0, 65535}, Range(1, 3)),
         {10, 10, 0, 0, 1}},
        {"late packet fills its gap", Join(Range(10, 5), Range(16, 5), std::vector<uint16_t>{15}), {11, 11, 0, 0, 1}},
        {"late copy of a late packet", Join(Range(10, 5), Range(16, 5), std::vector<uint16_t>{15, 15}),
         {11, 11, 0, 1, 1}},
        {"a lone jump is ignored", Join(Range(10, 5), std::vector<uint16_t>{30000}, Range(15, 5)), {10, 10, 0, 0, 0}},
        {"a copy 299 places late is a copy", Join(Range(10, 300), std::vector<uint16_t>{10}), {300, 300, 0, 1, 0}},
        {"swapped pairs from the first", {1, 0, 3, 2, 5, 4}, {6, 6, 0, 0, 2}},
        {"probation starts again far away", {100, 500, 501, 502}, {3, 3, 0, 0, 0}},
        {"a restart keeps the counts before it apart", Join(Range(10, 5), Range(17, 3), std::vector<uint16_t>{40000, 40001, 40003, 40002}),
         {14, 12, 2, 0, 1}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Counts(row.sequences), row.counts) << row.what;
}

TEST(RtpSource, ExtendedSequenceCountsCycles)
{
    CRtpSource source(7);
    uint16_t s = 65534;
    for (int i = 0; i < 3 * 65536; ++i)
        source.Receive(s++, 0, 0, 0);
    EXPECT_EQ(std::tuple(source.ExtendedMax(), source.Expected(), source.Lost()),
              std::tuple(3u * 65536 + 65533, 3u * 65536, 0u));
}

TEST(RtpSource, JitterOfAKnownArrivalPattern)
{
    // 8000 Hz, one packet per 20 ms (160 units); the third arrives 5 ms
    // late. Transit: 0, 0, 40, 0, 0 units; D: 0, 40, 40, 0; and
    // J += (|D| - J) / 16 gives 0, 2.5, 4.84375, 4.541015625 units.
    const uint32_t timestamps[] = {0, 160, 320, 480, 640};
    const uint32_t arrivals[] = {1000, 1160, 1360, 1480, 1640};
    const double jitter[] = {0, 0, 2.5, 4.84375, 4.541015625};
    CRtpSource source(7);
    for (int i = 0; i < 5; ++i) {
        source.Receive(uint16_t(1 + i), timestamps[i], arrivals[i], 8000);
        EXPECT_DOUBLE_EQ(source.Jitter(), jitter[i]) << "after packet " << i;
    }
    // A duplicate leaves the jitter alone.
    source.Receive(5, 640, 9999, 8000);
    EXPECT_DOUBLE_EQ(source.Jitter(), 4.541015625);
}

TEST(RtpSource, JitterAcrossTimestampWrap)
{
    // Timestamps and arrivals both wrap at 2^32; steady spacing means no jitter.
    CRtpSource source(7);
    uint32_t ts = 0xFFFFFF00u, arrival = 0xFFFFFFF0u;
    for (int i = 0; i < 10; ++i, ts += 160, arrival += 160)
        source.Receive(uint16_t(1 + i), ts, arrival, 8000);
    EXPECT_DOUBLE_EQ(source.Jitter(), 0);
}

TEST(RtpHeader, MalformedPacketsAreNamed)
{
    CTestRtp rtp;
    const std::vector<uint8_t> good = rtp.Bytes();
    struct Row {
        const char* what;
        std::vector<uint8_t> bytes;
        ERtpParse result;
    };
    std::vector<Row> rows = {
        {"good", good, ERtpParse::Ok},
        {"short", std::vector<uint8_t>(good.begin(), good.begin() + 11), ERtpParse::Short},
        {"version 1", good, ERtpParse::WrongVersion},
        {"15 CSRCs in 32 bytes", good, ERtpParse::HeaderPastEnd},
        {"extension past the end", good, ERtpParse::HeaderPastEnd},
        {"padding count 0", good, ERtpParse::PaddingPastEnd},
        {"padding past the payload", good, ERtpParse::PaddingPastEnd},
        {"padding of the whole payload", good, ERtpParse::Ok},
    };
    rows[2].bytes[0] = 0x40;
    rows[3].bytes[0] = 0x8F;
    rows[4].bytes[0] = 0x90;
    rows[4].bytes[14] = 0x01; // 256 words
    rows[5].bytes[0] = 0xA0;
    rows[5].bytes.back() = 0;
    rows[6].bytes[0] = 0xA0;
    rows[6].bytes.back() = 21;
    rows[7].bytes[0] = 0xA0;
    rows[7].bytes.back() = 20;
    for (const Row& row : rows) {
        CRtpHeader header;
        EXPECT_EQ(ParseRtpHeader(row.bytes.data(), row.bytes.size(), header), row.result) << row.what;
    }
    CRtpHeader header;
    ASSERT_EQ(ParseRtpHeader(rows[7].bytes.data(), rows[7].bytes.size(), header), ERtpParse::Ok);
    EXPECT_EQ(header.payloadSize, 0u);
    std::vector<uint8_t> withCsrcAndExtension = {0x91, 0xE0, 0x12, 0x34, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0, 2,
                                                 0xBE, 0xDE, 0, 1, 1, 2, 3, 4, 0x55};
    ASSERT_EQ(ParseRtpHeader(withCsrcAndExtension.data(), withCsrcAndExtension.size(), header), ERtpParse::Ok);
    EXPECT_EQ(std::tuple(header.payloadType, header.marker, header.sequence, header.timestamp, header.ssrc,
                         header.payloadOffset, header.payloadSize),
              std::tuple(uint8_t{96}, true, uint16_t{0x1234}, 9u, 1u, size_t{24}, size_t{1}));
}

} // namespace
