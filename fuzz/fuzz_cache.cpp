// Fuzzes the cache file reader: any bytes either load or are refused, and
// whatever loads stores back to bytes that load to the same store again.
#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/SilentPrompter.h"
#include "base/Random.h"
#include "directory/Archive.h"
#include "directory/NullSapNetwork.h"
#include "directory/SessionStore.h"

#include <cstddef>
#include <cstdint>

namespace {
class CNoExit final : public ProgramExit {
public:
    void Exit(int) override { __builtin_trap(); } // loading alone never ends the program
};

std::string Stored(CSessionStore& doc)
{
    CArchiveWriter out;
    doc.StoreList(out, doc.MainList(), false);
    return out.Bytes();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CManualClock clock(1700000000);
    static CScriptedRandom random{5};
    static CSilentPrompter prompter;
    static CNoExit exit;
    static CNullSapNetwork network;

    CSessionStore doc(CStorePorts{clock, random, prompter, exit, network});
    CArchiveReader in(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!doc.LoadList(in, doc.MainList(), nullptr))
        return 0;
    const std::string once = Stored(doc);
    CSessionStore again(CStorePorts{clock, random, prompter, exit, network});
    CArchiveReader back(once);
    if (!again.LoadList(back, again.MainList(), nullptr) || !back.AtEnd())
        __builtin_trap();
    if (Stored(again) != once)
        __builtin_trap();
    // The walk over whatever was loaded must hold up too.
    again.CheckSessions();
    return 0;
}
