#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "base/Text.h"

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
    size_t Size() const { return m_count + m_ipv6.size(); }

    // IPv6 groups, kept apart: few sessions use them, and the IPv4 table
    // stays as small as it was.
    void AddIpv6(const text::CIpv6Address& address, int64_t end);
    bool IsIpv6AddressFree(const text::CIpv6Address& address, int64_t now);
    // A random free transient group (ff1X::/16, X the scope nibble, the
    // other 112 bits drawn); nothing when none turned up in kMaxDraws draws.
    std::optional<text::CIpv6Address> PickFreeIpv6Address(int scope, Random& random, int64_t now);

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
    // The latest end of each group's sessions; 0: one of them has none.
    std::map<text::CIpv6Address, int64_t> m_ipv6;
};
