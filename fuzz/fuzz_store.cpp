// Fuzzes the store with what the network can send: the input is a series of
// SAP datagrams (each preceded by one byte naming the directory it arrives
// on and one byte of clock advance); after each the walk runs. The store
// must stay consistent and its cache must load back.
#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/SilentPrompter.h"
#include "base/Random.h"
#include "directory/Archive.h"
#include "directory/NullSapNetwork.h"
#include "directory/SessionStore.h"
#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {
class CNoExit final : public ProgramExit {
public:
    void Exit(int) override { __builtin_trap(); }
};

// Every directory in the store, depth first.
void Directories(const CSessionList& list, std::vector<std::shared_ptr<CSDPObject>>& out)
{
    for (const auto& r : list) {
        if (r->links->children) {
            out.push_back(r);
            Directories(*r->links->children, out);
        }
    }
}

// No list may hold a record whose parent is not its directory.
void CheckParents(const CSessionList& list, const std::shared_ptr<CSDPObject>& directory)
{
    for (const auto& r : list) {
        if (r->parentDirectory.lock() != directory)
            __builtin_trap();
        if (r->links->children)
            CheckParents(*r->links->children, r);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CSilentPrompter prompter;
    static CNoExit exit;
    static CNullSapNetwork network;
    static CEncryptionGroups groups;
    CManualClock clock(1700000000);
    CScriptedRandom random{9};
    CSessionStore doc(CStorePorts{clock, random, prompter, exit, network});
    auto ttlScope = CSDPObject::FromText(CSessionStore::kTtlScopeText, doc.Environment());
    ttlScope->sessionType = kTypeScopeDirectory;
    doc.AddSession(ttlScope, nullptr);

    // Datagrams are separated by the bytes "\n%%\n".
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t pos = 0;
    for (int count = 0; pos + 2 <= input.size() && count < 64; ++count) {
        const uint8_t target = static_cast<uint8_t>(input[pos]);
        clock.Advance(static_cast<uint8_t>(input[pos + 1]) * 60);
        pos += 2;
        size_t end = input.find("\n%%\n", pos);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view datagram = input.substr(pos, end - pos);
        pos = end + 4;

        std::vector<std::shared_ptr<CSDPObject>> dirs;
        Directories(doc.MainList(), dirs);
        if (dirs.empty())
            break;
        const auto& dir = dirs[target % dirs.size()];
        CSapMessage message = DecodeSapDatagram(datagram, groups, doc.Environment(),
            [&](std::string_view text, uint64_t hash, std::string_view origin) {
                return doc.RefreshRepeat(text, hash, dir, origin);
            });
        doc.OnSapMessage(message.action, message.record, dir);
        doc.CheckSessions();
    }
    CheckParents(doc.MainList(), nullptr);

    CArchiveWriter out;
    doc.StoreList(out, doc.MainList(), false);
    CSessionStore again(CStorePorts{clock, random, prompter, exit, network});
    CArchiveReader in(out.Bytes());
    if (!again.LoadList(in, again.MainList(), nullptr) || !in.AtEnd())
        __builtin_trap();
    return 0;
}
