#include "sdp/StudioAttributes.h"

#include "base/Text.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cctype>
#include <cstdio>

namespace {

using std::string_view;

string_view Trim(string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(string_view a, string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20) || x == y;
           });
}

template <typename T>
std::optional<T> Whole(string_view s)
{
    T v{};
    if (s.empty() || s.front() == '+' || s.front() == '-')
        return std::nullopt;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size())
        return std::nullopt;
    return v;
}

// A positive decimal number of milliseconds: "1", "0.125".
std::optional<double> Milliseconds(string_view s)
{
    if (s.empty() || s.find_first_not_of("0123456789.") != string_view::npos)
        return std::nullopt;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || !(v > 0))
        return std::nullopt;
    return v;
}

// "39-A7-94-FF-FE-07-CB-D0": `pairs` hex pairs joined by '-'.
bool HexPairs(string_view s, size_t pairs)
{
    if (s.size() != pairs * 3 - 1)
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (i % 3 == 2 ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

std::string Upper(string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool OneOf(string_view v, std::initializer_list<string_view> known)
{
    return std::find(known.begin(), known.end(), v) != known.end();
}

// The values of attribute `name` at the level that has any: the media
// entry's, else the session's.
std::vector<string_view> Values(const CSDPObject& r, const CSDPMedia& m, string_view name)
{
    std::vector<string_view> out;
    for (const CShortTextList* list : {&m.attributes, &r.attributes}) {
        for (const CShortText& a : *list) {
            const string_view v = a.View();
            if (v.size() > name.size() && v.starts_with(name) && v[name.size()] == ':')
                out.push_back(v.substr(name.size() + 1));
            else if (v == name)
                out.push_back({});
        }
        if (!out.empty())
            break;
    }
    return out;
}

// A host name as RFC 4570 allows beside addresses: letters, digits, '.' and '-'.
bool HostName(string_view s)
{
    return !s.empty() && s.front() != '.' && s.front() != '-' &&
           s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") == string_view::npos &&
           s.find_first_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") != string_view::npos;
}

bool AddressOfType(string_view s, string_view type)
{
    const bool v4 = s.find_first_not_of("0123456789.") == string_view::npos && text::ParseDottedQuad(s) != 0xFFFFFFFF;
    const bool v6 = s.find(':') != string_view::npos && text::ParseIpv6(s).has_value();
    return HostName(s) || (type != "IP6" && v4) || (type != "IP4" && v6);
}

// The attribute's value when `a` is "NAME:VALUE".
std::optional<string_view> ValueOf(string_view a, string_view name)
{
    if (a.size() > name.size() && a.starts_with(name) && a[name.size()] == ':')
        return a.substr(name.size() + 1);
    return std::nullopt;
}

class CReader {
public:
    CStudioAttributes& a;

    void Problem(string_view name, string_view value, string_view what)
    {
        a.problems.push_back("\"a=" + std::string(name) + ":" + std::string(value) + "\": " + std::string(what));
    }

    // "ptp=IEEE1588-2008:GMID[:DOMAIN]", "ptp=IEEE1588-2008:traceable", ...
    std::optional<CReferenceClock> RefClock(string_view v)
    {
        const string_view whole = v;
        v = Trim(v);
        const size_t eq = v.find('=');
        CReferenceClock c;
        c.source = std::string(v.substr(0, eq));
        const string_view value = eq == string_view::npos ? string_view() : v.substr(eq + 1);
        if (c.source == "ptp") {
            CPtpReference p;
            const size_t colon = value.find(':');
            const string_view version = value.substr(0, colon);
            if (!OneOf(version, {"IEEE1588-2002", "IEEE1588-2008", "IEEE1588-2019", "IEEE802.1AS-2011",
                                 "IEEE802.1AS-2020"})) {
                Problem("ts-refclk", whole, "unknown PTP version");
                return std::nullopt;
            }
            p.version = std::string(version);
            if (colon == string_view::npos) {
                Problem("ts-refclk", whole, "no grandmaster identity");
                return std::nullopt;
            }
            const string_view rest = value.substr(colon + 1);
            const size_t colon2 = rest.find(':');
            const string_view gmid = rest.substr(0, colon2);
            if (gmid == "traceable" && colon2 == string_view::npos) {
                p.traceable = true;
            } else if (!HexPairs(gmid, 8)) {
                Problem("ts-refclk", whole, "the grandmaster identity is not eight hex pairs");
                return std::nullopt;
            } else {
                p.gmid = Upper(gmid);
            }
            if (colon2 != string_view::npos) {
                string_view domain = rest.substr(colon2 + 1);
                const bool named = domain.starts_with("domain-name=");
                const bool numbered = domain.starts_with("domain-nmbr=");
                if (named || numbered)
                    domain.remove_prefix(12);
                if (named || (!numbered && p.version == "IEEE1588-2002")) {
                    if (domain.empty() || domain.size() > 16) {
                        Problem("ts-refclk", whole, "the PTP domain name is empty or longer than 16 characters");
                        return std::nullopt;
                    }
                    p.domainName = std::string(domain);
                } else {
                    const auto n = Whole<int>(domain);
                    if (!n || *n > 255) {
                        Problem("ts-refclk", whole, "the PTP domain is not a number from 0 to 255");
                        return std::nullopt;
                    }
                    p.domain = *n;
                }
            }
            c.ptp = std::move(p);
        } else if (c.source == "ntp") {
            if (value.empty()) {
                Problem("ts-refclk", whole, "no NTP server");
                return std::nullopt;
            }
        } else if (c.source == "localmac") {
            if (!HexPairs(value, 6)) {
                Problem("ts-refclk", whole, "the MAC address is not six hex pairs");
                return std::nullopt;
            }
        } else if (!OneOf(c.source, {"local", "private", "gps", "gal", "glonass"})) {
            Problem("ts-refclk", whole, "unknown clock source");
            return std::nullopt;
        }
        c.value = c.source == "localmac" ? Upper(value) : std::string(value);
        return c;
    }

    // "[id=X ]direct=N[ rate=A/B]", "sender", "IEEE1722=STREAMID".
    std::optional<CMediaClock> MediaClock(string_view v)
    {
        const string_view whole = v;
        CMediaClock c;
        v = Trim(v);
        if (v.starts_with("id=")) {
            const size_t blank = v.find(' ');
            c.id = std::string(v.substr(3, blank == string_view::npos ? string_view::npos : blank - 3));
            v = blank == string_view::npos ? string_view() : Trim(v.substr(blank));
        }
        const size_t blank = v.find(' ');
        const string_view mode = v.substr(0, blank);
        const string_view more = blank == string_view::npos ? string_view() : Trim(v.substr(blank));
        const size_t eq = mode.find('=');
        c.mode = std::string(mode.substr(0, eq));
        const string_view value = eq == string_view::npos ? string_view() : mode.substr(eq + 1);
        if (c.mode == "direct") {
            c.offset = Whole<uint64_t>(value);
            if (!c.offset) {
                Problem("mediaclk", whole, "the offset is not a whole number");
                return std::nullopt;
            }
            if (!more.empty()) {
                const string_view rate = more.starts_with("rate=") ? more.substr(5) : string_view();
                const size_t slash = rate.find('/');
                if (slash == string_view::npos || !Whole<uint32_t>(rate.substr(0, slash)).value_or(0) ||
                    !Whole<uint32_t>(rate.substr(slash + 1)).value_or(0)) {
                    Problem("mediaclk", whole, "the rate is not a ratio of whole numbers");
                    return std::nullopt;
                }
                c.rate = std::string(rate);
            }
        } else if (c.mode == "sender") {
            if (eq != string_view::npos || !more.empty()) {
                Problem("mediaclk", whole, "\"sender\" takes no value");
                return std::nullopt;
            }
        } else if (c.mode == "IEEE1722") {
            if (!HexPairs(value, 8)) {
                Problem("mediaclk", whole, "the stream identity is not eight hex pairs");
                return std::nullopt;
            }
            c.streamId = Upper(value);
        } else {
            Problem("mediaclk", whole, "unknown media clock");
            return std::nullopt;
        }
        return c;
    }

    std::optional<double> Time(string_view name, const std::vector<string_view>& values)
    {
        for (string_view v : values) {
            if (auto ms = Milliseconds(Trim(v)))
                return ms;
            Problem(name, v, "not a time in milliseconds");
        }
        return std::nullopt;
    }

    // "PT ENCODING/RATE[/CHANNELS]" for payload `pt`.
    void Rtpmap(const std::vector<string_view>& values, string_view pt, bool audio)
    {
        for (string_view v : values) {
            v = Trim(v);
            const size_t blank = v.find(' ');
            if (blank == string_view::npos || v.substr(0, blank) != pt)
                continue;
            const string_view map = Trim(v.substr(blank));
            const size_t s1 = map.find('/');
            const size_t s2 = s1 == string_view::npos ? s1 : map.find('/', s1 + 1);
            const auto rate = s1 == string_view::npos ? std::nullopt
                                                      : Whole<int>(map.substr(s1 + 1, s2 == string_view::npos ? s2 : s2 - s1 - 1));
            const auto channels = s2 == string_view::npos ? std::optional<int>(audio ? 1 : 0)
                                                          : Whole<int>(map.substr(s2 + 1));
            if (s1 == 0 || !rate || *rate <= 0 || !channels || (s2 != string_view::npos && *channels <= 0)) {
                Problem("rtpmap", v, "not an encoding name, clock rate and channel count");
                return;
            }
            a.encoding = std::string(map.substr(0, s1));
            a.rate = *rate;
            a.channels = *channels;
            return;
        }
    }

    void Fmtp(const std::vector<string_view>& values, string_view pt)
    {
        for (string_view v : values) {
            v = Trim(v);
            const size_t blank = v.find(' ');
            if (blank == string_view::npos || v.substr(0, blank) != pt)
                continue;
            string_view rest = v.substr(blank + 1);
            while (!rest.empty()) {
                const size_t semi = rest.find(';');
                const string_view param = Trim(rest.substr(0, semi));
                rest = semi == string_view::npos ? string_view() : rest.substr(semi + 1);
                if (!param.empty())
                    Parameter(v, param);
            }
            return;
        }
    }

    void Parameter(string_view line, string_view param)
    {
        const size_t eq = param.find('=');
        const string_view key = Trim(param.substr(0, eq));
        const string_view value = eq == string_view::npos ? string_view() : Trim(param.substr(eq + 1));
        auto bad = [&](const char* what) { Problem("fmtp", line, std::string(key) + ": " + what); };
        auto known = [&](std::string& field, std::initializer_list<string_view> values) {
            if (OneOf(value, values))
                field = std::string(value);
            else
                bad("unknown value");
        };
        if (key == "interlace") {
            a.interlace = true;
        } else if (key == "width" || key == "height") {
            const auto n = Whole<int>(value);
            if (!n || *n < 1 || *n > 32767)
                bad("not a number from 1 to 32767");
            else
                (key == "width" ? a.width : a.height) = *n;
        } else if (key == "exactframerate") {
            const size_t slash = value.find('/');
            const auto num = Whole<uint32_t>(value.substr(0, slash));
            const auto den = slash == string_view::npos ? std::optional<uint32_t>(1) : Whole<uint32_t>(value.substr(slash + 1));
            if (!num || !den || *num == 0 || *den == 0)
                bad("not a whole number or a ratio of whole numbers");
            else
                a.exactFrameRate = std::string(value);
        } else if (key == "sampling") {
            known(a.sampling, {"YCbCr-4:4:4", "YCbCr-4:2:2", "YCbCr-4:2:0", "CLYCbCr-4:4:4", "CLYCbCr-4:2:2",
                               "CLYCbCr-4:2:0", "ICtCp-4:4:4", "ICtCp-4:2:2", "ICtCp-4:2:0", "RGB", "XYZ", "KEY"});
        } else if (key == "depth") {
            known(a.depth, {"8", "10", "12", "16", "16f"});
        } else if (key == "colorimetry") {
            known(a.colorimetry, {"BT601", "BT709", "BT2020", "BT2100", "ST2065-1", "ST2065-3", "UNSPECIFIED",
                                  "XYZ", "ALPHA"});
        } else if (key == "PM") {
            known(a.packingMode, {"2110GPM", "2110BPM"});
        } else if (key == "TP") {
            known(a.senderType, {"2110TPN", "2110TPNL", "2110TPW"});
        } else if (key == "SSN") {
            if (value.empty())
                bad("empty");
            else
                a.ssn = std::string(value);
        } else if (key == "channel-order") {
            ChannelOrder(line, value);
        }
    }

    // "SMPTE2110.(51,ST,U02)": the groups must add up to the channel count.
    void ChannelOrder(string_view line, string_view value)
    {
        if (!value.starts_with("SMPTE2110.(") || !value.ends_with(")")) {
            Problem("fmtp", line, "channel-order: not of the form SMPTE2110.(groups)");
            return;
        }
        string_view groups = value.substr(11, value.size() - 12);
        int total = 0;
        while (true) {
            const size_t comma = groups.find(',');
            const string_view g = groups.substr(0, comma);
            static constexpr std::array<std::pair<string_view, int>, 8> kSizes{
                {{"M", 1}, {"DM", 2}, {"ST", 2}, {"LtRt", 2}, {"51", 6}, {"71", 8}, {"222", 24}, {"SGRP", 4}}};
            const auto it = std::find_if(kSizes.begin(), kSizes.end(), [&](const auto& k) { return k.first == g; });
            const auto undefined = g.size() == 3 && g[0] == 'U' ? Whole<int>(g.substr(1)) : std::nullopt;
            if (it != kSizes.end()) {
                total += it->second;
            } else if (undefined && *undefined >= 1 && *undefined <= 64) {
                total += *undefined;
            } else {
                Problem("fmtp", line, "channel-order: unknown channel group \"" + std::string(g) + "\"");
                return;
            }
            if (comma == string_view::npos)
                break;
            groups.remove_prefix(comma + 1);
        }
        if (a.channels > 0 && total != a.channels) {
            Problem("fmtp", line,
                    "channel-order: the groups hold " + std::to_string(total) + " channels, the rtpmap " +
                        std::to_string(a.channels));
            return;
        }
        a.channelOrder = std::string(value);
    }
};

std::string Trimmed(double v, int decimals)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.')
            s.pop_back();
    }
    return s;
}

std::string PacketTime(double ms)
{
    return ms < 1 ? Trimmed(ms * 1000, 0) + " µs" : Trimmed(ms, 3) + " ms";
}

std::string FrameRate(const std::string& exact)
{
    const size_t slash = exact.find('/');
    if (slash == std::string::npos)
        return exact;
    return Trimmed(std::stod(exact.substr(0, slash)) / std::stod(exact.substr(slash + 1)), 2);
}

} // namespace

