#include "cli/ReceptionJson.h"

#include "directory/qt/RecordJson.h"
#include "reception/ReceptionFigures.h"

#include <QJsonArray>

namespace {

QJsonArray Numbers(const std::vector<int>& list)
{
    QJsonArray out;
    for (int n : list)
        out.append(n);
    return out;
}

double Count(uint64_t n) { return double(n); }

const CDupFigures* PairOf(const CSessionFigures& session, int mediaIndex, int* other)
{
    for (const CDupFigures& p : session.pairs) {
        if (p.legA == mediaIndex || p.legB == mediaIndex) {
            *other = p.legA == mediaIndex ? p.legB : p.legA;
            return &p;
        }
    }
    return nullptr;
}

} // namespace

QJsonObject MediaFiguresToJson(const CSessionFigures& session, const CMediaFigures& m)
{
    QJsonObject o{{"media_index", m.mediaIndex},
                  {"media", TextToJson(m.media)},
                  {"group", TextToJson(m.group)},
                  {"port", m.port},
                  {"state", ReceptionStateName(m.state)},
                  {"packets", Count(m.packets)},
                  {"bytes", Count(m.bytes)},
                  {"malformed", Count(m.malformed)},
                  {"kernel_drops", Count(m.kernelDrops)},
                  {"bit_rate_1s", m.bitRate1s},
                  {"bit_rate_10s", m.bitRate10s},
                  {"ms_since_last_packet", m.msSinceLastPacket < 0 ? QJsonValue() : QJsonValue(double(m.msSinceLastPacket))}};
    if (!m.mid.empty())
        o["mid"] = TextToJson(m.mid);
    if (!m.note.empty())
        o["note"] = TextToJson(m.note);
    QJsonArray senders;
    for (const std::string& s : m.senders)
        senders.append(QString::fromStdString(s));
    o["senders"] = senders;
    if (m.rtp) {
        QJsonArray ssrcs;
        for (uint32_t s : m.ssrcs)
            ssrcs.append(QString("0x%1").arg(s, 8, 16, QChar('0')));
        o["rtp"] = QJsonObject{{"expected", Count(m.expected)},
                               {"received", Count(m.received)},
                               {"lost", Count(m.lost)},
                               {"duplicates", Count(m.duplicates)},
                               {"out_of_order", Count(m.outOfOrder)},
                               {"loss_10s", m.lossRate10s},
                               {"jitter_ms", m.jitterMs ? QJsonValue(*m.jitterMs) : QJsonValue()},
                               {"ssrcs", ssrcs},
                               {"ssrc_changes", Count(m.ssrcChanges)},
                               {"payload_types", Numbers(m.payloadTypes)},
                               {"announced_types", Numbers(m.announcedTypes)},
                               {"payload_mismatch", m.payloadMismatch}};
        if (m.rtcpPackets) {
            QJsonObject rtcp{{"packets", Count(m.rtcpPackets)}, {"sender_reports", Count(m.senderReports)}};
            if (m.reportedSent) {
                rtcp["reported_sent"] = Count(*m.reportedSent);
                rtcp["received_between_reports"] = Count(m.receivedBetweenReports);
            }
            o["rtcp"] = rtcp;
        }
    }
    if (m.transportStream) {
        QJsonArray pids;
        for (const CPidFigures& p : m.pids)
            pids.append(QJsonObject{{"pid", p.pid}, {"packets", Count(p.packets)},
                                    {"continuity_errors", Count(p.continuityErrors)}});
        o["mpeg_ts"] = QJsonObject{{"packets", Count(m.tsPackets)},
                                   {"continuity_errors", Count(m.continuityErrors)},
                                   {"pids", pids}};
    }
    int other = -1;
    if (const CDupFigures* pair = PairOf(session, m.mediaIndex, &other)) {
        QJsonObject redundant{{"leg", pair->legA == m.mediaIndex ? "A" : "B"},
                              {"other_leg", other},
                              {"aligned", pair->aligned}};
        if (pair->aligned) {
            redundant["merged_expected"] = Count(pair->expected);
            redundant["merged_received"] = Count(pair->received);
            redundant["merged_lost"] = Count(pair->lost);
        }
        // Leg B's arrival less leg A's for the same packet.
        redundant["skew_ms"] = pair->skewMs ? QJsonValue(*pair->skewMs) : QJsonValue();
        redundant["max_skew_ms"] = pair->maxSkewMs ? QJsonValue(*pair->maxSkewMs) : QJsonValue();
        o["redundant"] = redundant;
    }
    return o;
}

QString MediaFiguresToText(const CSessionFigures& session, const CMediaFigures& m)
{
    // An IPv6 group is bracketed, so that its port stands apart.
    const QString group = TextToJson(m.group);
    QString line = QString("media %1 %2 %3:%4 %5")
                       .arg(m.mediaIndex)
                       .arg(TextToJson(m.media), group.contains(':') ? "[" + group + "]" : group)
                       .arg(m.port)
                       .arg(ReceptionStateName(m.state));
    if (!m.note.empty())
        return line + " (" + TextToJson(m.note) + ")";
    line += QString(" packets %1 %2 kbit/s (10 s: %3)")
                .arg(m.packets)
                .arg(m.bitRate1s / 1000, 0, 'f', 1)
                .arg(m.bitRate10s / 1000, 0, 'f', 1);
    if (m.rtp) {
        line += QString(" lost %1/%2 dup %3 late %4").arg(m.lost).arg(m.expected).arg(m.duplicates).arg(m.outOfOrder);
        if (m.jitterMs)
            line += QString(" jitter %1 ms").arg(*m.jitterMs, 0, 'f', 3);
        if (m.payloadMismatch)
            line += " payload type not announced";
    }
    if (m.transportStream)
        line += QString(" ts cc errors %1").arg(m.continuityErrors);
    int other = -1;
    if (m.rtcpPackets && m.reportedSent)
        line += QString(" sender reports %1 sent, %2 received").arg(*m.reportedSent).arg(m.receivedBetweenReports);
    if (const CDupFigures* pair = PairOf(session, m.mediaIndex, &other)) {
        line += pair->aligned ? QString(" merged with %1: lost %2/%3").arg(other).arg(pair->lost).arg(pair->expected)
                              : QString(" merged with %1: legs not aligned").arg(other);
        if (pair->skewMs)
            line += QString(" skew %1 ms").arg(*pair->skewMs, 0, 'f', 1);
    }
    return line;
}
