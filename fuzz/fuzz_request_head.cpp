// What the web server reads from a client before the HTTP library: the
// request head scan under several bounds, the Host and token checks on
// what it finds, and the numbers of its queries.
#include "base/RequestHead.h"
#include "web/WebAccess.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const auto& [maxBytes, maxLines] : {std::pair<size_t, size_t>{16384, 65}, {64, 3}, {0, 0}, {size, size}}) {
        const auto scan = requesthead::Scan(bytes, maxBytes, maxLines);
        if (scan.state != requesthead::EState::Complete) {
            if (!scan.firstLine.empty() || !scan.head.empty())
                std::abort();
            continue;
        }
        // The request line lies inside the head, before any line end; the
        // head is whole CRLF lines with no other CR or LF.
        if (scan.firstLine.data() != bytes.data() || scan.head.data() != bytes.data() || scan.head.size() + 2 > maxBytes
            || scan.firstLine.find_first_of("\r\n") != std::string_view::npos || !scan.head.ends_with("\r\n"))
            std::abort();
        for (size_t at = scan.head.find_first_of("\r\n"); at != std::string_view::npos;
             at = scan.head.find_first_of("\r\n", at + 2))
            if (scan.head.substr(at, 2) != "\r\n")
                std::abort();
        size_t count = 0;
        if (const auto host = requesthead::Field(scan.head, "host", &count);
            host && (count == 0 || host->find_first_of("\r\n") != std::string_view::npos))
            std::abort();
        for (const char* token : {"", "00112233445566778899aabbccddeeff"}) {
            const CWebAccess access{CWebAccess::HostValues("127.0.0.1", 8086), token};
            const CWebAccess::CDecision d = access.Check(scan.head);
            // Nothing gets in without naming a host of ours, nor without
            // the token when one is asked for; a redirect stays on this
            // server, within its line, and drops the token.
            if (d.verdict == CWebAccess::EVerdict::Allowed || d.verdict == CWebAccess::EVerdict::SetCookie) {
                if (requesthead::Field(scan.head, "Host") != "127.0.0.1:8086" || count != 1)
                    std::abort();
                if (*token && scan.head.find(token) == std::string_view::npos)
                    std::abort();
            }
            if (d.verdict == CWebAccess::EVerdict::SetCookie) {
                if (!d.location.starts_with("/") || d.location.starts_with("//")
                    || d.location.find_first_of("\r\n ") != std::string::npos)
                    std::abort();
                const size_t query = d.location.find('?');
                for (size_t at = query; at != std::string::npos; at = d.location.find('&', at + 1))
                    if (d.location.compare(at + 1, 6, "token=") == 0)
                        std::abort();
            }
            if (d.verdict != CWebAccess::EVerdict::Allowed
                && AccessRefusal(d.verdict, d.location, token).find("\r\n\r\n") == std::string::npos)
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
