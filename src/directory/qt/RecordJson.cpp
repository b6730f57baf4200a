#include "directory/qt/RecordJson.h"

#include "base/Text.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"

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
    for (const CSDPMedia& m : r.media)
        media.append(MediaToJson(m));
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
    if (IsDirectoryType(r.sessionType))
        out.insert("directory", QJsonObject{{"group", DirectoryGroupText(r)},
                                            {"port", int(r.links->directoryPort)},
                                            {"ttl", int(r.links->directoryTtl)}});
    return out;
}
