// Fuzzes the readers of the online database's replies: plug-in lists,
// joined URLs, dates, file names taken from URLs, and the check a
// downloaded plug-in file passes before it is kept.
#include "tools/OnlineRequests.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    if (JoinedReply(body).find('\n') != std::string::npos)
        __builtin_trap();
    for (const COnlinePlugin& p : ParsePluginReply(body)) {
        if (p.name.find_first_of("|\n") != std::string::npos || p.url.find_first_of("|\n") != std::string::npos ||
            p.description.find_first_of("|\n") != std::string::npos)
            __builtin_trap();
        (void)IsNewerPlugin(p.date, "1/1/2000");
        if (auto d = ParseOnlineDate(p.date); d && p.date.empty() && d->year != 1971)
            __builtin_trap();
        if (auto name = FileNameFromUrl(p.url))
            if (!IsPlainFileName(*name) || name->find('/') != std::string::npos)
                __builtin_trap();
        const std::string encoded = EncodeQueryValue(p.name);
        if (encoded.find_first_of(" &=#\n") != std::string::npos)
            __builtin_trap();
    }
    const std::string text = PluginFileText(body);
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', lf + 1))
        if (lf == 0 || text[lf - 1] != '\r')
            __builtin_trap();
    (void)CheckPluginFile("rev2.plugin.fuzz.audio", text);
    return 0;
}
