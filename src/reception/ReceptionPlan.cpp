#include "reception/ReceptionPlan.h"

#include "base/Text.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <charconv>

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The value of an attribute "NAME:VALUE" (or the whole flag), when it is `name`.
bool AttributeValue(std::string_view attribute, std::string_view name, std::string_view& value)
{
    if (attribute.size() < name.size() || !text::EqualsNoCase(attribute.substr(0, name.size()), name))
        return false;
    std::string_view rest = attribute.substr(name.size());
    if (!rest.empty() && rest.front() != ':')
        return false;
    if (!rest.empty())
        rest.remove_prefix(1);
    value = Trim(rest);
    return true;
}

bool ParseNumber(std::string_view s, int& out)
{
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// The sources of "source-filter: incl IN IP4 DEST SRC..." lines that apply to `group`.
void AddSources(const CShortTextList& attributes, uint32_t group, std::vector<uint32_t>& sources, bool& found)
{
    for (const CShortText& field : attributes) {
        std::string_view value;
        if (!AttributeValue(field, "source-filter", value))
            continue;
        const std::vector<std::string_view> words = text::Tokens(value, ' ');
        if (words.size() < 5 || words[0] != "incl" || words[1] != "IN" || words[2] != "IP4")
            continue;
        if (words[3] != "*" && text::ParseDottedQuad(words[3]) != group)
            continue;
        found = true;
        for (size_t i = 4; i < words.size(); ++i) {
            const uint32_t source = text::ParseDottedQuad(words[i]);
            if (source != 0xFFFFFFFF && std::find(sources.begin(), sources.end(), source) == sources.end())
                sources.push_back(source);
        }
    }
}

// The same for an IPv6 destination: "incl IN IP6 DEST SRC..." (or "*" for
// the address type, which names both families).
void AddSources6(const CShortTextList& attributes, const text::CIpv6Address& group,
                 std::vector<text::CIpv6Address>& sources, bool& found)
{
    for (const CShortText& field : attributes) {
        std::string_view value;
        if (!AttributeValue(field, "source-filter", value))
            continue;
        const std::vector<std::string_view> words = text::Tokens(value, ' ');
        if (words.size() < 5 || words[0] != "incl" || words[1] != "IN" || (words[2] != "IP6" && words[2] != "*"))
            continue;
        if (words[3] != "*" && text::ParseIpv6(words[3]) != group)
            continue;
        found = true;
        for (size_t i = 4; i < words.size(); ++i) {
            const std::optional<text::CIpv6Address> source = text::ParseIpv6(words[i]);
            if (source && std::find(sources.begin(), sources.end(), *source) == sources.end())
                sources.push_back(*source);
        }
    }
}

bool IsTransportStreamName(std::string_view name) { return text::EqualsNoCase(name, "MP2T"); }

// The clock rates of the static payload types (RFC 3551, tables 4 and 5,
// with 1016 and G721 of its forerunner on 1 and 2);
// 0 for the unassigned and dynamic ones.
uint32_t StaticClockRate(int pt)
{
    static constexpr uint32_t kRates[35] = {
        8000,  8000,  8000,  8000,  8000, 8000,  16000, 8000,  8000,  8000, 44100, 44100,
        8000,  8000,  90000, 8000,  11025, 22050, 8000,  0,     0,     0,    0,     0,
        0,     90000, 90000, 0,     90000, 0,     0,     90000, 90000, 90000, 90000};
    return pt >= 0 && pt < 35 ? kRates[pt] : 0;
}

} // namespace

uint32_t RtpmapClockRate(std::string_view attribute, int payload)
{
    std::string_view value;
    if (!AttributeValue(attribute, "rtpmap", value))
        return 0;
    const size_t blank = value.find(' ');
    int number = -1;
    if (blank == std::string_view::npos || !ParseNumber(value.substr(0, blank), number) || number != payload)
        return 0;
    const std::string_view encoding = Trim(value.substr(blank + 1));
    const size_t slash = encoding.find('/');
    if (slash == std::string_view::npos)
        return 0;
    std::string_view rate = encoding.substr(slash + 1);
    rate = rate.substr(0, rate.find('/'));
    int hz = 0;
    return ParseNumber(rate, hz) && hz > 0 ? uint32_t(hz) : 0;
}

