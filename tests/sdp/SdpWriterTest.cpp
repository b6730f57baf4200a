// Writing records as SDP text, and reading that text back.
#include "base/Clock.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class WriterTest : public ::testing::Test {
protected:
    std::shared_ptr<CSDPObject> Parse(std::string_view text) { return CSDPObject::FromText(text, env); }
    static std::string Write(CSDPObject& r)
    {
        std::string out = "left over";
        r.WriteSdp(out);
        return out;
    }

    CManualClock clock{1800000000};
    CScriptedRandom random{11};
    CSdpEnvironment env{clock, random, nullptr};
};

// The lines of a text that start with `prefix`.
std::vector<std::string> LinesStarting(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    return out;
}

} // namespace

TEST_F(WriterTest, MinimalSessionMatchesTheDocumentedLayout)
{
    auto r = Parse("v=0\r\no=- 1 2 IN IP4 10.0.0.1\r\ns=Talk\r\nc=IN IP4 224.2.1.1/127\r\nt=0 0\r\n"
                   "a=type:meeting\r\nm=audio 3456 RTP/AVP 0\r\n");
    EXPECT_EQ(Write(*r), "v=0\n"
                         "o=- 1 2 IN IP4 10.0.0.1\n"
                         "s=Talk\n"
                         "c=IN IP4 224.2.1.1/127\n"
                         "a=type:meeting\n"
                         "t=0 0\n"
                         "m=audio 3456 RTP/AVP 0\n"
                         "c=IN IP4 224.2.1.1/127/1\n");
}

TEST_F(WriterTest, FullSessionInLineOrder)
{
    auto r = Parse("v=2\no=u 7 8 IN IP4 h\ns=Name\ni=Info\nu=http://x/\ne=a@b\np=+1 2\nc=IN IP4 224.2.9.9/31\n"
                   "b=AS 128\nk=clear:pw\na=recvonly\nt=3900000000 3900086400\nr=1h 10m 5m\n"
                   "m=video 5000 RTP/AVP 96 97\nc=IN IP4 224.2.9.10/15/2\nb=AS:64\nk=prompt\ni=Camera\n"
                   "a=rtpmap:96 H263/90000\n");
    EXPECT_EQ(Write(*r), "v=0\n" // always version 0
                         "o=u 7 8 IN IP4 h\n"
                         "s=Name\n"
                         "i=Info\n"
                         "u=http://x/\n"
                         "e=a@b\n"
                         "p=+1 2\n"
                         "c=IN IP4 224.2.9.9/31\n"
                         "b=AS 128\n"
                         "k=clear:pw\n"
                         "a=recvonly\n"
                         "a=type:unknown\n"
                         "t=3900000000 3900086400\n"
                         "r=3600 600 5m\n"
                         "m=video 5000 RTP/AVP 96\n"
                         "c=IN IP4 224.2.9.10/15/2\n"
                         "b=AS:64 \n"
                         "k=prompt \n"
                         "i=Camera\n"
                         "a=rtpmap:96 H263/90000\n");
}

TEST_F(WriterTest, TypeAttributeIsWrittenOnceAndLast)
{
    auto r = Parse("v=0\no=- 1 1 IN IP4 h\ns=x\na=type:test\na=one\na=type:meeting\na=two\n");
    ASSERT_EQ(r->sessionType, kTypeMeeting);
    EXPECT_EQ(LinesStarting(Write(*r), "a="),
              (std::vector<std::string>{"a=type:test", "a=one", "a=two", "a=type:meeting"}));

    // The type stored in the record decides, not the attributes.
    r->sessionType = kTypeH332;
    EXPECT_EQ(LinesStarting(Write(*r), "a=").back(), "a=type:H332");
    const struct { int type; const char* line; } types[] = {
        {kTypeTest, "a=type:test"}, {kTypeBroadcast, "a=type:broadcast"}, {kTypeUnknown, "a=type:unknown"},
        {kTypeModerated, "a=type:moderated"}, {kTypeDirectory, "a="}, {kTypeScopeDirectory, "a="},
    };
    for (const auto& t : types) {
        r->sessionType = t.type;
        EXPECT_EQ(LinesStarting(Write(*r), "a=").back(), t.line) << t.type;
    }
}

