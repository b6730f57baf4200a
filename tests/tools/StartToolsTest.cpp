#include "tools/ToolPicker.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

class StartToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.installDir = dir.Path();
        std::filesystem::create_directories(std::filesystem::path(dir.Path()) / "tmp");
        exe.known = {{"listen", "/opt/l/listen"}, {"watch", "/opt/w/watch"}};
    }
    // Loads the given plug-in files and builds the registry as at start-up.
    void Load(std::initializer_list<std::string> plugins)
    {
        int n = 0;
        for (const std::string& text : plugins)
            dir.AddPlugin("rev2.plugin." + std::to_string(n++), text);
        ASSERT_EQ(data.Load(prompter), EPluginLoad::Ok);
    }
    // The session, with its audio entry only unless `both`.
    std::shared_ptr<CSDPObject> Parse(const std::string& name, bool both = true, const std::string& times = "t=0 0\n")
    {
        auto s = t.Parse("v=0\no=- 77 1 IN IP4 10.0.0.1\ns=" + name + "\nc=IN IP4 239.1.2.3/15\n" + times +
                         "m=audio 5004 RTP/AVP 0\nm=video 5006 RTP/AVP 31\n");
        if (!both)
            s->media.pop_back();
        return s;
    }
    CToolLauncher Launcher()
    {
        CToolLauncher launcher(data, prompter, dialogs, starter, t.clock, exe.Locator());
        launcher.onFatal = [] { FAIL() << "fatal"; };
        return launcher;
    }
    void Start(const std::shared_ptr<CSDPObject>& s, int media = -1, int tool = 0) { Launcher().StartTools(s, media, tool); }
    std::string Programs()
    {
        std::string out;
        for (const CStartedProcess& p : starter.started)
            out += p.program + " ";
        return out;
    }

    CTempInstallDir dir;
    CToolData data;
    CFakePrompter prompter;
    CScriptedToolDialogs dialogs;
    CRecordingStarter starter;
    CTestEnv t;
    CFakeExecutables exe;
};

const std::string kListen = "media: audio\nproto: RTP/AVP\ntool: listen\nfmt: 0\n";

} // namespace

// Network text stays one argument; the SDP file is written for every tool
// that asks for it, but one start runs only the first of them.
TEST_F(StartToolsTest, StartsEachMediaEntryWithItsArgvFolderAndSdpFile)
{
    Load({kListen + "flags: -a $(ADDRESS) -n $(SESSNAME) -i $(SDPFILE)\n",
          "media: video\nproto: RTP/AVP\ntool: watch\nfmt: 31\nflags: -p $(PORT) $(SDPFILE) -v\n"});
    auto s = Parse("x; rm -rf ~");
    Start(s);
    const std::string file = dir.Path() + "/tmp/x__rm__rf__.sdp";
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(std::tie(starter.started[0].program, starter.started[0].args, starter.started[0].workingDirectory),
              std::tuple("/opt/l/listen", Words{"-a", "239.1.2.3", "-n", "x; rm -rf ~", "-i", file}, "/opt/l"));
    EXPECT_EQ(ReadTestFile(file), WrittenSdp(*s));
    EXPECT_TRUE(prompter.shown.empty());

    // The simpler start of the information page starts both.
    EXPECT_FALSE(Launcher().StartToolsFromInfoPage(*s));
    ASSERT_EQ(starter.started.size(), 3u);
    EXPECT_EQ(starter.started[2].args, (Words{"-p", "5006", file, "-v"}));
    Start(s, 1, 0); // only the given media entry
    EXPECT_EQ(Programs(), "/opt/l/listen /opt/l/listen /opt/w/watch /opt/w/watch ");

    // When no file can be written (tmp is a file) the user is told and the
    // tool is not started with a path to nothing.
    std::filesystem::remove_all(std::filesystem::path(dir.Path()) / "tmp");
    CTempInstallDir::Write(std::filesystem::path(dir.Path()) / "tmp", "x");
    Start(s, 0, 0);
    EXPECT_EQ(prompter.shown, Words{"Failed to write the session file " + file + "\nlisten is not started."});
    EXPECT_EQ(starter.started.size(), 4u);

    // Directories, no session and sessions being deleted start nothing.
    prompter.shown.clear();
    for (int type : {kTypeDirectory, kTypeScopeDirectory}) {
        s->sessionType = type;
        Start(s);
    }
    Start(nullptr);
    EXPECT_TRUE(dialogs.asked.empty());
    s = Parse("s");
    s->DeleteLater();
    Start(s);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(starter.started.size(), 4u);
}

