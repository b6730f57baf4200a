// What the receiver learns from a session description.
#include "support/TestEnv.h"

#include "reception/ReceptionPlan.h"

#include <gtest/gtest.h>

#include "base/Text.h"

namespace {

// Each media entry in a line: destination, port, transport, announced
// types, the clock rate of every payload type that has one (T: MPEG-TS),
// sources, mid and why it cannot be watched.
std::vector<std::string> Describe(const CReceptionPlan& plan)
{
    std::vector<std::string> lines;
    for (const CMediaTarget& m : plan.media) {
        std::string& out = lines.emplace_back(m.ipv6 ? "[" + text::Ipv6Text(m.group6) + "]" : text::DottedQuad(m.group));
        if (m.ipv6 ? m.group != 0 : m.group6 != text::CIpv6Address{})
            out += " and the other family";
        out += ":" + std::to_string(m.port) + (m.rtp ? " rtp" : " udp");
        for (int type : m.announcedTypes)
            out += " " + std::to_string(type);
        for (int type = 0; type < 128; ++type)
            if (m.clockRates[type] || m.transportStream[type])
                out += " " + std::to_string(type) + "@" + std::to_string(m.clockRates[type]) + (m.transportStream[type] ? "T" : "");
        for (uint32_t source : m.sources)
            out += " from " + text::DottedQuad(source);
        for (const text::CIpv6Address& source : m.sources6)
            out += " from " + text::Ipv6Text(source);
        out += m.mid.empty() ? "" : " mid " + m.mid;
        out += m.unusable.empty() ? "" : " (" + m.unusable + ")";
    }
    return lines;
}

std::vector<std::string> Plan(const std::string& sdp)
{
    CTestEnv t;
    return Describe(PlanReception(*t.Parse(sdp)));
}

using Lines = std::vector<std::string>;

TEST(ReceptionPlan, GroupsPortsClocksAndFormats)
{
    // Every format of the line, then those only an rtpmap line names. The
    // static table gives 0's and 33's rates; an rtpmap without a rate gives none.
    const std::string sdp = "v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 239.1.1.1/32\nt=0 0\n"
                            "m=audio 5004 RTP/AVP 96 0 8 127\na=rtpmap:96 L24/48000/2\na=rtpmap:8 PCMA/8000\n"
                            "m=video 5006/2 RTP/AVP 33\nc=IN IP4 239.1.1.2/32\n"
                            "m=video 1234 udp 33\n"
                            "m=audio 6000 RTP/AVP 97\na=rtpmap:97 opus\n";
    EXPECT_EQ(Plan(sdp), (Lines{"239.1.1.1:5004 rtp 96 0 8 127 0@8000 8@8000 96@48000", "239.1.1.2:5006 rtp 33 33@90000T",
                                "239.1.1.1:1234 udp 33 33@90000T", "239.1.1.1:6000 rtp 97"}));
    CTestEnv t;
    const CReceptionPlan plan = PlanReception(*t.Parse(sdp));
    EXPECT_EQ(plan.media[0].address, "239.1.1.1");
    EXPECT_TRUE(plan.pairs.empty());
}

TEST(ReceptionPlan, SourceFiltersMediaLevelFirst)
{
    // The session's filters name other groups for the third; an exclusion
    // is an any-source join.
    EXPECT_EQ(Plan("v=0\no=a 1 1 IN IP4 10.0.0.1\ns=S\nc=IN IP4 232.1.1.1/32\nt=0 0\n"
                   "a=source-filter: incl IN IP4 232.1.1.1 10.0.0.5 10.0.0.6\n"
                   "a=source-filter: incl IN IP4 232.9.9.9 10.9.9.9\n"
                   "m=audio 5004 RTP/AVP 0\n"
                   "m=audio 5006 RTP/AVP 0\na=source-filter: incl IN IP4 * 10.0.0.7\n"
                   "m=audio 5008 RTP/AVP 0\nc=IN IP4 239.5.5.5/32\n"
                   "m=audio 5010 RTP/AVP 0\nc=IN IP4 239.5.5.6/32\na=source-filter: excl IN IP4 * 10.0.0.8\n"),
              (Lines{"232.1.1.1:5004 rtp 0 0@8000 from 10.0.0.5 from 10.0.0.6", "232.1.1.1:5006 rtp 0 0@8000 from 10.0.0.7",
                     "239.5.5.5:5008 rtp 0 0@8000", "239.5.5.6:5010 rtp 0 0@8000"}));
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
    EXPECT_EQ(std::pair(plan.pairs[0].legA, plan.pairs[0].legB), std::pair(0, 1));
    EXPECT_EQ(Describe(plan), (Lines{"239.1.1.1:5004 rtp 96 96@90000 mid primary", "239.2.1.1:5004 rtp 96 96@90000 mid secondary"}));
}

TEST(ReceptionPlan, WhatCannotBeWatchedSaysWhy)
{
    // The address type decides; the unspecified address is none.
    EXPECT_EQ(Plan("v=0\no=a 1 1 IN IP6 ::1\ns=S\nt=0 0\n"
                   "m=audio 5004 RTP/AVP 0\nc=IN IP6 ff0e::zz\n"
                   "m=audio 0x RTP/AVP 0\nc=IN IP4 239.1.1.1/3\n"
                   "m=audio 5004 RTP/AVP 0\n"
                   "m=audio 5004 RTP/AVP 0\nc=IN IP4 ff0e::1\n"
                   "m=audio 5004 RTP/AVP 0\nc=IN IP6 ::\n"
                   "m=audio 5004 RTP/AVP 0\nc=IN IP6 239.1.1.1\n"),
              (Lines{"[::]:5004 rtp 0 0@8000 (no IPv6 destination)", "239.1.1.1:0 rtp 0 0@8000 (no port)",
                     "0.0.0.0:5004 rtp 0 0@8000 (no IPv4 destination)", "0.0.0.0:5004 rtp 0 0@8000 (no IPv4 destination)",
                     "[::]:5004 rtp 0 0@8000 (no IPv6 destination)", "[::]:5004 rtp 0 0@8000 (no IPv6 destination)"}));
}

TEST(ReceptionPlan, Ipv6GroupsAndAddressCounts)
{
    // The one suffix of an IPv6 address is its count, not a TTL; the
    // session's connection serves the entries without their own; an IPv4
    // entry beside them stays IPv4; a unicast IPv6 destination is watched
    // like an IPv4 one.
    const std::string sdp = "v=0\no=a 1 1 IN IP6 fd78::1\ns=S\nc=IN IP6 ff15::9\nt=0 0\n"
                            "m=audio 5004 RTP/AVP 96\nc=IN IP6 ff0e::1234/3\na=rtpmap:96 L16/44100/2\n"
                            "m=video 5006 RTP/AVP 33\n"
                            "m=audio 5008 RTP/AVP 0\nc=IN IP4 239.1.1.1/15/2\n"
                            "m=audio 5010 RTP/AVP 0\nc=IN IP6 fd78::2\n";
    EXPECT_EQ(Plan(sdp), (Lines{"[ff0e::1234]:5004 rtp 96 96@44100", "[ff15::9]:5006 rtp 33 33@90000T",
                                "239.1.1.1:5008 rtp 0 0@8000", "[fd78::2]:5010 rtp 0 0@8000"}));
    CTestEnv t;
    EXPECT_EQ(PlanReception(*t.Parse(sdp)).media[0].address, "ff0e::1234");
}

TEST(ReceptionPlan, Ipv6SourceFilters)
{
    // Repeats and unreadable sources are dropped, the text's form does not
    // matter; an exclusion is an any-source join; each family takes only
    // its own filters.
    EXPECT_EQ(Plan("v=0\no=a 1 1 IN IP6 fd78::1\ns=S\nc=IN IP6 ff3e::8000:1\nt=0 0\n"
                   "a=source-filter: incl IN IP6 ff3e::8000:1 fd78::5 FD78:0::6 fd78::5 nonsense\n"
                   "a=source-filter: incl IN IP6 ff3e::9 fd78::9\n"
                   "a=source-filter: incl IN IP4 232.1.1.1 10.0.0.5\n"
                   "m=audio 5004 RTP/AVP 0\n"
                   "m=audio 5006 RTP/AVP 0\na=source-filter: incl IN IP6 * fd78::7\n"
                   "m=audio 5008 RTP/AVP 0\nc=IN IP6 ff3e::9\n"
                   "m=audio 5010 RTP/AVP 0\nc=IN IP6 ff3e::10\na=source-filter: excl IN IP6 * fd78::8\n"
                   "m=audio 5012 RTP/AVP 0\nc=IN IP6 ff3e::11\na=source-filter: incl IN * ff3e::11 fd78::11\n"
                   "m=audio 5014 RTP/AVP 0\nc=IN IP4 232.1.1.1\n"
                   "m=audio 5016 RTP/AVP 0\nc=IN IP6 ff3e::12\na=source-filter: incl IN IP4 * 10.0.0.5\n"),
              (Lines{"[ff3e::8000:1]:5004 rtp 0 0@8000 from fd78::5 from fd78::6", "[ff3e::8000:1]:5006 rtp 0 0@8000 from fd78::7",
                     "[ff3e::9]:5008 rtp 0 0@8000 from fd78::9", "[ff3e::10]:5010 rtp 0 0@8000",
                     "[ff3e::11]:5012 rtp 0 0@8000 from fd78::11", "232.1.1.1:5014 rtp 0 0@8000 from 10.0.0.5",
                     "[ff3e::12]:5016 rtp 0 0@8000"}));
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
