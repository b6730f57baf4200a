#include "base/RequestHead.h"

#include <algorithm>
#include <charconv>

namespace requesthead {

CScan Scan(std::string_view bytes, size_t maxBytes, size_t maxLines)
{
    const std::string_view window = bytes.substr(0, maxBytes + 1);
    const size_t end = std::min(window.find("\r\n\r\n"), window.find("\n\n"));
    if (end == std::string_view::npos || end > maxBytes) {
        if (window.size() > maxBytes)
            return {EState::TooLarge, {}};
        // The lines ended so far, the request line aside.
        const auto ended = static_cast<size_t>(std::count(window.begin(), window.end(), '\n'));
        return {ended > maxLines + 1 ? EState::TooLarge : EState::Incomplete, {}};
    }
    // Up to the blank line: every line end but the last header's, which
    // makes one per header line.
    const std::string_view head = window.substr(0, end);
    if (static_cast<size_t>(std::count(head.begin(), head.end(), '\n')) > maxLines)
        return {EState::TooLarge, {}};
    std::string_view first = head.substr(0, head.find('\n'));
    if (!first.empty() && first.back() == '\r')
        first.remove_suffix(1);
    return {EState::Complete, first};
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
