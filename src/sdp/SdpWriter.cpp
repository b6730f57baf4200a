// A record back as SDP text, for our own announcements and for the SDP files
// handed to media tools. The parser reads it back field for field. Lines
// come in the standard order and end in CRLF: players and other directories
// drop texts with attributes before the times or with bare line feeds.
#include "sdp/SDPObject.h"

#include <string_view>

namespace {

const char* TypeAttribute(int sessionType)
{
    switch (sessionType) {
    case kTypeTest: return "type:test";
    case kTypeBroadcast: return "type:broadcast";
    case kTypeMeeting: return "type:meeting";
    case kTypeUnknown: return "type:unknown";
    case kTypeH332: return "type:H332";
    case kTypeModerated: return "type:moderated";
    default: return ""; // directories carry a bare "a="
    }
}

class CSdpLines {
public:
    explicit CSdpLines(std::string& out) : m_out(out) { m_out.clear(); }

    // "x=" followed by the parts, one blank between them.
    template <class... Parts>
    void Line(char letter, std::string_view first, const Parts&... rest)
    {
        m_out += letter;
        m_out += '=';
        Append(first);
        ((m_out += ' ', Append(rest)), ...);
        m_out += "\r\n";
    }
    void LineIf(char letter, std::string_view value)
    {
        if (!value.empty())
            Line(letter, value);
    }

private:
    // A line break inside a value (a multi-line description typed by the
    // user) would end the line early and let the rest read as further lines:
    // each break becomes one blank.
    void Append(std::string_view value)
    {
        if (value.find_first_of("\r\n") == std::string_view::npos) {
            m_out += value;
            return;
        }
        for (size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                continue;
            m_out += (c == '\r' || c == '\n') ? ' ' : c;
        }
    }

    std::string& m_out;
};

// An empty time reads as "not given"; "0" says the same in valid SDP.
std::string_view TimeOrZero(std::string_view t) { return t.empty() ? std::string_view("0") : t; }

// `ipv6Type`: the IP6 address type the entry's connection has (its own
// line's or the session's); empty for the others.
void WriteMedia(CSdpLines& lines, const CSDPMedia& m, std::string_view ipv6Type)
{
    const bool ipv6 = !ipv6Type.empty();
    lines.Line('m', m.media, m.port, m.protocol, m.formatList);
    if (m.information != "N/A")
        lines.LineIf('i', m.information);
    if (!m.address.empty()) {
        // The bare address with the TTL and count the record holds, also when
        // they came from the session's connection line. A count only follows
        // a TTL: on its own it would read back as the TTL.
        std::string address = m.address;
        if (ipv6) {
            // No TTL in IPv6: the one suffix is the count, and 1 goes unsaid.
            if (m.addressCount > 1)
                address += '/' + std::to_string(m.addressCount);
        } else if (m.ttl != 0) {
            address += '/' + std::to_string(m.ttl);
            if (m.addressCount != 0)
                address += '/' + std::to_string(m.addressCount);
        }
        lines.Line('c', m.extras->connectionNetworkType, ipv6 ? ipv6Type : std::string_view(m.extras->connectionAddressType),
                   address);
    }
    if (!m.extras->bandwidthModifier.empty())
        lines.Line('b', m.extras->bandwidthModifier, m.extras->bandwidthValue);
    if (!m.extras->keyMethod.empty())
        lines.Line('k', m.extras->keyMethod, m.extras->keyValue);
    for (const CShortText& a : m.attributes)
        lines.Line('a', a);
}

} // namespace

void CSDPObject::WriteSdp(std::string& out)
{
    CRecordLock lock(*this);
    CSdpLines lines(out);
    lines.Line('v', "0");
    lines.Line('o', originUser, originSessionId, originVersion, originNetworkType, originAddressType, originAddress);
    lines.Line('s', name);
    lines.LineIf('i', information);
    lines.LineIf('u', uri);
    lines.LineIf('e', email);
    lines.LineIf('p', phone);
    if (!connectionNetworkType.empty() && !connectionAddressType.empty() && !connectionAddress.empty())
        lines.Line('c', connectionNetworkType, connectionAddressType, connectionAddress);
    const CSDPExtras& x = *extras;
    if (!x.bandwidthModifier.empty() && !x.bandwidthValue.empty())
        lines.Line('b', x.bandwidthModifier, x.bandwidthValue);
    for (const CSDPTime& t : times) {
        lines.Line('t', TimeOrZero(t.start), TimeOrZero(t.stop));
        if (!t.repeatInterval.empty())
            lines.Line('r', t.repeatInterval, t.activeDuration, t.offset);
    }
    if (!x.keyMethod.empty())
        lines.Line('k', x.keyValue.empty() ? std::string(x.keyMethod) : x.keyMethod + ':' + x.keyValue);

    // The type attribute is written once, last, from the session type; a
    // stored copy of the same text is not repeated.
    const std::string_view type = TypeAttribute(sessionType);
    for (const CShortText& a : attributes)
        if (a != type)
            lines.Line('a', a);
    lines.Line('a', type);
    for (const CSDPMedia& m : media)
        WriteMedia(lines, m, IsIpv6Media(*this, m) ? ConnectionAddressTypeOf(*this, m) : std::string_view());
}
