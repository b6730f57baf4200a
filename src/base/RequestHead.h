#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// What the web server reads from a client before any HTTP library sees it:
// whether the bytes so far hold a whole request head (up to its blank line)
// within the bounds, its header fields, and plain numbers from request texts.
namespace requesthead {

enum class EState { Incomplete, Complete, TooLarge, Malformed };

struct CScan {
    EState state = EState::Incomplete;
    std::string_view firstLine; // the request line, without its line end; set when Complete
    std::string_view head;      // every line of the head with its CRLF, the blank line aside; set when Complete
};

// A head's lines end in CRLF, and it ends at an empty line; it may hold at
// most `maxBytes` bytes and `maxLines` header lines besides the request
// line. A bare LF or CR, or a folded line (one that starts with a blank),
// makes it Malformed at once: whatever reads it after us must not find
// another end or other fields. Bytes past the head (a body) are not looked at.
CScan Scan(std::string_view bytes, size_t maxBytes, size_t maxLines);

// The value of the header field `name` (any case) in a scanned head, its
// surrounding blanks taken off; none when absent. `count` gets how many
// fields have that name.
std::optional<std::string_view> Field(std::string_view head, std::string_view name, size_t* count = nullptr);

// Decimal digits only, at most `max`; none for anything else (signs,
// blanks, an empty text, overflow).
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t max = UINT64_MAX);

} // namespace requesthead
