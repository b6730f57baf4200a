// One media entry's figures from the datagrams fed to it: counts, sources,
// payload types, rates, states, transport streams and redundant pairs.
#include "RtpPackets.h"
#include "support/TestEnv.h"

#include "reception/MediaStatistics.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <array>
#include <tuple>

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kSecond = 1'000'000'000;

CMediaTarget RtpTarget()
{
    CMediaTarget t;
    t.media = "audio";
    t.address = "239.1.2.3";
    t.port = 5004;
    t.rtp = true;
    t.announcedTypes = {0, 96};
    t.clockRates[0] = 8000;
    t.clockRates[96] = 48000;
    return t;
}

// Packets, bytes, expected, lost, duplicates, out of order, SSRC changes.
std::array<uint64_t, 7> Counts(const CMediaFigures& f)
{
    return {f.packets, f.bytes, f.expected, f.lost, f.duplicates, f.outOfOrder, f.ssrcChanges};
}

struct CFeeder {
    CMediaStatistics stats;
    explicit CFeeder(const CMediaTarget& target) : stats(target, 0) {}
    void Feed(const CTestRtp& rtp, int64_t ns, uint32_t from = htonl(0x0A000001), uint16_t port = 4000)
    {
        const std::vector<uint8_t> bytes = rtp.Bytes();
        stats.Feed(bytes.data(), bytes.size(), CArrival{ns, ns, from, port});
    }
};

TEST(MediaStatistics, CountsLossDuplicatesAndOrderOfOneStream)
{
    CFeeder f(RtpTarget());
    int64_t t = 0;
    for (uint16_t s : std::vector<uint16_t>{1, 2, 3, 5, 6, 6, 8, 7, 9, 10}) {
        CTestRtp p;
        p.sequence = s;
        f.Feed(p, t += 10 * kMs);
    }
    const CMediaFigures fig = f.stats.Figures(t);
    EXPECT_EQ(Counts(fig), (std::array<uint64_t, 7>{10, 320, 9, 1, 1, 1, 0}));
    EXPECT_EQ(std::tuple(fig.ssrcs, fig.payloadTypes, fig.payloadMismatch, fig.senders, fig.msSinceLastPacket),
              std::tuple(std::vector<uint32_t>{0x11223344}, std::vector<int>{96}, false,
                         std::vector<std::string>{"10.0.0.1:4000"}, int64_t(0)));
    // 1 of 10 lost in the first seconds.
    EXPECT_EQ(fig.state, EReceptionState::Impaired);
    EXPECT_NEAR(fig.lossRate10s, 1.0 / 9, 1e-9);
}

TEST(MediaStatistics, JitterInMillisecondsFromTheAnnouncedClock)
{
    // The hand-worked pattern of the RTP source test at 8000 Hz (payload 0).
    CFeeder f(RtpTarget());
    const int64_t arrivalsMs[] = {0, 20, 45, 60, 80};
    for (int i = 0; i < 5; ++i) {
        CTestRtp p;
        p.payloadType = 0;
        p.sequence = uint16_t(100 + i);
        p.timestamp = uint32_t(5000 + 160 * i);
        f.Feed(p, 1 * kSecond + arrivalsMs[i] * kMs);
    }
    const CMediaFigures fig = f.stats.Figures(2 * kSecond);
    ASSERT_TRUE(fig.jitterMs);
    EXPECT_DOUBLE_EQ(*fig.jitterMs, 4.541015625 / 8);

    // A payload type without a clock rate: no jitter.
    CMediaTarget target = RtpTarget();
    target.announcedTypes = {97};
    CFeeder none(target);
    CTestRtp p;
    p.payloadType = 97;
    for (int i = 0; i < 2; ++i, ++p.sequence)
        none.Feed(p, i * 10 * kMs);
    EXPECT_FALSE(none.stats.Figures(kSecond).jitterMs);
}

