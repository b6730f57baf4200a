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

// The expected texts below are written with "\n"; every line the writer
// gives ends in CRLF.
std::string Crlf(std::string_view lf)
{
    std::string out;
    for (char c : lf)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const std::string kHead = "v=0\no=- 1 1 IN IP4 h\ns=x\n";

const struct WriterCase { const char* what; std::string in, out; } kParsedTexts[] = {
    {"the documented minimal session",
     "v=0\r\no=- 1 2 IN IP4 10.0.0.1\r\ns=Talk\r\nc=IN IP4 224.2.1.1/127\r\nt=0 0\r\na=type:meeting\r\n"
     "m=audio 3456 RTP/AVP 0\r\n",
     "v=0\no=- 1 2 IN IP4 10.0.0.1\ns=Talk\nc=IN IP4 224.2.1.1/127\nt=0 0\na=type:meeting\nm=audio 3456 RTP/AVP 0\n"
     "c=IN IP4 224.2.1.1/127/1\n"},
    {"every line, in order; version 0 always",
     "v=2\no=u 7 8 IN IP4 h\ns=Name\ni=Info\nu=http://x/\ne=a@b\np=+1 2\nc=IN IP4 224.2.9.9/31\nb=AS 128\n"
     "k=clear:pw\na=recvonly\nt=3900000000 3900086400\nr=1h 10m 5m\nm=video 5000 RTP/AVP 96 97\n"
     "c=IN IP4 224.2.9.10/15/2\nb=AS:64\nk=prompt\ni=Camera\na=rtpmap:96 H263/90000\n",
     "v=0\no=u 7 8 IN IP4 h\ns=Name\ni=Info\nu=http://x/\ne=a@b\np=+1 2\nc=IN IP4 224.2.9.9/31\nb=AS 128\n"
     "t=3900000000 3900086400\nr=3600 600 5m\nk=clear:pw\na=recvonly\na=type:unknown\nm=video 5000 RTP/AVP 96 97\n"
     "i=Camera\nc=IN IP4 224.2.9.10/15/2\nb=AS:64 \nk=prompt \na=rtpmap:96 H263/90000\n"},
    {"incomplete lines and the parser's N/A are left out",
     "v=0\no=- 1 1 IN IP4 h\ns=\nc=IN IP4\nb=CT:64\nm=audio 1 RTP/AVP 0\ni=N/A\n",
     "v=0\no=- 1 1 IN IP4 h\ns=\na=type:unknown\nm=audio 1 RTP/AVP 0\n"},
    {"no times, no media", kHead, kHead + "a=type:unknown\n"},
    {"times: an empty stop is 0; repeats in seconds",
     kHead + "t=3900000000\nt=3900000000 3900003600\nr=7d 1h 0\nt=\n",
     kHead + "t=3900000000 0\nt=3900000000 3900003600\nr=604800 3600 0\nt=0 0\na=type:unknown\n"},
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
     kHead + "t=3900000000 3900000000\nr=0 0 0\nk=prompt\na=type:unknown\nm=audio 9 RTP/AVP 200\nk=clear secret\n"
             "a=rtpmap:200\n"},
    {"repeats with fields left out", kHead + "t=3900000000 3900001000\nr=1d\nt=0 0\nr=1h 1m\n",
     kHead + "t=3900000000 3900001000\nr=86400  \nt=0 0\nr=3600 60 \na=type:unknown\n"},
    {"no origin; directory media with fields left out",
     "v=0\ns=only a name\nm=directory 9876 SAP/SDP\nc=IN IP4 224.2.127.254/127\nm=Directory 1 x\n",
     "v=0\no=     \ns=only a name\na=\nm=directory 9876 SAP/SDP \nc=IN IP4 224.2.127.254/127/1\nm=Directory 1 x \n"},
};

