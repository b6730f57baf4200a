// The probe's JSON and text lines from reception figures.
#include "cli/ReceptionJson.h"
#include "reception/ReceptionFigures.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <tuple>

namespace {

CSessionFigures PairSession()
{
    CSessionFigures s;
    for (int i = 0; i < 2; ++i) {
        CMediaFigures m;
        m.mediaIndex = i;
        m.media = "video";
        m.group = i ? "239.2.0.1" : "239.1.0.1";
        m.port = 5004;
        m.mid = i ? "b" : "a";
        m.rtp = true;
        m.state = EReceptionState::Receiving;
        m.packets = 100;
        m.expected = 100;
        m.received = 90;
        m.lost = 10;
        m.ssrcs = {0xABC};
        m.payloadTypes = {96};
        m.announcedTypes = {96};
        m.msSinceLastPacket = 12;
        s.media.push_back(m);
    }
    CDupFigures pair;
    pair.legB = 1;
    pair.expected = pair.received = 100;
    pair.skewMs = pair.maxSkewMs = 2.5;
    s.pairs.push_back(pair);
    s.media[1].rtcpPackets = s.media[1].senderReports = 3;
    s.media[1].reportedSent = 95;
    s.media[1].receivedBetweenReports = 86;
    return s;
}

TEST(ReceptionJson, RtpFiguresWithTheMergedLossOnEachLeg)
{
    CSessionFigures s = PairSession();
    for (int leg = 0; leg < 2; ++leg) {
        const QJsonObject o = MediaFiguresToJson(s, s.media[size_t(leg)]);
        EXPECT_EQ(o["state"].toString(), "receiving");
        EXPECT_EQ(o["media_index"].toInt(), leg);
        EXPECT_EQ(o["rtp"]["lost"].toInt(), 10);
        EXPECT_TRUE(o["rtp"]["jitter_ms"].isNull());
        EXPECT_EQ(o["rtp"]["ssrcs"].toArray().at(0).toString(), "0x00000abc");
        EXPECT_EQ(o["redundant"]["other_leg"].toInt(), 1 - leg);
        EXPECT_EQ(o["redundant"]["merged_lost"].toInt(), 0);
        EXPECT_EQ(o["redundant"]["leg"].toString(), leg ? "B" : "A");
        EXPECT_EQ(o["redundant"]["skew_ms"].toDouble(), 2.5);
        EXPECT_EQ(o.contains("rtcp"), leg == 1);
        EXPECT_FALSE(o.contains("mpeg_ts"));
        EXPECT_FALSE(o.contains("note"));
    }
    EXPECT_EQ(MediaFiguresToText(s, s.media[1]),
              "media 1 video 239.2.0.1:5004 receiving packets 100 0.0 kbit/s (10 s: 0.0) lost 10/100 dup 0 late 0 "
              "sender reports 95 sent, 86 received merged with 0: lost 0/100 skew 2.5 ms");
    EXPECT_EQ(MediaFiguresToJson(s, s.media[1])["rtcp"].toObject()["reported_sent"].toInt(), 95);
    // Legs that disagree give no merged figure at all.
    s.pairs[0].aligned = false;
    const QJsonObject apart = MediaFiguresToJson(s, s.media[0])["redundant"].toObject();
    EXPECT_EQ(std::tuple(apart["aligned"].toBool(), apart.contains("merged_lost")), std::tuple(false, false));
    EXPECT_TRUE(MediaFiguresToText(s, s.media[0]).endsWith("merged with 1: legs not aligned skew 2.5 ms"));
}

TEST(ReceptionJson, RawTransportStreamAndWhatIsNotWatched)
{
    CSessionFigures s;
    CMediaFigures ts;
    ts.media = "video";
    ts.transportStream = true;
    ts.tsPackets = 70;
    ts.continuityErrors = 2;
    ts.pids = {{256, 70, 2}};
    ts.jitterMs = 1.5; // not RTP: no rtp block at all
    s.media.push_back(ts);
    CMediaFigures off;
    off.mediaIndex = 1;
    off.state = EReceptionState::NotWatched;
    off.note = "limit of 8 groups reached";
    s.media.push_back(off);
    QJsonObject o = MediaFiguresToJson(s, s.media[0]);
    EXPECT_FALSE(o.contains("rtp"));
    EXPECT_EQ(o["mpeg_ts"].toObject()["continuity_errors"].toInt(), 2);
    EXPECT_EQ(o["mpeg_ts"].toObject()["pids"].toArray().at(0)["pid"].toInt(), 256);
    EXPECT_TRUE(o["ms_since_last_packet"].isNull());
    EXPECT_EQ(o["state"].toString(), "silent");
    o = MediaFiguresToJson(s, s.media[1]);
    EXPECT_EQ(o["state"].toString(), "not watched");
    EXPECT_EQ(o["note"].toString(), "limit of 8 groups reached");
    EXPECT_EQ(MediaFiguresToText(s, s.media[1]), "media 1  :0 not watched (limit of 8 groups reached)");
}

TEST(ReceptionJson, Ipv6GroupAndSenderStayReadable)
{
    CSessionFigures s;
    CMediaFigures m;
    m.media = "audio";
    m.group = "ff0e::77:1";
    m.port = 42100;
    m.senders = {"[fd78:70::1]:5004"};
    s.media.push_back(m);
    const QJsonObject o = MediaFiguresToJson(s, s.media[0]);
    EXPECT_EQ(o["group"].toString(), "ff0e::77:1");
    EXPECT_EQ(o["senders"].toArray().at(0).toString(), "[fd78:70::1]:5004");
    EXPECT_EQ(MediaFiguresToText(s, s.media[0]).left(43), "media 0 audio [ff0e::77:1]:42100 silent pac");
}

} // namespace
