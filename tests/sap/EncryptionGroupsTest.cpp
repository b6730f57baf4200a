// Checks against data made by independent tools (openssl, gzip): see
// tests/data/sap/make-data.sh for how each file was produced.
#include "support/TestEnv.h"

#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"

#include <gtest/gtest.h>

namespace {

std::string Data(const std::string& name)
{
    return ReadTestFile(std::string(TALMIRA_TEST_DATA) + "/sap/" + name);
}

std::string Hex(const CDesKey& key)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : key) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

TEST(Reference, KeyDerivationMatchesOpensslDigest)
{
    EXPECT_EQ(Hex(DeriveDesKey("shared group key A")), Trimmed(Data("keyA.hex")));
    EXPECT_EQ(Hex(DeriveDesKey("another key for B")), Trimmed(Data("keyB.hex")));
}

struct ReferenceGroups : ::testing::Test {
    CEncryptionGroups groups;
    void SetUp() override
    {
        groups[0] = {20000, "shared group key A", "A"};
        groups[1] = {0, "", ""};
        groups[2] = {20000, "another key for B", "B"};
    }
};

TEST_F(ReferenceGroups, WholePlaintextWithTheFirstKey)
{
    auto p = UnwrapSapDatagram(Data("enc-whole-A.sap"), groups);
    ASSERT_EQ(p.action, ESapAction::Announce) << p.reason;
    const std::string plain = Data("plain.sdp");
    EXPECT_EQ(p.text.substr(0, plain.size()), plain);
    EXPECT_EQ(p.text.find_first_not_of(' ', plain.size()), std::string::npos) << "blank filler kept whole";
}

TEST_F(ReferenceGroups, SecondGroupOfTheSameIdIsTriedNext)
{
    auto p = UnwrapSapDatagram(Data("enc-padded-B.sap"), groups);
    ASSERT_EQ(p.action, ESapAction::Announce) << p.reason;
    EXPECT_EQ(p.text, Data("padded.sdp")) << "top bit cleared, padding cut";
    groups[2].id = 0;
    EXPECT_EQ(UnwrapSapDatagram(Data("enc-padded-B.sap"), groups).action, ESapAction::Drop);
}

TEST_F(ReferenceGroups, BadPaddingAndTheZeroKey)
{
    CEncryptionGroups onlyA;
    onlyA[0] = groups[0];
    EXPECT_EQ(UnwrapSapDatagram(Data("enc-badpad-A.sap"), onlyA).action, ESapAction::Drop);
    auto zero = UnwrapSapDatagram(Data("enc-zero-key.sap"), groups);
    ASSERT_EQ(zero.action, ESapAction::Announce) << "key id 0 is tried with the free entries' empty keys";
    EXPECT_EQ(zero.text.substr(0, 4), "v=0\n");
}

TEST(ReferenceGzip, MembersMadeByGzip)
{
    CEncryptionGroups groups;
    const std::string plain = Data("plain.sdp");
    const std::string header("\x21\x00\x00\x00\x0a\x00\x00\x01", 8);
    EXPECT_EQ(UnwrapSapDatagram(header + Data("plain-noname.gz"), groups).text, plain);
    EXPECT_EQ(UnwrapSapDatagram(header + Data("plain-name.gz"), groups).text, plain);
    EXPECT_EQ(UnwrapSapDatagram(Data("gzip-name.sap"), groups).text, plain);
}

} // namespace
