#pragma once
#include <cstdint>
#include <optional>
#include <unordered_map>

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
    size_t Size() const { return m_entries.size(); }

private:
    struct Use {
        bool unbounded = false;
        int64_t latestEnd = 0;
    };
    std::unordered_map<uint32_t, Use> m_entries;
};
