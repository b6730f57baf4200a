#pragma once
// Pieces of the program's own fast hashes (SAP texts, session ids).
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

} // namespace hashmix
