#include "sap/EncryptionGroups.h"

#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/md5.h>

#include <cstring>

std::optional<CEncryptionGroups::Found> CEncryptionGroups::FindGroup(uint32_t id, int start) const
{
    for (int i = start < 0 ? 0 : start; i < kCount; ++i)
        if (static_cast<uint32_t>(m_entries[i].id) == id)
            return Found{i, &m_entries[i].key};
    return std::nullopt;
}

static uint8_t WithOddParity(uint8_t sevenBitsShifted)
{
    const int ones = __builtin_popcount(sevenBitsShifted);
    return (ones % 2 == 0) ? uint8_t(sevenBitsShifted | 1) : sevenBitsShifted;
}

CDesKey DeriveDesKey(std::string_view keyText)
{
    CDesKey key{};
    if (keyText.empty())
        return key;
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, keyText.size(), reinterpret_cast<const uint8_t*>(keyText.data()));
    md5_digest(&ctx, sizeof digest, digest);
    uint64_t bits = 0; // the first 56 bits, most significant first
    for (int i = 0; i < 7; ++i)
        bits = (bits << 8) | digest[i];
    for (int i = 0; i < 8; ++i) {
        const uint8_t group = static_cast<uint8_t>((bits >> (49 - 7 * i)) & 0x7F);
        key[i] = WithOddParity(static_cast<uint8_t>(group << 1));
    }
    return key;
}

void CDesDecryptor::SetKey(std::string_view keyText)
{
    SetRawKey(DeriveDesKey(keyText));
}

void CDesDecryptor::SetRawKey(const CDesKey& key)
{
    m_key = key;
    des_ctx ctx;
    // Weak keys (the all-zero key of an empty text among them) are still
    // usable: nettle computes the schedule and only reports the weakness.
    des_set_key(&ctx, m_key.data());
    static_assert(sizeof ctx.key == sizeof m_schedule);
    std::memcpy(m_schedule.data(), ctx.key, sizeof ctx.key);
}

std::optional<std::string> CDesDecryptor::Decrypt(std::string_view ciphertext) const
{
    if (ciphertext.size() % DES_BLOCK_SIZE != 0 || ciphertext.empty())
        return std::nullopt;
    des_ctx ctx;
    std::memcpy(ctx.key, m_schedule.data(), sizeof ctx.key);
    uint8_t iv[DES_BLOCK_SIZE] = {};
    std::string plain(ciphertext.size(), '\0');
    cbc_decrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_decrypt), DES_BLOCK_SIZE, iv, ciphertext.size(),
                reinterpret_cast<uint8_t*>(plain.data()), reinterpret_cast<const uint8_t*>(ciphertext.data()));
    if ((static_cast<uint8_t>(plain[0]) & 0x80) == 0)
        return plain;
    plain[0] = static_cast<char>(static_cast<uint8_t>(plain[0]) & 0x7F);
    const uint8_t pad = static_cast<uint8_t>(plain.back());
    if (pad < 1 || pad > 7)
        return std::nullopt;
    plain.resize(plain.size() - pad);
    return plain;
}
