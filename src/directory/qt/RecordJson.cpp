#include "directory/qt/RecordJson.h"

#include "base/Text.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"
#include "sdp/StudioAttributes.h"
#include "sdp/StudioRemarks.h"

#include <QJsonArray>

QString TextToJson(std::string_view bytes)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    return text::IsValidUtf8(bytes) ? QString::fromUtf8(bytes.data(), size) : QString::fromLatin1(bytes.data(), size);
}

static QJsonArray Texts(const std::vector<std::string>& list)
{
    QJsonArray out;
    for (const std::string& s : list)
        out.append(TextToJson(s));
    return out;
}

static QJsonObject Pair(const char* first, const std::string& a, const char* second, const std::string& b)
{
    return QJsonObject{{first, TextToJson(a)}, {second, TextToJson(b)}};
}

QJsonObject MediaToJson(const CSDPMedia& m)
{
    QJsonArray payloads;
    for (const CPayload& p : PayloadsOf(m))
        payloads.append(QJsonObject{{"number", p.number}, {"name", TextToJson(p.name)}});
    return QJsonObject{
        {"media", TextToJson(m.media)},
        {"port", TextToJson(m.port)},
        {"protocol", TextToJson(m.protocol)},
        {"format_list", TextToJson(m.formatList)},
        {"information", TextToJson(m.information)},
        {"address", TextToJson(m.address)},
        {"ttl", m.ttl},
        {"address_count", m.addressCount},
        {"connection", QJsonObject{{"network_type", TextToJson(m.extras->connectionNetworkType)},
                                   {"address_type", TextToJson(m.extras->connectionAddressType)},
                                   {"address", TextToJson(m.connectionAddress)}}},
        {"bandwidth", Pair("modifier", m.extras->bandwidthModifier, "value", m.extras->bandwidthValue)},
        {"key", Pair("method", m.extras->keyMethod, "value", m.extras->keyValue)},
        {"attributes", Texts(m.attributes)},
        {"payloads", payloads},
        {"tool_choice", TextToJson(m.extras->toolChoice)},
    };
}

static QJsonObject ClockJson(const CStudioAttributes& a)
{
    QJsonObject out;
    if (const auto& c = a.referenceClock) {
        if (const auto& p = c->ptp) {
            QJsonObject ptp{{"version", TextToJson(p->version)}};
            if (p->traceable)
                ptp.insert("traceable", true);
            else
                ptp.insert("gmid", TextToJson(p->gmid));
            if (p->domain)
                ptp.insert("domain", *p->domain);
            else if (!p->domainName.empty())
                ptp.insert("domain", TextToJson(p->domainName));
            out.insert("ptp", ptp);
        } else {
            out.insert("refclk", QJsonObject{{"source", TextToJson(c->source)}, {"value", TextToJson(c->value)}});
        }
    }
    if (const auto& m = a.mediaClock) {
        QJsonObject clock{{"mode", TextToJson(m->mode)}};
        // A number where JSON keeps it exact, else its digits.
        if (m->offset)
            clock.insert("direct", *m->offset <= (uint64_t(1) << 53) ? QJsonValue(qint64(*m->offset))
                                                                     : QJsonValue(QString::number(*m->offset)));
        if (!m->rate.empty())
            clock.insert("rate", TextToJson(m->rate));
        if (!m->streamId.empty())
            clock.insert("stream_id", TextToJson(m->streamId));
        out.insert("mediaclk", clock);
    }
    if (!a.clockDomain.empty())
        out.insert("clock_domain", TextToJson(a.clockDomain));
    return out;
}

static QJsonObject FormatJson(const CStudioAttributes& a, bool video)
{
    QJsonObject out;
    if (!a.encoding.empty())
        out.insert("encoding", TextToJson(a.encoding));
    if (!a.standard.empty())
        out.insert("standard", TextToJson(a.standard));
    if (video && !a.encoding.empty()) {
        if (a.width > 0)
            out.insert("width", a.width);
        if (a.height > 0)
            out.insert("height", a.height);
        if (!a.exactFrameRate.empty())
            out.insert("rate", TextToJson(a.exactFrameRate)); // as written: "50", "60000/1001"
        if (!a.sampling.empty())
            out.insert("sampling", TextToJson(a.sampling));
        if (!a.depth.empty())
            out.insert("depth", TextToJson(a.depth));
        if (!a.senderType.empty())
            out.insert("sender_type", TextToJson(a.senderType));
        out.insert("interlace", a.interlace);
        return out;
    }
    if (a.rate > 0)
        out.insert("rate", a.rate);
    if (a.channels > 0)
        out.insert("channels", a.channels);
    if (a.ptimeMs)
        out.insert("ptime_ms", *a.ptimeMs);
    if (!a.channelOrder.empty())
        out.insert("channel_order", TextToJson(a.channelOrder));
    return out;
}

