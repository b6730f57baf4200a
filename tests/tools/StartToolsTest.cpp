#include "support/FakePrompter.h"
#include "tools/LaunchTestSupport.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using Words = std::vector<std::string>;

std::string Session(const std::string& name, const std::string& times = "t=0 0\n")
{
    return "v=0\no=- 77 1 IN IP4 10.0.0.1\ns=" + name + "\nc=IN IP4 239.1.2.3/15\n" + times +
           "m=audio 5004 RTP/AVP 0\nm=video 5006 RTP/AVP 31\n";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class StartToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.installDir = dir.Path();
        std::filesystem::create_directories(std::filesystem::path(dir.Path()) / "tmp");
    }
    // Loads the given plug-in files and builds the registry as at start-up.
    void Load(std::initializer_list<std::pair<std::string, std::string>> plugins)
    {
        for (auto& [name, text] : plugins)
            dir.AddPlugin(name, text);
        ASSERT_EQ(data.Load(prompter), EPluginLoad::Ok);
    }
    std::shared_ptr<CSDPObject> Parse(const std::string& text) { return ParseSession(text, clock); }
    void Start(const std::shared_ptr<CSDPObject>& s, int media = -1, int tool = 0)
    {
        CToolLauncher launcher(data, prompter, dialogs, starter, clock, exe.Locator());
        launcher.onFatal = [] { FAIL() << "fatal"; };
        launcher.StartTools(s, media, tool);
    }

    CTempInstallDir dir;
    CToolData data;
    CFakePrompter prompter;
    CScriptedToolDialogs dialogs;
    CRecordingStarter starter;
    CManualClock clock{1700000000};
    CFakeExecutables exe;
};

const std::string kAudioSdpTool = "media: audio\nproto: RTP/AVP\ntool: listen\nfmt: 0\nflags: -i $(SDPFILE)\n";
const std::string kVideoSdpTool = "media: video\nproto: RTP/AVP\ntool: watch\nfmt: 31\nflags: $(SDPFILE) -v\n";

} // namespace

TEST_F(StartToolsTest, StartsEveryMediaEntryWithItsArgvAndFolder)
{
    exe.known = {{"listen", "/opt/l/listen"}, {"watch", "/opt/w/watch"}};
    Load({{"rev2.plugin.a", "media: audio\nproto: RTP/AVP\ntool: listen\nfmt: 0\nflags: -a $(ADDRESS) -n $(SESSNAME)\n"},
          {"rev2.plugin.v", "media: video\nproto: RTP/AVP\ntool: watch\nfmt: 31\nflags: -p $(PORT)\n"}});
    Start(Parse(Session("x; rm -rf ~")));
    ASSERT_EQ(starter.started.size(), 2u);
    EXPECT_EQ(starter.started[0].program, "/opt/l/listen");
    EXPECT_EQ(starter.started[0].args, (Words{"-a", "239.1.2.3", "-n", "x; rm -rf ~"}));
    EXPECT_EQ(starter.started[0].workingDirectory, "/opt/l");
    EXPECT_EQ(starter.started[1].args, (Words{"-p", "5006"}));
    EXPECT_TRUE(prompter.shown.empty());

    // Only the given media entry.
    starter.started.clear();
    Start(Parse(Session("s")), 1, 0);
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].program, "/opt/w/watch");
}

TEST_F(StartToolsTest, DirectoriesStartNothing)
{
    exe.known = {{"listen", "/opt/l/listen"}};
    Load({{"rev2.plugin.a", kAudioSdpTool}});
    for (int type : {kTypeDirectory, kTypeScopeDirectory}) {
        auto s = Parse(Session("dir"));
        s->sessionType = type;
        Start(s);
    }
    Start(nullptr);
    EXPECT_TRUE(starter.started.empty());
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(StartToolsTest, SdpFileIsWrittenForEachButOnlyTheFirstToolStarts)
{
    exe.known = {{"listen", "/opt/l/listen"}, {"watch", "/opt/w/watch"}};
    Load({{"rev2.plugin.a", kAudioSdpTool}, {"rev2.plugin.v", kVideoSdpTool}});
    auto s = Parse(Session("Jazz Night"));
    Start(s);
    const std::string file = dir.Path() + "/tmp/Jazz_Night.sdp";
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].args, (Words{"-i", file}));
    std::string expected;
    s->WriteSdp(expected);
    EXPECT_EQ(ReadFile(file), expected);
    EXPECT_NE(expected.find("s=Jazz Night"), std::string::npos);

    // The simpler start of the information page starts both.
    starter.started.clear();
    CToolLauncher launcher(data, prompter, dialogs, starter, clock, exe.Locator());
    EXPECT_FALSE(launcher.StartToolsFromInfoPage(*s));
    ASSERT_EQ(starter.started.size(), 2u);
    EXPECT_EQ(starter.started[1].args, (Words{file, "-v"}));
}

