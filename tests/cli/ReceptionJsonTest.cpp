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
        const QJsonValue rtp = o["rtp"], pair = o["redundant"];
        EXPECT_EQ(std::tuple(o["state"].toString().toStdString(), o["media_index"].toInt(), rtp["lost"].toInt(),
                             rtp["jitter_ms"].isNull(), rtp["ssrcs"].toArray().at(0).toString().toStdString()),
                  std::tuple("receiving", leg, 10, true, "0x00000abc"));
        EXPECT_EQ(std::tuple(pair["other_leg"].toInt(), pair["merged_lost"].toInt(),
                             pair["leg"].toString().toStdString(), pair["skew_ms"].toDouble()),
                  std::tuple(1 - leg, 0, leg ? "B" : "A", 2.5));
        EXPECT_EQ(std::tuple(o.contains("rtcp"), o.contains("mpeg_ts"), o.contains("note")),
                  std::tuple(leg == 1, false, false));
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
    const QJsonValue mpegTs = o["mpeg_ts"];
    EXPECT_EQ(std::tuple(o.contains("rtp"), mpegTs["continuity_errors"].toInt(), mpegTs["pids"].toArray().at(0)["pid"].toInt(),
                         o["ms_since_last_packet"].isNull(), o["state"].toString().toStdString()),
              std::tuple(false, 2, 256, true, "silent"));
    o = MediaFiguresToJson(s, s.media[1]);
    EXPECT_EQ(o["state"].toString() + "|" + o["note"].toString(), "not watched|limit of 8 groups reached");
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
    EXPECT_EQ(o["group"].toString() + "|" + o["senders"].toArray().at(0).toString(), "ff0e::77:1|[fd78:70::1]:5004");
    EXPECT_EQ(MediaFiguresToText(s, s.media[0]).left(43), "media 0 audio [ff0e::77:1]:42100 silent pac");
}

} // namespace