static QJsonObject RemarkJson(const CStudioRemark& r)
{
    return QJsonObject{{"code", TextToJson(r.code)}, {"text", TextToJson(r.text)}};
}

void AddStudioJson(QJsonObject& out, const CSDPObject& record, const CSDPMedia& media)
{
    const CStudioAttributes a = ReadStudioAttributes(record, media);
    QJsonArray remarks;
    for (const CStudioRemark& r : StudioRemarks(record, media, a))
        remarks.append(RemarkJson(r));
    out.insert("clock", ClockJson(a));
    out.insert("format", FormatJson(a, media.media == "video"));
    out.insert("remarks", remarks);
}

void AddSessionStudioJson(QJsonObject& out, const CSDPObject& record)
{
    // The session's own lines: read for an entry that has none.
    const CSDPMedia none;
    const CStudioAttributes a = ReadStudioAttributes(record, none);
    QJsonArray remarks;
    for (size_t i = 0; i < record.media.size(); ++i) {
        const CSDPMedia& m = record.media[i];
        for (const CStudioRemark& r : StudioRemarks(record, m, ReadStudioAttributes(record, m))) {
            QJsonObject o = RemarkJson(r);
            o.insert("media", int(i));
            remarks.append(o);
        }
    }
    out.insert("clock", ClockJson(a));
    out.insert("format", FormatJson(a, false));
    out.insert("remarks", remarks);
}

QString DirectoryGroupText(const CSDPObject& directory)
{
    const auto group6 = Ipv6DirectoryGroup(directory);
    return QString::fromStdString(group6 ? text::Ipv6Text(*group6) : text::DottedQuad(directory.links->directoryGroup));
}

QJsonObject RecordToJson(const CSDPObject& r)
{
    QJsonArray times;
    for (const CSDPTime& t : r.times)
        times.append(QJsonObject{{"start", TextToJson(t.start)},
                                 {"stop", TextToJson(t.stop)},
                                 {"repeat_interval", TextToJson(t.repeatInterval)},
                                 {"active_duration", TextToJson(t.activeDuration)},
                                 {"offset", TextToJson(t.offset)}});
    QJsonArray media;
    for (const CSDPMedia& m : r.media) {
        QJsonObject o = MediaToJson(m);
        AddStudioJson(o, r, m);
        media.append(o);
    }
    QJsonObject out{
        {"version", r.version},
        {"origin", QJsonObject{{"user", TextToJson(r.originUser)},
                               {"session_id", TextToJson(r.originSessionId)},
                               {"version", TextToJson(r.originVersion)},
                               {"network_type", TextToJson(r.originNetworkType)},
                               {"address_type", TextToJson(r.originAddressType)},
                               {"address", TextToJson(r.originAddress)}}},
        {"name", TextToJson(r.name)},
        {"information", TextToJson(r.information)},
        {"uri", TextToJson(r.uri)},
        {"email", TextToJson(r.email)},
        {"phone", TextToJson(r.phone)},
        {"connection", QJsonObject{{"network_type", TextToJson(r.connectionNetworkType)},
                                   {"address_type", TextToJson(r.connectionAddressType)},
                                   {"address", TextToJson(r.connectionAddress)}}},
        {"bandwidth", Pair("modifier", r.extras->bandwidthModifier, "value", r.extras->bandwidthValue)},
        {"key", Pair("method", r.extras->keyMethod, "value", r.extras->keyValue)},
        {"times", times},
        {"attributes", Texts(r.attributes)},
        {"session_type", r.sessionType},
        {"source_length", r.sourceLength},
        {"own", r.own != 0},
        {"media", media},
    };
    AddSessionStudioJson(out, r);
    if (IsDirectoryType(r.sessionType))
        out.insert("directory", QJsonObject{{"group", DirectoryGroupText(r)},
                                            {"port", int(r.links->directoryPort)},
                                            {"ttl", int(r.links->directoryTtl)}});
    return out;
}
