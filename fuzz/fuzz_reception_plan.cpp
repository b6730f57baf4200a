// Fuzzes what the receiver takes from a session description: groups of
// both families, ports, clock rates, source filters and redundant pairs.
#include "base/Clock.h"
#include "base/Random.h"
#include "reception/ReceptionPlan.h"
#include "sdp/SDPObject.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CManualClock clock(1700000000);
    static CScriptedRandom random{3};
    CSdpEnvironment env{clock, random, nullptr};
    auto r = CSDPObject::FromText(std::string_view(reinterpret_cast<const char*>(data), size), env);
    const CReceptionPlan plan = PlanReception(*r);
    if (plan.media.size() != r->media.size())
        __builtin_trap();
    for (const CMediaTarget& t : plan.media) {
        // Each family keeps to its own fields.
        if (t.ipv6 ? (t.group != 0 || !t.sources.empty()) : (!t.sources6.empty() || t.group6 != text::CIpv6Address{}))
            __builtin_trap();
        if (t.unusable.empty() && t.port == 0)
            __builtin_trap();
        if (t.clockRates.size() != 128 || t.transportStream.size() != 128)
            __builtin_trap();
    }
    for (const CDupPair& p : plan.pairs)
        if (p.legA == p.legB || size_t(p.legA) >= plan.media.size() || size_t(p.legB) >= plan.media.size())
            __builtin_trap();
    return 0;
}
