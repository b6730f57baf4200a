#include "support/TestEnv.h"

#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <nettle/cbc.h>
#include <nettle/des.h>

#include <random>

namespace {

const std::string kSdp = "v=0\no=u 77 1 IN IP4 10.0.0.1\ns=Unwrapped\nc=IN IP4 224.2.1.1/127\nt=0 0\nm=audio 1 RTP/AVP 0\n";

std::string Header(uint8_t flags, uint8_t authWords = 0)
{
    return std::string{char(flags), char(authWords), 0, 0, 10, 0, 0, 1};
}

std::string Deflate(const std::string& data, int windowBits)
{
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string Le32(uint32_t v)
{
    return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}

// A gzip member with the given header flags and optional fields.
std::string Gzip(const std::string& data, uint8_t flags, const std::string& optional, bool goodCrc = true)
{
    std::string out{char(0x1F), char(0x8B), 8, char(flags), 0, 0, 0, 0, 0, 3};
    out += optional;
    out += Deflate(data, -15);
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    out += Le32(goodCrc ? crc : crc ^ 1);
    out += Le32(static_cast<uint32_t>(data.size()));
    return out;
}

struct Unwrap : ::testing::Test {
    CEncryptionGroups groups;
    CSapPayload Run(const std::string& d) { return UnwrapSapDatagram(d, groups); }
};

TEST_F(Unwrap, HeaderFlagsDecideAnnounceOrDelete)
{
    EXPECT_EQ(Run(Header(0x20) + kSdp).action, ESapAction::Announce);
    EXPECT_EQ(Run(Header(0x24) + kSdp).action, ESapAction::Delete);
    EXPECT_EQ(Run(Header(0x30) + kSdp).action, ESapAction::Delete);
    EXPECT_EQ(Run(Header(0x28) + kSdp).action, ESapAction::Delete);
    EXPECT_EQ(Run(Header(0x20) + kSdp).text, kSdp);
}

TEST_F(Unwrap, ShortAndAuthenticatedDatagrams)
{
    EXPECT_EQ(Run("").action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x20).substr(0, 7)).action, ESapAction::Drop);
    auto eight = Run(Header(0x20));
    EXPECT_EQ(eight.action, ESapAction::Announce);
    EXPECT_EQ(eight.text, "");

    EXPECT_EQ(Run(Header(0x20, 2) + "ABCDEFGH" + kSdp).text, kSdp);
    EXPECT_EQ(Run(Header(0x20, 2) + "v=0\ns=no" + kSdp).text, kSdp) << "auth bytes have no effect";
    EXPECT_EQ(Run(Header(0x20, 2) + "ABCDEFG").action, ESapAction::Drop) << "auth past the end";
    EXPECT_EQ(Run(Header(0x20, 255) + kSdp).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x20, 1) + "ABCD").action, ESapAction::Announce);

    EXPECT_EQ(Run(Header(0x20) + std::string(4992, 'x')).action, ESapAction::Announce);
    EXPECT_EQ(Run(Header(0x20) + std::string(4993, 'x')).action, ESapAction::Drop) << "over 5000 bytes";
}

TEST_F(Unwrap, PayloadTypeBeforeTheText)
{
    EXPECT_EQ(Run(Header(0x20) + std::string("application/sdp\0", 16) + kSdp).text, kSdp);
    EXPECT_EQ(Run(Header(0x20) + std::string("Application/SDP\0", 16) + kSdp).text, kSdp);
    EXPECT_EQ(Run(Header(0x20) + std::string("text/plain\0", 11) + kSdp).action, ESapAction::Drop);
    // Not a MIME type: read as before, the text ends at the NUL.
    auto notType = Run(Header(0x20) + std::string("hello world\0", 12) + kSdp);
    EXPECT_EQ(notType.action, ESapAction::Announce);
    EXPECT_EQ(notType.text, "hello world");
    // A NUL after the first "v=" is the end of the text.
    EXPECT_EQ(Run(Header(0x20) + kSdp + std::string("\0a/b", 4)).text, kSdp);
    // The type inside a compressed payload.
    EXPECT_EQ(Run(Header(0x21) + Deflate(std::string("application/sdp\0", 16) + kSdp, 15)).text, kSdp);
}

