// The requests to the plug-in and tool database, its reply readers, and the
// searches' messages over a scripted transport.
#include "base/FileIO.h"
#include "support/FakePrompter.h"
#include "tools/OnlineSearch.h"
#include "tools/ToolRegistry.h"
#include "ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

TEST(OnlineRequestsTest, BuildsTheThreeLookups)
{
    // Control bytes always get two digits: "%9A" would read as one byte.
    for (const auto& [value, encoded] : std::vector<std::pair<std::string, std::string>>{
             {"my tool", "my+tool"}, {"a&b=c", "a%26b%3Dc"}, {"\"#%+;<>", "%22%23%25%2B%3B%3C%3E"},
             {"\tA\x1f\x7f", "%09A%1F%7F"}, {"RTP/AVP", "RTP/AVP"}, {"caf\xe9?", "caf%E9?"},
             {"\xc3\xa9\xff\x80", "%C3%A9%FF%80"},
             {std::string("ab\0cd", 5), "ab"}})
        EXPECT_EQ(EncodeQueryValue(value), encoded) << value;
    EXPECT_EQ(ToolLookupPath("vic 2"), "/scripts/tool.idc?tool=vic+2");
    EXPECT_EQ(PluginLookupPath("audio", "RTP/AVP", "0 8"), "/scripts/plugin.idc?Media=audio&Proto=RTP/AVP&Fmt=0+8");
    EXPECT_EQ(VersionCheckPath(kProgramName, kProgramVersion), "/scripts/versioncheck.idc?tool=Talmira&ver=1.00 BETA");
    EXPECT_EQ(LookupUrl("db.example:8080", "/x"), "http://db.example:8080/x");
    EXPECT_EQ(LookupUrl("[::1]:80", "/x"), "http://[::1]:80/x");
    for (const char* bad : {"", "a/b", "user@host", "h h", ":80", "h?x"})
        EXPECT_FALSE(LookupUrl(bad, "/x")) << bad;
}

