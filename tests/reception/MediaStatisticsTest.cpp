// One media entry's figures from the datagrams fed to it: counts, sources,
// payload types, rates, states, transport streams and redundant pairs.
#include "RtpPackets.h"
#include "support/TestEnv.h"

#include "reception/MediaStatistics.h"
#include "reception/ReceptionPlan.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
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
    EXPECT_EQ(Counts(fig), (std::array<uint64_t, 7>{10, 320, 10, 1, 1, 1, 0}));
    EXPECT_EQ(std::tuple(fig.ssrcs, fig.payloadTypes, fig.payloadMismatch, fig.senders, fig.msSinceLastPacket),
              std::tuple(std::vector<uint32_t>{0x11223344}, std::vector<int>{96}, false,
                         std::vector<std::string>{"10.0.0.1:4000"}, int64_t(0)));
    // 1 of 10 lost in the first seconds.
    EXPECT_EQ(fig.state, EReceptionState::Impaired);
    EXPECT_NEAR(fig.lossRate10s, 1.0 / 10, 1e-9);
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
              std::tuple(std::vector<double>{8000, 16000}, 16000.0, 24000.0 * 1e9 / 1.9e9, false,
                         EReceptionState::Receiving)); // watched from the first packet, at 0.1 s
    // 70 s on: the history holds the last 60 s only, all empty; silent.
    fig = f.stats.Figures(72500 * kMs);
    EXPECT_EQ(std::tuple(fig.history, fig.bitRate10s, fig.state, fig.msSinceLastPacket),
              std::tuple(std::vector<double>(60, 0), 0.0, EReceptionState::Silent, int64_t(71000)));
}

TEST(MediaStatistics, SilentAfterThreeSecondsAndBeforeTheFirstPacket)
{
    CFeeder f(RtpTarget());
    const CMediaFigures before = f.stats.Figures(500 * kMs);
    EXPECT_EQ(std::pair(before.state, before.msSinceLastPacket), std::pair(EReceptionState::Silent, int64_t(-1)));
    CTestRtp p;
    for (int i = 0; i < 3; ++i, ++p.sequence)
        f.Feed(p, kSecond + i * kMs);
    EXPECT_EQ(std::pair(f.stats.Figures(kSecond + 2999 * kMs).state, f.stats.Figures(kSecond + 3002 * kMs).state),
              std::pair(EReceptionState::Receiving, EReceptionState::Silent));
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
    EXPECT_EQ(std::tuple(states.front(), states[9], states.back()),
              std::tuple(EReceptionState::Impaired, EReceptionState::Impaired, EReceptionState::Receiving));
}

TEST(MediaStatistics, TransportStreamInRawUdp)
{
    CMediaTarget target = RtpTarget();
    target.announcedTypes = {33};
    target.clockRates[33] = 90000;
    target.transportStream[33] = true;
    target.rtp = false;
    CFeeder udp(target);
    std::vector<uint8_t> datagram;
    for (uint8_t c : {0, 1, 2, 4}) {
        const std::vector<uint8_t> ts = TsPacket(17, c);
        datagram.insert(datagram.end(), ts.begin(), ts.end());
    }
    udp.stats.Feed(datagram.data(), datagram.size(), {});
    const CMediaFigures fig = udp.stats.Figures(0);
    EXPECT_EQ(std::tuple(fig.tsPackets, fig.continuityErrors, fig.malformed), std::tuple(4u, 1u, 0u));
}

// A watched session fed crafted packets, as real senders and networks
// produce them; each row's figures are worked out by hand from what was sent.
struct CRig {
    std::unique_ptr<CSessionStatistics> session;
    int64_t now = 0;
    explicit CRig(const std::string& sdp)
    {
        CTestEnv env;
        session = std::make_unique<CSessionStatistics>(PlanReception(*env.Parse(sdp)), 0);
    }
    void Send(size_t media, const std::vector<uint8_t>& bytes, int64_t ns)
    {
        now = std::max(now, ns);
        session->Feed(media, bytes.data(), bytes.size(), CArrival{ns, ns, htonl(0x0A000001), 4000});
    }
    // Packet `n` of a stream at `pps` packets a second, `step` timestamp units apart.
    void Rtp(size_t media, uint32_t ssrc, uint16_t seq, uint32_t ts, int64_t ns, uint8_t pt = 96)
    {
        CTestRtp p;
        p.ssrc = ssrc;
        p.sequence = seq;
        p.timestamp = ts;
        p.payloadType = pt;
        Send(media, p.Bytes(), ns);
    }
};

