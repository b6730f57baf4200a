#include "sdp/UsedAddresses.h"

#include "base/Random.h"

#include <arpa/inet.h>

void CUsedAddressList::Add(uint32_t address, int64_t end)
{
    Use& use = m_entries[address];
    if (end == 0)
        use.unbounded = true;
    else if (end > use.latestEnd)
        use.latestEnd = end;
}

bool CUsedAddressList::IsAddressFree(uint32_t address, int64_t now)
{
    std::erase_if(m_entries, [now](const auto& entry) {
        return !entry.second.unbounded && entry.second.latestEnd < now;
    });
    return m_entries.find(address) == m_entries.end();
}

std::optional<uint32_t> CUsedAddressList::PickFreeAddress(std::optional<uint32_t> base, int prefixLength,
                                                          Random& random, int64_t now)
{
    uint32_t hostBase = ntohl(base.value_or(htonl(0xE0028000u))); // 224.2.128.0
    if (!base)
        prefixLength = 17;
    if (prefixLength < 0)
        prefixLength = 0;
    if (prefixLength > 32)
        prefixLength = 32;
    const uint32_t mask = prefixLength == 0 ? 0 : ~uint32_t(0) << (32 - prefixLength);
    for (int draw = 0; draw < kMaxDraws; ++draw) {
        // Only the low 15 host bits are drawn; higher host bits keep the base's.
        const uint32_t drawn = ~mask & 0x7FFFu;
        const uint32_t r = static_cast<uint32_t>(random.Next());
        const uint32_t candidate = htonl((hostBase & ~drawn) | (r & drawn));
        if (IsAddressFree(candidate, now))
            return candidate;
    }
    return std::nullopt;
}