std::optional<CSourceFilter> ParseSourceFilter(string_view value, std::string* problem)
{
    const std::vector<string_view> words = text::Tokens(value, ' ');
    const char* wrong = nullptr;
    if (words.size() < 5)
        wrong = "not a mode, network and address type, destination and sources";
    else if (words[0] != "incl" && words[0] != "excl")
        wrong = "the mode is not incl or excl";
    else if (words[1] != "IN")
        wrong = "the network type is not IN";
    else if (!OneOf(words[2], {"IP4", "IP6", "*"}))
        wrong = "the address type is not IP4, IP6 or *";
    else if (words[3] != "*" && !AddressOfType(words[3], words[2]))
        wrong = "the destination is not an address of its type";
    else if (std::any_of(words.begin() + 4, words.end(), [&](string_view w) { return !AddressOfType(w, words[2]); }))
        wrong = "a source is not an address of its type";
    if (wrong) {
        if (problem)
            *problem = wrong;
        return std::nullopt;
    }
    CSourceFilter f;
    f.include = words[0] == "incl";
    f.addressType = std::string(words[2]);
    f.destination = std::string(words[3]);
    for (size_t i = 4; i < words.size(); ++i)
        f.sources.emplace_back(words[i]);
    return f;
}

std::vector<std::vector<int>> ReadDuplicateGroups(const CSDPObject& record, std::vector<std::string>* problems)
{
    std::vector<std::vector<int>> groups;
    for (const CShortText& attribute : record.attributes) {
        const auto value = ValueOf(attribute.View(), "group");
        const std::vector<string_view> words = value ? text::Tokens(*value, ' ') : std::vector<string_view>();
        if (words.empty() || words[0] != "DUP")
            continue;
        std::vector<int> group;
        std::string wrong = words.size() < 3 ? "names fewer than two media entries" : "";
        for (size_t w = 1; w < words.size() && wrong.empty(); ++w) {
            int found = -1;
            for (size_t i = 0; i < record.media.size() && found < 0; ++i)
                for (const CShortText& a : record.media[i].attributes)
                    if (const auto mid = ValueOf(a.View(), "mid"); mid && Trim(*mid) == words[w])
                        found = int(i);
            if (found < 0)
                wrong = "no media entry has a=mid:" + std::string(words[w]);
            else if (std::find(group.begin(), group.end(), found) != group.end())
                wrong = "names a media entry twice";
            group.push_back(found);
        }
        if (wrong.empty())
            groups.push_back(std::move(group));
        else if (problems)
            problems->push_back("\"a=" + std::string(attribute.View()) + "\": " + wrong);
    }
    return groups;
}

