// Fuzzes the whole road of a received datagram: unwrap (auth skip, DES with
// several groups sharing an id, zlib/gzip) and the parser behind it.
#include "base/Clock.h"
#include "base/Random.h"
#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"
#include "sdp/UsedAddresses.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CEncryptionGroups groups = [] {
        CEncryptionGroups g;
        g[0] = {20000, "shared group key A", "A"};
        g[2] = {20000, "another key for B", "B"};
        return g;
    }();
    static CManualClock clock(1700000000);
    static CScriptedRandom random{1};
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    CSapMessage msg = DecodeSapDatagram(datagram, groups, env);
    if (msg.action != ESapAction::Drop && !msg.record)
        __builtin_trap();
    return 0;
}
