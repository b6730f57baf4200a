#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small text helpers shared by the parsers. All work on 8-bit byte strings.
namespace text {

// Like C atoi: optional blanks, optional sign, leading digits; saturates
// instead of overflowing.
int64_t ToInt64(std::string_view s);
int32_t ToInt32(std::string_view s);

// Walks the pieces of a text split at runs of `sep`, skipping empty pieces
// (strtok semantics), without allocating.
class CTokenizer {
public:
    CTokenizer(std::string_view s, char sep) : m_s(s), m_sep(sep) {}
    bool Next(std::string_view& token)
    {
        while (m_at < m_s.size() && m_s[m_at] == m_sep)
            ++m_at;
        if (m_at >= m_s.size())
            return false;
        size_t end = m_s.find(m_sep, m_at);
        if (end == std::string_view::npos)
            end = m_s.size();
        token = m_s.substr(m_at, end - m_at);
        m_at = end;
        return true;
    }

private:
    std::string_view m_s;
    char m_sep;
    size_t m_at = 0;
};

// All pieces at once.
std::vector<std::string_view> Tokens(std::string_view s, char sep);

// The seconds of one unit of an "r=" time: "d" 86400, else "h" 3600, else
// "m" 60, else "s" 1, looked for in that order anywhere in the token; 0 when
// the token has none of these letters.
int64_t RepeatUnitSeconds(std::string_view token);

bool Contains(std::string_view haystack, std::string_view needle);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Three-way, ASCII letters folded, other bytes compared unsigned.
int CompareNoCase(std::string_view a, std::string_view b);
// The text with A-Z lowered, the rest as it is: two such texts compare
// bytewise (as unsigned bytes) the way CompareNoCase compares the originals.
std::string LowerAscii(std::string_view s);
bool IsValidUtf8(std::string_view s);
// The text as UTF-8: valid UTF-8 stays as it is, anything else is read as
// Latin-1 (the same rule the display edge uses).
std::string AsUtf8(std::string_view s);
// A label value of the metrics text: as UTF-8, backslash, quote and line end escaped.
std::string MetricLabel(std::string_view s);

// Where a text longer than `limit` bytes is cut: at `limit`, or before a
// UTF-8 character that would be split there (a split one would make the
// whole text read as Latin-1). `text.size()` when it is not longer.
size_t Utf8CutPoint(std::string_view text, size_t limit);

// Dotted quad to an address in network byte order, like inet_addr:
// 0xFFFFFFFF when the text is not an address.
uint32_t ParseDottedQuad(std::string_view s);
std::string DottedQuad(uint32_t networkOrder);

// An IPv6 address as its 16 bytes in network order.
using CIpv6Address = std::array<uint8_t, 16>;
// The textual forms inet_pton takes (no zone, no brackets, no prefix).
std::optional<CIpv6Address> ParseIpv6(std::string_view s);
// The shortest text (RFC 5952), as inet_ntop writes it.
std::string Ipv6Text(const CIpv6Address& address);

} // namespace text
