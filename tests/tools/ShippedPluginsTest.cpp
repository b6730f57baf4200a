#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class ShippedPlugins : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& entry : fs::directory_iterator(fs::path(TALMIRA_TEST_DATA) / ".." / ".." / "plugins"))
            fs::copy_file(entry.path(), dir.Plugins() / entry.path().filename());
        data.installDir = dir.Path();
        ASSERT_EQ(data.Load(prompter), EPluginLoad::Ok);
    }
    // The tools FindTools offers for the first media entry of `mediaLines`.
    std::string Offered(const std::string& mediaLines, std::vector<CToolLaunch>* launches = nullptr)
    {
        auto s = ParseSession("v=0\no=- 1 1 IN IP4 10.0.0.1\ns=Jazz Night\nc=IN IP4 239.1.2.3/15\nt=0 0\n" + mediaLines,
                              clock);
        CFakeExecutables exe;
        std::vector<CToolLaunch> out;
        FindTools(*s, s->media.at(0), data.registry, exe.Locator(), out);
        if (launches)
            *launches = out;
        return ToolsOf(out);
    }

    CTempInstallDir dir;
    CToolData data;
    CFakePrompter prompter;
    CManualClock clock{1700000000};
};

} // namespace

TEST_F(ShippedPlugins, LoadCleanlyWithToolsAndDescriptions)
{
    EXPECT_TRUE(prompter.shown.empty());
    ASSERT_EQ(data.plugins.Count(), 6u);
    for (const auto& p : data.plugins) {
        EXPECT_EQ(p->tool, p->fileKey);
        EXPECT_FALSE(p->description.empty()) << p->fileKey;
        EXPECT_EQ(p->protocol, "RTP/AVP");
        EXPECT_FALSE(p->commandLineParts.empty());
        for (const CPluginFormat& f : p->formats)
            EXPECT_FALSE(f.displayName.empty()) << p->fileKey << " " << f.name;
    }
    // Name order puts the SDP-file players first in every group.
    EXPECT_EQ(data.registry.groups[0].tools[0].name, "FFplay");
}

TEST_F(ShippedPlugins, StaticAndDynamicPayloadsFindAPlayer)
{
    std::vector<CToolLaunch> audio, video;
    EXPECT_EQ(Offered("m=audio 5004 RTP/AVP 0\n", &audio), "ffplay mpv vlc ");
    // VLC takes static payload types only.
    EXPECT_EQ(Offered("m=video 5006 RTP/AVP 96\na=rtpmap:96 H264/90000\n", &video), "ffplay mpv ");
    const std::string sdp = SdpFilePath(dir.Path(), "Jazz Night");
    EXPECT_EQ(CommandArguments(audio[0], sdp, nullptr), (Words{"-hide_banner", "-loglevel", "warning",
                                                               "-protocol_whitelist", "file,udp,rtp", "-window_title",
                                                               "Jazz Night", "-i", sdp}));
    EXPECT_EQ(CommandArguments(audio[2], sdp, nullptr),
              (Words{"--no-one-instance", "--meta-title", "Jazz Night", "rtp://@239.1.2.3:5004"}));
    EXPECT_EQ(CommandArguments(video[1], sdp, nullptr).back(), sdp);
}

// What the picker deselects stays off; GSM goes only to the player that
// decodes it.
TEST_F(ShippedPlugins, OfferedToolsFollowThePickerAndThePlayers)
{
    EXPECT_EQ(Offered("m=audio 5004 RTP/AVP 3\n"), "vlc ");
    EXPECT_EQ(Offered("m=audio 5004 RTP/AVP 96\na=rtpmap:96 opus/48000/2\n"), "ffplay mpv ");
    for (CMediaListEntry& g : data.registry.groups)
        if (g.media == "audio" && g.format == "0")
            for (CToolEntry& t : g.tools)
                t.selected = 0, t.order = -1;
    EXPECT_EQ(Offered("m=audio 5004 RTP/AVP 0\n"), "");
    EXPECT_EQ(Offered("m=audio 5004 RTP/AVP 8\n"), "ffplay mpv vlc ");
}

// VLC's URL: an IPv6 group in brackets, the first port of a port count.
TEST_F(ShippedPlugins, VlcUrlForIpv6AndPortCounts)
{
    const std::pair<std::string, std::string> cases[] = {
        {"m=audio 5004/2 RTP/AVP 0\n", "rtp://@239.1.2.3:5004"},
        {"m=video 5006 RTP/AVP 33\nc=IN IP6 ff15::1:2\n", "rtp://@[ff15::1:2]:5006"},
    };
    for (const auto& [media, url] : cases) {
        std::vector<CToolLaunch> launches;
        ASSERT_EQ(Offered(media, &launches), "ffplay mpv vlc ") << media;
        EXPECT_EQ(CommandArguments(launches[2], "f.sdp", nullptr).back(), url) << media;
    }
}
