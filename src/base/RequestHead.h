#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// What the web server reads from a client before any HTTP library sees it:
// whether the bytes so far hold a whole request head (up to its blank line)
// within the bounds, and plain numbers from request texts.
namespace requesthead {

enum class EState { Incomplete, Complete, TooLarge };

struct CScan {
    EState state = EState::Incomplete;
    std::string_view firstLine; // the request line, without its line end; set when Complete
};

// A head ends at "\r\n\r\n" (or "\n\n"); it may hold at most `maxBytes`
// bytes and `maxLines` header lines besides the request line. Bytes past
// the head (a body) are not looked at.
CScan Scan(std::string_view bytes, size_t maxBytes, size_t maxLines);

// Decimal digits only, at most `max`; none for anything else (signs,
// blanks, an empty text, overflow).
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t max = UINT64_MAX);

} // namespace requesthead