TEST_F(Unwrap, ZlibStreams)
{
    EXPECT_EQ(Run(Header(0x21) + Deflate(kSdp, 15)).text, kSdp);
    EXPECT_EQ(Run(Header(0x01) + kSdp).text, kSdp) << "no compression before version 1";
    EXPECT_EQ(Run(Header(0x01) + kSdp).action, ESapAction::Announce);

    const std::string z = Deflate(kSdp, 15);
    for (size_t cut = 0; cut < z.size(); ++cut)
        EXPECT_EQ(Run(Header(0x21) + z.substr(0, cut)).action, ESapAction::Drop) << "cut at " << cut;
    std::string corrupt = z;
    corrupt[z.size() / 2] ^= 0x55;
    EXPECT_EQ(Run(Header(0x21) + corrupt).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + kSdp).action, ESapAction::Drop) << "plain text flagged as compressed";
}

TEST_F(Unwrap, InflatedSizeLimit)
{
    std::string exact = kSdp;
    exact.resize(16384, 'a');
    auto ok = Run(Header(0x21) + Deflate(exact, 15));
    EXPECT_EQ(ok.action, ESapAction::Announce);
    EXPECT_EQ(ok.text.size(), 16384u);
    EXPECT_EQ(Run(Header(0x21) + Deflate(exact + "a", 15)).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + Gzip(exact, 0, "")).text.size(), 16384u);
    EXPECT_EQ(Run(Header(0x21) + Gzip(exact + "a", 0, "")).action, ESapAction::Drop);

    // Buffer growth boundaries: sizes around each doubling.
    for (size_t n : {2047u, 2048u, 2049u, 4096u, 8193u}) {
        std::string s = kSdp;
        s.resize(n, 'b');
        EXPECT_EQ(Run(Header(0x21) + Deflate(s, 15)).text, s) << n;
    }
}

TEST_F(Unwrap, GzipHeaderFields)
{
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0, "")).text, kSdp);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0x04, std::string("\x03\x00xyz", 5))).text, kSdp);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0x08, std::string("name.sdp\0", 9))).text, kSdp);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0x10, std::string("a comment\0", 10))).text, kSdp);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0x02, "\x12\x34")).text, kSdp);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0x1E, std::string("\x01\x00zn\0c\0\x12\x34", 9))).text, kSdp);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0x01, "")).text, kSdp) << "FTEXT is only a hint";
    for (uint8_t reserved : {0x20, 0x40, 0x80})
        EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, reserved, "")).action, ESapAction::Drop);

    std::string badMethod = Gzip(kSdp, 0, "");
    badMethod[2] = 7;
    EXPECT_EQ(Run(Header(0x21) + badMethod).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + Gzip(kSdp, 0, "", false)).action, ESapAction::Drop) << "CRC";
    std::string badSize = Gzip(kSdp, 0, "");
    badSize[badSize.size() - 4] ^= 1;
    EXPECT_EQ(Run(Header(0x21) + badSize).action, ESapAction::Drop) << "size";
}

TEST_F(Unwrap, GzipLengthsPastTheEnd)
{
    const std::string g = "\x1F\x8B\x08";
    EXPECT_EQ(Run(Header(0x21) + g + std::string("\x04\0\0\0\0\0\x03\xFF\xFF", 9)).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + g + std::string("\x04\0\0\0\0\0\x03\x40\x00", 9) + std::string(0x3F, 'x')).action,
              ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + g + std::string("\x08\0\0\0\0\0\x03no-terminator", 20)).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + g + std::string("\x10\0\0\0\0\0\x03", 7)).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + g + std::string("\x02\0\0\0\0\0\x03\x01", 8)).action, ESapAction::Drop);
    EXPECT_EQ(Run(Header(0x21) + g).action, ESapAction::Drop);
    // Every prefix of a full member is dropped, never read past its end.
    const std::string full = Gzip(kSdp, 0x1E, std::string("\x01\x00zn\0c\0\x12\x34", 9));
    for (size_t cut = 0; cut < full.size(); ++cut)
        EXPECT_EQ(Run(Header(0x21) + full.substr(0, cut)).action, ESapAction::Drop) << cut;
}