TEST(MediaStatistics, SsrcChangeAndUnannouncedPayload)
{
    CFeeder f(RtpTarget());
    CTestRtp a;
    for (int i = 0; i < 5; ++i, ++a.sequence)
        f.Feed(a, i * kMs);
    CTestRtp b;
    b.ssrc = 0x55;
    b.sequence = 9000;
    b.payloadType = 8;
    for (int i = 0; i < 5; ++i, ++b.sequence)
        f.Feed(b, (10 + i) * kMs);
    const CMediaFigures fig = f.stats.Figures(20 * kMs);
    EXPECT_EQ(fig.ssrcs, (std::vector<uint32_t>{0x11223344, 0x55}));
    // 4 + 4 expected: each source has its first packet on probation.
    EXPECT_EQ(Counts(fig), (std::array<uint64_t, 7>{10, 320, 8, 0, 0, 0, 1}));
    EXPECT_EQ(fig.payloadTypes, (std::vector<int>{96, 8}));
    EXPECT_EQ(fig.announcedTypes, (std::vector<int>{0, 96}));
    EXPECT_TRUE(fig.payloadMismatch);
    EXPECT_EQ(fig.state, EReceptionState::Impaired);
}

TEST(MediaStatistics, MalformedPacketsAreCountedNotTrusted)
{
    CFeeder f(RtpTarget());
    std::vector<uint8_t> bad = CTestRtp().Bytes();
    bad[0] = 0x40;
    f.stats.Feed(bad.data(), bad.size(), {});
    f.stats.Feed(bad.data(), 5, {});
    const CMediaFigures fig = f.stats.Figures(0);
    EXPECT_EQ(std::tuple(fig.packets, fig.malformed, fig.ssrcs.size(), fig.payloadTypes.size()),
              std::tuple(2u, 2u, 0u, 0u));
}

TEST(MediaStatistics, RatesAndHistoryOverWholeSeconds)
{
    CMediaTarget target = RtpTarget();
    target.rtp = false;
    CFeeder f(target);
    const std::vector<uint8_t> k(1000, 1);
    f.stats.Feed(k.data(), k.size(), {100 * kMs, 0, 0, 0});
    for (int i = 0; i < 2; ++i)
        f.stats.Feed(k.data(), k.size(), {1500 * kMs, 0, 0, 0});
    CMediaFigures fig = f.stats.Figures(2500 * kMs);
    EXPECT_EQ(std::tuple(fig.history, fig.bitRate1s, fig.bitRate10s, fig.rtp, fig.state),
              std::tuple(std::vector<double>{8000, 16000}, 16000.0, 12000.0, false, EReceptionState::Receiving));
    // 70 s on: the history holds the last 60 s only, all empty; silent.
    fig = f.stats.Figures(72500 * kMs);
    EXPECT_EQ(std::tuple(fig.history, fig.bitRate10s, fig.state, fig.msSinceLastPacket),
              std::tuple(std::vector<double>(60, 0), 0.0, EReceptionState::Silent, int64_t(71000)));
}

TEST(MediaStatistics, SilentAfterThreeSecondsAndBeforeTheFirstPacket)
{
    CFeeder f(RtpTarget());
    EXPECT_EQ(f.stats.Figures(500 * kMs).state, EReceptionState::Silent);
    EXPECT_EQ(f.stats.Figures(500 * kMs).msSinceLastPacket, -1);
    CTestRtp p;
    for (int i = 0; i < 3; ++i, ++p.sequence)
        f.Feed(p, kSecond + i * kMs);
    EXPECT_EQ(f.stats.Figures(kSecond + 2999 * kMs).state, EReceptionState::Receiving);
    EXPECT_EQ(f.stats.Figures(kSecond + 3002 * kMs).state, EReceptionState::Silent);
}

TEST(MediaStatistics, LossOlderThanTenSecondsNoLongerImpairs)
{
    CFeeder f(RtpTarget());
    CTestRtp p;
    int64_t now = 0;
    // 1 s of 100 packets with 20 lost, then clean seconds; figures once a second.
    std::vector<EReceptionState> states;
    for (int second = 0; second < 14; ++second) {
        for (int i = 0; i < 100; ++i) {
            if (!(second == 0 && i >= 50 && i < 70))
                f.Feed(p, now + i * 10 * kMs);
            ++p.sequence;
        }
        now += kSecond;
        states.push_back(f.stats.Figures(now).state);
    }
    EXPECT_EQ(states.front(), EReceptionState::Impaired);
    EXPECT_EQ(states[9], EReceptionState::Impaired);
    EXPECT_EQ(states.back(), EReceptionState::Receiving);
}