TEST_F(WriterTest, DirectoryGetsABareTypeLine)
{
    auto r = Parse("v=0\no=- 5 5 IN IP4 h\ns=Dir\na=type:meeting\nc=IN IP4 239.255.255.255/15\n"
                   "m=directory 9875 SAP/SDP 14\n");
    ASSERT_EQ(r->sessionType, kTypeDirectory);
    const std::string text = Write(*r);
    EXPECT_EQ(LinesStarting(text, "a="), (std::vector<std::string>{"a=type:meeting", "a="}));
    auto again = Parse(text);
    EXPECT_EQ(again->sessionType, kTypeDirectory);
    EXPECT_EQ(again->directoryPort, 9875);
    EXPECT_EQ(again->directoryTtl, 15);
}

TEST_F(WriterTest, OptionalLinesAreLeftOutWhenIncomplete)
{
    // Session connection needs all three fields; session bandwidth both.
    auto r = Parse("v=0\no=- 1 1 IN IP4 h\ns=\nc=IN IP4\nb=CT:64\nm=audio 1 RTP/AVP 0\ni=N/A\n");
    const std::string text = Write(*r);
    EXPECT_TRUE(LinesStarting(text, "c=").empty());
    EXPECT_TRUE(LinesStarting(text, "b=").empty());
    EXPECT_TRUE(LinesStarting(text, "i=").empty()); // "N/A" is the parser's default
    EXPECT_EQ(LinesStarting(text, "s="), std::vector<std::string>{"s="});
    EXPECT_TRUE(LinesStarting(text, "t=").empty());
    EXPECT_EQ(text.find('\r'), std::string::npos);

    auto bare = Parse("v=0\no=- 1 1 IN IP4 h\ns=x\n");
    EXPECT_TRUE(LinesStarting(Write(*bare), "m=").empty());
    // A session-level "N/A" is an ordinary text.
    bare->information = "N/A";
    EXPECT_EQ(LinesStarting(Write(*bare), "i="), std::vector<std::string>{"i=N/A"});
}

TEST_F(WriterTest, TimesRepeatsAndEmptyTimes)
{
    auto r = Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nt=3900000000\nt=3900000000 3900003600\nr=7d 1h 0\nt=\n");
    EXPECT_EQ(LinesStarting(Write(*r), "t="),
              (std::vector<std::string>{"t=3900000000 0", "t=3900000000 3900003600", "t=0 0"}));
    EXPECT_EQ(LinesStarting(Write(*r), "r="), std::vector<std::string>{"r=604800 3600 0"});
}

TEST_F(WriterTest, MediaConnectionCarriesTtlAndCount)
{
    auto r = Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nc=IN IP4 224.2.1.1\nm=audio 1 RTP/AVP 0\n"
                   "m=audio 2 RTP/AVP 0\nc=IN IP4 224.2.1.2/0/3\nm=audio 3 RTP/AVP 0\nc=IN IP4 224.2.1.3/9/0\n");
    EXPECT_EQ(LinesStarting(Write(*r), "c=IN IP4 224.2.1."),
              (std::vector<std::string>{"c=IN IP4 224.2.1.1", "c=IN IP4 224.2.1.1/127/1",
                                        // No TTL: a count alone would read back as the TTL.
                                        "c=IN IP4 224.2.1.2", "c=IN IP4 224.2.1.3/9"}));
}

TEST_F(WriterTest, OwnRecordWithoutText)
{
    auto r = CSDPObject::MakeWithoutText(env, "host.example.org");
    r->originUser = "erin";
    r->name = "Mine";
    r->attributes = {"tool:Talmira by TalmiraSoft"};
    r->times.push_back(CSDPTime{"3900000000", "", "", "", ""});
    CSDPMedia& m = r->media.emplace_back();
    m.media = "audio";
    m.port = "20000";
    m.protocol = "RTP/AVP";
    m.formatList = "0";
    m.address = "224.2.200.1";
    m.ttl = 15;
    m.addressCount = 1;
    const std::string ntp = std::to_string(clock.Now() + kNtpUnixOffset);
    EXPECT_EQ(Write(*r), "v=0\no=erin " + ntp + " " + ntp + " IN IP4 host.example.org\ns=Mine\n"
                         "a=tool:Talmira by TalmiraSoft\na=type:unknown\nt=3900000000 0\n"
                         "m=audio 20000 RTP/AVP 0\nc=IN IP4 224.2.200.1/15/1\n");
}