TEST(SdpWriter, ParsedTextsAreWrittenExactlyAndReadBackTheSame)
{
    CTestEnv t;
    for (const WriterCase& c : kParsedTexts) {
        const std::string out = Crlf(c.out);
        EXPECT_EQ(Written(*t.Parse(c.in)), out) << c.what;
        const std::string again = Written(*t.Parse(out));
        if (c.out.find("224.2.1.2") == std::string::npos) {
            EXPECT_EQ(again, out) << c.what;
        } else {
            EXPECT_NE(again.find(Crlf("c=IN IP4 224.2.1.2/127/1\nm=audio 3 RTP/AVP 0\nc=IN IP4 224.2.1.3/9/1\n")),
                      std::string::npos);
        }
    }
}

// What parsing cannot give: a session key value (its method and value are
// joined by a colon), several offsets, a session-level "N/A" (an ordinary
// text), the origin of our own record.
TEST(SdpWriter, ARecordBuiltByTheProgram)
{
    CTestEnv t;
    auto r = CSDPObject::MakeWithoutText(t.env, "host.example.org");
    r->originUser = "erin";
    r->name = "Mine";
    r->information = "N/A";
    r->extras.Edit().keyMethod = "clear";
    r->extras.Edit().keyValue = "pw";
    r->attributes = {"tool:Talmira by TalmiraSoft"};
    r->times = {{"3900000000", "", "3600", "600", "0 5m"}};
    const std::string ntp = std::to_string(t.clock.Now() + kNtpUnixOffset);
    const std::string head = "v=0\r\no=erin " + ntp + " " + ntp
        + " IN IP4 host.example.org\r\ns=Mine\r\ni=N/A\r\nt=3900000000 0\r\nr=3600 600 0 5m\r\n";
    const std::string tail = "a=tool:Talmira by TalmiraSoft\r\na=type:unknown\r\n";
    EXPECT_EQ(Written(*r), head + "k=clear:pw\r\n" + tail);
    r->extras.Edit().keyValue = "";
    EXPECT_EQ(Written(*r), head + "k=clear\r\n" + tail);
}

TEST(SdpWriter, TheSessionTypeDecidesTheTypeLine)
{
    CTestEnv t;
    auto r = t.Parse(kHead + "a=type:test\n");
    const char* const lines[] = {"a=type:test", "a=type:broadcast", "a=type:meeting", "a=type:unknown",
                                 "a=type:H332", "a=type:moderated", "a=", "a="};
    for (int type = kTypeTest; type <= kTypeScopeDirectory; ++type) {
        r->sessionType = type;
        EXPECT_EQ(Written(*r), Crlf(kHead + (type == kTypeTest ? "" : "a=type:test\n") + lines[type] + "\n")) << type;
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
    EXPECT_EQ(text.substr(text.find("s=")), Crlf("s=Title \ni=First line c=IN IP4 10.9.9.9 last \n"
                                                "a=note:a m=video 1 RTP/AVP 0\na=type:unknown\n"));
}

// Samples from elsewhere and our own: read whole, every m= line a media entry
// (from the first v= on), and written texts read back to the same text.
TEST(SdpWriter, CorpusTextsParseAndReadBackToTheSameText)
{
    std::vector<std::filesystem::path> files;
    for (const char* dir : {TALMIRA_SAMPLES, TALMIRA_TEST_DATA "/sdp"})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".sdp")
                files.push_back(entry.path());
    ASSERT_GE(files.size(), 25u);
    CTestEnv t;
    for (const auto& path : files) {
        const std::string text = ReadTestFile(path);
        auto first = t.Parse(text);
        EXPECT_EQ(first->sourceLength, static_cast<int>(text.size())) << path;
        size_t mLines = 0;
        for (size_t p = text.find("\nm="); p != std::string::npos; p = text.find("\nm=", p + 1))
            ++mLines;
        if (text.rfind("v=", 0) == 0) {
            EXPECT_EQ(first->media.size(), mLines) << path;
        }
        for (const CSDPMedia& m : first->media)
            EXPECT_LE(m.payloadCount, CSDPMedia::kMaxPayloads) << path;
        const std::string written = Written(*first);
        EXPECT_EQ(Written(*t.Parse(written)), written) << path;
        EXPECT_EQ(Written(*first), written) << path;
    }
}

} // namespace
