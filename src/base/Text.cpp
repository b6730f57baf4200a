#include "base/Text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <limits>

namespace text {

int64_t ToInt64(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max() / 10 - 10;
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value < kMax)
            value = value * 10 + (s[i] - '0');
    }
    return negative ? -value : value;
}

int32_t ToInt32(std::string_view s)
{
    int64_t v = ToInt64(s);
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

std::vector<std::string_view> Tokens(std::string_view s, char sep)
{
    std::vector<std::string_view> out;
    CTokenizer tokens(s, sep);
    for (std::string_view t; tokens.Next(t);)
        out.push_back(t);
    return out;
}

int64_t RepeatUnitSeconds(std::string_view token)
{
    if (Contains(token, "d"))
        return 86400;
    if (Contains(token, "h"))
        return 3600;
    if (Contains(token, "m"))
        return 60;
    if (Contains(token, "s"))
        return 1;
    return 0;
}

bool Contains(std::string_view haystack, std::string_view needle)
{
    return haystack.find(needle) != std::string_view::npos;
}

static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(Lower(a[i]));
        const auto y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool IsValidUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t n = s.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) { ++i; continue; }
        int len; uint32_t cp;
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string AsUtf8(std::string_view s)
{
    if (IsValidUtf8(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size() * 2);
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string MetricLabel(std::string_view s)
{
    std::string out;
    for (char c : AsUtf8(s)) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

size_t Utf8CutPoint(std::string_view value, size_t limit)
{
    if (value.size() <= limit)
        return value.size();
    size_t at = limit;
    const auto continues = [&](size_t i) { return (static_cast<unsigned char>(value[i]) & 0xC0) == 0x80; };
    while (at > 0 && at + 3 > limit && continues(at))
        --at;
    return at != limit && static_cast<unsigned char>(value[at]) >= 0xC0 ? at : limit;
}

uint32_t ParseDottedQuad(std::string_view s)
{
    // The common a.b.c.d form (decimal parts up to 255, no leading zeros)
    // without a trip through the C library; it runs for every media section.
    const char* p = s.data();
    const char* const end = p + s.size();
    auto digitAt = [&](const char* q) { return q != end && *q >= '0' && *q <= '9'; };
    uint32_t host = 0;
    bool plain = true;
    for (int part = 0; part < 4 && plain; ++part) {
        if (!digitAt(p)) {
            plain = false;
            break;
        }
        uint32_t value = uint32_t(*p++ - '0');
        if (value != 0) {
            for (int more = 0; more < 2 && digitAt(p); ++more)
                value = value * 10 + uint32_t(*p++ - '0');
        }
        // A fourth digit, a leading zero (octal) or a part over 255.
        if (digitAt(p) || value > 255) {
            plain = false;
            break;
        }
        host = host << 8 | value;
        if (part < 3) {
            if (p == end || *p != '.')
                plain = false;
            else
                ++p;
        }
    }
    if (plain && p == end)
        return htonl(host);
    // Everything else (octal, hex, short forms, junk) as inet_addr reads it.
    char buf[64];
    const size_t n = std::min(s.size(), sizeof buf - 1);
    std::memcpy(buf, s.data(), n);
    buf[n] = '\0';
    return s.size() >= sizeof buf ? INADDR_NONE : inet_addr(buf);
}

std::string DottedQuad(uint32_t networkOrder)
{
    in_addr a{};
    a.s_addr = networkOrder;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

std::optional<CIpv6Address> ParseIpv6(std::string_view s)
{
    char buffer[INET6_ADDRSTRLEN];
    if (s.empty() || s.size() >= sizeof buffer)
        return std::nullopt;
    s.copy(buffer, s.size());
    buffer[s.size()] = '\0';
    CIpv6Address address{};
    if (inet_pton(AF_INET6, buffer, address.data()) != 1)
        return std::nullopt;
    return address;
}

std::string Ipv6Text(const CIpv6Address& address)
{
    char buffer[INET6_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET6, address.data(), buffer, sizeof buffer) ? buffer : "";
}

} // namespace text
