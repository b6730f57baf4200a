// The IPv6 SAP directories: made at start when the network has IPv6, heard
// on their groups, announced into with an IPv6 header, and kept by the cache.
#include "DocFixture.h"

#include "directory/AdminScope.h"
#include "sap/SapCodec.h"

#include <gmock/gmock.h>

#include <tuple>

namespace {

class Ipv6StoreTest : public InstallDirTest {
protected:
    std::unique_ptr<CSessionStore> Restart(bool ipv6)
    {
        auto next = InstallDirTest::Restart();
        next->SetIpv6Scopes(ipv6);
        return next;
    }
    static std::string Group(const CFakeSapNetwork::Socket& s) { return s.group6 ? text::Ipv6Text(*s.group6) : ""; }
};

TEST_F(Ipv6StoreTest, StartAddsTheFourScopesOnTheirGroupsOnlyWhenIpv6IsOn)
{
    doc->SetIpv6Scopes(true);
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_THAT(Names(doc->MainList()),
                testing::ElementsAre("TTL Scope", "IPv6 Link", "IPv6 Site", "IPv6 Organization", "IPv6 Global"));
    std::vector<std::tuple<std::string, uint32_t, uint16_t>> opened;
    for (const auto& s : net.sockets)
        opened.emplace_back(Group(*s), s->group, s->port);
    EXPECT_THAT(opened, testing::ElementsAre(std::tuple("", inet_addr("224.2.127.254"), 9875),
                                             std::tuple("ff02::2:7ffe", 0u, 9875), std::tuple("ff05::2:7ffe", 0u, 9875),
                                             std::tuple("ff08::2:7ffe", 0u, 9875), std::tuple("ff0e::2:7ffe", 0u, 9875)));
    for (const auto& r : doc->MainList())
        EXPECT_EQ(r->sessionType, kTypeScopeDirectory);
    EXPECT_EQ(Ipv6SapScopeOf(*FindScopeDirectory(*doc, "IPv6 Global"))->scope, 0xE);
    EXPECT_EQ(Ipv6SapScopeOf(*doc->MainList().Front()), nullptr);

    // Off (a setting, or no IPv6 on the interface): the TTL Scope alone.
    auto off = Restart(false);
    ASSERT_TRUE(off->OnNewDocument());
    EXPECT_THAT(Names(off->MainList()), testing::ElementsAre("TTL Scope"));
    // On, but without IPv6 sockets: listed, unheard.
    net.hasIpv6 = false;
    const size_t before = net.sockets.size();
    auto unheard = Restart(true);
    ASSERT_TRUE(unheard->OnNewDocument());
    EXPECT_EQ(std::tuple(unheard->MainList().Size(), net.sockets.size() - before), std::tuple(5u, 1u));
    EXPECT_FALSE(FindScopeDirectory(*unheard, "IPv6 Link")->links->directoryReceiver);
}

TEST_F(Ipv6StoreTest, OwnSessionInAnIpv6DirectoryGoesOutWithTheIpv6Header)
{
    doc->SetIpv6Scopes(true);
    ASSERT_TRUE(doc->OnNewDocument());
    auto global = FindScopeDirectory(*doc, "IPv6 Global");
    ASSERT_TRUE(global);
    auto own = t.Parse("v=0\no=- 42 1 IN IP6 2001:db8::10\ns=Mine\nc=IN IP6 ff1e::4242\nt=0 0\nm=audio 5004 RTP/AVP 0\n");
    own->own = 1;
    own->announceTtl = 127;
    doc->AddSession(own, global);
    ASSERT_EQ(net.sent.size(), 1u);
    const auto& d = net.sent[0];
    EXPECT_EQ(d.Flags(), sap::kFlagAnnounce | sap::kFlagAddressType);
    EXPECT_EQ(d.datagram.substr(4, 16), std::string(reinterpret_cast<const char*>(net.source6.data()), 16));
    const std::string text = WrittenSdp(*own);
    EXPECT_EQ(d.Payload(), text);
    EXPECT_EQ(own->announcedFrom, sap::OriginKey(net.source6));

    // Its own echo changes nothing; the withdrawal carries the same header.
    const int64_t sentAt = own->lastHeard;
    t.clock.Advance(20);
    auto echo = t.Parse(text);
    echo->announcedFrom = sap::OriginKey(std::string_view("2001:db8::10"));
    doc->OnSapMessage(ESapAction::Announce, echo, global);
    EXPECT_EQ(own->lastHeard, sentAt);
    EXPECT_EQ(doc->RemoveSession(own), 1);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(std::tuple(net.sent[1].Flags(), net.sent[1].Payload()),
              std::tuple(sap::kFlagDelete | sap::kFlagAddressType, text));
}

TEST_F(Ipv6StoreTest, HeardIpv6DirectoriesNestAndTheCacheKeepsThemWithoutAFormatChange)
{
    doc->SetIpv6Scopes(true);
    ASSERT_TRUE(doc->OnNewDocument());
    auto site = FindScopeDirectory(*doc, "IPv6 Site");
    const std::string v6dir = "v=0\no=- 900 1 IN IP6 2001:db8::9\ns=Campus six\nm=directory 9875 SAP/SDP 14\n"
                              "c=IN IP6 ff15::2:7ffe\n";
    doc->OnSapMessage(ESapAction::Announce, t.Parse(v6dir), site);
    // The same group and port as the one above it: refused.
    doc->OnSapMessage(ESapAction::Announce,
                      t.Parse("v=0\no=- 901 1 IN IP6 2001:db8::9\ns=Loop\nm=directory 9875 SAP/SDP 14\n"
                              "c=IN IP6 ff05::2:7ffe\n"),
                      site);
    doc->OnSapMessage(ESapAction::Announce,
                      t.Parse("v=0\no=- 55 3 IN IP6 2001:db8::9\ns=Talk\nc=IN IP6 ff15::77/2\nt=0 0\n"
                              "m=audio 5004 RTP/AVP 0\n"),
                      site);
    auto campus = site->links->children->FindById("900");
    ASSERT_TRUE(campus && net.SocketOf(*campus));
    EXPECT_EQ(Group(*net.SocketOf(*campus)), "ff15::2:7ffe");
    EXPECT_FALSE(site->links->children->FindById("901")) << "the group of the directory above, as for IPv4";

    // Announced again on another group, the directory moves there.
    doc->OnSapMessage(ESapAction::Announce, t.Parse(v6dir.substr(0, v6dir.find("c=")) + "c=IN IP6 ff15::3:7ffe\n"), site);
    ASSERT_EQ(site->links->children->FindById("900"), campus);
    EXPECT_FALSE(net.sockets[net.sockets.size() - 2]->open);
    EXPECT_EQ(std::tuple(Group(*net.sockets.back()), net.sockets.back()->directory.lock()),
              std::tuple("ff15::3:7ffe", campus));
    doc->OnSapMessage(ESapAction::Announce, t.Parse(v6dir), site);

    // The IPv6 directories store group 0 and name their group in their own
    // media: the cache format is the one it was.
    ASSERT_TRUE(doc->OnCloseDocument());
    const size_t opened = net.sockets.size();

    auto next = Restart(true);
    ASSERT_TRUE(next->OnNewDocument());
    EXPECT_TRUE(prompter.shown.empty());
    auto site2 = FindScopeDirectory(*next, "IPv6 Site");
    ASSERT_TRUE(site2);
    auto campus2 = site2->links->children->FindById("900");
    auto talk = site2->links->children->FindById("55");
    ASSERT_TRUE(campus2 && talk);
    EXPECT_EQ(Group(*net.SocketOf(*campus2)), "ff15::2:7ffe");
    EXPECT_EQ(std::tuple(std::string(talk->media[0].address), talk->media[0].addressCount), std::tuple("ff15::77", 2));
    EXPECT_NE(WrittenSdp(*talk).find("c=IN IP6 ff15::77/2\r\n"), std::string::npos);
    EXPECT_GT(net.sockets.size(), opened);

    // A start without IPv6 drops the IPv6 scope directories the cache holds.
    ASSERT_TRUE(next->OnCloseDocument());
    auto without = Restart(false);
    ASSERT_TRUE(without->OnNewDocument());
    EXPECT_THAT(Names(without->MainList()), testing::ElementsAre("TTL Scope"));
}

} // namespace