CReceptionPlan PlanReception(const CSDPObject& session)
{
    CReceptionPlan plan;
    for (size_t i = 0; i < session.media.size(); ++i) {
        const CSDPMedia& m = session.media[i];
        CMediaTarget t;
        t.mediaIndex = int(i);
        t.media = m.media.str();
        t.address = m.address.str();
        int port = 0;
        const std::string_view portText = m.port;
        if (!ParseNumber(portText.substr(0, portText.find('/')), port) || port <= 0 || port > 65535)
            t.unusable = "no port";
        t.port = uint16_t(port);
        if (IsIpv6Media(session, m)) {
            // The parser took the address count off; IPv6 has no TTL suffix.
            const std::optional<text::CIpv6Address> group = text::ParseIpv6(m.address);
            t.ipv6 = true;
            if (group && *group != text::CIpv6Address{})
                t.group6 = *group;
            else if (t.unusable.empty())
                t.unusable = "no IPv6 destination";
        } else {
            t.group = text::ParseDottedQuad(m.address);
            if (t.group == 0xFFFFFFFF || t.group == 0) {
                t.group = 0;
                if (t.unusable.empty())
                    t.unusable = "no IPv4 destination";
            }
        }
        t.rtp = std::string_view(m.protocol).starts_with("RTP/");
        // The formats of the media line; the payload types of its rtpmap
        // lines are announced too.
        std::vector<int> types;
        for (std::string_view format : text::Tokens(m.formatList, ' ')) {
            int pt = -1;
            if (ParseNumber(format, pt) && pt >= 0 && pt <= 127)
                types.push_back(pt);
        }
        for (const CShortText& a : m.attributes) {
            std::string_view value;
            int pt = -1;
            if (AttributeValue(a, "rtpmap", value) && ParseNumber(value.substr(0, value.find(' ')), pt) && pt >= 0
                && pt <= 127 && std::find(types.begin(), types.end(), pt) == types.end())
                types.push_back(pt);
        }
        for (int pt : types) {
            t.announcedTypes.push_back(pt);
            uint32_t rate = 0;
            for (const CShortText& a : m.attributes)
                if ((rate = RtpmapClockRate(a, pt)) != 0)
                    break;
            std::string_view name = RtpmapEncodingName(m.attributes, pt);
            if (rate == 0)
                rate = StaticClockRate(pt);
            if (name.empty() && pt <= kHighestStaticPayload)
                name = StaticPayloadType(pt).name;
            t.clockRates[size_t(pt)] = rate;
            t.transportStream[size_t(pt)] = IsTransportStreamName(name);
        }
        // A media-level filter replaces the session's.
        bool found = false;
        if (t.ipv6) {
            AddSources6(m.attributes, t.group6, t.sources6, found);
            if (!found)
                AddSources6(session.attributes, t.group6, t.sources6, found);
        } else {
            AddSources(m.attributes, t.group, t.sources, found);
            if (!found)
                AddSources(session.attributes, t.group, t.sources, found);
        }
        for (const CShortText& a : m.attributes) {
            std::string_view value;
            if (AttributeValue(a, "mid", value))
                t.mid = std::string(value);
        }
        plan.media.push_back(std::move(t));
    }
    for (const CShortText& a : session.attributes) {
        std::string_view value;
        if (!AttributeValue(a, "group", value))
            continue;
        const std::vector<std::string_view> words = text::Tokens(value, ' ');
        if (words.size() != 3 || words[0] != "DUP")
            continue;
        int legs[2] = {-1, -1};
        for (int k = 0; k < 2; ++k)
            for (const CMediaTarget& t : plan.media)
                if (!t.mid.empty() && t.mid == words[size_t(k) + 1])
                    legs[k] = t.mediaIndex;
        if (legs[0] >= 0 && legs[1] >= 0 && legs[0] != legs[1])
            plan.pairs.push_back({legs[0], legs[1]});
    }
    return plan;
}
