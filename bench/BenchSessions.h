#pragma once
// What the store benchmarks share: a typical announcement, a store with one
// directory of such sessions, and (where a program asks for it) a count of
// the bytes held on the heap.
#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/Random.h"
#include "base/SilentPrompter.h"
#include "base/ViewFanOut.h"
#include "directory/NullSapNetwork.h"
#include "directory/SessionStore.h"
#include "sdp/UsedAddresses.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include <malloc.h>
// The bytes the program holds on the heap, for the memory figures: what the
// allocator has handed out (its per-block overhead and mapped blocks included).
inline size_t HeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

class CBenchExit final : public ProgramExit {
public:
    void Exit(int) override {}
};

// A typical announcement, about 600 bytes.
inline std::string TypicalSdp(long id)
{
    return "v=0\no=alice " + std::to_string(2890844526L + id) + " 2890842807 IN IP4 10.47.16.5\n"
           "s=Seminar on session description " + std::to_string(id) + "\n"
           "i=A seminar about the session description protocol and about multicast conferencing on the "
           "MBone, with questions from the audience at the end of each talk\n"
           "u=http://www.example.com/seminars/sdp.pdf\ne=alice@example.com (Alice Smith)\np=+1 617 555-6011\n"
           "c=IN IP4 224.2.17.12/127\nt=0 0\na=recvonly\na=tool:Talmira\na=type:meeting\n"
           "m=audio 49170 RTP/AVP 0\nc=IN IP4 224.2.17.12/127\na=rtpmap:0 PCMU/8000\n"
           "m=video 51372 RTP/AVP 31\nc=IN IP4 224.2.17.14/127\na=framerate:25\n"
           "m=application 32416 udp wb\nc=IN IP4 224.2.17.16/127\na=orient:portrait\n";
}

// A store with one scope directory holding `count` sessions, each made by
// `make` (plain parsing when none). `viewed`: its notices go to `views`,
// where item models may be attached; the store alone tells no views.
struct CBenchStore {
    using Maker = std::function<std::shared_ptr<CSDPObject>(CSessionStore&, long)>;

    CManualClock clock{1700000000};
    CSystemRandom random;
    CUsedAddressList used;
    CSilentPrompter prompter;
    CBenchExit exit;
    CNullSapNetwork network;
    CViewFanOut views;
    CSessionStore doc;
    std::shared_ptr<CSDPObject> dir;

    explicit CBenchStore(long count, const Maker& make = {}, bool viewed = false)
        : doc(CStorePorts{clock, random, prompter, exit, network, viewed ? &views : nullptr, nullptr, nullptr})
    {
        dir = CSDPObject::FromText(CSessionStore::kTtlScopeText, doc.Environment());
        dir->sessionType = kTypeScopeDirectory;
        doc.AddSession(dir, nullptr);
        for (long i = 0; i < count; ++i)
            doc.AddSession(make ? make(doc, i) : CSDPObject::FromText(TypicalSdp(i), doc.Environment()), dir);
    }
};