CStudioAttributes ReadStudioAttributes(const CSDPObject& record, const CSDPMedia& media)
{
    CStudioAttributes a;
    CReader read{a};
    for (string_view v : Values(record, media, "source-filter")) {
        std::string wrong;
        if (auto f = ParseSourceFilter(v, &wrong))
            a.sourceFilters.push_back(std::move(*f));
        else
            read.Problem("source-filter", v, wrong);
    }
    // The groups are the session's: their faults are told with its first entry.
    int index = -1;
    for (size_t i = 0; i < record.media.size(); ++i)
        if (&record.media[i] == &media)
            index = int(i);
    std::vector<std::string> groupProblems;
    for (const std::vector<int>& group : ReadDuplicateGroups(record, &groupProblems))
        if (std::find(group.begin(), group.end(), index) != group.end())
            for (int other : group)
                if (other != index)
                    a.duplicates.push_back(other);
    if (index == 0)
        a.problems.insert(a.problems.end(), groupProblems.begin(), groupProblems.end());
    for (string_view v : Values(record, media, "ts-refclk"))
        if (auto c = read.RefClock(v); c && !a.referenceClock)
            a.referenceClock = std::move(c);
    a.referenceClockOfMedia = std::any_of(media.attributes.begin(), media.attributes.end(),
                                          [](const CShortText& t) { return ValueOf(t.View(), "ts-refclk").has_value(); });
    for (string_view v : Values(record, media, "mediaclk"))
        if (auto c = read.MediaClock(v); c && !a.mediaClock)
            a.mediaClock = std::move(c);
    for (string_view v : Values(record, media, "clock-domain")) {
        if (Trim(v).empty())
            read.Problem("clock-domain", v, "empty");
        else if (a.clockDomain.empty())
            a.clockDomain = std::string(Trim(v));
    }
    a.ptimeMs = read.Time("ptime", Values(record, media, "ptime"));
    a.maxptimeMs = read.Time("maxptime", Values(record, media, "maxptime"));
    for (string_view v : Values(record, media, "framecount")) {
        const auto n = Whole<int>(Trim(v));
        if (!n || *n <= 0)
            read.Problem("framecount", v, "not a positive whole number");
        else if (!a.framecount)
            a.framecount = n;
    }

    const string_view formats = media.formatList.View();
    const string_view pt = formats.substr(0, formats.find(' '));
    if (pt.empty())
        return a;
    const bool audio = media.media == "audio";
    read.Rtpmap(Values(record, media, "rtpmap"), pt, audio);
    if (a.encoding.empty() && media.protocol.View().find("RTP") != string_view::npos) {
        if (const auto n = Whole<int>(pt); n && *n <= kHighestStaticPayload) {
            const CPayloadType& t = StaticPayloadType(*n);
            if (t.clockRate > 0) {
                a.encoding = t.name;
                a.rate = t.clockRate;
                a.channels = std::max(t.channels, 0);
            }
        }
    }
    read.Fmtp(Values(record, media, "fmtp"), pt);

    const string_view e = a.encoding;
    if (EqualNoCase(e, "raw") && media.media == "video")
        a.standard = "2110-20";
    else if (a.ssn.starts_with("ST2110-22") || EqualNoCase(e, "jxsv"))
        a.standard = "2110-22";
    else if (EqualNoCase(e, "AM824"))
        a.standard = "2110-31";
    else if (EqualNoCase(e, "smpte291"))
        a.standard = "2110-40";
    else if (EqualNoCase(e, "SMPTE2022-6"))
        a.standard = "2022-6";
    return a;
}

