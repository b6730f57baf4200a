#include "base/RequestHead.h"

#include <algorithm>
#include <charconv>

namespace requesthead {

namespace {
bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}
} // namespace

CScan Scan(std::string_view bytes, size_t maxBytes, size_t maxLines)
{
    const std::string_view window = bytes.substr(0, maxBytes + 1);
    size_t lines = 0;
    for (size_t start = 0;;) {
        const size_t end = window.find_first_of("\r\n", start);
        if (end == std::string_view::npos || end + 1 >= window.size()) {
            // The line goes on past what has come (or a CR waits for its LF).
            if (end != std::string_view::npos && window[end] == '\n')
                return {EState::Malformed, {}, {}};
            return {window.size() > maxBytes ? EState::TooLarge : EState::Incomplete, {}, {}};
        }
        if (window[end] != '\r' || window[end + 1] != '\n')
            return {EState::Malformed, {}, {}};
        if (end == start) {
            if (lines == 0)
                return {EState::Malformed, {}, {}}; // no request line
            if (end + 2 > maxBytes)
                return {EState::TooLarge, {}, {}};
            return {EState::Complete, window.substr(0, window.find("\r\n")), window.substr(0, start)};
        }
        if (lines > 0 && (window[start] == ' ' || window[start] == '\t'))
            return {EState::Malformed, {}, {}};
        if (++lines > maxLines + 1)
            return {EState::TooLarge, {}, {}};
        start = end + 2;
    }
}

std::optional<std::string_view> Field(std::string_view head, std::string_view name, size_t* count)
{
    std::optional<std::string_view> found;
    size_t n = 0;
    size_t start = head.find("\r\n");
    while (start != std::string_view::npos && start + 2 < head.size()) {
        start += 2;
        const size_t end = std::min(head.find("\r\n", start), head.size());
        const std::string_view line = head.substr(start, end - start);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameLetters(line.substr(0, colon), name)) {
            if (n++ == 0)
                found = Trimmed(line.substr(colon + 1));
        }
        start = end;
    }
    if (count)
        *count = n;
    return found;
}

std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t max)
{
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    uint64_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || n > max)
        return std::nullopt;
    return n;
}

} // namespace requesthead
