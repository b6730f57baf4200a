#pragma once
#include <atomic>
#include <cstdint>

// What the directory has done on the wire and on disk since it started, for
// the metrics. Counted on the main thread; read from any thread.
struct CWireCounters {
    std::atomic<uint64_t> datagrams{0}; // received on a directory's socket
    std::atomic<uint64_t> dropped{0};   // of those, unusable (malformed, unknown key, too long)
    std::atomic<uint64_t> decrypted{0};
    std::atomic<uint64_t> inflated{0};
    std::atomic<uint64_t> sent{0};       // announcements and deletions sent
    std::atomic<uint64_t> cacheWrites{0};
};

inline void WireCount(std::atomic<uint64_t>* counter)
{
    if (counter)
        counter->fetch_add(1, std::memory_order_relaxed);
}
