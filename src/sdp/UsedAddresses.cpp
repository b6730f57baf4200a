#include "sdp/UsedAddresses.h"

#include "base/Random.h"

#include <arpa/inet.h>

static size_t SlotOf(uint32_t address, size_t mask)
{
    // Fibonacci hashing: the product's high bits depend on every address bit.
    return static_cast<size_t>((address * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

CUsedAddressList::Slot& CUsedAddressList::Find(uint32_t address)
{
    const size_t mask = m_slots.size() - 1;
    size_t i = SlotOf(address, mask);
    while (m_slots[i].used && m_slots[i].address != address)
        i = (i + 1) & mask;
    return m_slots[i];
}

void CUsedAddressList::Grow()
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    for (const Slot& s : old)
        if (s.used)
            Find(s.address) = s;
}

void CUsedAddressList::Add(uint32_t address, int64_t end)
{
    if ((m_count + 1) * 4 > m_slots.size() * 3)
        Grow();
    Slot& slot = Find(address);
    if (!slot.used) {
        slot = Slot{address, true, false, 0};
        ++m_count;
    }
    if (end == 0)
        slot.unbounded = true;
    else if (end > slot.latestEnd)
        slot.latestEnd = end;
}

bool CUsedAddressList::IsAddressFree(uint32_t address, int64_t now)
{
    // Forget sessions that have ended, then look the address up.
    size_t live = 0;
    for (const Slot& s : m_slots)
        live += s.used && (s.unbounded || s.latestEnd >= now);
    if (live != m_count) {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.size(), Slot{});
        m_count = 0;
        for (const Slot& s : old)
            if (s.used && (s.unbounded || s.latestEnd >= now)) {
                Find(s.address) = s;
                ++m_count;
            }
    }
    if (m_slots.empty())
        return true;
    return !Find(address).used;
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

void CUsedAddressList::AddIpv6(const text::CIpv6Address& address, int64_t end)
{
    const auto [slot, added] = m_ipv6.try_emplace(address, end);
    if (!added && slot->second != 0 && (end == 0 || end > slot->second))
        slot->second = end;
}

bool CUsedAddressList::IsIpv6AddressFree(const text::CIpv6Address& address, int64_t now)
{
    std::erase_if(m_ipv6, [now](const auto& entry) { return entry.second != 0 && entry.second < now; });
    return !m_ipv6.contains(address);
}

std::optional<text::CIpv6Address> CUsedAddressList::PickFreeIpv6Address(int scope, Random& random, int64_t now)
{
    for (int draw = 0; draw < kMaxDraws; ++draw) {
        text::CIpv6Address candidate{};
        candidate[0] = 0xFF;
        // Flags 0001: a transient group, not one IANA assigned.
        candidate[1] = static_cast<uint8_t>(0x10 | (scope & 0x0F));
        // Next() gives 15 bits: one byte from each draw.
        for (size_t i = 2; i < candidate.size(); ++i)
            candidate[i] = static_cast<uint8_t>(random.Next());
        if (IsIpv6AddressFree(candidate, now))
            return candidate;
    }
    return std::nullopt;
}