TEST(OnlineRequestsTest, ReadsRepliesDatesDownloadNamesAndPluginTexts)
{
    EXPECT_EQ(JoinedReply("http://a/\r\nb.exe\n"), "http://a/b.exe");
    EXPECT_EQ(JoinedReply(""), "");
    EXPECT_EQ(ReplyLines("a\r\n\nb").size(), 3u);
    const auto plugins = ParsePluginReply("One|http://h/p1|First|1/2/99\r\n\nshort|line|only\n"
                                          "Two|u||12/31/2001|extra\n|||");
    ASSERT_EQ(plugins.size(), 3u); // the empty and the short line are skipped
    EXPECT_EQ(plugins[0].name + " " + plugins[0].url + " " + plugins[0].description + " " + plugins[0].date,
              "One http://h/p1 First 1/2/99");
    EXPECT_EQ(plugins[1].date + "|" + plugins[2].name, "12/31/2001|extra|"); // the date runs to the end of the line
    for (const auto& [text, date] : std::vector<std::pair<const char*, std::optional<COnlineDate>>>{
             {"2/3/99", COnlineDate{1999, 2, 3}}, {"", COnlineDate{1971, 1, 1}}, {"2026-12-06", COnlineDate{2026, 12, 6}},
             {"2/3", {}}, {"a/b/c", {}}, {"1/2/3/4", {}}, {"12345678901/1/1", {}}})
        EXPECT_EQ(ParseOnlineDate(text), date) << text;
    // An unreadable date is offered: the user decides.
    EXPECT_EQ((std::vector<bool>{IsNewerPlugin("2/3/99", "2/3/1999"), IsNewerPlugin("2/4/99", "1999-02-03"),
                                 IsNewerPlugin("", "1/1/71"), IsNewerPlugin("soon", "1/1/71")}),
              (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(FileNameFromUrl("http://h/dir/rev2.plugin.x"), "rev2.plugin.x");
    EXPECT_EQ(FileNameFromUrl("http://h/get/setup.bin?v=2#top"), "setup.bin");
    for (const char* bad : {"http://h/dir/", "http://h/..", "http://h/.", "http://host", "no-scheme/x",
                            "http://h/a\\b", "http://h/a\tb"})
        EXPECT_FALSE(FileNameFromUrl(bad)) << bad;
    // Downloaded plug-ins are checked with the reader.
    const std::string good = PluginFileText("media: audio\nproto: RTP/AVP\ntool: t\n");
    EXPECT_EQ(good, "media: audio\r\nproto: RTP/AVP\r\ntool: t\r\n");
    EXPECT_TRUE(CheckPluginFile("rev2.plugin.t.audio", good));
    EXPECT_FALSE(CheckPluginFile("t.audio", good)); // the loader would never read it
    for (const std::string& bad : {good + "@define: x\r\n", good + "attr: a\r\n{\r\nattrvalue: v\r\n{\r\nnonsense\r\n}\r\n}\r\n",
                                   std::string("media: audio\r\ntool: t\r\n"), std::string("<html>Not found</html>")})
        EXPECT_FALSE(CheckPluginFile("rev2.plugin.t", bad)) << bad;
}

// Answers each GET from a script, in order, and records the URLs.
class CScriptedTransport final : public OnlineTransport {
public:
    struct Answer { EOnlineStatus status; std::string body; };
    COnlineReply Get(const std::string& url, const COnlineLimits& limits, const BodySink& sink) override
    {
        urls.push_back(url);
        if (answers.empty())
            answers.push_back({EOnlineStatus::HttpError, ""});
        Answer a = answers.front();
        answers.pop_front();
        if (a.status == EOnlineStatus::Ok && limits.maxBytes && a.body.size() > limits.maxBytes)
            a.status = EOnlineStatus::TooLarge;
        // The body arrives in two pieces, as blocks do.
        if (a.status == EOnlineStatus::Ok &&
            (!sink(std::string_view(a.body).substr(0, a.body.size() / 2)) ||
             !sink(std::string_view(a.body).substr(a.body.size() / 2))))
            a.status = EOnlineStatus::NetworkError;
        return COnlineReply{a.status, 0, a.status == EOnlineStatus::NetworkError ? "Connection refused" : ""};
    }
    std::deque<Answer> answers;
    std::vector<std::string> urls;
};

class CScriptedChooser final : public PluginChooser {
public:
    std::optional<std::vector<size_t>> ChoosePlugins(const std::vector<COnlinePlugin>& offered) override
    {
        for (const auto& p : offered)
            names.push_back(p.name);
        return choice;
    }
    std::optional<std::vector<size_t>> choice;
    std::vector<std::string> names;
};

class OnlineSearchTest : public ::testing::Test {
protected:
    COnlineSearch Search(const std::string& host = "db:81")
    {
        return COnlineSearch(transport, prompter, {host, dir.Path()});
    }
    static constexpr const char* kGood = "media: audio\nproto: RTP/AVP\ntool: t\n";
    CTempInstallDir dir;
    CScriptedTransport transport;
    CFakePrompter prompter;
    CScriptedChooser chooser;
};

TEST_F(OnlineSearchTest, ToolSearchMessages)
{
    std::vector<std::string> opened;
    auto browser = [&opened](const std::string& url) { opened.push_back(url); return false; };
    transport.answers = {{EOnlineStatus::Ok, ""}, {EOnlineStatus::Ok, "http://t/\nget\n"},
                         {EOnlineStatus::HttpError, ""}, {EOnlineStatus::NetworkError, ""}, {EOnlineStatus::Cancelled, ""}};
    for (const char* tool : {"my tool", "t", "t", "t"})
        EXPECT_TRUE(Search().SearchTool(tool, browser));
    EXPECT_FALSE(Search().SearchTool("t", browser)); // cancelled: no message, no reload
    EXPECT_EQ(Search("").SearchTool("t", browser), true);
    EXPECT_EQ(transport.urls[0], "http://db:81/scripts/tool.idc?tool=my+tool");
    EXPECT_EQ(transport.urls.size(), 5u); // no host: nothing sent
    EXPECT_EQ(opened, (std::vector<std::string>{"http://t/get"}));
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{UnknownToolMessage(), kOpenToolPage,
                                                        kNoBrowser + std::string("http://t/get"), kOnlineProblem,
                                                        "Connection refused", kOnlineProblem}));
}

