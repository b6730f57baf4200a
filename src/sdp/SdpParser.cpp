// Making a record from SDP text. Lenient: never rejects a text; whatever
// cannot be placed is ignored.
#include "base/Clock.h"
#include "base/Random.h"
#include "base/Text.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <span>

namespace {

constexpr size_t kMaxValue = 999; // a value is split inside a 1000-byte work area

// Where a value too long to keep is cut (never inside a UTF-8 character).
size_t CutPoint(std::string_view value)
{
    return text::Utf8CutPoint(value, kMaxValue);
}

// The parser's texts go to the record's pool while it has room.
inline void Assign(CShortText& field, std::string_view value, CShortTextPool& pool)
{
    field.assign(value, pool);
}

// Fills up to N fields from the blank-separated tokens of `value`; a field
// whose token is missing keeps what it held.
template <size_t N>
void FillTokens(std::string_view value, std::array<CShortText*, N> fields, CShortTextPool& pool)
{
    text::CTokenizer tokens(value, ' ');
    std::string_view token;
    for (size_t k = 0; k < N && tokens.Next(token); ++k)
        Assign(*fields[k], token, pool);
}

// "7d" → 604800, "1h" → 3600, "5m" → 300, "9s" → 9; no unit letter: as written.
// Products that do not fit saturate instead of overflowing.
void ApplyUnit(CShortText& field, std::string_view token, CShortTextPool& pool)
{
    const int64_t factor = text::RepeatUnitSeconds(token);
    if (factor == 0) {
        Assign(field, token, pool);
        return;
    }
    int64_t seconds = 0;
    if (__builtin_mul_overflow(text::ToInt64(token), factor, &seconds))
        seconds = text::ToInt64(token) < 0 ? INT64_MIN : INT64_MAX;
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, seconds);
    (void)ec; // 24 bytes hold any int64_t
    Assign(field, std::string_view(digits, size_t(end - digits)), pool);
}

int SessionTypeFromAttributes(const CShortTextList& attributes, int type)
{
    static const std::pair<const char*, int> kNames[] = {
        {"meeting", kTypeMeeting}, {"broadcast", kTypeBroadcast}, {"test", kTypeTest},
        {"H332", kTypeH332},       {"moderated", kTypeModerated},
    };
    for (const CShortText& attr : attributes) {
        const size_t at = attr.find("type:");
        if (at == CShortText::npos)
            continue;
        type = kTypeUnknown;
        const std::string_view rest = std::string_view(attr).substr(at + 5);
        for (const auto& [name, value] : kNames)
            if (rest == name)
                type = value;
    }
    return type;
}

// End of the session in Unix seconds; 0 when no time entry has an end.
int64_t SessionEnd(std::span<const CSDPTime> times)
{
    int64_t latest = 0;
    for (const CSDPTime& t : times) {
        const int64_t stop = text::ToInt64(t.stop);
        if (stop > kNtpUnixOffset && stop - kNtpUnixOffset > latest)
            latest = stop - kNtpUnixOffset;
    }
    return latest;
}

// The record's lists go in one block, as their sizes are known before they
// are filled: the media entries, the time entries and every section's
// attributes.
template <class List>
void PlaceList(List& list, size_t count, CShortTextPool& pool)
{
    list.PlaceIn(pool.Take(List::BlockBytes(count)), count);
}

void PlaceLists(CSDPObject& r, size_t mediaLines, size_t timeLines, const std::vector<uint32_t>& attributeCounts)
{
    size_t bytes = decltype(r.media)::BlockBytes(mediaLines) + decltype(r.times)::BlockBytes(timeLines);
    for (uint32_t count : attributeCounts)
        bytes += CShortTextList::BlockBytes(count);
    r.listPool.Reserve(bytes);
    PlaceList(r.media, mediaLines, r.listPool);
    PlaceList(r.times, timeLines, r.listPool);
    PlaceList(r.attributes, attributeCounts[0], r.listPool);
}

class CParser {
public:
    CParser(CSDPObject& r, const std::vector<uint32_t>& attributeCounts)
        : m_record(r), m_attributeCounts(attributeCounts) {}

