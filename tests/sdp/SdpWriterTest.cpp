// Writing records as SDP text: the exact text for every field and every
// condition, and texts that read back to the same text.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

std::string Written(CSDPObject& r)
{
    std::string out = "left over";
    r.WriteSdp(out);
    return out;
}

const std::string kHead = "v=0\no=- 1 1 IN IP4 h\ns=x\n";

const struct WriterCase {
    const char* what;
    std::string in, out;
} kParsedTexts[] = {
    {"the documented minimal session",
     "v=0\r\no=- 1 2 IN IP4 10.0.0.1\r\ns=Talk\r\nc=IN IP4 224.2.1.1/127\r\nt=0 0\r\na=type:meeting\r\n"
     "m=audio 3456 RTP/AVP 0\r\n",
     "v=0\no=- 1 2 IN IP4 10.0.0.1\ns=Talk\nc=IN IP4 224.2.1.1/127\na=type:meeting\nt=0 0\nm=audio 3456 RTP/AVP 0\n"
     "c=IN IP4 224.2.1.1/127/1\n"},
    {"every line, in order; version 0 always",
     "v=2\no=u 7 8 IN IP4 h\ns=Name\ni=Info\nu=http://x/\ne=a@b\np=+1 2\nc=IN IP4 224.2.9.9/31\nb=AS 128\n"
     "k=clear:pw\na=recvonly\nt=3900000000 3900086400\nr=1h 10m 5m\nm=video 5000 RTP/AVP 96 97\n"
     "c=IN IP4 224.2.9.10/15/2\nb=AS:64\nk=prompt\ni=Camera\na=rtpmap:96 H263/90000\n",
     "v=0\no=u 7 8 IN IP4 h\ns=Name\ni=Info\nu=http://x/\ne=a@b\np=+1 2\nc=IN IP4 224.2.9.9/31\nb=AS 128\n"
     "k=clear:pw\na=recvonly\na=type:unknown\nt=3900000000 3900086400\nr=3600 600 5m\nm=video 5000 RTP/AVP 96\n"
     "c=IN IP4 224.2.9.10/15/2\nb=AS:64 \nk=prompt \ni=Camera\na=rtpmap:96 H263/90000\n"},
    {"incomplete lines and the parser's N/A are left out",
     "v=0\no=- 1 1 IN IP4 h\ns=\nc=IN IP4\nb=CT:64\nm=audio 1 RTP/AVP 0\ni=N/A\n",
     "v=0\no=- 1 1 IN IP4 h\ns=\na=type:unknown\nm=audio 1 RTP/AVP 0\n"},
    {"no times, no media", kHead, kHead + "a=type:unknown\n"},
    {"times: an empty stop is 0; repeats in seconds",
     kHead + "t=3900000000\nt=3900000000 3900003600\nr=7d 1h 0\nt=\n",
     kHead + "a=type:unknown\nt=3900000000 0\nt=3900000000 3900003600\nr=604800 3600 0\nt=0 0\n"},
    {"the type's copy once and last", kHead + "a=type:test\na=one\na=type:meeting\na=two\n",
     kHead + "a=type:test\na=one\na=two\na=type:meeting\n"},
    {"a directory's bare type line",
     kHead + "a=type:meeting\nc=IN IP4 239.255.255.255/15\nm=directory 9875 SAP/SDP 14\n",
     kHead + "c=IN IP4 239.255.255.255/15\na=type:meeting\na=\nm=directory 9875 SAP/SDP 14\n"
             "c=IN IP4 239.255.255.255/15/1\n"},
    // A count follows a TTL only: alone it would read back as the TTL. A TTL
    // or count of 0 is not written: it reads back as 127 or 1.
    {"media TTL and count",
     kHead + "c=IN IP4 224.2.1.1\nm=audio 1 RTP/AVP 0\nm=audio 2 RTP/AVP 0\nc=IN IP4 224.2.1.2/0/3\n"
             "m=audio 3 RTP/AVP 0\nc=IN IP4 224.2.1.3/9/0\n",
     kHead + "c=IN IP4 224.2.1.1\na=type:unknown\nm=audio 1 RTP/AVP 0\nc=IN IP4 224.2.1.1/127/1\n"
             "m=audio 2 RTP/AVP 0\nc=IN IP4 224.2.1.2\nm=audio 3 RTP/AVP 0\nc=IN IP4 224.2.1.3/9\n"},
    {"odd texts", "v=0\no=a b c d e f g h\ns=  leading blanks stay\ni=x=y=z\na=type:\na=type:test trailing\n",
     "v=0\no=a b c d e f\ns=  leading blanks stay\ni=x=y=z\na=type:\na=type:test trailing\na=type:unknown\n"},
    {"media keys with a blank; a zero repeat",
     kHead + "k=prompt\nt=3900000000 3900000000\nr=0 0 0\nm=audio 9 RTP/AVP 200\na=rtpmap:200\nk=clear secret\n",
     kHead + "k=prompt\na=type:unknown\nt=3900000000 3900000000\nr=0 0 0\nm=audio 9 RTP/AVP 200\nk=clear secret\n"
             "a=rtpmap:200\n"},
    {"repeats with fields left out", kHead + "t=3900000000 3900001000\nr=1d\nt=0 0\nr=1h 1m\n",
     kHead + "a=type:unknown\nt=3900000000 3900001000\nr=86400  \nt=0 0\nr=3600 60 \n"},
    {"no origin; directory media with fields left out",
     "v=0\ns=only a name\nm=directory 9876 SAP/SDP\nc=IN IP4 224.2.127.254/127\nm=Directory 1 x\n",
     "v=0\no=     \ns=only a name\na=\nm=directory 9876 SAP/SDP \nc=IN IP4 224.2.127.254/127/1\nm=Directory 1 x \n"},
};

