// Our own datagrams: the header announcing writes, read back by the
// reception path, from an IPv4 and from an IPv6 originating source.
#include "support/TestEnv.h"

#include "sap/EncryptionGroups.h"
#include "sap/SapAnnounce.h"
#include "sap/SapCodec.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <tuple>

namespace {

const std::string kText = "v=0\no=alice 2890844526 2 IN IP6 2001:db8::7\ns=Six\nc=IN IP6 ff0e::1234/2\nt=0 0\n"
                          "m=audio 5004 RTP/AVP 96\na=rtpmap:96 L24/48000/2\n";

TEST(SapAnnounce, HeaderOfEachAddressFamilyIsReadBackToTheSameOriginAndText)
{
    CTestEnv t;
    CEncryptionGroups groups;
    struct Row {
        std::optional<std::string> datagram;
        size_t header;
        uint8_t flags;
        std::string origin;
        ESapAction action;
    };
    const text::CIpv6Address six = *text::ParseIpv6("2001:db8::7");
    const text::CIpv6Address linkLocal = *text::ParseIpv6("fe80::a8bb:ccff:fedd:eeff");
    for (const Row& row : std::initializer_list<Row>{
             {sap::BuildAnnouncement(kText, false, inet_addr("192.0.2.9")), 8, 0x20, "192.0.2.9", ESapAction::Announce},
             {sap::BuildAnnouncement(kText, true, inet_addr("192.0.2.9")), 8, 0x24, "192.0.2.9", ESapAction::Delete},
             {sap::BuildAnnouncement(kText, false, six), 20, 0x30, "2001:db8::7", ESapAction::Announce},
             {sap::BuildAnnouncement(kText, true, six), 20, 0x34, "2001:db8::7", ESapAction::Delete},
             {sap::BuildAnnouncement(kText, false, linkLocal), 20, 0x30, "fe80::a8bb:ccff:fedd:eeff",
              ESapAction::Announce},
             {sap::BuildAnnouncement(kText, false, text::CIpv6Address{}), 20, 0x30, "::", ESapAction::Announce}}) {
        ASSERT_TRUE(row.datagram);
        const std::string& d = *row.datagram;
        EXPECT_EQ(d.size(), row.header + kText.size());
        EXPECT_EQ(static_cast<uint8_t>(d[0]), row.flags);
        EXPECT_EQ(d.substr(1, 3), std::string(3, '\0')) << "no authentication, hash 0";
        EXPECT_EQ(d.substr(row.header), kText);
        const CSapMessage m = DecodeSapDatagram(d, groups, t.env);
        ASSERT_EQ(m.action, row.action) << m.reason;
        ASSERT_TRUE(m.record) << "a deletion keeps its record too";
        EXPECT_EQ(m.origin, row.origin);
        EXPECT_EQ(m.record->announcedFrom, sap::OriginKey(row.origin));
        EXPECT_EQ(m.record->media.at(0).address, "ff0e::1234");
    }
    // The store's key of a source we send with is the one reception gives.
    EXPECT_EQ(sap::OriginKey(six), sap::OriginKey(std::string_view("2001:db8::7")));
    EXPECT_NE(sap::OriginKey(six), sap::OriginKey(linkLocal));
}

TEST(SapAnnounce, LongestTextFitsTheSendBufferWithEitherHeader)
{
    const text::CIpv6Address six{0xFF};
    for (const auto& [size, fits4, fits6] : {std::tuple(2027u, true, true), std::tuple(2028u, true, false),
                                             std::tuple(2039u, true, false), std::tuple(2040u, false, false)}) {
        const std::string body(size, 'x');
        EXPECT_EQ(sap::BuildAnnouncement(body, false, 0x01020304u).has_value(), fits4) << size;
        EXPECT_EQ(sap::BuildAnnouncement(body, false, six).has_value(), fits6) << size;
    }
}

} // namespace
