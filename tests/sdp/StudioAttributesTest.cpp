// Clock and format attributes of studio streams, and the format line they make.
#include "support/TestEnv.h"

#include "sdp/StudioAttributes.h"
#include "sdp/StudioRemarks.h"

#include <gtest/gtest.h>

namespace {

// The clock part of what was read, in one line.
std::string Clock(const CStudioAttributes& a)
{
    std::string out;
    if (const auto& c = a.referenceClock) {
        out = c->source;
        if (const auto& p = c->ptp)
            out += " " + p->version + " " + (p->traceable ? "traceable" : p->gmid) +
                   (p->domain ? ":" + std::to_string(*p->domain) : "") +
                   (p->domainName.empty() ? "" : ":" + p->domainName);
        else if (!c->value.empty())
            out += "=" + c->value;
    }
    if (const auto& m = a.mediaClock)
        out += "; " + m->mode + (m->offset ? "=" + std::to_string(*m->offset) : "") +
               (m->rate.empty() ? "" : " rate=" + m->rate) + (m->streamId.empty() ? "" : "=" + m->streamId);
    if (!a.clockDomain.empty())
        out += "; clock-domain " + a.clockDomain;
    if (a.framecount)
        out += "; framecount " + std::to_string(*a.framecount);
    if (a.maxptimeMs)
        out += "; maxptime " + std::to_string(*a.maxptimeMs).substr(0, 5);
    for (const CSourceFilter& f : a.sourceFilters) {
        out += "; " + std::string(f.include ? "incl " : "excl ") + f.addressType + " " + f.destination + " from";
        for (const std::string& source : f.sources)
            out += " " + source;
    }
    for (int other : a.duplicates)
        out += "; dup " + std::to_string(other);
    return out;
}

std::string Sdp(const std::string& session, const std::string& mline, const std::string& media)
{
    return "v=0\no=- 1 1 IN IP4 10.0.0.1\ns=x\nc=IN IP4 239.1.1.1/32\nt=0 0\n" + session + mline + "\n" + media;
}

TEST(StudioAttributes, ClockFormatAndProblems)
{
    const std::string ptp = "a=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB-D0:37\n";
    const std::string audio = "m=audio 5004 RTP/AVP 96 97";
    const std::string video = "m=video 5004 RTP/AVP 96";
    struct Row {
        std::string text;   // a sample's file name or an SDP text
        std::string clock;
        std::string format;
        std::vector<std::string> problems;
    };
    const std::vector<Row> rows = {
        {"dante-aes67.sdp", "", "L24 48 kHz, 2 ch, 1 ms", {}},
        // Its second entry's "a=mid:secondary;" leaves the group's second name unmatched.
        {"st2110-20.sdp",
         "ptp IEEE1588-2008 39-A7-94-FF-FE-07-CB-D0:37; direct=0; incl IP4 239.100.9.10 from 192.168.100.2",
         "1280×720i59.94 YCbCr 4:2:2 10-bit, 2110-20",
         {"\"a=group:DUP primary secondary\": no media entry has a=mid:secondary"}},
        // The media level's filters hide the session's; the group pairs the two entries.
        {Sdp("a=group:DUP a b\na=group:DUP a\na=group:DUP a a\na=source-filter: incl IN IP4 * 10.0.0.1\n", audio,
             "a=rtpmap:96 L24/48000/2\na=mid:a\na=source-filter: excl IN IP4 232.1.1.1 10.0.0.5 host.example\n"
             "a=source-filter: incl IN IP6 232.1.1.1 fd00::1\na=source-filter: keep IN IP4 * 10.0.0.5\n"
             "a=source-filter: incl IN IP4 *\na=source-filter: incl IN IP4 * 10.0.0.5 fd00::1\n"
             "m=audio 5006 RTP/AVP 96\na=mid:b\n"),
         "; excl IP4 232.1.1.1 from 10.0.0.5 host.example; dup 1", "L24 48 kHz, 2 ch",
         {"\"a=source-filter: incl IN IP6 232.1.1.1 fd00::1\": the destination is not an address of its type",
          "\"a=source-filter: keep IN IP4 * 10.0.0.5\": the mode is not incl or excl",
          "\"a=source-filter: incl IN IP4 *\": not a mode, network and address type, destination and sources",
          "\"a=source-filter: incl IN IP4 * 10.0.0.5 fd00::1\": a source is not an address of its type",
          "\"a=group:DUP a\": names fewer than two media entries", "\"a=group:DUP a a\": names a media entry twice"}},
        {"st2022-6.sdp", "; incl IP4 239.0.0.1 from 192.168.20.20", "SDI, 2022-6", {}},
        {"mediaclk-ptp-v2-w-rate.sdp", "ptp IEEE1588-2008 39-A7-94-FF-FE-07-CB-D0:0; direct=963214424 rate=1000/1001",
         "L24 44.1 kHz, 2 ch", {}},
        {"mediaclk-avbtp.sdp", "ptp IEEE1588-2008 39-A7-94-FF-FE-07-CB-D0:0; IEEE1722=38-D6-6D-8E-D2-78-13-2F",
         "L24 48 kHz, 2 ch", {}},
        // The media level hides the session's line; the first format is the one read.
        {Sdp(ptp + "a=ptime:1\n", audio,
             "a=rtpmap:97 L16/48000/2\na=rtpmap:96 L24/48000/8\na=ptime:0.125\na=mediaclk:id=Zm9v sender\n"
             "a=ts-refclk:ptp=IEEE1588-2019:08-00-11-ff-fe-22-33-44:domain-nmbr=5\n"),
         "ptp IEEE1588-2019 08-00-11-FF-FE-22-33-44:5; sender", "L24 48 kHz, 8 ch, 125 µs", {}},
        {Sdp("", video,
             "a=rtpmap:96 raw/90000\na=fmtp:96 sampling=YCbCr-4:2:2; width=1920; height=1080; exactframerate=50; "
             "depth=10; TCS=SDR; colorimetry=BT709; PM=2110GPM; SSN=ST2110-20:2017; TP=2110TPN\n"),
         "", "1920×1080p50 YCbCr 4:2:2 10-bit, 2110-20 TPN", {}},
        {Sdp("", video,
             "a=rtpmap:96 jxsv/90000\na=fmtp:96 width=3840;height=2160;exactframerate=30000/1001;TP=2110TPW;"
             "SSN=ST2110-22:2019\n"),
         "", "3840×2160p29.97 jxsv, 2110-22 TPW", {}},
        {Sdp("a=clock-domain:PTPv2 0\n", audio,
             "a=rtpmap:96 AM824/48000/8\na=fmtp:96 channel-order=SMPTE2110.(51,ST)\na=ptime:1\na=maxptime:4\n"
             "a=framecount:48\na=ts-refclk:ptp=IEEE1588-2002:39-A7-94-FF-FE-07-CB-D0:_DFLT\n"),
         "ptp IEEE1588-2002 39-A7-94-FF-FE-07-CB-D0:_DFLT; clock-domain PTPv2 0; framecount 48; maxptime 4.000",
         "AM824 48 kHz, 8 ch, 1 ms, order (51,ST), 2110-31", {}},
        {Sdp("", video, "a=rtpmap:96 smpte291/90000\na=ts-refclk:ptp=IEEE802.1AS-2011:traceable\n"),
         "ptp IEEE802.1AS-2011 traceable", "ANC, 2110-40", {}},
        {Sdp("a=ts-refclk:localmac=7c-e9-d3-1b-9a-af\n", "m=audio 5004 RTP/AVP 0", "a=ts-refclk:ntp=/traceable/\n"),
         "ntp=/traceable/", "PCMU 8 kHz, 1 ch", {}},
        {Sdp("a=ts-refclk:localmac=7c-e9-d3-1b-9a-af\n", "m=application 5004 RTP/AVP 96", ""),
         "localmac=7C-E9-D3-1B-9A-AF", "", {}},
        // Malformed forms are reported, and the first well-formed line is used.
        {Sdp("", audio,
             "a=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB:37\na=ts-refclk:ptp=IEEE1588-2007:39-A7-94-FF-FE-07-CB-D0\n"
             "a=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB-D0:300\na=ts-refclk:localmac=7c-e9\n"
             "a=ts-refclk:sundial\na=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB-D0\n"
             "a=mediaclk:direct=-5\na=mediaclk:direct=0 rate=1000\na=mediaclk:sender=1\na=mediaclk:IEEE1722=38-D6\n"
             "a=mediaclk:wallclock\na=rtpmap:96 L24/fast/2\na=ptime:abc\na=ptime:0\na=framecount:0\n"),
         "ptp IEEE1588-2008 39-A7-94-FF-FE-07-CB-D0", "",
         {"\"a=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB:37\": the grandmaster identity is not eight hex pairs",
          "\"a=ts-refclk:ptp=IEEE1588-2007:39-A7-94-FF-FE-07-CB-D0\": unknown PTP version",
          "\"a=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB-D0:300\": the PTP domain is not a number from 0 to 255",
          "\"a=ts-refclk:localmac=7c-e9\": the MAC address is not six hex pairs",
          "\"a=ts-refclk:sundial\": unknown clock source",
          "\"a=mediaclk:direct=-5\": the offset is not a whole number",
          "\"a=mediaclk:direct=0 rate=1000\": the rate is not a ratio of whole numbers",
          "\"a=mediaclk:sender=1\": \"sender\" takes no value",
          "\"a=mediaclk:IEEE1722=38-D6\": the stream identity is not eight hex pairs",
          "\"a=mediaclk:wallclock\": unknown media clock",
          "\"a=ptime:abc\": not a time in milliseconds", "\"a=ptime:0\": not a time in milliseconds",
          "\"a=framecount:0\": not a positive whole number",
          "\"a=rtpmap:96 L24/fast/2\": not an encoding name, clock rate and channel count"}},
        {Sdp("", video,
             "a=rtpmap:96 raw/90000\na=fmtp:96 sampling=YUV; width=0; height=1080; exactframerate=50/0; depth=9; "
             "colorimetry=BT999; PM=2110XPM; TP=2110TPX; SSN=\n"),
         "", "2110-20",
         {"\"a=fmtp:96 sampling=YUV; width=0; height=1080; exactframerate=50/0; depth=9; colorimetry=BT999; "
          "PM=2110XPM; TP=2110TPX; SSN=\": " + std::string("sampling: unknown value"),
          "width: not a number from 1 to 32767", "exactframerate: not a whole number or a ratio of whole numbers",
          "depth: unknown value", "colorimetry: unknown value", "PM: unknown value", "TP: unknown value",
          "SSN: empty"}},
        // A ratio with one side unreadable, whichever side.
        {Sdp("", video, "a=rtpmap:96 raw/90000\na=fmtp:96 exactframerate=x/2; exactframerate=25/x\n"), "", "2110-20",
         {"exactframerate: not a whole number or a ratio of whole numbers",
          "exactframerate: not a whole number or a ratio of whole numbers"}},
        {Sdp("", audio, "a=rtpmap:96 L24/48000/4\na=fmtp:96 channel-order=SMPTE2110.(ST,ST,M)\n"), "",
         "L24 48 kHz, 4 ch", {"channel-order: the groups hold 5 channels, the rtpmap 4"}},
        {Sdp("", audio, "a=rtpmap:96 L24/48000/4\na=fmtp:96 channel-order=SMPTE2110.(ST,Q)\n"), "",
         "L24 48 kHz, 4 ch", {"channel-order: unknown channel group \"Q\""}},
    };
    CTestEnv t;
    for (const Row& row : rows) {
        const bool file = row.text.ends_with(".sdp");
        auto r = t.Parse(file ? ReadTestFile(std::string(TALMIRA_SAMPLES "/") + row.text) : row.text);
        ASSERT_FALSE(r->media.empty()) << row.text;
        const CStudioAttributes a = ReadStudioAttributes(*r, r->media[0]);
        EXPECT_EQ(Clock(a), row.clock) << row.text;
        EXPECT_EQ(StudioFormatText(a), row.format) << row.text;
        // Problems of one fmtp line are given by their end after the first.
        ASSERT_EQ(a.problems.size(), row.problems.size()) << ::testing::PrintToString(a.problems);
        for (size_t i = 0; i < a.problems.size(); ++i)
            EXPECT_TRUE(a.problems[i].ends_with(row.problems[i])) << a.problems[i];
    }
}

// Each rule once, by the codes of the remarks it makes on the first entry.
TEST(StudioAttributes, ConformanceRemarks)
{
    const std::string ptp = "a=ts-refclk:ptp=IEEE1588-2008:39-A7-94-FF-FE-07-CB-D0:0\n";
    const std::string audio = "m=audio 5004 RTP/AVP 96", video = "m=video 5004 RTP/AVP 96";
    const std::string aes67 = ptp + "a=mediaclk:direct=0\n", st2110 = "a=fmtp:96 channel-order=SMPTE2110.(U16)\n";
    const std::vector<std::pair<std::string, std::string>> rows = {
        // Ordinary RTP sessions, L16 without a clock among them, are not judged.
        {Sdp("", "m=audio 5004 RTP/AVP 0", "a=ts-refclk:ntp=pool\n"), ""},
        {Sdp("", "m=audio 5004 RTP/AVP 11", ""), ""},
        {Sdp("", audio, "a=rtpmap:96 L24/48000/8\na=ptime:1\n" + aes67), ""},
        {"dante-aes67.sdp", "aes67-ts-refclk aes67-mediaclk"},
        {Sdp(ptp, audio, "a=rtpmap:96 L24/44100/2\na=mediaclk:sender\n"), "aes67-rate aes67-ptime aes67-mediaclk"},
        {Sdp("", audio, "a=rtpmap:96 L16/32000/12\na=ptime:1\na=ts-refclk:ntp=pool\na=mediaclk:direct=5\n"),
         "aes67-rate aes67-channels aes67-ts-refclk"},
        {Sdp("", audio, "a=rtpmap:96 L24/48000/16\na=ptime:4\n" + aes67), "aes67-payload"},
        {Sdp("", audio, "a=rtpmap:96 opus/48000/2\na=ptime:2\n" + aes67), "aes67-encoding aes67-ptime"},
        // 2110-30: 16 channels at 1 ms fit no level; 32 at 96 kHz and 125 µs fit CX.
        {Sdp("", audio, "a=rtpmap:96 L24/48000/16\na=ptime:1\n" + st2110 + aes67),
         "aes67-channels aes67-payload st2110-30-level"},
        {Sdp("", audio, "a=rtpmap:96 L24/96000/32\na=ptime:0.125\na=fmtp:96 channel-order=SMPTE2110.(U32)\n" + aes67),
         "aes67-rate"},
        {Sdp(aes67, audio, "a=rtpmap:96 L24/48000/16\na=ptime:0.125\n" + st2110), "st2110-10-ts-refclk"},
        {Sdp("", audio, "a=rtpmap:96 AM824/48000/2\na=mediaclk:direct=7\n" + ptp), "st2110-10-mediaclk"},
        {"st2110-20.sdp", "st2110-21-sender-type"},
        {Sdp("", video, "a=rtpmap:96 raw/90000\na=fmtp:96 width=1920; height=1080; depth=9; TP=2110TPN\n" + aes67),
         "st2110-20-parameters"},
    };
    EXPECT_EQ(Level2110_30(96000, 0.125, 32) + Level2110_30(48000, 0.125, 8) + Level2110_30(96000, 1, 4), "CXBAX");
    CTestEnv t;
    for (const auto& [text, codes] : rows) {
        auto r = t.Parse(text.ends_with(".sdp") ? ReadTestFile(std::string(TALMIRA_SAMPLES "/") + text) : text);
        std::string got;
        for (const CStudioRemark& remark : StudioRemarks(*r, r->media[0], ReadStudioAttributes(*r, r->media[0]))) {
            got += (got.empty() ? "" : " ") + remark.code;
            EXPECT_TRUE(remark.text.starts_with("AES67 ") || remark.text.starts_with("ST 2110-")) << remark.text;
        }
        EXPECT_EQ(got, codes) << text;
    }
}

} // namespace