TEST_F(Unwrap, EncryptionTypesAndHeader)
{
    const std::string enc(4, '\0');
    EXPECT_EQ(Run(Header(0x22) + enc + "\x22" + kSdp).text, "\x22" + kSdp.substr(0, kSdp.size()))
        << "type 2: the text starts at the type byte";
    EXPECT_EQ(Run(Header(0x22) + enc + "\x23").action, ESapAction::Announce);
    EXPECT_EQ(Run(Header(0x22) + enc + "\x21" + kSdp).action, ESapAction::Drop) << "type 1";
    EXPECT_EQ(Run(Header(0x22) + enc + "\x44" + kSdp).action, ESapAction::Drop) << "top bits not 001";
    EXPECT_EQ(Run(Header(0x22) + enc).action, ESapAction::Drop) << "no type byte";
    EXPECT_EQ(Run(Header(0x22) + enc + "\x20" + "1234567").action, ESapAction::Drop) << "no key group with id 0 works";
    EXPECT_EQ(Run(Header(0x22) + enc + "\x20" + "1234567" + std::string(15, 'c')).action, ESapAction::Drop)
        << "ciphertext not a multiple of 8";
}

TEST(DesKey, ParityAndEmptyKey)
{
    EXPECT_EQ(DeriveDesKey(""), CDesKey{});
    for (const char* text : {"a", "shared group key A", "another key for B", "12345678"}) {
        for (uint8_t b : DeriveDesKey(text))
            EXPECT_EQ(__builtin_popcount(b) % 2, 1) << text;
    }
}

std::string DesCbcEncrypt(const CDesKey& key, std::string plain)
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
    EXPECT_EQ(*des.Decrypt(DesCbcEncrypt(key, "v=0\ns=ab\nc=IN...")), "v=0\ns=ab\nc=IN...") << "taken whole";
    auto padded = [](char count) { return std::string("\xF6" "=0\ns=a\nc=IN") + std::string(3, '\0') + count; };
    EXPECT_EQ(*des.Decrypt(DesCbcEncrypt(key, padded(3))), std::string("v=0\ns=a\nc=IN\0", 13)) << "cut by 3";
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
    auto first = g.FindGroup(20000, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->index, 0);
    auto second = g.FindGroup(20000, first->index + 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second->key, "keyB");
    EXPECT_FALSE(g.FindGroup(20000, 3));
    EXPECT_FALSE(g.FindGroup(20000, 100));
    EXPECT_EQ(g.FindGroup(0, 0)->index, 1) << "free entries have id 0";
    EXPECT_FALSE(g[1].InUse());
    EXPECT_TRUE((CEncryptionGroup{10000, "", ""}.InUse()));
}

TEST(SapDecode, HandsBackAParsedRecord)
{
    CTestEnv t;
    CEncryptionGroups groups;
    auto msg = DecodeSapDatagram(Header(0x20) + kSdp, groups, t.env);
    ASSERT_EQ(msg.action, ESapAction::Announce);
    ASSERT_TRUE(msg.record);
    EXPECT_EQ(msg.record->name, "Unwrapped");
    auto empty = DecodeSapDatagram(Header(0x24), groups, t.env);
    ASSERT_TRUE(empty.record) << "an 8-byte datagram gives a record with defaults";
    EXPECT_EQ(empty.action, ESapAction::Delete);
    EXPECT_EQ(empty.record->name, "");
    EXPECT_FALSE(DecodeSapDatagram("x", groups, t.env).record);
}

TEST(SapDecode, RandomBytesNeverCrash)
{
    CEncryptionGroups groups;
    groups[0] = {0, "", ""};
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        std::string d(rng() % 64, '\0');
        for (char& c : d)
            c = static_cast<char>(rng());
        if (d.size() > 0 && i % 3 == 0)
            d[0] = static_cast<char>(0x20 | (rng() & 3));
        (void)UnwrapSapDatagram(d, groups);
    }
}

} // namespace