std::string Describe(const CSessionFigures& f)
{
    char text[400];
    const CMediaFigures& m = f.media[0];
    std::snprintf(text, sizeof text, "exp %llu lost %llu dup %llu late %llu changes %llu %s",
                  (unsigned long long)m.expected, (unsigned long long)m.lost, (unsigned long long)m.duplicates,
                  (unsigned long long)m.outOfOrder, (unsigned long long)m.ssrcChanges, ReceptionStateName(m.state));
    std::string out = text;
    if (m.jitterMs) {
        std::snprintf(text, sizeof text, " jitter %.3f", *m.jitterMs);
        out += text;
    }
    if (m.transportStream)
        out += " cc " + std::to_string(m.continuityErrors);
    if (m.rtcpPackets)
        out += " rtcp " + std::to_string(m.rtcpPackets) + " sent " + std::to_string(m.reportedSent.value_or(0))
               + " got " + std::to_string(m.receivedBetweenReports);
    for (const CDupFigures& pair : f.pairs) {
        out += " | B lost " + std::to_string(f.media[1].lost);
        out += pair.aligned ? " merged " + std::to_string(pair.expected) + "/" + std::to_string(pair.lost)
                            : " not aligned";
        if (pair.maxSkewMs) {
            std::snprintf(text, sizeof text, " skew %.1f", *pair.maxSkewMs);
            out += text;
        }
    }
    return out;
}

const std::string kOne = "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                         "m=audio 5004 RTP/AVP 96\na=rtpmap:96 L24/48000/2\n";
// No clock rate: no jitter to work out by hand.
const std::string kPlain = "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                           "m=video 5004 RTP/AVP 96\na=rtpmap:96 raw\n";
const std::string kPair = "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nt=0 0\na=group:DUP a b\n"
                          "m=video 5004 RTP/AVP 96\nc=IN IP4 239.1.1.1/32\na=rtpmap:96 raw\na=mid:a\n"
                          "m=video 5004 RTP/AVP 96\nc=IN IP4 239.2.1.1/32\na=rtpmap:96 raw\na=mid:b\n";
constexpr int64_t kUs = 1000;

// Leg A and leg B send `count` packets from `seq` at 120,000 packets/s
// (stamps of a 90 kHz clock from `ts`, about four packets to three units),
// B `lagPackets` behind; `lost(leg, n)` drops packet n on that leg.
template <class Lost>
void SendPair(CRig& rig, uint32_t ssrc, uint16_t seq, uint32_t ts, int count, int64_t startNs, int lagPackets,
              Lost lost, int numberShiftB = 0)
{
    const int64_t periodNs = 8333;
    for (int n = 0; n < count + lagPackets; ++n) {
        if (n < count && !lost(0, n))
            rig.Rtp(0, ssrc, uint16_t(seq + n), ts + uint32_t(n * 3 / 4), startNs + n * periodNs);
        const int b = n - lagPackets;
        if (b >= 0 && b < count && !lost(1, b))
            rig.Rtp(1, ssrc, uint16_t(seq + b + numberShiftB), ts + uint32_t(b * 3 / 4), startNs + n * periodNs);
    }
}