TEST_F(StartToolsTest, ChosenToolAndUnselectedTools)
{
    exe.known = {{"one", "/b/one"}, {"two", "/b/two"}};
    Load({{"rev2.plugin.1", "media: audio\nproto: RTP/AVP\ntool: one\nfmt: 0\n"},
          {"rev2.plugin.2", "media: audio\nproto: RTP/AVP\ntool: two\ntoolname: Two\nfmt: 0\n"}});
    auto s = Parse(Session("s"));
    s->media.pop_back();
    Start(s);
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].program, "/b/one");

    s->media[0].toolChoice = "Two";
    Start(s);
    EXPECT_EQ(starter.started.back().program, "/b/two");

    // Deselected, the chosen tool is never started.
    CToolEntry& two = data.registry.groups[0].tools[1];
    two.selected = 0;
    two.order = -1;
    Start(s);
    EXPECT_EQ(starter.started.back().program, "/b/one");
    // The media property page's tool index picks among the launches.
    two.selected = 1;
    two.order = 1;
    s->media[0].toolChoice.clear();
    Start(s, 0, 1);
    EXPECT_EQ(starter.started.back().program, "/b/two");
    EXPECT_EQ(starter.started.size(), 4u);
}

TEST_F(StartToolsTest, NoPluginPromptThenNextEntry)
{
    exe.known = {{"watch", "/opt/w/watch"}};
    Load({{"rev2.plugin.v", "media: video\nproto: RTP/AVP\ntool: watch\nfmt: 31\n"}});
    prompter.answers = {EPromptAnswer::No};
    Start(Parse(Session("s")));
    EXPECT_EQ(prompter.shown, Words{"I can't find a plugin for MEDIA: audio PROTOCOL: RTP/AVP FORMAT: 0.\n"
                                    "Do you want me to search the online database for the right plug-in?"});
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].program, "/opt/w/watch");

    // Yes opens the online search; cancelled, the next entry follows.
    prompter.shown.clear();
    prompter.answers = {EPromptAnswer::Yes};
    Start(Parse(Session("s")));
    EXPECT_EQ(dialogs.asked, Words{"online-plugin:audio/RTP/AVP/0"});
    EXPECT_EQ(starter.started.size(), 2u);

    // The information page says there is no tool instead.
    prompter.shown.clear();
    CToolLauncher launcher(data, prompter, dialogs, starter, clock, exe.Locator());
    launcher.StartToolsFromInfoPage(*Parse(Session("s")));
    EXPECT_EQ(prompter.shown, Words{"I can't find a tool for MEDIA: audio.\nInstall a plug-in for this type of MEDIA"});
}

TEST_F(StartToolsTest, ToolFoundOnDiskIsRememberedSavedAndStarted)
{
    Load({{"rev2.plugin.a", "media: audio\nproto: RTP/AVP\ntool: listen\ntoolname: Listener\nfmt: 0\n"},
          {"rev2.plugin.b", "media: video\nproto: RTP/AVP\ntool: listen\ntoolname: Listener\nfmt: 31\n"}});
    prompter.answers = {EPromptAnswer::Yes};
    dialogs.where = ESearchWhere::FileSystem;
    dialogs.foundOnDisk = "/found/listen";
    exe.known = {{"/found/listen", "/found/listen"}};
    auto s = Parse(Session("s"));
    s->media.pop_back();
    Start(s);
    EXPECT_EQ(prompter.shown, Words{"I can't find the tool Listener(listen)\nDo you want me to search for it?"});
    EXPECT_EQ(dialogs.asked, (Words{"where", "find:listen"}));
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].program, "/found/listen");
    // Every plug-in with that tool text got the path, and tools.sort keeps it.
    EXPECT_EQ(data.plugins.At(1)->foundPath, "/found/listen");
    CToolData reloaded;
    reloaded.installDir = dir.Path();
    ASSERT_EQ(reloaded.Load(prompter), EPluginLoad::Ok);
    EXPECT_EQ(reloaded.plugins.At(0)->foundPath, "/found/listen");
    EXPECT_EQ(reloaded.plugins.At(1)->foundPath, "/found/listen");

    // Cancel in "Where do I search?" ends the prompt; No too.
    data.SetFoundPath("listen", "");
    dialogs.where = ESearchWhere::Cancel;
    prompter.answers = {EPromptAnswer::Yes};
    Start(s);
    prompter.answers = {EPromptAnswer::No};
    Start(s);
    EXPECT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(prompter.shown.size(), 3u);
}