    void Line(char letter, std::string_view value)
    {
        if (value.size() > kMaxValue)
            value = value.substr(0, CutPoint(value));
        CSDPObject& r = m_record;
        CShortTextPool& pool = r.textPool;
        CSDPMedia* m = r.media.empty() ? nullptr : &r.media.back();
        switch (letter) {
        case 'o':
            FillTokens<6>(value, {&r.originUser, &r.originSessionId, &r.originVersion, &r.originNetworkType,
                                  &r.originAddressType, &r.originAddress}, pool);
            break;
        case 's': Assign(r.name, value, pool); break;
        case 'i': Assign(m ? m->information : r.information, value, pool); break;
        case 'u': Assign(r.uri, value, pool); break;
        case 'e': Assign(r.email, value, pool); break;
        case 'p': Assign(r.phone, value, pool); break;
        case 'c':
            if (m) {
                // The network and address types are nearly always "IN IP4":
                // a block of their own only for others.
                text::CTokenizer tokens(value, ' ');
                std::string_view token;
                if (tokens.Next(token))
                    m->extras.Set(&CSDPMediaExtras::connectionNetworkType, token, pool);
                if (tokens.Next(token))
                    m->extras.Set(&CSDPMediaExtras::connectionAddressType, token, pool);
                if (tokens.Next(token))
                    Assign(m->connectionAddress, token, pool);
            } else
                FillTokens<3>(value, {&r.connectionNetworkType, &r.connectionAddressType, &r.connectionAddress}, pool);
            break;
        case 'b':
            if (m)
                FillTokens<2>(value, {&m->extras.Edit().bandwidthModifier, &m->extras.Edit().bandwidthValue}, pool);
            else
                FillTokens<2>(value, {&r.extras.Edit().bandwidthModifier, &r.extras.Edit().bandwidthValue}, pool);
            break;
        case 'k':
            if (m)
                FillTokens<2>(value, {&m->extras.Edit().keyMethod, &m->extras.Edit().keyValue}, pool);
            else
                FillTokens<2>(value, {&r.extras.Edit().keyMethod, &r.extras.Edit().keyValue}, pool);
            break;
        case 'a': (m ? m->attributes : r.attributes).emplace_back().assign(value, pool); break;
        case 't': {
            CSDPTime& t = r.times.emplace_back();
            FillTokens<2>(value, {&t.start, &t.stop}, pool);
            m_haveTime = true;
            break;
        }
        case 'r': {
            if (!m_haveTime)
                break;
            CSDPTime& t = r.times.back();
            text::CTokenizer tokens(value, ' ');
            std::string_view token;
            if (tokens.Next(token))
                ApplyUnit(t.repeatInterval, token, pool);
            if (tokens.Next(token))
                ApplyUnit(t.activeDuration, token, pool);
            if (tokens.Next(token))
                Assign(t.offset, token, pool);
            break;
        }
        case 'm': {
            CSDPMedia& nm = r.media.emplace_back();
            if (r.media.size() < m_attributeCounts.size())
                PlaceList(nm.attributes, m_attributeCounts[r.media.size()], r.listPool);
            // Every format the line names is kept, as written: a player
            // handed the entry must accept whatever the announcer may send.
            text::CTokenizer tokens(value, ' ');
            std::string_view token;
            for (CShortText* field : {&nm.media, &nm.port, &nm.protocol})
                if (tokens.Next(token))
                    Assign(*field, token, pool);
            if (tokens.Next(token)) {
                std::string_view formats = value.substr(size_t(token.data() - value.data()));
                while (formats.back() == ' ')
                    formats.remove_suffix(1);
                Assign(nm.formatList, formats, pool);
            }
            break;
        }
        default:
            break; // letters the program does not keep
        }
    }

private:
    CSDPObject& m_record;
    const std::vector<uint32_t>& m_attributeCounts; // per section, session level first
    bool m_haveTime = false;
};

// The first three pieces of an address text split at runs of "/".
size_t SplitSlashes(std::string_view s, std::string_view (&out)[3])
{
    text::CTokenizer pieces(s, '/');
    size_t n = 0;
    while (n < 3 && pieces.Next(out[n]))
        ++n;
    return n;
}

