// Fuzzes the "tools.sort" reader: whatever it accepts, it writes back to
// bytes that read the same, with contiguous orders.
#include "tools/ToolRegistry.h"

#include <cstddef>
#include <cstdint>

namespace {

bool SameRegistry(const CToolRegistry& a, const CToolRegistry& b)
{
    if (a.groups.size() != b.groups.size())
        return false;
    for (size_t i = 0; i < a.groups.size(); ++i) {
        const CMediaListEntry &x = a.groups[i], &y = b.groups[i];
        if (x.media != y.media || x.protocol != y.protocol || x.protocolName != y.protocolName ||
            x.format != y.format || x.formatName != y.formatName || x.tools.size() != y.tools.size())
            return false;
        for (size_t j = 0; j < x.tools.size(); ++j) {
            const CToolEntry &s = x.tools[j], &t = y.tools[j];
            if (s.name != t.name || s.selected != t.selected || s.order != t.order || s.path != t.path)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CToolRegistry registry;
    if (!DecodeToolOrder(std::string_view(reinterpret_cast<const char*>(data), size), registry)) {
        if (!registry.groups.empty())
            __builtin_trap();
        return 0;
    }
    for (const CMediaListEntry& g : registry.groups)
        for (const CToolEntry& t : g.tools)
            if ((t.selected != 0 && t.selected != 1) || (!t.selected && t.order != -1))
                __builtin_trap();
    auto bytes = EncodeToolOrder(registry);
    if (!bytes)
        __builtin_trap();
    CToolRegistry again;
    if (!DecodeToolOrder(*bytes, again) || !SameRegistry(registry, again))
        __builtin_trap();
    return 0;
}