TEST_F(StartToolsTest, InactiveSessionAsksHowToStart)
{
    exe.known = {{"listen", "/opt/l/listen"}};
    Load({{"rev2.plugin.a", "media: audio\nproto: RTP/AVP\ntool: listen\nfmt: 0\n"}});
    const int64_t ntpStart = clock.Now() + kNtpUnixOffset + 3600;
    const std::string later = "t=" + std::to_string(ntpStart) + " " + std::to_string(ntpStart + 3600) + "\n";
    auto s = Parse(Session("Later Show", later));
    s->media.pop_back();

    dialogs.autoStart = EAutoStartChoice::Cancel;
    Start(s);
    EXPECT_EQ(dialogs.asked, Words{"auto:The Session \"Later Show\" is currently not active.\n"});
    EXPECT_TRUE(starter.started.empty());
    EXPECT_EQ(s->startTools, 0);

    dialogs.autoStart = EAutoStartChoice::AutoStart;
    Start(s);
    EXPECT_TRUE(starter.started.empty());
    EXPECT_EQ(s->startTools, 1);

    dialogs.autoStart = EAutoStartChoice::StartNow;
    Start(s);
    EXPECT_EQ(starter.started.size(), 1u);

    // Once the session runs, nothing is asked.
    dialogs.asked.clear();
    clock.Advance(3700);
    Start(s);
    EXPECT_EQ(dialogs.asked, Words{});
    EXPECT_EQ(starter.started.size(), 2u);

    // On the information page "Auto Start" is reported back for the check box.
    clock.Advance(-3700);
    dialogs.autoStart = EAutoStartChoice::AutoStart;
    s->startTools = 0;
    CToolLauncher launcher(data, prompter, dialogs, starter, clock, exe.Locator());
    EXPECT_TRUE(launcher.StartToolsFromInfoPage(*s));
    EXPECT_EQ(s->startTools, 1);
}

TEST_F(StartToolsTest, SessionBeingDeletedIsSkipped)
{
    exe.known = {{"listen", "/opt/l/listen"}};
    Load({{"rev2.plugin.a", kAudioSdpTool}});
    auto s = Parse(Session("s"));
    s->DeleteLater();
    Start(s);
    EXPECT_TRUE(starter.started.empty());
}

// Every SDP-file tool gets a file that exists; when none can be written the
// user is told and the tool is not started with a path to nothing.
TEST_F(StartToolsTest, SdpFileIsAlwaysWrittenOrReported)
{
    exe.known = {{"listen", "/opt/l/listen"}};
    Load({{"rev2.plugin.a", kAudioSdpTool}});
    auto s = Parse(Session(std::string(993, 'n')));
    s->media.pop_back();
    Start(s);
    ASSERT_EQ(starter.started.size(), 1u);
    const std::string file = starter.started[0].args.at(1);
    EXPECT_EQ(file, SdpFilePath(dir.Path(), s->name));
    EXPECT_NE(ReadFile(file).find("s=nnn"), std::string::npos);

    // tmp is a file: nothing can be written below it.
    std::filesystem::remove_all(std::filesystem::path(dir.Path()) / "tmp");
    CTempInstallDir::Write(std::filesystem::path(dir.Path()) / "tmp", "x");
    Start(s);
    EXPECT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(prompter.shown, Words{"Failed to write the session file " + file + "\nlisten is not started."});
}
