#include "support/TestEnv.h"

#include "sdp/PayloadNames.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>

namespace {

const char* kBasic =
    "v=0\n"
    "o=user 123 1 IN IP4 10.0.0.1\n"
    "s=Talk\n"
    "c=IN IP4 224.2.1.1/127\n"
    "t=0 0\n"
    "a=type:meeting\n"
    "m=audio 3456 RTP/AVP 0\n";

std::string WithCrLf(std::string s)
{
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

TEST(Parser, OriginNameAndVersionWithEitherLineEnd)
{
    CTestEnv t;
    for (const std::string& text : {std::string(kBasic), WithCrLf(kBasic)}) {
        auto r = t.Parse(text);
        EXPECT_EQ(r->version, 0);
        EXPECT_EQ(r->originUser, "user");
        EXPECT_EQ(r->originSessionId, "123");
        EXPECT_EQ(r->originVersion, "1");
        EXPECT_EQ(r->originNetworkType, "IN");
        EXPECT_EQ(r->originAddressType, "IP4");
        EXPECT_EQ(r->originAddress, "10.0.0.1");
        EXPECT_EQ(r->name, "Talk");
        EXPECT_EQ(r->sessionType, kTypeMeeting);
        ASSERT_EQ(r->media.size(), 1u);
        EXPECT_EQ(r->media[0].port, "3456");
        EXPECT_EQ(r->sourceLength, static_cast<int>(text.size()));
        EXPECT_EQ(r->lastHeard, 1700000000);
        EXPECT_NE(r->randomTag, 0);
    }
}

TEST(Parser, SessionConnectionGivesMediaAddressTtlAndCount)
{
    CTestEnv t;
    auto r = t.Parse(kBasic);
    const CSDPMedia& m = r->media[0];
    EXPECT_EQ(r->connectionAddress, "224.2.1.1/127");
    EXPECT_EQ(m.connectionAddress, "");
    EXPECT_EQ(m.address, "224.2.1.1");
    EXPECT_EQ(m.ttl, 127);
    EXPECT_EQ(m.addressCount, 1);
    EXPECT_EQ(m.information, "N/A");
    ASSERT_EQ(m.payloadCount, 1);
    EXPECT_EQ(m.payloads[0].name, "PCMU");

    auto own = t.Parse("v=0\nc=IN IP4 224.2.1.1/127\nm=video 5 RTP/AVP 31\nc=IN IP4 239.1.2.3/15/4\ni=cam\n");
    EXPECT_EQ(own->media[0].address, "239.1.2.3");
    EXPECT_EQ(own->media[0].ttl, 15);
    EXPECT_EQ(own->media[0].addressCount, 4);
    EXPECT_EQ(own->media[0].information, "cam");
    EXPECT_EQ(own->media[0].payloads[0].name, "h261");
}

TEST(Parser, NoConnectionGivesEmptyAddressAndDefaults)
{
    CTestEnv t;
    auto r = t.Parse("v=0\nm=audio 1 RTP/AVP 8\n");
    EXPECT_EQ(r->media[0].address, "");
    EXPECT_EQ(r->media[0].ttl, 127);
    EXPECT_EQ(r->media[0].addressCount, 1);
    EXPECT_EQ(r->media[0].connectionNetworkType, "IN");
    EXPECT_EQ(r->media[0].connectionAddressType, "IP4");
}

TEST(Parser, PayloadNamesFromTableAndRtpmap)
{
    CTestEnv t;
    auto r = t.Parse("v=0\nm=video 5000 RTP/AVP 96\na=rtpmap:96 H263/90000\n"
                     "m=video 5002 RTP/AVP 96\n"
                     "m=audio 5004 RTP/AVP 0 8\n"
                     "m=audio 5006 RTP/SAVP 0\n"
                     "m=audio 5008 rtp/avp 0\n"
                     "m=audio 5010 RTP/AVP 97\na=rtpmap:970 wrong/1\na=x rtpmap:97 opus/48000/2\n");
    EXPECT_EQ(r->media[0].payloads[0].name, "H263");
    EXPECT_EQ(r->media[1].payloadCount, 1);
    EXPECT_EQ(r->media[1].payloads[0].name, "");
    EXPECT_EQ(r->media[2].formatList, "0");
    EXPECT_EQ(r->media[2].payloadCount, 1);
    EXPECT_EQ(r->media[3].payloadCount, 0) << "only exactly RTP/AVP is named";
    EXPECT_EQ(r->media[4].payloadCount, 0) << "case matters";
    EXPECT_EQ(r->media[5].payloads[0].name, "opus") << "the attribute naming 97, not 970";
}

TEST(PayloadNames, TableAndFormatListLimits)
{
    EXPECT_STREQ(StaticPayloadType(0).name, "PCMU");
    EXPECT_STREQ(StaticPayloadType(18).name, "unassigned");
    EXPECT_STREQ(StaticPayloadType(25).name, "cellb");
    EXPECT_STREQ(StaticPayloadType(34).name, "H263");
    CSDPMedia m;
    m.formatList = "0 1 2 3 4 5 6 7 8 9 10";
    NamePayloads(m);
    EXPECT_EQ(m.payloadCount, 10);
    EXPECT_EQ(m.payloads[9].name, "G722");
    m.formatList = "35 -1";
    m.attributes = {"rtpmap:-1 neg/1"};
    NamePayloads(m);
    EXPECT_EQ(m.payloadCount, 2);
    EXPECT_EQ(m.payloads[0].name, "");
    EXPECT_EQ(m.payloads[1].name, "neg");
    m.formatList = "";
    NamePayloads(m);
    EXPECT_EQ(m.payloadCount, 0);
}

TEST(Parser, RepeatUnitsAndOutOfOrderLines)
{
    CTestEnv t;
    auto r = t.Parse("v=0\nr=1d 1h 0\nt=3000000000 3000003600\nr=7d 1h 0 25h\nr=2h 30m 5\n"
                     "m=audio 1 RTP/AVP 0\ns=Late name\nt=1 2\nr=3600 60s 0\ni=media info\n");
    ASSERT_EQ(r->times.size(), 2u);
    EXPECT_EQ(r->times[0].repeatInterval, "7200") << "a second r= overwrites the first";
    EXPECT_EQ(r->times[0].activeDuration, "1800");
    EXPECT_EQ(r->times[0].offset, "5");
    EXPECT_EQ(r->times[1].repeatInterval, "3600");
    EXPECT_EQ(r->times[1].activeDuration, "60");
    EXPECT_EQ(r->name, "Late name");
    EXPECT_EQ(r->information, "");
    EXPECT_EQ(r->media[0].information, "media info");

    auto week = t.Parse("v=0\nt=0 0\nr=7d 1h 0\n");
    EXPECT_EQ(week->times[0].repeatInterval, "604800");
    EXPECT_EQ(week->times[0].activeDuration, "3600");
    EXPECT_EQ(week->times[0].offset, "0");

    auto huge = t.Parse("v=0\nt=0 0\nr=3777777777777777777h -3777777777777777777d\n");
    EXPECT_EQ(huge->times[0].repeatInterval, "9223372036854775807") << "saturates, no overflow";
    EXPECT_EQ(huge->times[0].activeDuration, "-9223372036854775808");
}

TEST(Parser, SessionTypeRules)
{
    CTestEnv t;
    EXPECT_EQ(t.Parse("v=0\na=type:meeting\na=type:test\n")->sessionType, kTypeTest);
    EXPECT_EQ(t.Parse("v=0\na=type:Meeting\n")->sessionType, kTypeUnknown);
    EXPECT_EQ(t.Parse("v=0\na=type:broadcast\na=tool:x\n")->sessionType, kTypeBroadcast);
    EXPECT_EQ(t.Parse("v=0\na=xtype:H332\n")->sessionType, kTypeH332);
    EXPECT_EQ(t.Parse("v=0\na=type:moderated\n")->sessionType, kTypeModerated);
    EXPECT_EQ(t.Parse("v=0\nm=audio 1 RTP/AVP 0\na=type:test\n")->sessionType, kTypeUnknown)
        << "media attributes do not set the type";

    auto dir = t.Parse("v=0\na=type:meeting\nm=DIRECTORY 9875 SAP/SDP 14\nc=IN IP4 239.255.255.255/15\n");
    EXPECT_EQ(dir->sessionType, kTypeDirectory);
    EXPECT_EQ(dir->directoryGroup, inet_addr("239.255.255.255"));
    EXPECT_EQ(dir->directoryPort, 9875);
    EXPECT_EQ(dir->directoryTtl, 15);
}

TEST(Parser, TokensBandwidthAndKeys)
{
    CTestEnv t;
    auto r = t.Parse("v=0\nb=CT:64\nk=clear:secret\no=  a   b\nm=audio 1 RTP/AVP 0\nb=AS 128 extra\nk=base64 abc\n"
                     "c=IN\tIP4 224.1.1.1\n");
    EXPECT_EQ(r->bandwidthModifier, "CT:64");
    EXPECT_EQ(r->bandwidthValue, "");
    EXPECT_EQ(r->keyMethod, "clear:secret");
    EXPECT_EQ(r->originUser, "a");
    EXPECT_EQ(r->originSessionId, "b");
    EXPECT_EQ(r->originVersion, "") << "missing tokens leave fields alone";
    EXPECT_EQ(r->media[0].bandwidthModifier, "AS");
    EXPECT_EQ(r->media[0].bandwidthValue, "128");
    EXPECT_EQ(r->media[0].keyMethod, "base64");
    EXPECT_EQ(r->media[0].keyValue, "abc");
    EXPECT_EQ(r->media[0].connectionNetworkType, "IN\tIP4") << "a tab is not a separator";
    EXPECT_EQ(r->media[0].connectionAddressType, "224.1.1.1");
}

TEST(Parser, LenientOnOddTexts)
{
    CTestEnv t;
    auto none = t.Parse("s=No version here\nm=audio 1 RTP/AVP 0\n");
    EXPECT_EQ(none->name, "");
    EXPECT_TRUE(none->media.empty());
    EXPECT_EQ(none->sessionType, kTypeUnknown);

    auto empty = t.Parse("");
    EXPECT_EQ(empty->sourceLength, 0);
    EXPECT_TRUE(empty->media.empty());

    auto onlyVersion = t.Parse("garbage v=2");
    EXPECT_EQ(onlyVersion->version, 2);

    auto stray = t.Parse("junk\r\nv=0\r\nno equals here\r\nxs=Stray\r\nm=audio\r\nZ=ignored\r\n");
    EXPECT_EQ(stray->name, "Stray");
    ASSERT_EQ(stray->media.size(), 1u);
    EXPECT_EQ(stray->media[0].media, "audio");
    EXPECT_EQ(stray->media[0].port, "");

    auto shortMedia = t.Parse("v=0\nm=\n");
    EXPECT_EQ(shortMedia->media[0].media, "Zever");

    auto nul = t.Parse(std::string("v=0\ns=before\0s=after\n", 22));
    EXPECT_EQ(nul->name, "before");
    EXPECT_EQ(nul->sourceLength, 12);

    auto mixed = t.Parse("v=0\ns=one\nu=http://x\r\ne=mail\n");
    EXPECT_EQ(mixed->name, "one");
    EXPECT_EQ(mixed->uri, "http://x");
    EXPECT_EQ(mixed->email, "mail");
}

TEST(Parser, ValuesAreCutAt999Bytes)
{
    CTestEnv t;
    const std::string longName(5000, 'n');
    const std::string longAddr = "IN IP4 " + std::string(2000, '1');
    auto r = t.Parse("v=0\ns=" + longName + "\nc=" + longAddr + "\na=" + std::string(1500, 'a') + "\ne=last\n");
    EXPECT_EQ(r->name.size(), 999u);
    EXPECT_EQ(r->connectionAddress.size(), 999u - 7u);
    EXPECT_EQ(r->attributes[0].size(), 999u);
    EXPECT_EQ(r->email, "last") << "the line after a long value is read normally";
}

TEST(Parser, UsedAddressesRecordTheLatestEnd)
{
    CTestEnv t;
    t.Parse("v=0\nc=IN IP4 224.2.3.4/15\nt=3100000000 3100000000\nt=0 3200000000\nm=audio 1 RTP/AVP 0\n");
    EXPECT_FALSE(t.used.IsAddressFree(inet_addr("224.2.3.4"), 3200000000LL - kNtpUnixOffset));
    EXPECT_TRUE(t.used.IsAddressFree(inet_addr("224.2.3.4"), 3200000000LL - kNtpUnixOffset + 1));

    t.Parse("v=0\nc=IN IP4 224.2.3.5\nt=0 0\nm=audio 1 RTP/AVP 0\n");
    EXPECT_FALSE(t.used.IsAddressFree(inet_addr("224.2.3.5"), 4000000000LL)) << "no end: taken for good";

    // Repeats of one announcement do not make the list grow.
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
    auto a = used.PickFreeAddress(std::nullopt, 0, random, 100);
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, inet_addr("224.2.128.6")) << "the taken candidate is skipped";

    CScriptedRandom all{0x7FFF};
    auto b = used.PickFreeAddress(inet_addr("239.200.0.0"), 8, all, 100);
    ASSERT_TRUE(b);
    EXPECT_EQ(*b, inet_addr("239.200.127.255")) << "host bits above the drawn 15 keep the base";

    CUsedAddressList full;
    CScriptedRandom same{3};
    full.Add(inet_addr("239.1.1.3"), 0);
    EXPECT_FALSE(full.PickFreeAddress(inet_addr("239.1.1.0"), 30, same, 100)) << "bounded, not endless";
}

TEST(Parser, ThirdPartySamplesParseWithoutSurprises)
{
    CTestEnv t;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TALMIRA_SAMPLES)) {
        if (entry.path().extension() != ".sdp")
            continue;
        ++files;
        const std::string text = ReadTestFile(entry.path());
        auto r = t.Parse(text);
        EXPECT_EQ(r->sourceLength, static_cast<int>(text.size())) << entry.path();
        const size_t mLines = [&] {
            size_t n = 0;
            for (size_t p = text.find("\nm="); p != std::string::npos; p = text.find("\nm=", p + 1))
                ++n;
            return n;
        }();
        if (text.rfind("v=", 0) == 0)
            EXPECT_EQ(r->media.size(), mLines) << entry.path();
        for (const CSDPMedia& m : r->media)
            EXPECT_LE(m.payloadCount, CSDPMedia::kMaxPayloads);
    }
    EXPECT_GT(files, 20);
}

} // namespace
