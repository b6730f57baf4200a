// What the web server reads from a client before the HTTP library: the
// request head scan under several bounds, and the numbers of its queries.
#include "base/RequestHead.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const auto& [maxBytes, maxLines] : {std::pair<size_t, size_t>{16384, 65}, {64, 3}, {0, 0}, {size, size}}) {
        const auto scan = requesthead::Scan(bytes, maxBytes, maxLines);
        if (scan.state == requesthead::EState::Complete) {
            // The request line lies inside the head, before any line end.
            if (scan.firstLine.data() != bytes.data() || scan.firstLine.size() > maxBytes
                || scan.firstLine.find('\n') != std::string_view::npos)
                std::abort();
        } else if (!scan.firstLine.empty()) {
            std::abort();
        }
    }
    const std::string_view text = bytes.substr(0, 30);
    if (const auto n = requesthead::ParseNumber(text)) {
        // Digits only, and the number they spell (leading zeros aside).
        const size_t digits = text.find_first_not_of('0');
        const std::string_view significant = digits == std::string_view::npos ? "0" : text.substr(digits);
        if (text.find_first_not_of("0123456789") != std::string_view::npos || std::to_string(*n) != significant)
            std::abort();
    }
    return 0;
}
