#pragma once
#include <array>
#include <cstdint>

// Which of the most recent extended sequence numbers have been seen: tells
// a duplicate from a late packet. Numbers more than kSize behind the
// highest are no longer known.
class CSequenceWindow {
public:
    static constexpr uint64_t kSize = 4096;

    enum class EMark { New, Duplicate, TooOld };

    // Marks `ext`, moving the window forward when `ext` is past the highest.
    EMark Mark(uint64_t ext)
    {
        if (!m_started) {
            m_started = true;
            m_highest = ext;
            m_bits.fill(0);
            Set(ext);
            return EMark::New;
        }
        if (ext > m_highest) {
            const uint64_t step = ext - m_highest;
            if (step >= kSize) {
                m_bits.fill(0);
            } else {
                for (uint64_t n = m_highest + 1; n < ext; ++n)
                    Clear(n);
            }
            Clear(ext);
            m_highest = ext;
        } else if (m_highest - ext >= kSize) {
            return EMark::TooOld;
        }
        if (Test(ext))
            return EMark::Duplicate;
        Set(ext);
        return EMark::New;
    }
    void Reset() { m_started = false; }

private:
    void Set(uint64_t n) { m_bits[(n / 64) % kWords] |= uint64_t{1} << (n % 64); }
    void Clear(uint64_t n) { m_bits[(n / 64) % kWords] &= ~(uint64_t{1} << (n % 64)); }
    bool Test(uint64_t n) const { return m_bits[(n / 64) % kWords] >> (n % 64) & 1; }

    static constexpr uint64_t kWords = kSize / 64;
    std::array<uint64_t, kWords> m_bits{};
    uint64_t m_highest = 0;
    bool m_started = false;
};