TEST_F(OnlineSearchTest, PluginSearchFiltersChoosesAndDownloads)
{
    auto installed = std::make_shared<CPlugin>();
    installed->date = "5/5/2005";
    std::vector<CToolEntry> tools(2);
    tools[0].name = "Same";
    tools[1].name = "Newer";
    tools[0].plugin = tools[1].plugin = installed;
    const std::string offers = "Newer|http://h/rev2.plugin.newer|d|5/6/2005\n"
                               "Same|http://h/rev2.plugin.same|d|5/5/05\n"
                               "Broken|http://h/rev2.plugin.broken|d|\n"
                               "Alpha|http://h/rev2.plugin.alpha|d|\n";
    transport.answers = {{EOnlineStatus::Ok, offers}, {EOnlineStatus::Ok, kGood}, {EOnlineStatus::Ok, kGood}};
    chooser.choice = std::vector<size_t>{0, 2}; // Alpha and Newer
    dir.AddPlugin("rev2.plugin.newer", "old");
    EXPECT_TRUE(Search().SearchPlugins("audio", "RTP/AVP", "0", &tools, chooser));
    EXPECT_EQ(chooser.names, (std::vector<std::string>{"Alpha", "Broken", "Newer"})); // sorted, Same dropped
    EXPECT_EQ(transport.urls[1], "http://h/rev2.plugin.alpha");
    EXPECT_EQ(transport.urls[2], "http://h/rev2.plugin.newer");
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{kPluginsDownloaded}));
    const std::string kept = (dir.Plugins() / "rev2.plugin.newer").string();
    EXPECT_EQ(fileio::ReadRegularFile(kept, 1000).bytes, PluginFileText(kGood));

    // A broken download replaces nothing; the summary is not claimed.
    prompter.shown.clear();
    transport.answers = {{EOnlineStatus::Ok, offers}, {EOnlineStatus::Ok, "@define: x\n"}};
    chooser.choice = std::vector<size_t>{2};
    EXPECT_TRUE(Search().SearchPlugins("audio", "RTP/AVP", "0", nullptr, chooser));
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{RefusedPluginMessage("rev2.plugin.newer")}));
    EXPECT_EQ(fileio::ReadRegularFile(kept, 1000).bytes, PluginFileText(kGood));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Plugins()), {}), 2);

    // Everything up to date; nothing offered; the chooser cancelled.
    prompter.shown.clear();
    transport.answers = {{EOnlineStatus::Ok, "Same|http://h/x|d|1/1/2000\n"}, {EOnlineStatus::Ok, "\n"},
                         {EOnlineStatus::Ok, offers}};
    EXPECT_FALSE(Search().SearchPlugins("a", "p", "f", &tools, chooser));
    EXPECT_TRUE(Search().SearchPlugins("a", "p", "f", &tools, chooser));
    chooser.choice.reset();
    EXPECT_FALSE(Search().SearchPlugins("a", "p", "f", &tools, chooser));
    // OK with nothing ticked: no download, no claim of one.
    transport.answers = {{EOnlineStatus::Ok, offers}};
    chooser.choice = std::vector<size_t>{};
    EXPECT_FALSE(Search().SearchPlugins("a", "p", "f", &tools, chooser));
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{kPluginsUpToDate, NoPluginMessage()}));
}

TEST_F(OnlineSearchTest, UpdateOfferIsSilentOnFailureAndNeverRunsTheInstaller)
{
    std::vector<std::string> folders;
    auto openFolder = [&folders](const std::string& f) { folders.push_back(f); return true; };
    transport.answers = {{EOnlineStatus::HttpError, ""}, {EOnlineStatus::TimedOut, ""}, {EOnlineStatus::Ok, ""}};
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(Search().OfferUpdate(openFolder));
    EXPECT_FALSE(Search("").OfferUpdate(openFolder));
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(transport.urls[0], "http://db:81/scripts/versioncheck.idc?tool=Talmira&ver=1.00 BETA");

    // Declined, then accepted: the installer lands in tmpInstall whole.
    const std::string installer(300000, '\x7f');
    transport.answers = {{EOnlineStatus::Ok, "http://h/setup.bin\n"}, {EOnlineStatus::Ok, "http://h/setup.bin\n"},
                         {EOnlineStatus::Ok, installer}};
    prompter.answers = {EPromptAnswer::No, EPromptAnswer::Yes, EPromptAnswer::Yes};
    EXPECT_FALSE(Search().OfferUpdate(openFolder));
    const auto path = Search().OfferUpdate(openFolder);
    ASSERT_TRUE(path);
    const std::string folder = dir.Path() + "/tmpInstall";
    EXPECT_EQ(*path, folder + "/setup.bin");
    EXPECT_EQ(fileio::ReadRegularFile(*path, 1 << 20).bytes, installer);
    EXPECT_EQ(folders, (std::vector<std::string>{folder}));
    EXPECT_EQ(prompter.shown.back(), InstallerSavedMessage(*path));

    // A failed or unsafe download keeps nothing.
    transport.answers = {{EOnlineStatus::Ok, "http://h/setup.bin"}, {EOnlineStatus::Cancelled, ""},
                         {EOnlineStatus::Ok, "http://h/.."}};
    prompter.answers = {EPromptAnswer::Yes, EPromptAnswer::Yes};
    EXPECT_FALSE(Search().OfferUpdate(openFolder));
    EXPECT_FALSE(Search().OfferUpdate(openFolder));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    EXPECT_EQ(prompter.shown.back(), RefusedNameMessage("http://h/.."));
}

} // namespace