TEST(MediaStatistics, TransportStreamInRtpAndInRawUdp)
{
    CMediaTarget target = RtpTarget();
    target.announcedTypes = {33};
    target.clockRates[33] = 90000;
    target.transportStream[33] = true;
    CFeeder rtp(target);
    uint8_t counter = 0;
    for (int i = 0; i < 4; ++i) {
        CTestRtp p;
        p.payloadType = 33;
        p.sequence = uint16_t(i);
        p.payload.clear();
        for (int k = 0; k < 7; ++k) {
            // PID 256 skips one counter in the third datagram.
            if (i == 2 && k == 0)
                ++counter;
            const std::vector<uint8_t> ts = TsPacket(256, counter++);
            p.payload.insert(p.payload.end(), ts.begin(), ts.end());
        }
        rtp.Feed(p, i * kMs);
        if (i == 3)
            rtp.Feed(p, i * kMs); // a duplicate datagram is not a counter error
    }
    CMediaFigures fig = rtp.stats.Figures(10 * kMs);
    ASSERT_EQ(fig.pids.size(), 1u);
    EXPECT_EQ(std::tuple(fig.transportStream, fig.tsPackets, fig.continuityErrors, fig.pids[0].pid, fig.duplicates),
              std::tuple(true, 28u, 1u, 256, 1u));

    target.rtp = false;
    CFeeder udp(target);
    std::vector<uint8_t> datagram;
    for (uint8_t c : {0, 1, 2, 4}) {
        const std::vector<uint8_t> ts = TsPacket(17, c);
        datagram.insert(datagram.end(), ts.begin(), ts.end());
    }
    udp.stats.Feed(datagram.data(), datagram.size(), {});
    fig = udp.stats.Figures(0);
    EXPECT_EQ(std::tuple(fig.tsPackets, fig.continuityErrors, fig.malformed), std::tuple(4u, 1u, 0u));
}

TEST(DupMerge, OnlyWhatBothLegsLostIsLost)
{
    // Across the wrap: leg A loses every 7th, leg B every 5th; only every
    // 35th is missing from both. Without the overlap nothing is lost.
    for (bool overlap : {true, false}) {
        CDupMerge merge;
        uint64_t lostOnBoth = 0;
        for (uint32_t i = 65001; i < 65001 + 2000; ++i) {
            const bool lostA = i % 7 == 0, lostB = i % 5 == 0 && (overlap || !lostA);
            if (!lostA)
                merge.Receive(uint16_t(i));
            if (!lostB)
                merge.Receive(uint16_t(i));
            lostOnBoth += lostA && lostB;
        }
        EXPECT_EQ(merge.Expected(), 2000u);
        EXPECT_EQ(merge.Lost(), lostOnBoth);
        EXPECT_EQ(lostOnBoth > 0, overlap);
    }
}

TEST(DupMerge, LegsApartByHundredsOfPackets)
{
    // Leg B runs 300 packets behind leg A; each loses what the other brings.
    CDupMerge merge;
    for (int i = 0; i < 3000; ++i) {
        if (i % 2 == 0)
            merge.Receive(uint16_t(i));
        if (i >= 300 && (i - 300) % 2 == 1)
            merge.Receive(uint16_t(i - 300));
    }
    for (int i = 2700; i < 3000; ++i)
        if (i % 2 == 1)
            merge.Receive(uint16_t(i));
    EXPECT_EQ(merge.Expected(), 3000u);
    EXPECT_EQ(merge.Lost(), 0u);
}

TEST(SessionStatistics, RedundantPairReportsBothLegsAndTheMerge)
{
    CReceptionPlan plan;
    plan.media = {RtpTarget(), RtpTarget()};
    plan.media[1].mediaIndex = 1;
    plan.pairs = {{0, 1}};
    CSessionStatistics session(plan, 0);
    for (uint16_t s = 0; s < 100; ++s) {
        CTestRtp p;
        p.sequence = s;
        const std::vector<uint8_t> bytes = p.Bytes();
        if (s % 2 == 0 || s < 3)
            session.Feed(0, bytes.data(), bytes.size(), {s * kMs, s * kMs, 0, 0});
        if (s % 2 == 1 || s < 3 || s == 99)
            session.Feed(1, bytes.data(), bytes.size(), {s * kMs, s * kMs, 0, 0});
    }
    const CSessionFigures fig = session.Figures(100 * kMs);
    ASSERT_EQ(fig.media.size(), 2u);
    ASSERT_EQ(fig.pairs.size(), 1u);
    // Leg A lost 3..98 odd, leg B 4..98 even.
    EXPECT_EQ(std::tuple(fig.media[0].lost, fig.media[1].lost, fig.pairs[0].expected, fig.pairs[0].lost),
              std::tuple(48u, 48u, 100u, 0u));
}

} // namespace
