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
        ASSERT_EQ(data.plugins.Count(), 6u);
        ASSERT_TRUE(prompter.shown.empty());
    }
    // The tools FindTools offers for the first media entry of `mediaLines`.
    std::vector<CToolLaunch> Offered(const std::string& mediaLines)
    {
        auto s = t.Parse("v=0\no=- 1 1 IN IP4 10.0.0.1\ns=Jazz Night\nc=IN IP4 239.1.2.3/15\nt=0 0\n" + mediaLines);
        std::vector<CToolLaunch> out;
        FindTools(*s, s->media.at(0), data.registry, CFakeExecutables().Locator(), out);
        return out;
    }

    CTempInstallDir dir;
    CToolData data;
    CFakePrompter prompter;
    CTestEnv t;
};

} // namespace

// Each payload goes to the players that decode it (GSM only to VLC, dynamic
// types only to the SDP-file players); VLC's URL puts an IPv6 group in
// brackets and takes the first port of a port count.
TEST_F(ShippedPlugins, PlayersAndTheirArgv)
{
    const std::string sdp = SdpFilePath(dir.Path(), "Jazz Night");
    const struct { std::string media, offered; size_t launch; Words argvEnd; } cases[] = {
        {"m=audio 5004 RTP/AVP 0\n", "ffplay mpv vlc ", 0,
         {"-hide_banner", "-loglevel", "warning", "-protocol_whitelist", "file,udp,rtp", "-window_title", "Jazz Night",
          "-i", sdp}},
        {"m=audio 5004 RTP/AVP 0\n", "ffplay mpv vlc ", 2,
         {"--no-one-instance", "--meta-title", "Jazz Night", "rtp://@239.1.2.3:5004"}},
        {"m=video 5006 RTP/AVP 96\na=rtpmap:96 H264/90000\n", "ffplay mpv ", 1, {sdp}},
        {"m=audio 5004 RTP/AVP 96\na=rtpmap:96 opus/48000/2\n", "ffplay mpv ", 0, {sdp}},
        {"m=audio 5004 RTP/AVP 3\n", "vlc ", 0, {"rtp://@239.1.2.3:5004"}},
        {"m=audio 5004/2 RTP/AVP 0\n", "ffplay mpv vlc ", 2, {"rtp://@239.1.2.3:5004"}},
        {"m=video 5006 RTP/AVP 33\nc=IN IP6 ff15::1:2\n", "ffplay mpv vlc ", 2, {"rtp://@[ff15::1:2]:5006"}},
    };
    for (const auto& c : cases) {
        const std::vector<CToolLaunch> launches = Offered(c.media);
        ASSERT_EQ(ToolsOf(launches), c.offered) << c.media;
        const Words argv = CommandArguments(launches.at(c.launch), sdp, nullptr);
        // A row that lists more than the last argument lists them all.
        const size_t n = c.argvEnd.size() > 1 ? argv.size() : std::min<size_t>(argv.size(), 1);
        EXPECT_EQ(Words(argv.end() - static_cast<std::ptrdiff_t>(n), argv.end()), c.argvEnd) << c.media;
    }
}