// --- Round trip -----------------------------------------------------------

namespace {

std::string KeyText(const CSDPObject& r)
{
    return r.keyValue.empty() ? r.keyMethod : r.keyMethod + ":" + r.keyValue;
}

std::string TimeOrZero(const std::string& t) { return t.empty() ? "0" : t; }

const char* TypeText(int type)
{
    static const char* const kTexts[] = {"type:test", "type:broadcast", "type:meeting",
                                         "type:unknown", "type:H332", "type:moderated"};
    return type >= 0 && type <= 5 ? kTexts[type] : "";
}

// Every field the writer writes reads back as it was.
void ExpectWrittenFieldsSurvive(const CSDPObject& a, const CSDPObject& b)
{
    EXPECT_EQ(b.originUser, a.originUser);
    EXPECT_EQ(b.originSessionId, a.originSessionId);
    EXPECT_EQ(b.originVersion, a.originVersion);
    EXPECT_EQ(b.originNetworkType, a.originNetworkType);
    EXPECT_EQ(b.originAddressType, a.originAddressType);
    EXPECT_EQ(b.originAddress, a.originAddress);
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.information, a.information);
    EXPECT_EQ(b.uri, a.uri);
    EXPECT_EQ(b.email, a.email);
    EXPECT_EQ(b.phone, a.phone);
    const bool connection = !a.connectionNetworkType.empty() && !a.connectionAddressType.empty()
        && !a.connectionAddress.empty();
    EXPECT_EQ(b.connectionNetworkType, connection ? a.connectionNetworkType : "");
    EXPECT_EQ(b.connectionAddressType, connection ? a.connectionAddressType : "");
    EXPECT_EQ(b.connectionAddress, connection ? a.connectionAddress : "");
    const bool bandwidth = !a.bandwidthModifier.empty() && !a.bandwidthValue.empty();
    EXPECT_EQ(b.bandwidthModifier, bandwidth ? a.bandwidthModifier : "");
    EXPECT_EQ(b.bandwidthValue, bandwidth ? a.bandwidthValue : "");
    EXPECT_EQ(KeyText(b), KeyText(a));
    EXPECT_EQ(b.sessionType, a.sessionType);

    std::vector<std::string> attributes;
    for (const std::string& attr : a.attributes)
        if (attr != TypeText(a.sessionType))
            attributes.push_back(attr);
    attributes.push_back(TypeText(a.sessionType));
    EXPECT_EQ(b.attributes, attributes);

    ASSERT_EQ(b.times.size(), a.times.size());
    for (size_t i = 0; i < a.times.size(); ++i) {
        const CSDPTime& ta = a.times[i];
        const CSDPTime& tb = b.times[i];
        EXPECT_EQ(tb.start, TimeOrZero(ta.start)) << "time " << i;
        EXPECT_EQ(tb.stop, TimeOrZero(ta.stop)) << "time " << i;
        EXPECT_EQ(tb.repeatInterval, ta.repeatInterval) << "time " << i;
        EXPECT_EQ(tb.activeDuration, ta.repeatInterval.empty() ? "" : ta.activeDuration) << "time " << i;
        EXPECT_EQ(tb.offset, ta.repeatInterval.empty() ? "" : ta.offset) << "time " << i;
    }

    ASSERT_EQ(b.media.size(), a.media.size());
    for (size_t i = 0; i < a.media.size(); ++i) {
        const CSDPMedia& ma = a.media[i];
        const CSDPMedia& mb = b.media[i];
        SCOPED_TRACE(::testing::Message() << "media " << i);
        EXPECT_EQ(mb.media, ma.media);
        EXPECT_EQ(mb.port, ma.port);
        EXPECT_EQ(mb.protocol, ma.protocol);
        EXPECT_EQ(mb.formatList, ma.formatList);
        EXPECT_EQ(mb.attributes, ma.attributes);
        EXPECT_EQ(mb.keyMethod, ma.keyMethod);
        EXPECT_EQ(mb.keyValue, ma.keyMethod.empty() ? "" : ma.keyValue);
        EXPECT_EQ(mb.bandwidthModifier, ma.bandwidthModifier);
        EXPECT_EQ(mb.bandwidthValue, ma.bandwidthModifier.empty() ? "" : ma.bandwidthValue);
        EXPECT_EQ(mb.information, ma.information);
        EXPECT_EQ(mb.address, ma.address);
        EXPECT_EQ(mb.ttl, ma.ttl);
        EXPECT_EQ(mb.addressCount, ma.addressCount);
        if (!ma.address.empty()) {
            EXPECT_EQ(mb.connectionNetworkType, ma.connectionNetworkType);
            EXPECT_EQ(mb.connectionAddressType, ma.connectionAddressType);
        }
        EXPECT_EQ(mb.payloadCount, ma.payloadCount);
        EXPECT_EQ(mb.payloads, ma.payloads);
    }
}