std::string StudioFormatText(const CStudioAttributes& a)
{
    if (a.encoding.empty())
        return {};
    std::string out;
    auto add = [&out](const std::string& part) {
        if (!part.empty())
            out += (out.empty() ? "" : " ") + part;
    };
    if (a.standard == "2110-20" || a.standard == "2110-22") {
        if (a.width > 0 && a.height > 0)
            out = std::to_string(a.width) + "×" + std::to_string(a.height) +
                  (a.exactFrameRate.empty() ? "" : (a.interlace ? "i" : "p") + FrameRate(a.exactFrameRate));
        if (a.standard == "2110-22")
            add(a.encoding);
        if (!a.sampling.empty()) {
            std::string s = a.sampling;
            std::replace(s.begin(), s.end(), '-', ' ');
            add(s);
        }
        if (!a.depth.empty())
            add(a.depth + "-bit");
        out += (out.empty() ? "" : ", ") + a.standard;
        if (a.senderType.starts_with("2110"))
            out += " " + a.senderType.substr(4);
        return out;
    }
    if (a.standard == "2022-6")
        return "SDI, 2022-6";
    if (a.standard == "2110-40")
        return "ANC, 2110-40";
    out = a.encoding;
    if (a.channels > 0 || a.ptimeMs || !a.channelOrder.empty() || !a.standard.empty())
        out += " " + Trimmed(a.rate / 1000.0, 3) + " kHz";
    if (a.channels > 0)
        out += ", " + std::to_string(a.channels) + " ch";
    if (a.ptimeMs)
        out += ", " + PacketTime(*a.ptimeMs);
    if (!a.channelOrder.empty())
        out += ", order " + a.channelOrder.substr(10);
    if (!a.standard.empty())
        out += ", " + a.standard;
    return out;
}

std::string StudioClockText(const CStudioAttributes& a)
{
    if (!a.referenceClock)
        return {};
    const CReferenceClock& c = *a.referenceClock;
    if (const auto& p = c.ptp) {
        std::string out = p->traceable ? "PTP traceable" : p->gmid;
        if (p->domain)
            out += ", domain " + std::to_string(*p->domain);
        else if (!p->domainName.empty())
            out += ", domain " + p->domainName;
        return out;
    }
    if (c.source == "ntp")
        return "NTP " + c.value;
    if (c.source == "localmac")
        return "local MAC " + c.value;
    return c.source;
}
