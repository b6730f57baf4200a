#pragma once
#include <cstdint>
#include <optional>
#include <vector>

class Random;

// Multicast addresses heard in media sections, with the end of their
// sessions, from which the media wizard picks free addresses. One entry per
// address: repeated announcements of a session do not make the list grow.
class CUsedAddressList {
public:
    static constexpr int kMaxDraws = 100000;

    // `end` in Unix seconds; 0 means the session has no end.
    void Add(uint32_t addressNetworkOrder, int64_t end);
    // Forgets addresses whose sessions ended before `now`, then answers.
    bool IsAddressFree(uint32_t addressNetworkOrder, int64_t now);
    // A random free address below base/prefix (224.2.128.0/17 without a base);
    // nothing when no free address turned up in kMaxDraws draws.
    std::optional<uint32_t> PickFreeAddress(std::optional<uint32_t> baseNetworkOrder, int prefixLength,
                                            Random& random, int64_t now);
    size_t Size() const { return m_count; }

private:
    // Open addressing with linear probing: every parsed text adds its media
    // addresses, so this sits on the reception path.
    struct Slot {
        uint32_t address = 0;
        bool used = false;
        bool unbounded = false;
        int64_t latestEnd = 0;
    };
    Slot& Find(uint32_t address);
    void Grow();
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};
