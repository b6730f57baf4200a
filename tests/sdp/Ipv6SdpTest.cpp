// IPv6 connections: what the record holds, what the writer gives back, the
// group a directory listens on, and the used groups the wizard avoids.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::string kHead = "v=0\no=- 7 1 IN IP6 2001:db8::7\ns=Six\n";

TEST(Ipv6Sdp, AddressCountTtlAndTheWrittenConnection)
{
    struct Row {
        const char* what;
        std::string body;   // after the head: connections and media
        const char* address;
        int ttl, count;
        std::string written; // the media's connection line as written (IPv4: the parser's and writer's tables)
    };
    for (const Row& row : std::initializer_list<Row>{
             {"media line, one group", "m=audio 5004 RTP/AVP 0\nc=IN IP6 ff0e::1234\n", "ff0e::1234", 127, 1,
              "c=IN IP6 ff0e::1234\r\n"},
             {"media line, three groups", "m=audio 5004 RTP/AVP 0\nc=IN IP6 ff0e::1234/3\n", "ff0e::1234", 127, 3,
              "c=IN IP6 ff0e::1234/3\r\n"},
             {"from the session line", "c=IN IP6 ff15::9/2\nt=0 0\nm=video 5006 RTP/AVP 96\n", "ff15::9", 127, 2,
              "c=IN IP6 ff15::9/2\r\n"},
             {"lower-case type kept", "m=audio 5004 RTP/AVP 0\nc=IN ip6 ff02::1:3\n", "ff02::1:3", 127, 1,
              "c=IN ip6 ff02::1:3\r\n"},
             {"a type of its own, no address", "c=IN IP4 239.1.1.1/5\nt=0 0\nm=audio 1 RTP/AVP 0\nc=IN IP6\n",
              "239.1.1.1", 127, 5, "c=IN IP6 239.1.1.1/5\r\n"}}) {
        CTestEnv t;
        auto r = t.Parse(kHead + row.body);
        ASSERT_EQ(r->media.size(), 1u) << row.what;
        const CSDPMedia& m = r->media[0];
        EXPECT_EQ(std::tuple(std::string(m.address), m.ttl, m.addressCount), std::tuple(row.address, row.ttl, row.count))
            << row.what;
        const std::string out = WrittenSdp(*r);
        EXPECT_NE(out.find(row.written), std::string::npos) << row.what << "\n" << out;
        // Written and read again, the text comes back the same.
        EXPECT_EQ(WrittenSdp(*t.Parse(out)), out) << row.what;
    }
}

TEST(Ipv6Sdp, DirectoryGroupIsTheLastDirectoryEntrysMulticastIpv6Address)
{
    CTestEnv t;
    auto group = [&](const std::string& media) { return Ipv6DirectoryGroup(*t.Parse(kHead + media)); };
    EXPECT_EQ(group("m=directory 9875 SAP/SDP 14\nc=IN IP6 ff0e::2:7ffe\n"), text::ParseIpv6("ff0e::2:7ffe"));
    EXPECT_EQ(group("c=IN IP6 ff05::2:7ffe\nt=0 0\nm=directory 9875 SAP/SDP 14\n"), text::ParseIpv6("ff05::2:7ffe"));
    EXPECT_EQ(group("m=directory 9875 SAP/SDP 14\nc=IN IP4 224.2.127.254/127\n"), std::nullopt);
    EXPECT_EQ(group("m=directory 9875 SAP/SDP 14\nc=IN IP6 2001:db8::1\n"), std::nullopt) << "unicast";
    EXPECT_EQ(group("m=directory 9875 SAP/SDP 14\nc=IN IP6 ff0e::zz\n"), std::nullopt);
    EXPECT_EQ(group("m=audio 9875 RTP/AVP 0\nc=IN IP6 ff0e::2:7ffe\n"), std::nullopt) << "no directory entry";
    EXPECT_EQ(group("m=directory 9875 SAP/SDP 14\nc=IN IP6 ff0e::2:7ffe\nm=directory 9876 SAP/SDP 14\n"
                    "c=IN IP4 239.1.1.1/15\n"),
              std::nullopt)
        << "the last entry is IPv4";
    // The IPv4 group of an IPv6 directory stays 0: nothing else joins it.
    auto six = t.Parse(kHead + "m=directory 9875 SAP/SDP 14\nc=IN IP6 ff08::2:7ffe\n");
    EXPECT_EQ(std::tuple(six->sessionType, six->links->directoryGroup, six->links->directoryPort),
              std::tuple(static_cast<int>(kTypeDirectory), 0u, uint16_t{9875}));
}

TEST(Ipv6Sdp, UsedGroupsAreHeardKeptUntilTheirEndAndAvoided)
{
    CTestEnv t;
    const int64_t now = t.clock.Now();
    t.Parse(kHead + "t=0 " + std::to_string(now + 100 + kNtpUnixOffset) + "\nm=audio 1 RTP/AVP 0\nc=IN IP6 ff1e::5\n");
    t.Parse(kHead + "t=0 0\nm=audio 1 RTP/AVP 0\nc=IN IP6 ff1e::6\n");
    t.Parse(kHead + "t=0 0\nm=audio 1 RTP/AVP 0\nc=IN IP4 239.9.9.9/15\n");
    EXPECT_EQ(t.used.Size(), 3u);
    const auto five = *text::ParseIpv6("ff1e::5"), six = *text::ParseIpv6("ff1e::6");
    EXPECT_FALSE(t.used.IsIpv6AddressFree(five, now));
    EXPECT_FALSE(t.used.IsIpv6AddressFree(six, now + 1'000'000)) << "no end: always in use";
    EXPECT_TRUE(t.used.IsIpv6AddressFree(five, now + 101)) << "ended";
    EXPECT_TRUE(t.used.IsIpv6AddressFree(*text::ParseIpv6("ff1e::7"), now));

    // A draw in a scope: ff1X with the transient flag, the rest from the
    // draws; a group in use is drawn past.
    // The first 14 draws make ff15:ffff:...:ffff, which is taken.
    CScriptedRandom draws{};
    for (int i = 0; i < 14; ++i)
        draws.Push(0x1FF);
    draws.Push(0x102);
    CUsedAddressList used;
    text::CIpv6Address taken{};
    taken.fill(0xFF);
    taken[1] = 0x15;
    used.AddIpv6(taken, 0);
    const auto picked = used.PickFreeIpv6Address(0x5, draws, 0);
    ASSERT_TRUE(picked);
    EXPECT_EQ(text::Ipv6Text(*picked), "ff15:202:202:202:202:202:202:202");
    CScriptedRandom global{0x42};
    EXPECT_EQ(text::Ipv6Text(*CUsedAddressList().PickFreeIpv6Address(0xE, global, 0)),
              "ff1e:4242:4242:4242:4242:4242:4242:4242");
}

} // namespace
