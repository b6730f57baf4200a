#include "reception/ReceptionPlan.h"

#include "base/Text.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"
#include "sdp/StudioAttributes.h"

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

// The sources of the inclusive "source-filter" lines for the destination's
// family (IPv4: "IP4"; IPv6: "IP6" or "*") that name it or "*".
template <typename Address, typename Read>
void AddSources(const CShortTextList& attributes, bool ipv6, const std::optional<Address>& destination, Read read,
                std::vector<Address>& sources, bool& found)
{
    for (const CShortText& field : attributes) {
        std::string_view value;
        if (!AttributeValue(field, "source-filter", value))
            continue;
        const std::optional<CSourceFilter> filter = ParseSourceFilter(value);
        if (!filter || !filter->include || (ipv6 ? filter->addressType == "IP4" : filter->addressType != "IP4"))
            continue;
        if (filter->destination != "*" && read(filter->destination) != destination)
            continue;
        found = true;
        for (const std::string& text : filter->sources) {
            const auto source = read(text);
            if (source && std::find(sources.begin(), sources.end(), *source) == sources.end())
                sources.push_back(*source);
        }
    }
}

std::optional<uint32_t> ReadIpv4(std::string_view s)
{
    const uint32_t a = text::ParseDottedQuad(s);
    return a == 0xFFFFFFFF ? std::nullopt : std::optional(a);
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
        for (const CShortTextList* level : {&m.attributes, &session.attributes}) {
            if (found)
                break;
            if (t.ipv6)
                AddSources(*level, true, std::optional(t.group6), text::ParseIpv6, t.sources6, found);
            else
                AddSources(*level, false, std::optional(t.group), ReadIpv4, t.sources, found);
        }
        for (const CShortText& a : m.attributes) {
            std::string_view value;
            if (AttributeValue(a, "mid", value))
                t.mid = std::string(value);
        }
        plan.media.push_back(std::move(t));
    }
    for (const std::vector<int>& group : ReadDuplicateGroups(session, nullptr))
        if (group.size() == 2)
            plan.pairs.push_back({group[0], group[1]});
    return plan;
}