TEST(SdpWriter, ParsedTextsAreWrittenExactlyAndReadBackTheSame)
{
    CTestEnv t;
    for (const WriterCase& c : kParsedTexts) {
        EXPECT_EQ(Written(*t.Parse(c.in)), c.out) << c.what;
        const std::string again = Written(*t.Parse(c.out));
        if (c.out.find("224.2.1.2") == std::string::npos) {
            EXPECT_EQ(again, c.out) << c.what;
        } else {
            EXPECT_NE(again.find("c=IN IP4 224.2.1.2/127/1\nm=audio 3 RTP/AVP 0\nc=IN IP4 224.2.1.3/9/1\n"),
                      std::string::npos);
        }
    }
}

TEST(SdpWriter, EveryFieldOfARecordBuiltByTheProgram)
{
    CTestEnv t;
    auto r = CSDPObject::MakeWithoutText(t.env, "host.example.org");
    r->originUser = "erin";
    r->name = "Mine";
    r->information = "About";
    r->uri = "http://u/";
    r->email = "e@x";
    r->phone = "+1 2";
    r->connectionNetworkType = "IN";
    r->connectionAddressType = "IP4";
    r->connectionAddress = "224.2.200.1/15";
    r->bandwidthModifier = "AS";
    r->bandwidthValue = "64";
    r->keyMethod = "clear";
    r->keyValue = "pw";
    r->attributes = {"tool:Talmira by TalmiraSoft", "recvonly"};
    r->sessionType = kTypeBroadcast;
    r->times = {{"3900000000", "", "", "", ""}, {"3900000000", "3900086400", "3600", "600", "0 5m"}};
    CSDPMedia& audio = r->media.emplace_back();
    audio.media = "audio";
    audio.port = "20000";
    audio.protocol = "RTP/AVP";
    audio.formatList = "0 8";
    audio.address = "224.2.200.1";
    audio.ttl = 15;
    audio.bandwidthModifier = "AS";
    audio.keyMethod = "base64";
    audio.keyValue = "abc";
    audio.information = "Voice";
    audio.attributes = {"rtpmap:0 PCMU/8000", "sendonly"};
    CSDPMedia& video = r->media.emplace_back(); // no address, the parser's "N/A"
    video.media = "video";
    video.port = "5000";
    video.protocol = "RTP/AVP";
    video.formatList = "31";
    video.information = "N/A";
    const std::string ntp = std::to_string(t.clock.Now() + kNtpUnixOffset);
    EXPECT_EQ(Written(*r), "v=0\no=erin " + ntp + " " + ntp + " IN IP4 host.example.org\ns=Mine\ni=About\n"
                           "u=http://u/\ne=e@x\np=+1 2\nc=IN IP4 224.2.200.1/15\nb=AS 64\nk=clear:pw\n"
                           "a=tool:Talmira by TalmiraSoft\na=recvonly\na=type:broadcast\nt=3900000000 0\n"
                           "t=3900000000 3900086400\nr=3600 600 0 5m\nm=audio 20000 RTP/AVP 0 8\n"
                           "c=IN IP4 224.2.200.1/15/1\nb=AS \nk=base64 abc\ni=Voice\na=rtpmap:0 PCMU/8000\n"
                           "a=sendonly\nm=video 5000 RTP/AVP 31\n");
    // A session-level "N/A" is an ordinary text.
    r->information = "N/A";
    EXPECT_NE(Written(*r).find("\ni=N/A\n"), std::string::npos);
}

TEST(SdpWriter, TheSessionTypeDecidesTheTypeLine)
{
    CTestEnv t;
    auto r = t.Parse(kHead + "a=type:test\n");
    const char* const lines[] = {"a=type:test", "a=type:broadcast", "a=type:meeting", "a=type:unknown",
                                 "a=type:H332", "a=type:moderated", "a=", "a="};
    for (int type = kTypeTest; type <= kTypeScopeDirectory; ++type) {
        r->sessionType = type;
        EXPECT_EQ(Written(*r), kHead + (type == kTypeTest ? "" : "a=type:test\n") + lines[type] + "\n") << type;
    }
}

TEST(SdpWriter, LineBreaksInsideValuesCannotStartNewLines)
{
    // A description typed over several lines, one of which looks like SDP.
    CTestEnv t;
    auto r = CSDPObject::MakeWithoutText(t.env, "h");
    r->name = "Title\n";
    r->information = "First line\r\nc=IN IP4 10.9.9.9\nlast\r";
    r->attributes = {"note:a\nm=video 1 RTP/AVP 0"};
    const std::string text = Written(*r);
    EXPECT_EQ(text.substr(text.find("\ns=")), "\ns=Title \ni=First line c=IN IP4 10.9.9.9 last \n"
                                              "a=note:a m=video 1 RTP/AVP 0\na=type:unknown\n");
}

// Parse, write, parse, write: the same text, over samples from elsewhere
// and our own.
TEST(SdpWriter, CorpusTextsReadBackToTheSameText)
{
    std::vector<std::filesystem::path> files;
    for (const char* dir : {TALMIRA_SAMPLES, TALMIRA_TEST_DATA "/sdp"})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".sdp")
                files.push_back(entry.path());
    ASSERT_GE(files.size(), 25u);
    CTestEnv t;
    for (const auto& path : files) {
        auto first = t.Parse(ReadTestFile(path));
        const std::string written = Written(*first);
        EXPECT_EQ(Written(*t.Parse(written)), written) << path;
        EXPECT_EQ(Written(*first), written) << path;
    }
}

} // namespace
