// Key derivation, DES-CBC decryption and the encryption group table.
#include "support/TestEnv.h"

#include "sap/EncryptionGroups.h"

#include <gtest/gtest.h>
#include <nettle/cbc.h>
#include <nettle/des.h>

namespace {

std::string Hex(const CDesKey& key)
{
    std::string out;
    for (uint8_t b : key) {
        out += "0123456789abcdef"[b >> 4];
        out += "0123456789abcdef"[b & 15];
    }
    return out;
}

// Keys derived by tests/data/sap/make-data.sh from openssl's MD5 digest.
TEST(DesKey, DerivationMatchesReference)
{
    for (const auto& [text, file] : {std::pair{"shared group key A", "keyA.hex"}, {"another key for B", "keyB.hex"}}) {
        std::string expected = ReadTestFile(std::string(TALMIRA_TEST_DATA) + "/sap/" + file);
        expected.erase(expected.find_last_not_of("\r\n") + 1);
        EXPECT_EQ(Hex(DeriveDesKey(text)), expected);
    }
    EXPECT_EQ(DeriveDesKey(""), CDesKey{});
}

std::string DesCbcEncrypt(const CDesKey& key, const std::string& plain)
{
    des_ctx ctx;
    des_set_key(&ctx, key.data());
    uint8_t iv[8] = {};
    std::string out(plain.size(), '\0');
    cbc_encrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt), 8, iv, plain.size(),
                reinterpret_cast<uint8_t*>(out.data()), reinterpret_cast<const uint8_t*>(plain.data()));
    return out;
}

TEST(DesDecrypt, LengthAndPaddingRules)
{
    CDesDecryptor des;
    des.SetKey("k");
    const CDesKey key = DeriveDesKey("k");
    EXPECT_FALSE(des.Decrypt(std::string(15, 'x')));
    EXPECT_FALSE(des.Decrypt(""));
    EXPECT_EQ(des.Decrypt(DesCbcEncrypt(key, "v=0\ns=ab\nc=IN...")), "v=0\ns=ab\nc=IN...") << "taken whole";
    // Top bit of the first byte set: the last byte counts the padding.
    auto padded = [](char count) { return std::string("\xF6" "=0\ns=a\nc=IN") + std::string(3, '\0') + count; };
    EXPECT_EQ(des.Decrypt(DesCbcEncrypt(key, padded(3))), std::string("v=0\ns=a\nc=IN\0", 13)) << "cut by 3";
    EXPECT_FALSE(des.Decrypt(DesCbcEncrypt(key, padded(0)))) << "count 0";
    EXPECT_FALSE(des.Decrypt(DesCbcEncrypt(key, padded(8)))) << "count 8";
    EXPECT_EQ(des.Decrypt(DesCbcEncrypt(key, padded(7)))->size(), 9u);
    EXPECT_EQ(des.Decrypt(DesCbcEncrypt(key, padded(1)))->size(), 15u);
}

TEST(EncryptionGroups, FindGroupWalksInTableOrder)
{
    CEncryptionGroups g;
    g[0] = {20000, "keyA", "A"};
    g[2] = {20000, "keyB", "B"};
    g[5] = {30000, "keyC", "C"};
    EXPECT_EQ(g.FindGroup(20000, 0)->index, 0);
    EXPECT_EQ(*g.FindGroup(20000, 1)->key, "keyB");
    EXPECT_FALSE(g.FindGroup(20000, 3));
    EXPECT_FALSE(g.FindGroup(20000, 100));
    EXPECT_EQ(g.FindGroup(0, 0)->index, 1) << "free entries have id 0";
    EXPECT_FALSE(g[1].InUse());
    EXPECT_TRUE((CEncryptionGroup{10000, "", ""}.InUse()));
}

} // namespace
