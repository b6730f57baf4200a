#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One encryption group: in use when its id is 10000 or more.
struct CEncryptionGroup {
    int32_t id = 0;
    std::string key;
    std::string name;
    bool InUse() const { return id >= 10000; }
};

// The fixed table of 100 groups, kept in index order.
class CEncryptionGroups {
public:
    static constexpr int kCount = 100;
    static constexpr size_t kMaxText = 256;

    struct Found {
        int index;
        const std::string* key;
    };
    // The first entry at index >= start whose id equals `id` (in use or not).
    std::optional<Found> FindGroup(uint32_t id, int start) const;

    CEncryptionGroup& operator[](int i) { return m_entries[i]; }
    const CEncryptionGroup& operator[](int i) const { return m_entries[i]; }

private:
    std::array<CEncryptionGroup, kCount> m_entries;
};

using CDesKey = std::array<uint8_t, 8>;

// MD5 of the key text; its first 56 bits in eight 7-bit groups, each shifted
// left with an odd-parity low bit. An empty text gives eight zero bytes.
CDesKey DeriveDesKey(std::string_view keyText);

// DES-CBC decryption with a zero IV and the padding rule: when the first
// plaintext byte has its top bit set, that bit is cleared and the last byte
// (1..7) says how many bytes to cut. Fails on a length that is not a multiple
// of 8 or a bad padding count.
class CDesDecryptor {
public:
    void SetKey(std::string_view keyText);
    void SetRawKey(const CDesKey& key);
    std::optional<std::string> Decrypt(std::string_view ciphertext) const;
    const CDesKey& Key() const { return m_key; }

private:
    CDesKey m_key{};
    std::array<uint32_t, 32> m_schedule{};
};