TEST_F(StartToolsTest, ChosenToolAndUnselectedTools)
{
    exe.known = {{"one", "/b/one"}, {"two", "/b/two"}};
    Load({"media: audio\nproto: RTP/AVP\ntool: one\nfmt: 0\n", "media: audio\nproto: RTP/AVP\ntool: two\ntoolname: Two\nfmt: 0\n"});
    auto s = Parse("s", false);
    Start(s);
    s->media[0].extras.Edit().toolChoice = "Two";
    Start(s);
    // Deselected, the chosen tool is never started.
    ASSERT_TRUE(DeselectTool(data.registry.groups[0], 1));
    Start(s);
    // The media property page's tool index picks among the launches.
    ASSERT_TRUE(SelectTool(data.registry.groups[0], 1));
    s->media[0].extras.Edit().toolChoice.clear();
    Start(s, 0, 1);
    EXPECT_EQ(Programs(), "/b/one /b/two /b/one /b/two ");
}

TEST_F(StartToolsTest, NoPluginPromptThenNextEntry)
{
    Load({"media: video\nproto: RTP/AVP\ntool: watch\nfmt: 31\n"});
    prompter.answers = {EPromptAnswer::No};
    Start(Parse("s"));
    EXPECT_EQ(prompter.shown, Words{"I can't find a plugin for MEDIA: audio PROTOCOL: RTP/AVP FORMAT: 0.\n"
                                    "Do you want me to search the online database for the right plug-in?"});
    EXPECT_EQ(Programs(), "/opt/w/watch ");

    // Yes opens the online search; cancelled, the next entry follows.
    prompter.shown.clear();
    prompter.answers = {EPromptAnswer::Yes};
    Start(Parse("s"));
    EXPECT_EQ(dialogs.asked, Words{"online-plugin:audio/RTP/AVP/0"});
    EXPECT_EQ(Programs(), "/opt/w/watch /opt/w/watch ");

    // The information page says there is no tool instead.
    prompter.shown.clear();
    Launcher().StartToolsFromInfoPage(*Parse("s"));
    EXPECT_EQ(prompter.shown, Words{"I can't find a tool for MEDIA: audio.\nInstall a plug-in for this type of MEDIA"});
}

TEST_F(StartToolsTest, ToolFoundOnDiskIsRememberedSavedAndStarted)
{
    Load({"media: audio\nproto: RTP/AVP\ntool: lost\ntoolname: Lost\nfmt: 0\n",
          "media: video\nproto: RTP/AVP\ntool: lost\ntoolname: Lost\nfmt: 31\n"});
    prompter.answers = {EPromptAnswer::Yes};
    dialogs.where = ESearchWhere::FileSystem;
    dialogs.foundOnDisk = "/found/lost";
    exe.known = {{"/found/lost", "/found/lost"}};
    auto s = Parse("s", false);
    Start(s);
    EXPECT_EQ(prompter.shown, Words{"I can't find the tool Lost(lost)\nDo you want me to search for it?"});
    EXPECT_EQ(dialogs.asked, (Words{"where", "find:lost"}));
    EXPECT_EQ(Programs(), "/found/lost ");
    // Every plug-in with that tool text got the path, and tools.sort keeps it.
    CToolData reloaded;
    reloaded.installDir = dir.Path();
    ASSERT_EQ(reloaded.Load(prompter), EPluginLoad::Ok);
    EXPECT_EQ(reloaded.plugins.At(0)->foundPath + "|" + reloaded.plugins.At(1)->foundPath, "/found/lost|/found/lost");

    // Cancel in "Where do I search?" ends the prompt; No too.
    data.SetFoundPath("lost", "");
    dialogs.where = ESearchWhere::Cancel;
    prompter.answers = {EPromptAnswer::Yes};
    Start(s);
    prompter.answers = {EPromptAnswer::No};
    Start(s);
    EXPECT_EQ(Programs(), "/found/lost ");
    EXPECT_EQ(prompter.shown.size(), 3u);
}

TEST_F(StartToolsTest, InactiveSessionAsksHowToStart)
{
    Load({kListen});
    const int64_t ntpStart = t.clock.Now() + kNtpUnixOffset + 3600;
    auto s = Parse("Later Show", false, "t=" + std::to_string(ntpStart) + " " + std::to_string(ntpStart + 3600) + "\n");

    for (const auto& [choice, autoStart, programs] : {std::tuple{EAutoStartChoice::Cancel, 0, ""},
                                                      {EAutoStartChoice::AutoStart, 1, ""},
                                                      {EAutoStartChoice::StartNow, 1, "/opt/l/listen "}}) {
        dialogs.autoStart = choice;
        Start(s);
        EXPECT_EQ(std::tuple(s->startTools, Programs()), std::tuple(autoStart, std::string(programs)));
    }
    EXPECT_EQ(dialogs.asked, Words(3, "auto:The Session \"Later Show\" is currently not active.\n"));

    // Once the session runs, nothing is asked.
    dialogs.asked.clear();
    t.clock.Advance(3700);
    Start(s);
    EXPECT_EQ(dialogs.asked, Words{});
    EXPECT_EQ(starter.started.size(), 2u);

    // On the information page "Auto Start" is reported back for the check box.
    t.clock.Advance(-3700);
    dialogs.autoStart = EAutoStartChoice::AutoStart;
    s->startTools = 0;
    EXPECT_TRUE(Launcher().StartToolsFromInfoPage(*s));
    EXPECT_EQ(s->startTools, 1);
}

