// What the receiver learns from a session description.
#include "support/TestEnv.h"

#include "reception/ReceptionPlan.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

uint32_t Ip(const char* text) { return inet_addr(text); }

TEST(ReceptionPlan, GroupsPortsClocksAndFormats)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                     "m=audio 5004 RTP/AVP 96 0 8\na=rtpmap:96 L24/48000/2\na=rtpmap:8 PCMA/8000\n"
                     "m=video 5006/2 RTP/AVP 33\nc=IN IP4 239.1.1.2/32\n"
                     "m=video 1234 udp 33\n"
                     "m=audio 6000 RTP/AVP 97\na=rtpmap:97 opus\n");
    const CReceptionPlan plan = PlanReception(*r);
    ASSERT_EQ(plan.media.size(), 4u);
    const CMediaTarget& a = plan.media[0];
    EXPECT_EQ(a.group, Ip("239.1.1.1"));
    EXPECT_EQ(a.address, "239.1.1.1");
    EXPECT_EQ(a.port, 5004);
    EXPECT_TRUE(a.rtp);
    // The record keeps the first format; the others are known by their rtpmap lines.
    EXPECT_EQ(a.announcedTypes, (std::vector<int>{96, 8}));
    EXPECT_EQ(a.clockRates[96], 48000u);
    EXPECT_EQ(a.clockRates[8], 8000u);
    EXPECT_EQ(plan.media[1].clockRates[33], 90000u); // from the static table
    EXPECT_TRUE(a.unusable.empty());
    const CMediaTarget& v = plan.media[1];
    EXPECT_EQ(v.group, Ip("239.1.1.2"));
    EXPECT_EQ(v.port, 5006);
    EXPECT_EQ(v.clockRates[33], 90000u);
    EXPECT_TRUE(v.transportStream[33]);
    EXPECT_FALSE(a.transportStream[96]);
    EXPECT_FALSE(plan.media[2].rtp);
    EXPECT_EQ(plan.media[3].clockRates[97], 0u); // rtpmap without a rate
    EXPECT_TRUE(plan.pairs.empty());
}

TEST(ReceptionPlan, SourceFiltersMediaLevelFirst)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 232.1.1.1/32\nt=0 0\n"
                     "a=source-filter: incl IN IP4 232.1.1.1 10.0.0.5 10.0.0.6\n"
                     "a=source-filter: incl IN IP4 232.9.9.9 10.9.9.9\n"
                     "m=audio 5004 RTP/AVP 0\n"
                     "m=audio 5006 RTP/AVP 0\na=source-filter: incl IN IP4 * 10.0.0.7\n"
                     "m=audio 5008 RTP/AVP 0\nc=IN IP4 239.5.5.5/32\n"
                     "m=audio 5010 RTP/AVP 0\nc=IN IP4 239.5.5.6/32\na=source-filter: excl IN IP4 * 10.0.0.8\n");
    const CReceptionPlan plan = PlanReception(*r);
    ASSERT_EQ(plan.media.size(), 4u);
    EXPECT_EQ(plan.media[0].sources, (std::vector<uint32_t>{Ip("10.0.0.5"), Ip("10.0.0.6")}));
    EXPECT_EQ(plan.media[1].sources, (std::vector<uint32_t>{Ip("10.0.0.7")}));
    EXPECT_TRUE(plan.media[2].sources.empty()); // the session's filters name other groups
    EXPECT_TRUE(plan.media[3].sources.empty()); // exclusion: any-source join
}

TEST(ReceptionPlan, RedundantPairsByMid)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nt=0 0\na=group:DUP primary secondary\n"
                     "a=group:LS primary audio2\na=group:DUP primary nowhere\n"
                     "m=video 5004 RTP/AVP 96\nc=IN IP4 239.1.1.1/32\na=rtpmap:96 raw/90000\na=mid:primary\n"
                     "m=video 5004 RTP/AVP 96\nc=IN IP4 239.2.1.1/32\na=rtpmap:96 raw/90000\na=mid:secondary\n");
    const CReceptionPlan plan = PlanReception(*r);
    ASSERT_EQ(plan.pairs.size(), 1u);
    EXPECT_EQ(plan.pairs[0].legA, 0);
    EXPECT_EQ(plan.pairs[0].legB, 1);
    EXPECT_EQ(plan.media[1].mid, "secondary");
}

TEST(ReceptionPlan, WhatCannotBeWatchedSaysWhy)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=a 1 1 IN IP6 ::1\ns=S\nt=0 0\n"
                     "m=audio 5004 RTP/AVP 0\nc=IN IP6 ff0e::zz\n"
                     "m=audio 0x RTP/AVP 0\nc=IN IP4 239.1.1.1/3\n"
                     "m=audio 5004 RTP/AVP 0\n"
                     "m=audio 5004 RTP/AVP 0\nc=IN IP4 ff0e::1\n"
                     "m=audio 5004 RTP/AVP 0\nc=IN IP6 ::\n"
                     "m=audio 5004 RTP/AVP 0\nc=IN IP6 239.1.1.1\n");
    const CReceptionPlan plan = PlanReception(*r);
    ASSERT_EQ(plan.media.size(), 6u);
    EXPECT_EQ(plan.media[0].unusable, "no IPv6 destination");
    EXPECT_EQ(plan.media[1].unusable, "no port");
    EXPECT_EQ(plan.media[2].unusable, "no IPv4 destination");
    EXPECT_EQ(plan.media[3].unusable, "no IPv4 destination"); // the address type decides
    EXPECT_EQ(plan.media[4].unusable, "no IPv6 destination"); // the unspecified address
    EXPECT_EQ(plan.media[5].unusable, "no IPv6 destination");
}

