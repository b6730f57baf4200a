// Fuzzes the SDP parser and the address allocator it feeds.
#include "base/Clock.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CManualClock clock(1700000000);
    static CScriptedRandom random{3};
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
    auto r = CSDPObject::FromText(std::string_view(reinterpret_cast<const char*>(data), size), env);
    for (const CSDPMedia& m : r->media)
        if (m.payloadCount < 0 || m.payloadCount > CSDPMedia::kMaxPayloads)
            __builtin_trap();
    if (r->name.size() > 999 || r->randomTag == 0)
        __builtin_trap();
    (void)used.IsAddressFree(0, clock.Now());
    return 0;
}