std::vector<std::filesystem::path> CorpusFiles()
{
    std::vector<std::filesystem::path> files;
    for (const char* dir : {TALMIRA_SAMPLES, TALMIRA_TEST_DATA "/sdp"})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".sdp")
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Parse, write, parse: the written fields survive, and the text written
// from the second record (and again from the first) is the same.
void ExpectRoundTrip(std::string_view text)
{
    CManualClock clock{1800000000};
    CScriptedRandom random{11};
    CSdpEnvironment env{clock, random, nullptr};
    auto first = CSDPObject::FromText(text, env);
    std::string written, again, repeated;
    first->WriteSdp(written);
    auto second = CSDPObject::FromText(written, env);
    ExpectWrittenFieldsSurvive(*first, *second);
    second->WriteSdp(again);
    EXPECT_EQ(again, written);
    first->WriteSdp(repeated);
    EXPECT_EQ(repeated, written);
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST_F(WriterTest, RoundTripKeepsEveryWrittenFieldOverTheCorpus)
{
    const auto files = CorpusFiles();
    ASSERT_GE(files.size(), 25u);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        ExpectRoundTrip(ReadFile(path));
    }
}

TEST_F(WriterTest, RoundTripOfTextsWrittenByHand)
{
    const char* const texts[] = {
        "v=0\no=- 1 1 IN IP4 h\ns=x\nt=3900000000 3900000000\nr=0 0 0\n",
        "v=0\no=a b c d e f g h\ns=  leading blanks stay\ni=x=y=z\na=type:\na=type:test trailing\n",
        "v=0\no=- 1 1 IN IP4 h\ns=x\nk=prompt\nm=audio 9 RTP/AVP 200\na=rtpmap:200\nk=clear secret\n",
        "v=0\ns=only a name\nm=directory 9876 SAP/SDP\nc=IN IP4 224.2.127.254/127\nm=Directory 1 x\n",
        "v=0\no=- 1 1 IN IP4 h\ns=x\nt=3900000000 3900001000\nr=1d\nt=0 0\nr=1h 1m\n",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        ExpectRoundTrip(text);
    }
}

TEST_F(WriterTest, ZeroTtlSettlesAfterOneRoundTrip)
{
    // A TTL of 0 is not written, so it reads back as the default 127; the
    // text written from then on no longer changes.
    auto first = Parse("v=0\no=- 1 1 IN IP4 h\ns=x\nm=audio 1 RTP/AVP 0\nc=IN IP4 224.2.1.2/0/3\n");
    const std::string once = Write(*first);
    auto second = Parse(once);
    EXPECT_EQ(second->media[0].ttl, 127);
    const std::string twice = Write(*second);
    EXPECT_EQ(Write(*Parse(twice)), twice);
}

TEST_F(WriterTest, LineBreaksInsideValuesCannotStartNewLines)
{
    // A description typed over several lines, one of which looks like SDP.
    auto r = CSDPObject::MakeWithoutText(env, "h");
    r->name = "Title\n";
    r->information = "First line\r\nc=IN IP4 10.9.9.9\nlast\r";
    r->attributes = {"note:a\nm=video 1 RTP/AVP 0"};
    const std::string text = Write(*r);
    EXPECT_NE(text.find("s=Title \n"), std::string::npos);
    EXPECT_NE(text.find("i=First line c=IN IP4 10.9.9.9 last \n"), std::string::npos);
    auto back = Parse(text);
    EXPECT_EQ(back->information, "First line c=IN IP4 10.9.9.9 last ");
    EXPECT_TRUE(back->connectionAddress.empty());
    EXPECT_TRUE(back->media.empty());
    EXPECT_EQ(back->attributes.front(), "note:a m=video 1 RTP/AVP 0");
}