text::CIpv6Address Ip6(const char* address) { return text::ParseIpv6(address).value(); }

TEST(ReceptionPlan, Ipv6GroupsAndAddressCounts)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=a 1 1 IN IP6 fd78::1\ns=S\nc=IN IP6 ff15::9\nt=0 0\n"
                     "m=audio 5004 RTP/AVP 96\nc=IN IP6 ff0e::1234/3\na=rtpmap:96 L16/44100/2\n"
                     "m=video 5006 RTP/AVP 33\n"
                     "m=audio 5008 RTP/AVP 0\nc=IN IP4 239.1.1.1/15/2\n"
                     "m=audio 5010 RTP/AVP 0\nc=IN IP6 fd78::2\n");
    const CReceptionPlan plan = PlanReception(*r);
    ASSERT_EQ(plan.media.size(), 4u);
    const CMediaTarget& a = plan.media[0];
    // The one suffix of an IPv6 address is its count, not a TTL.
    EXPECT_TRUE(a.ipv6);
    EXPECT_EQ(a.group6, Ip6("ff0e::1234"));
    EXPECT_EQ(a.address, "ff0e::1234");
    EXPECT_EQ(a.group, 0u);
    EXPECT_EQ(a.port, 5004);
    EXPECT_EQ(a.clockRates[96], 44100u);
    EXPECT_TRUE(a.unusable.empty());
    // The session's connection serves the entries without their own.
    EXPECT_TRUE(plan.media[1].ipv6);
    EXPECT_EQ(plan.media[1].group6, Ip6("ff15::9"));
    EXPECT_TRUE(plan.media[1].transportStream[33]);
    // An IPv4 entry beside them stays IPv4.
    EXPECT_FALSE(plan.media[2].ipv6);
    EXPECT_EQ(plan.media[2].group, Ip("239.1.1.1"));
    EXPECT_EQ(plan.media[2].group6, text::CIpv6Address{});
    // A unicast IPv6 destination is watched like an IPv4 one.
    EXPECT_TRUE(plan.media[3].ipv6);
    EXPECT_EQ(plan.media[3].group6, Ip6("fd78::2"));
    EXPECT_TRUE(plan.media[3].unusable.empty());
}

TEST(ReceptionPlan, Ipv6SourceFilters)
{
    CTestEnv t;
    auto r = t.Parse("v=0\no=a 1 1 IN IP6 fd78::1\ns=S\nc=IN IP6 ff3e::8000:1\nt=0 0\n"
                     "a=source-filter: incl IN IP6 ff3e::8000:1 fd78::5 FD78:0::6 fd78::5 nonsense\n"
                     "a=source-filter: incl IN IP6 ff3e::9 fd78::9\n"
                     "a=source-filter: incl IN IP4 232.1.1.1 10.0.0.5\n"
                     "m=audio 5004 RTP/AVP 0\n"
                     "m=audio 5006 RTP/AVP 0\na=source-filter: incl IN IP6 * fd78::7\n"
                     "m=audio 5008 RTP/AVP 0\nc=IN IP6 ff3e::9\n"
                     "m=audio 5010 RTP/AVP 0\nc=IN IP6 ff3e::10\na=source-filter: excl IN IP6 * fd78::8\n"
                     "m=audio 5012 RTP/AVP 0\nc=IN IP6 ff3e::11\na=source-filter: incl IN * ff3e::11 fd78::11\n"
                     "m=audio 5014 RTP/AVP 0\nc=IN IP4 232.1.1.1\n"
                     "m=audio 5016 RTP/AVP 0\nc=IN IP6 ff3e::12\na=source-filter: incl IN IP4 * 10.0.0.5\n");
    const CReceptionPlan plan = PlanReception(*r);
    ASSERT_EQ(plan.media.size(), 7u);
    // Repeats and unreadable sources are dropped; the text's form does not matter.
    EXPECT_EQ(plan.media[0].sources6, (std::vector<text::CIpv6Address>{Ip6("fd78::5"), Ip6("fd78::6")}));
    EXPECT_TRUE(plan.media[0].sources.empty());
    EXPECT_EQ(plan.media[1].sources6, (std::vector<text::CIpv6Address>{Ip6("fd78::7")}));
    EXPECT_EQ(plan.media[2].sources6, (std::vector<text::CIpv6Address>{Ip6("fd78::9")}));
    EXPECT_TRUE(plan.media[3].sources6.empty()); // exclusion: any-source join
    EXPECT_EQ(plan.media[4].sources6, (std::vector<text::CIpv6Address>{Ip6("fd78::11")}));
    // Each family takes only its own filters.
    EXPECT_EQ(plan.media[5].sources, (std::vector<uint32_t>{Ip("10.0.0.5")}));
    EXPECT_TRUE(plan.media[5].sources6.empty());
    EXPECT_TRUE(plan.media[6].sources6.empty());
    EXPECT_TRUE(plan.media[6].sources.empty());
}

TEST(ReceptionPlan, RtpmapClockRateTable)
{
    struct Row {
        const char* attribute;
        int payload;
        uint32_t rate;
    } rows[] = {
        {"rtpmap:96 L24/48000/2", 96, 48000}, {"rtpmap:96 L24/48000/2", 9, 0}, {"rtpmap:9 G722/8000", 9, 8000},
        {"rtpmap:96 H264", 96, 0},           {"rtpmap:96 H264/x", 96, 0},     {"rtpmapx:96 H264/90000", 96, 0},
        {"RTPMAP:96  H264/90000", 96, 90000}, {"rtpmap:96 H264/-5", 96, 0},    {"rtpmap:", 96, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RtpmapClockRate(row.attribute, row.payload), row.rate) << row.attribute;
}

} // namespace
