// Unwrapping SAP datagrams: header, authentication, payload type, zlib and
// gzip, encryption; against datagrams built here and against reference data
// made by independent tools (tests/data/sap/make-data.sh says how).
#include "support/TestEnv.h"

#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

namespace {

const std::string kSdp =
    "v=0\no=u 77 1 IN IP4 10.0.0.1\ns=Unwrapped\nc=IN IP4 224.2.1.1/127\nt=0 0\nm=audio 1 RTP/AVP 0\n";
constexpr ESapAction kAnnounce = ESapAction::Announce, kDelete = ESapAction::Delete, kDrop = ESapAction::Drop;

std::string Header(uint8_t flags, uint8_t authWords = 0)
{
    return std::string{char(flags), char(authWords), 0, 0, 10, 0, 0, 1};
}

// With the address-type bit: a 16-byte originating source, 2001:db8::1.
std::string Header6(uint8_t flags, uint8_t authWords = 0)
{
    std::string h{char(flags), char(authWords), 0x12, 0x34, 0x20, 0x01, 0x0d, char(0xb8)};
    h.append(11, '\0');
    return h + '\x01';
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

// A gzip member with the given header flags and optional fields.
std::string Gzip(const std::string& data, uint8_t flags, const std::string& optional = "", bool goodCrc = true)
{
    std::string out{char(0x1F), char(0x8B), 8, char(flags), 0, 0, 0, 0, 0, 3};
    out += optional + Deflate(data, -15);
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
    for (uint32_t v : {goodCrc ? crc : crc ^ 1, static_cast<uint32_t>(data.size())}) // little-endian
        out += std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    return out;
}

std::string Sized(size_t n, char fill)
{
    std::string s = kSdp;
    s.resize(n, fill);
    return s;
}

std::string Data(const std::string& name) { return ReadTestFile(std::string(TALMIRA_TEST_DATA) + "/sap/" + name); }

TEST(SapCodec, Datagrams)
{
    const std::string z = Deflate(kSdp, 15), enc(4, '\0'), gz = Gzip(kSdp, 0);
    const std::string allFields = Gzip(kSdp, 0x1E, std::string("\x01\x00zn\0c\0\x12\x34", 9));
    const std::string big = Sized(16384, 'a'), gzipHead = "\x1F\x8B\x08";
    std::string corrupt = z, badMethod = gz, badSize = gz;
    corrupt[z.size() / 2] ^= 0x55;
    badMethod[2] = 7;
    badSize[badSize.size() - 4] ^= 1;
    const struct {
        const char* what;
        std::string datagram;
        ESapAction action;
        std::string text; // checked unless dropped
    } cases[] = {
        {"announcement", Header(0x20) + kSdp, kAnnounce, kSdp}, {"deletion", Header(0x24) + kSdp, kDelete, kSdp},
        {"IPv6 origin", Header6(0x30) + kSdp, kAnnounce, kSdp},
        {"IPv6 origin, deletion", Header6(0x34) + kSdp, kDelete, kSdp},
        {"IPv6 origin, reserved bit", Header6(0x38) + kSdp, kDelete, kSdp},
        {"IPv6 origin, authentication", Header6(0x30, 1) + "ABCD" + kSdp, kAnnounce, kSdp},
        {"IPv6 origin, payload type", Header6(0x30) + std::string("application/sdp\0", 16) + kSdp, kAnnounce, kSdp},
        {"IPv6 origin cut short", Header6(0x30).substr(0, 19), kDrop, ""},
        {"IPv6 header only", Header6(0x34), kDelete, ""}, {"reserved bit deletes", Header(0x28) + kSdp, kDelete, kSdp},
        {"empty", "", kDrop, ""}, {"short header", Header(0x20).substr(0, 7), kDrop, ""},
        {"header only", Header(0x20), kAnnounce, ""},
        {"authentication skipped", Header(0x20, 2) + "ABCDEFGH" + kSdp, kAnnounce, kSdp},
        {"authentication has no effect", Header(0x20, 2) + "v=0\ns=no" + kSdp, kAnnounce, kSdp},
        {"authentication past the end", Header(0x20, 2) + "ABCDEFG", kDrop, ""},
        {"authentication of 255 words", Header(0x20, 255) + kSdp, kDrop, ""},
        {"authentication to the end", Header(0x20, 1) + "ABCD", kAnnounce, ""},
        {"5000 bytes", Header(0x20) + std::string(4992, 'x'), kAnnounce, std::string(4992, 'x')},
        {"over 5000 bytes", Header(0x20) + std::string(4993, 'x'), kDrop, ""},
        {"payload type", Header(0x20) + std::string("application/sdp\0", 16) + kSdp, kAnnounce, kSdp},
        {"payload type in any case", Header(0x20) + std::string("Application/SDP\0", 16) + kSdp, kAnnounce, kSdp},
        {"another payload type", Header(0x20) + std::string("text/plain\0", 11) + kSdp, kDrop, ""},
        {"not a type: the text ends at the NUL", Header(0x20) + std::string("hello world\0", 12) + kSdp, kAnnounce,
         "hello world"},
        {"a blank: not a type either", Header(0x20) + std::string("text/x y\0", 9) + kSdp, kAnnounce, "text/x y"},
        {"a NUL after v= ends the text", Header(0x20) + kSdp + std::string("\0a/b", 4), kAnnounce, kSdp},
        {"type inside zlib", Header(0x21) + Deflate(std::string("application/sdp\0", 16) + kSdp, 15), kAnnounce,
         kSdp},
        {"zlib", Header(0x21) + z, kAnnounce, kSdp},
        {"no compression before version 1", Header(0x01) + kSdp, kAnnounce, kSdp},
        {"corrupt zlib", Header(0x21) + corrupt, kDrop, ""},
        {"plain text flagged compressed", Header(0x21) + kSdp, kDrop, ""},
        {"16384 bytes inflated", Header(0x21) + Deflate(big, 15), kAnnounce, big},
        {"16385 bytes inflated", Header(0x21) + Deflate(big + "a", 15), kDrop, ""},
        {"16384 bytes gunzipped", Header(0x21) + Gzip(big, 0), kAnnounce, big},
        {"16385 bytes gunzipped", Header(0x21) + Gzip(big + "a", 0), kDrop, ""},
        {"gzip", Header(0x21) + gz, kAnnounce, kSdp},
        {"gzip extra field", Header(0x21) + Gzip(kSdp, 0x04, std::string("\x03\x00xyz", 5)), kAnnounce, kSdp},
        {"gzip name", Header(0x21) + Gzip(kSdp, 0x08, std::string("name.sdp\0", 9)), kAnnounce, kSdp},
        {"gzip comment", Header(0x21) + Gzip(kSdp, 0x10, std::string("a comment\0", 10)), kAnnounce, kSdp},
        {"gzip header CRC", Header(0x21) + Gzip(kSdp, 0x02, "\x12\x34"), kAnnounce, kSdp},
        {"gzip, all fields", Header(0x21) + allFields, kAnnounce, kSdp},
        {"FTEXT is only a hint", Header(0x21) + Gzip(kSdp, 0x01), kAnnounce, kSdp},
        {"gzip method", Header(0x21) + badMethod, kDrop, ""},
        {"gzip CRC", Header(0x21) + Gzip(kSdp, 0, "", false), kDrop, ""},
        {"gzip size", Header(0x21) + badSize, kDrop, ""},
        {"extra past the end", Header(0x21) + gzipHead + std::string("\x04\0\0\0\0\0\x03\xFF\xFF", 9), kDrop, ""},
        {"extra one short", Header(0x21) + gzipHead + std::string("\x04\0\0\0\0\0\x03\x40\x00", 9)
                                + std::string(0x3F, 'x'), kDrop, ""},
        {"name without end", Header(0x21) + gzipHead + std::string("\x08\0\0\0\0\0\x03no-terminator", 20), kDrop, ""},
        {"comment missing", Header(0x21) + gzipHead + std::string("\x10\0\0\0\0\0\x03", 7), kDrop, ""},
        {"header CRC cut", Header(0x21) + gzipHead + std::string("\x02\0\0\0\0\0\x03\x01", 8), kDrop, ""},
        {"gzip magic only", Header(0x21) + gzipHead, kDrop, ""},
        {"encryption type 2: the text starts at it", Header(0x22) + enc + "\x22" + kSdp, kAnnounce, "\x22" + kSdp},
        {"type 2 alone", Header(0x22) + enc + "\x23", kAnnounce, "\x23"},
        {"encryption type 1", Header(0x22) + enc + "\x21" + kSdp, kDrop, ""},
        {"top bits not 001", Header(0x22) + enc + "\x44" + kSdp, kDrop, ""},
        {"no type byte", Header(0x22) + enc, kDrop, ""},
        {"no key group with id 0 works", Header(0x22) + enc + "\x20" + "1234567", kDrop, ""},
        {"ciphertext not a multiple of 8", Header(0x22) + enc + "\x20" + "1234567" + std::string(15, 'c'), kDrop, ""},
    };
    CEncryptionGroups groups;
    for (const auto& c : cases) {
        const CSapPayload p = UnwrapSapDatagram(c.datagram, groups);
        EXPECT_EQ(p.action, c.action) << c.what << ": " << p.reason;
        if (c.action != kDrop) {
            EXPECT_EQ(p.text, c.text) << c.what;
        }
    }
    for (size_t n : {2047u, 2048u, 2049u, 4096u, 8193u}) // around each growth of the buffer
        EXPECT_EQ(UnwrapSapDatagram(Header(0x21) + Deflate(Sized(n, 'b'), 15), groups).text, Sized(n, 'b')) << n;
    for (uint8_t reserved : {0x20, 0x40, 0x80})
        EXPECT_EQ(UnwrapSapDatagram(Header(0x21) + Gzip(kSdp, reserved), groups).action, kDrop) << int(reserved);
    // Every prefix of a compressed payload is dropped, never read past its end.
    for (const std::string& whole : {z, allFields})
        for (size_t cut = 0; cut < whole.size(); ++cut)
            EXPECT_EQ(UnwrapSapDatagram(Header(0x21) + whole.substr(0, cut), groups).action, kDrop) << cut;
}

TEST(SapCodec, ReferenceDatagrams)
{
    CEncryptionGroups groups;
    groups[0] = {20000, "shared group key A", "A"};
    groups[1] = {0, "", ""};
    groups[2] = {20000, "another key for B", "B"};
    const std::string plain = Data("plain.sdp");
    auto whole = UnwrapSapDatagram(Data("enc-whole-A.sap"), groups);
    ASSERT_EQ(whole.action, kAnnounce) << whole.reason;
    EXPECT_EQ(whole.text.substr(0, plain.size()), plain);
    EXPECT_EQ(whole.text.find_first_not_of(' ', plain.size()), std::string::npos) << "blank filler kept whole";
    // The second group with the same id is tried next; the padding is cut.
    EXPECT_EQ(UnwrapSapDatagram(Data("enc-padded-B.sap"), groups).text, Data("padded.sdp"));
    auto zero = UnwrapSapDatagram(Data("enc-zero-key.sap"), groups);
    EXPECT_EQ(zero.text.substr(0, 4), "v=0\n") << "key id 0 is tried with the free entries' empty keys";
    CEncryptionGroups onlyA;
    onlyA[0] = groups[0];
    EXPECT_EQ(UnwrapSapDatagram(Data("enc-padded-B.sap"), onlyA).action, kDrop);
    EXPECT_EQ(UnwrapSapDatagram(Data("enc-badpad-A.sap"), onlyA).action, kDrop);
    // gzip(1) members, with and without a name.
    const std::string header("\x21\x00\x00\x00\x0a\x00\x00\x01", 8);
    EXPECT_EQ(UnwrapSapDatagram(header + Data("plain-noname.gz"), groups).text, plain);
    EXPECT_EQ(UnwrapSapDatagram(header + Data("plain-name.gz"), groups).text, plain);
    EXPECT_EQ(UnwrapSapDatagram(Data("gzip-name.sap"), groups).text, plain);
}

TEST(SapCodec, DecodeHandsBackAParsedRecord)
{
    CTestEnv t;
    CEncryptionGroups groups;
    auto msg = DecodeSapDatagram(Header(0x20) + kSdp, groups, t.env);
    ASSERT_EQ(msg.action, kAnnounce);
    EXPECT_EQ(msg.record->originSessionId + "|" + msg.record->name, "77|Unwrapped");
    // Origins and deletions of both families: SapAnnounceTest.
    EXPECT_EQ(DecodeSapDatagram(Header(0x20, 9), groups, t.env).origin, "10.0.0.1") << "known for drops too";
    EXPECT_FALSE(DecodeSapDatagram("x", groups, t.env).record);
}

// What is no session description is no announcement: an empty payload, a
// text without a "v=0" line or without an "o=" line with an id, and random
// bytes, which used to become nameless rows.
TEST(SapCodec, TextsThatDescribeNoSessionAreDropped)
{
    CTestEnv t;
    CEncryptionGroups groups;
    const std::pair<std::string, bool> texts[] = {
        {"", false}, {"s=name only\n", false}, {"v=0\ns=no origin\n", false}, {"v=1\no=- 1 1 IN IP4 h\n", false},
        {"o=- 1 1 IN IP4 h\nv=0\n", false}, {"v=0\no=-\n", false}, {"v=0\r\no=- 1 1 IN IP4 h\r\n", true},
        {"junk before v=0\no=x 9 1 IN IP4 h\n", true},
    };
    for (const auto& [text, session] : texts) {
        for (uint8_t flags : {0x20, 0x24}) {
            const auto msg = DecodeSapDatagram(Header(flags) + text, groups, t.env);
            EXPECT_EQ(msg.action == ESapAction::Drop, !session) << text;
            EXPECT_EQ(msg.record != nullptr, session) << text;
        }
    }
    // Random bytes, short ones and ones flagged compressed or encrypted
    // among them: never a crash, never a record.
    std::mt19937 rng(99);
    int kept = 0;
    for (int i = 0; i < 25000; ++i) {
        std::string d(i % 2 ? rng() % 64 : 8 + rng() % 200, '\0');
        for (char& c : d)
            c = static_cast<char>(rng());
        if (!d.empty() && i % 3 != 2)
            d[0] = static_cast<char>(0x20 | (rng() & (i % 2 ? 7 : 4)));
        kept += DecodeSapDatagram(d, groups, t.env).record != nullptr;
    }
    EXPECT_EQ(kept, 0);
}

TEST(SapCodec, OriginAddressText)
{
    CEncryptionGroups groups;
    const std::pair<std::string, std::string> cases[] = {
        {std::string("\0\0\0\0", 4), "0.0.0.0"}, {"\xff\xff\xff\xff", "255.255.255.255"},
        {std::string("\x64\x0a\x09\0", 4), "100.10.9.0"}, {"\xc0\xa8\x63\xc7", "192.168.99.199"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(UnwrapSapDatagram(std::string("\x20\0\0\0", 4) + bytes + kSdp, groups).origin, text);
}

// Every text that differs from another in one byte, or in its length, hashes
// differently; the same bytes hash the same wherever they lie.
TEST(SapCodec, TextHashSeparatesNearIdenticalTexts)
{
    std::string base;
    while (base.size() < 640) // every path of the hash, many times over
        base += kSdp;
    base.resize(640);
    std::string shifted(base.size() + 7, 'x'); // the same bytes at another alignment
    std::vector<uint64_t> hashes;
    for (size_t length = 0; length <= base.size(); ++length) {
        std::string text = base.substr(0, length);
        const uint64_t h = sap::TextHash(text);
        std::copy(text.begin(), text.end(), shifted.begin() + 3);
        ASSERT_EQ(sap::TextHash(std::string_view(shifted).substr(3, length)), h) << length;
        hashes.push_back(h);
        for (size_t at = 0; at < length; ++at) {
            text[at] ^= 0x01;
            hashes.push_back(sap::TextHash(text));
            text[at] ^= 0x01;
        }
    }
    EXPECT_EQ(std::count(hashes.begin(), hashes.end(), 0u), 0);
    std::sort(hashes.begin(), hashes.end());
    EXPECT_EQ(std::adjacent_find(hashes.begin(), hashes.end()), hashes.end()) << "a collision";
}

// The plain reading of the origin id: first "v=", first "\no=" after it,
// second field of that line.
std::string_view PlainOriginSessionIdOf(std::string_view text)
{
    const size_t v = text.find("v=");
    const size_t o = v == std::string_view::npos ? v : text.find("\no=", v);
    if (o == std::string_view::npos)
        return {};
    std::string_view line = text.substr(o + 3);
    line = line.substr(0, line.find_first_of("\r\n"));
    const size_t user = line.find(' ');
    return user == std::string_view::npos ? std::string_view() : line.substr(user + 1, line.substr(user + 1).find(' '));
}

TEST(SapCodec, OriginSessionIdIsReadWithoutParsing)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"v=0\no=alice 2890844526 1 IN IP4 h\ns=x", "2890844526"},
        {"junk v=0\r\no=alice 2890844526 1 IN IP4 h\r\ns=x", "2890844526"},
        {"v=0\no=a-rather-long\tuser\x01name 123456789012345678", "123456789012345678"},
        {"v=0\no=u\xE9\xFF 42\r", "42"}, {"v=0\no=alice\r 77 1", ""}, {"v=0\no=alice 77\n 1", "77"},
        {"v=0\no=alice", ""}, {"o=alice 1\nv=0\n", ""}, {"v=0\ns=no origin\n", ""}, {"", ""}, {"v", ""},
    };
    for (const auto& [text, id] : cases)
        EXPECT_EQ(sap::OriginSessionIdOf(text), id) << text;
    // Short random texts over the bytes that matter, against the plain reading.
    std::mt19937 rng(99);
    const std::string_view alphabet("vo=\n\r \t1a\x80\0", 11);
    for (int i = 0; i < 200000; ++i) {
        std::string text = i % 2 ? "v=0\no=" : "";
        for (size_t n = rng() % 40; n > 0; --n)
            text += alphabet[rng() % alphabet.size()];
        ASSERT_EQ(sap::OriginSessionIdOf(text), PlainOriginSessionIdOf(text)) << testing::PrintToString(text);
    }
}

} // namespace
