// Reading SDP text into a record, payload names and the used-address list.
#include "support/TestEnv.h"

#include "sdp/PayloadNames.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <tuple>

namespace {

TEST(SdpParser, FieldsWithEitherLineEnd)
{
    const std::string lf = "v=0\no=user 123 1 IN IP4 10.0.0.1\ns=Talk\ni=About\nu=http://x\ne=mail\np=+1\n"
                           "c=IN IP4 224.2.1.1/127\nt=0 0\na=type:meeting\nm=audio 3456 RTP/AVP 0\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    CTestEnv t;
    for (const std::string& text : {lf, crlf, std::string("v=0\ns=one\nu=http://x\r\ne=mail\n")}) {
        auto r = t.Parse(text);
        EXPECT_EQ(std::tuple(std::string(r->uri), std::string(r->email), r->sourceLength),
                  std::tuple("http://x", "mail", static_cast<int>(text.size())));
    }
    auto r = t.Parse(crlf);
    const std::vector<std::string> fields = {r->originUser, r->originSessionId, r->originVersion, r->originNetworkType,
                                             r->originAddressType, r->originAddress, std::to_string(r->version), r->name,
                                             r->information, r->phone, std::to_string(r->sessionType),
                                             std::to_string(r->lastHeard), r->connectionAddress, r->media.at(0).port};
    EXPECT_EQ(fields, (std::vector<std::string>{"user", "123", "1", "IN", "IP4", "10.0.0.1", "0", "Talk", "About", "+1",
                                                std::to_string(kTypeMeeting), "1700000000", "224.2.1.1/127", "3456"}));
    EXPECT_EQ(r->times, (std::vector<CSDPTime>{{"0", "0", "", "", ""}}));
    EXPECT_NE(r->randomTag, 0);
    EXPECT_EQ(PayloadsOf(r->media[0]), (std::vector<CPayload>{{0, "PCMU"}}));
}

// Connection fields, bare address, TTL, count and information of each media.
std::vector<std::string> MediaConnections(const CSDPObject& r)
{
    std::vector<std::string> out;
    for (const CSDPMedia& m : r.media)
        out.push_back(m.extras->connectionNetworkType + "|" + m.extras->connectionAddressType + "|" + m.connectionAddress + "|"
                      + m.address + "|" + std::to_string(m.ttl) + "|" + std::to_string(m.addressCount) + "|"
                      + m.information);
    return out;
}

TEST(SdpParser, MediaConnections)
{
    CTestEnv t;
    // The session connection gives the media its address, TTL and count.
    EXPECT_EQ(MediaConnections(*t.Parse("v=0\nc=IN IP4 224.2.1.1/127\nm=audio 1 RTP/AVP 8\n"
                                        "m=video 5 RTP/AVP 31\nc=IN IP4 239.1.2.3/15/4\ni=cam\n"
                                        "m=audio 1 RTP/AVP 8\nc=IN IP4 224.2.1.9\n"
                                        "m=audio 1 RTP/AVP 8\nc=IN\tIP4 224.1.1.1\n")),
              (std::vector<std::string>{"IN|IP4||224.2.1.1|127|1|N/A", "IN|IP4|239.1.2.3/15/4|239.1.2.3|15|4|cam",
                                        "IN|IP4|224.2.1.9|224.2.1.9|127|1|N/A",
                                        // a tab is no separator: the address stays the session's
                                        "IN\tIP4|224.1.1.1||224.2.1.1|127|1|N/A"}));
    EXPECT_EQ(MediaConnections(*t.Parse("v=0\nm=audio 1 RTP/AVP 8\n")),
              std::vector<std::string>{"IN|IP4|||127|1|N/A"});
    // Other types, and a line that names only the network type.
    EXPECT_EQ(MediaConnections(*t.Parse("v=0\nm=audio 1 RTP/AVP 8\nc=IN IP6 ff15::1\nm=audio 1 RTP/AVP 8\nc=ATM\n")),
              (std::vector<std::string>{"IN|IP6|ff15::1|ff15::1|127|1|N/A", "ATM|IP4|||127|1|N/A"}));
}

TEST(PayloadNames, FormatListsAndRtpmap)
{
    const struct {
        const char* formats;
        std::vector<std::string> attributes;
        std::vector<CPayload> payloads;
    } cases[] = {
        // The static numbers' names, ten at most.
        {"0 1 2 3 4 5 6 7 8 9 10", {}, {{0, "PCMU"}, {1, "1016"}, {2, "G721"}, {3, "GSM"}, {4, "unassigned"},
                                        {5, "DVI4"}, {6, "DVI4"}, {7, "LPC"}, {8, "PCMA"}, {9, "G722"}}},
        {"10 11 12 14 15 16 25 26 27 28", {}, {{10, "L16"}, {11, "L16"}, {12, "unassigned"}, {14, "MPA"}, {15, "G728"},
                                               {16, "unassigned"}, {25, "cellb"}, {26, "jpeg"}, {27, "unassigned"},
                                               {28, "nv"}}},
        {"24 29 31 32 33 34 35", {}, {{24, "unassigned"}, {29, "unassigned"}, {31, "h261"}, {32, "MPV"},
                                      {33, "MP2T"}, {34, "H263"}, {35, ""}}},
        {"", {}, {}}, {"35 -1", {"rtpmap:-1 neg/1"}, {{35, ""}, {-1, "neg"}}},
        {"96", {"rtpmap:96 H263/90000"}, {{96, "H263"}}},
        {"97", {"rtpmap:970 wrong/1", "x rtpmap:97 opus/48000/2"}, {{97, "opus"}}},
        {"9", {"rtpmap:96 H263/90000", "rtpmap:9  G722/8000"}, {{9, "G722"}}}, {"100", {"rtpmap:100"}, {{100, ""}}},
    };
    for (const auto& c : cases) {
        CSDPMedia m;
        m.formatList = c.formats;
        m.attributes = c.attributes;
        NamePayloads(m);
        EXPECT_EQ(PayloadsOf(m), c.payloads) << c.formats;
        EXPECT_EQ(m.payloadCount, static_cast<int>(c.payloads.size())) << c.formats;
    }
    // Only exactly RTP/AVP is named.
    CTestEnv t;
    auto r = t.Parse("v=0\nm=audio 5006 RTP/SAVP 0\nm=audio 5008 rtp/avp 0\nm=audio 5008 RTP/AVP 0\n");
    EXPECT_EQ(r->media[0].payloadCount + r->media[1].payloadCount, 0);
    EXPECT_EQ(r->media[2].payloadCount, 1);
}

TEST(SdpParser, Repeats)
{
    const std::pair<const char*, CSDPTime> cases[] = { // lines, first time entry
        {"t=0 0\nr=7d 1h 0\n", {"0", "0", "604800", "3600", "0"}},
        {"t=0 0\nr=2h 30m 5\n", {"0", "0", "7200", "1800", "5"}},
        {"t=0 0\nr=3600 60s 0 25h\n", {"0", "0", "3600", "60", "0"}}, // the first offset
        {"r=1d 1h 0\nt=1 2\nr=7d 1h 0\nr=2h 30m 5\n", {"1", "2", "7200", "1800", "5"}}, // the last r= wins
        {"t=0 0\nr=3777777777777777777h -3777777777777777777d\n",
         {"0", "0", "9223372036854775807", "-9223372036854775808", ""}}, // saturates
    };
    CTestEnv t;
    for (const auto& [lines, first] : cases)
        EXPECT_EQ(t.Parse(std::string("v=0\n") + lines)->times.at(0), first) << lines;
}

TEST(SdpParser, SessionTypes)
{
    const std::pair<const char*, int> cases[] = { // lines, session type
        {"", kTypeUnknown}, {"a=type:meeting\na=type:test\n", kTypeTest},
        {"a=type:test\na=type:Meeting\n", kTypeUnknown}, {"a=type:broadcast\na=tool:x\n", kTypeBroadcast},
        {"a=xtype:H332\n", kTypeH332}, {"a=type:moderated\n", kTypeModerated}, {"a=type:meeting\n", kTypeMeeting},
        {"m=audio 1 RTP/AVP 0\na=type:test\n", kTypeUnknown}, // media attributes do not count
        {"a=type:meeting\nm=DIRECTORY 9875 SAP/SDP 14\n", kTypeDirectory},
    };
    CTestEnv t;
    for (const auto& [lines, type] : cases)
        EXPECT_EQ(t.Parse(std::string("v=0\n") + lines)->sessionType, type) << lines;
    auto dir = t.Parse("v=0\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.255.255.255/15\n");
    EXPECT_EQ(std::tuple(dir->links->directoryGroup, dir->links->directoryPort, dir->links->directoryTtl),
              std::tuple(inet_addr("239.255.255.255"), uint16_t{9875}, 15));
}

TEST(SdpParser, TokensBandwidthAndKeys)
{
    CTestEnv t;
    auto r = t.Parse("v=0\nb=CT:64\nk=clear:secret\no=  a   b\nm=audio 1 RTP/AVP 0\nb=AS 128 extra\nk=base64 abc\n");
    auto blank = t.Parse("v=0\nk=clear secret\n");
    const auto& m = *r->media[0].extras;
    // Missing tokens leave fields alone.
    EXPECT_EQ((std::vector<std::string>{r->extras->bandwidthModifier + "|" + r->extras->bandwidthValue,
                                        r->extras->keyMethod + "|" + r->extras->keyValue,
                                        r->originUser + "|" + r->originSessionId + "|" + r->originVersion,
                                        m.bandwidthModifier + "|" + m.bandwidthValue, m.keyMethod + "|" + m.keyValue,
                                        blank->extras->keyMethod + "|" + blank->extras->keyValue}),
              (std::vector<std::string>{"CT:64|", "clear:secret|", "a|b|", "AS|128", "base64|abc", "clear|secret"}));
}

TEST(SdpParser, LenientOnOddTexts)
{
    CTestEnv t;
    auto none = t.Parse("s=No version here\nm=audio 1 RTP/AVP 0\n");
    EXPECT_TRUE(none->name.empty() && none->media.empty());
    EXPECT_EQ(std::tuple(t.Parse("")->sourceLength, t.Parse("garbage v=2")->version), std::tuple(0, 2));
    auto stray = t.Parse("junk\r\nv=0\r\nno equals here\r\nxs=Stray\r\nm=audio\r\nZ=ignored\r\n");
    EXPECT_EQ(stray->name, "Stray");
    ASSERT_EQ(stray->media.size(), 1u);
    EXPECT_EQ(stray->media[0].media + "|" + stray->media[0].port, "audio|");
    EXPECT_EQ(t.Parse("v=0\nm=\n")->media.at(0).media, "Zever");
    auto nul = t.Parse(std::string("v=0\ns=before\0s=after\n", 22));
    EXPECT_EQ(nul->name, "before");
    EXPECT_EQ(nul->sourceLength, 12);
    // Lines in any order; i= belongs to the media above it.
    auto late = t.Parse("v=0\nm=audio 1 RTP/AVP 0\ns=Late name\ni=media info\n");
    EXPECT_EQ(late->name + "|" + late->information + "|" + late->media[0].information, "Late name||media info");
}

TEST(SdpParser, ValuesAreCutAt999Bytes)
{
    CTestEnv t;
    auto r = t.Parse("v=0\ns=" + std::string(5000, 'n') + "\nc=IN IP4 " + std::string(2000, '1') + "\na="
                     + std::string(1500, 'a') + "\ne=last\n");
    EXPECT_EQ(std::tuple(r->name.size(), r->connectionAddress.size(), r->attributes[0].size()),
              std::tuple(999u, 999u - 7u, 999u));
    EXPECT_EQ(r->email, "last") << "the line after a long value is read normally";
    // Never inside a UTF-8 character (where a cut falls: Utf8CutPoint's test).
    std::string emoji = "x";
    for (int i = 0; i < 400; ++i)
        emoji += "\xf0\x9f\x98\x80";
    EXPECT_EQ(t.Parse("v=0\ns=" + emoji + "\n")->name.size(), 997u);
}

TEST(SdpParser, UsedAddressesRecordTheLatestEnd)
{
    CTestEnv t;
    t.Parse("v=0\nc=IN IP4 224.2.3.4/15\nt=3100000000 3100000000\nt=0 3200000000\nm=audio 1 RTP/AVP 0\n");
    EXPECT_FALSE(t.used.IsAddressFree(inet_addr("224.2.3.4"), 3200000000LL - kNtpUnixOffset));
    EXPECT_TRUE(t.used.IsAddressFree(inet_addr("224.2.3.4"), 3200000000LL - kNtpUnixOffset + 1));
    // No end: taken for good; repeats of one announcement add nothing.
    t.Parse("v=0\nc=IN IP4 224.2.3.5\nt=0 0\nm=audio 1 RTP/AVP 0\n");
    EXPECT_FALSE(t.used.IsAddressFree(inet_addr("224.2.3.5"), 4000000000LL));
    const size_t before = t.used.Size();
    for (int i = 0; i < 100; ++i)
        t.Parse("v=0\nc=IN IP4 224.2.3.5\nt=0 0\nm=audio 1 RTP/AVP 0\n");
    EXPECT_EQ(t.used.Size(), before);
}

TEST(UsedAddresses, PickFreeAddressKeepsPrefixAndGivesUp)
{
    CUsedAddressList used;
    CScriptedRandom random{5, 5, 6};
    used.Add(inet_addr("224.2.128.5"), 0);
    EXPECT_EQ(used.PickFreeAddress(std::nullopt, 0, random, 100), inet_addr("224.2.128.6")) << "taken one skipped";
    CScriptedRandom all{0x7FFF};
    EXPECT_EQ(used.PickFreeAddress(inet_addr("239.200.0.0"), 8, all, 100), inet_addr("239.200.127.255"))
        << "host bits above the drawn 15 keep the base";
    CScriptedRandom same{3};
    used.Add(inet_addr("239.1.1.3"), 0);
    EXPECT_FALSE(used.PickFreeAddress(inet_addr("239.1.1.0"), 30, same, 100)) << "bounded, not endless";
}

} // namespace
