#pragma once
// Pieces of the program's own fast hashes (SAP texts, session ids).
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hashmix {

inline uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t Load32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The full 128-bit product folded to 64 bits: every input bit reaches the
// high half, and the low half keeps the low bits apart.
inline uint64_t FoldMultiply(uint64_t a, uint64_t b)
{
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

// Up to 16 bytes as two words, read in overlapping pieces: every byte is
// read and none past the end.
struct CWords {
    uint64_t a = 0;
    uint64_t b = 0;
};
inline CWords ReadUpTo16(const unsigned char* p, size_t n)
{
    if (n >= 8)
        return {Load64(p), Load64(p + n - 8)};
    if (n >= 4)
        return {Load32(p), Load32(p + n - 4)};
    if (n > 0)
        return {uint64_t(p[0]) << 16 | uint64_t(p[n / 2]) << 8 | p[n - 1], 0};
    return {};
}

} // namespace hashmix