void DeriveMedia(CSDPObject& r, const CSdpEnvironment& env)
{
    const int64_t end = SessionEnd(r.times);
    CShortTextPool& pool = r.textPool;
    for (CSDPMedia& m : r.media) {
        if (m.information.empty())
            m.information = "N/A";

        const CShortText& conn = m.connectionAddress.empty() ? r.connectionAddress : m.connectionAddress;
        std::string_view parts[3];
        const size_t count = SplitSlashes(conn, parts);
        Assign(m.address, parts[0], pool);
        // An IPv6 address carries no TTL: its one suffix is the address count.
        const bool ipv6 = IsIpv6Media(r, m);
        m.ttl = count >= 2 && !ipv6 ? text::ToInt32(parts[1]) : 127;
        m.addressCount = count >= 2 && ipv6 ? text::ToInt32(parts[1]) : count >= 3 ? text::ToInt32(parts[2]) : 1;

        if (m.protocol == "RTP/AVP")
            NamePayloads(m);

        const uint32_t group = ipv6 ? 0 : text::ParseDottedQuad(m.address);
        if (env.usedAddresses) {
            if (!ipv6)
                env.usedAddresses->Add(group, end);
            else if (const auto group6 = text::ParseIpv6(m.address))
                env.usedAddresses->AddIpv6(*group6, end);
        }

        if (text::EqualsNoCase(m.media, "directory")) {
            r.sessionType = kTypeDirectory;
            r.links.Edit().directoryGroup = group;
            r.links.Edit().directoryTtl = static_cast<uint8_t>(m.ttl & 0xFF);
            r.links.Edit().directoryPort = static_cast<uint16_t>(text::ToInt64(m.port) & 0xFFFF);
        }
    }
}

} // namespace

std::shared_ptr<CSDPObject> CSDPObject::FromText(std::string_view input, const CSdpEnvironment& env)
{
    // The text ends at its first NUL byte, as a C string would.
    const size_t nul = input.find('\0');
    const std::string_view textView = nul == std::string_view::npos ? input : input.substr(0, nul);

    auto record = std::make_shared<CSDPObject>();
    CSDPObject& r = *record;
    // The stored texts are pieces of the input, each with a NUL where its
    // blank or line end was, and a few derived ones; the rest is given back.
    r.textPool.Reserve(textView.size() + 64);
    r.lastHeard = env.clock.Now();
    r.sourceLength = static_cast<int>(std::min<size_t>(textView.size(), INT32_MAX));

    const char* const base = textView.data();
    const size_t size = textView.size();
    const size_t v = textView.find("v=");
    if (v != std::string_view::npos) {
        const char* nl = static_cast<const char*>(std::memchr(base + v, '\n', size - v));
        const size_t versionEnd = nl ? size_t(nl - base) : size;
        r.version = text::ToInt32(textView.substr(v + 2, versionEnd - v - 2));
        // First cut the text into lines, then handle them: knowing the number
        // of media sections up front lets the media list be allocated once.
        thread_local std::vector<std::pair<char, std::string_view>> lines;
        lines.clear();
        thread_local std::vector<uint32_t> attributeCounts;
        attributeCounts.assign(1, 0);
        size_t mediaLines = 0;
        size_t timeLines = 0;
        size_t pos = nl ? versionEnd + 1 : size;
        // Where the next carriage return is, so mixed texts are not rescanned.
        size_t nextCr = pos;
        bool crKnown = false;
        while (pos < size) {
            // The "=" is nearly always the second byte of a line: a plain loop
            // beats a library call here.
            const char* eq = base + pos;
            const char* const end = base + size;
            while (eq < end && *eq != '=')
                ++eq;
            if (eq == end)
                break;
            const size_t valueStart = size_t(eq - base) + 1;
            const char letter = eq[-1];
            if (!crKnown || nextCr < valueStart) {
                const char* cr = static_cast<const char*>(std::memchr(base + valueStart, '\r', size - valueStart));
                nextCr = cr ? size_t(cr - base) : size;
                crKnown = true;
            }
            const char* lf = static_cast<const char*>(std::memchr(base + valueStart, '\n', nextCr - valueStart));
            const size_t valueEnd = lf ? size_t(lf - base) : nextCr;
            if (letter >= 'a' && letter <= 'u') {
                lines.emplace_back(letter, textView.substr(valueStart, valueEnd - valueStart));
                mediaLines += letter == 'm';
                timeLines += letter == 't';
                // Attribute lines per section (0 = session level), to size the lists once.
                if (letter == 'm')
                    attributeCounts.push_back(0);
                else if (letter == 'a')
                    ++attributeCounts.back();
            }
            pos = valueEnd + 1;
        }
        PlaceLists(r, mediaLines, timeLines, attributeCounts);
        CParser parser(r, attributeCounts);
        for (const auto& [letter, value] : lines)
            parser.Line(letter, value);
        if (lines.capacity() > 4096)
            lines = {}; // do not keep a huge text's line table for good
    }

    r.sessionType = SessionTypeFromAttributes(r.attributes, r.sessionType);
    DeriveMedia(r, env);
    r.TrimTextPool();
    r.randomTag = DrawRandomTag(env.random);
    return record;
}