TEST(ReceptionFigures, CraftedStreams)
{
    const auto none = [](int, int) { return false; };
    struct Row {
        const char* what;
        const std::string& sdp;
        std::function<void(CRig&)> play;
        const char* figures;
    } rows[] = {
        {"a redundant pair whose sender reboots: new SSRC and numbers on both legs, nothing lost", kPair,
         [&](CRig& r) {
             SendPair(r, 0xA, 1000, 0, 5000, 0, 40, none);
             SendPair(r, 0xB, 51234, 0x5A5A5A5A, 5000, 100'000 * kUs, 40, none);
         },
         "exp 10000 lost 0 dup 0 late 0 changes 1 receiving | B lost 0 merged 10000/0 skew 0.3"},
        {"legs 1,000 packets apart, one packet lost on both", kPair,
         [&](CRig& r) { SendPair(r, 0xA, 65000, 0, 4000, 0, 1000, [](int, int n) { return n == 2500; }); },
         "exp 4000 lost 1 dup 0 late 0 changes 0 receiving | B lost 1 merged 4000/1 skew 8.3"},
        {"legs 150 ms apart at 120,000 packets/s, each losing what the other brings but every 35th", kPair,
         [&](CRig& r) {
             SendPair(r, 0xA, 7, 0, 40000, 0, 18000, [](int leg, int n) { return n % (leg ? 5 : 7) == 3; });
         },
         "exp 40000 lost 5714 dup 0 late 0 changes 0 impaired | B lost 8000 merged 40000/1143 skew 150.0"},
        {"legs that number the same packets differently", kPair,
         [&](CRig& r) { SendPair(r, 0xA, 100, 0, 3000, 0, 0, none, 1000); },
         "exp 3000 lost 0 dup 0 late 0 changes 0 receiving | B lost 0 not aligned"},
        {"arrival less timestamp crossing 2^31: jitter stays that of the spacing", kOne,
         [&](CRig& r) {
             // 48 kHz, 1 ms apart, every other packet one unit late: the
             // transit alternates between 2^31 - 1 and 2^31, |D| is 1 unit,
             // and J = 1 - (15/16)^199 units, 0.0208 ms.
             for (int n = 0; n < 200; ++n)
                 r.Rtp(0, 1, uint16_t(n), uint32_t(48 * n) - 0x7FFFFFFFu, n * kMs + (n % 2) * 21 * kUs);
         },
         "exp 200 lost 0 dup 0 late 0 changes 0 receiving jitter 0.021"},
        {"two packets 248 places late", kPlain,
         [&](CRig& r) {
             for (int n = 0; n < 399; ++n) {
                 const int seq = n < 150 ? n : n < 397 ? n + 2 : n - 247;
                 r.Rtp(0, 1, uint16_t(seq), uint32_t(48 * seq), n * 10 * kUs);
             }
         },
         "exp 399 lost 0 dup 0 late 2 changes 0 receiving"},
        {"a sender that restarts with the same SSRC, numbers ahead, stamps not: the new numbers are counted afresh", kOne,
         [&](CRig& r) {
             for (int n = 0; n < 100; ++n)
                 r.Rtp(0, 1, uint16_t(1000 + n), uint32_t(48 * n), n * kMs);
             for (int n = 0; n < 100; ++n)
                 r.Rtp(0, 1, uint16_t(20000 + n), uint32_t(7777777 + 48 * n), (200 + n) * kMs);
         },
         "exp 200 lost 0 dup 0 late 0 changes 0 receiving jitter 0.000"},
        {"a gap of 5,000 packets in one stream (its stamps kept time) is loss", kOne,
         [&](CRig& r) {
             for (int n = 0; n < 10000; ++n)
                 if (n < 100 || n >= 5100)
                     r.Rtp(0, 1, uint16_t(n), uint32_t(48 * n), n * kMs);
         },
         "exp 10000 lost 5000 dup 0 late 0 changes 0 impaired jitter 0.000"},
        {"G.729 and H.263 have a static clock rate", "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                                                     "m=audio 5004 RTP/AVP 18\n",
         [&](CRig& r) {
             for (int n = 0; n < 10; ++n)
                 r.Rtp(0, 1, uint16_t(n), uint32_t(80 * n), n * 10 * kMs + (n == 5) * 8 * kMs, 18);
         },
         // 8 kHz; packet 5 is 64 units late: D is 64 twice, J = 7.75 then
         // three times 15/16 of it, 6.3858 units.
         "exp 10 lost 0 dup 0 late 0 changes 0 receiving jitter 0.798"},
        {"the second format of the media line", "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                                                "m=audio 5004 RTP/AVP 0 8\n",
         [&](CRig& r) {
             for (int n = 0; n < 10; ++n)
                 r.Rtp(0, 1, uint16_t(n), uint32_t(160 * n), n * 20 * kMs, 8);
         },
         "exp 10 lost 0 dup 0 late 0 changes 0 receiving jitter 0.000"},
        {"an unannounced type 10 s ago no longer impairs", kOne,
         [&](CRig& r) {
             for (int n = 0; n < 1200; ++n)
                 r.Rtp(0, 1, uint16_t(n), uint32_t(480 * n), n * 10 * kMs, n == 100 ? 97 : 96);
         },
         "exp 1200 lost 0 dup 0 late 0 changes 0 receiving jitter 0.000"},
        {"RTCP sender reports on the RTP port", kOne,
         [&](CRig& r) {
             for (int n = 0; n < 100; ++n) {
                 r.Rtp(0, 1, uint16_t(n), uint32_t(480 * n), n * 10 * kMs);
                 if (n % 20 == 19) {
                     // SR of SSRC 1: 28 bytes, packet count n + 1 (one more sent than heard below).
                     const uint32_t sent = uint32_t(n + 1 + (n >= 40));
                     r.Send(0, {0x80, 200, 0, 6, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                uint8_t(sent >> 24), uint8_t(sent >> 16), uint8_t(sent >> 8), uint8_t(sent),
                                0, 0, 0, 0}, n * 10 * kMs + kMs);
                 }
             }
         },
         "exp 100 lost 0 dup 0 late 0 changes 0 receiving jitter 0.000 rtcp 5 sent 81 got 80"},
        {"SSRCs A, B, A again: two changes, A's jitter from afresh", kOne,
         [&](CRig& r) {
             for (int n = 0; n < 30; ++n)
                 r.Rtp(0, 1, uint16_t(n), uint32_t(480 * n), n * 10 * kMs + (n == 5) * 9 * kMs);
             for (int n = 0; n < 30; ++n)
                 r.Rtp(0, 2, uint16_t(500 + n), uint32_t(480 * n), (300 + n * 10) * kMs);
             for (int n = 30; n < 60; ++n)
                 r.Rtp(0, 1, uint16_t(n), uint32_t(480 * n), (700 + n * 10) * kMs);
         },
         "exp 90 lost 0 dup 0 late 0 changes 2 receiving jitter 0.000"},
        {"a stream always arriving in swapped pairs, 10 lost", kPlain,
         [&](CRig& r) {
             for (int n = 0; n < 200; ++n) {
                 const int seq = n ^ 1;
                 if (seq % 20 != 7)
                     r.Rtp(0, 1, uint16_t(seq), uint32_t(480 * seq), n * 10 * kMs);
             }
         },
         // Every even number comes late but the first's and those whose odd partner is lost.
         "exp 200 lost 10 dup 0 late 89 changes 0 impaired"},
    };
    for (const Row& row : rows) {
        CRig rig(row.sdp);
        row.play(rig);
        EXPECT_EQ(Describe(rig.session->Figures(rig.now + kMs)), row.figures) << row.what;
    }
}

TEST(ReceptionFigures, TransportStreamInSequenceOrder)
{
    // PID 256 steps its counter in every packet; RTP packets 3 and 4 arrive
    // swapped (no error), an adaptation-only packet with a wrong counter is
    // one error (not two), a lost RTP packet is one, and a repeated datagram
    // is a duplicate, not a counter error.
    const std::string sdp = "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                            "m=video 5004 RTP/AVP 33\n";
    CRig rig(sdp);
    auto datagram = [](int n) {
        CTestRtp p;
        p.payloadType = 33;
        p.sequence = uint16_t(n);
        p.payload.clear();
        for (int k = 0; k < (n == 6 ? 3 : 2); ++k) {
            const std::vector<uint8_t> ts = k == 2 ? TsPacket(256, 3, 2) : TsPacket(256, uint8_t(2 * n + k));
            p.payload.insert(p.payload.end(), ts.begin(), ts.end());
        }
        return p.Bytes();
    };
    for (int n : {0, 1, 2, 4, 3, 5, 6, 7, 9, 10, 10})
        rig.Send(0, datagram(n), n * kMs);
    // Half a second on, what waits behind the gap of 8 is checked too; the
    // first datagram, on probation, is not.
    const CMediaFigures fig = rig.session->Figures(kSecond).media[0];
    ASSERT_EQ(fig.pids.size(), 1u);
    EXPECT_EQ(std::tuple(fig.transportStream, fig.pids[0].pid, fig.outOfOrder, fig.lost, fig.duplicates, fig.tsPackets,
                         fig.continuityErrors),
              std::tuple(true, 256, 1u, 1u, 1u, 19u, 2u));
}

} // namespace
