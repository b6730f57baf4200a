#include "tools/ToolLaunch.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kAudio = "media: audio\nproto: RTP/AVP\ntool: t\n";

class ToolLaunchTest : public ::testing::Test {
protected:
    CToolLaunch Expand(const std::shared_ptr<CPlugin>& p, size_t media = 0)
    {
        CToolLaunch l;
        ExpandToolCommand(*session, p, p->formats.at(0), session->media.at(media), l, exe.Locator());
        return l;
    }

    CTestEnv t;
    std::shared_ptr<CSDPObject> session = t.Parse("v=0\no=- 123 1 IN IP4 10.0.0.1\ns=Jazz Night\n"
                                                      "c=IN IP4 239.1.2.3/15\nt=0 0\nm=audio 5004 RTP/AVP 0\n"
                                                      "a=quality:20\nm=video 5006 RTP/AVP 31\n");
    CFakeExecutables exe;
};

} // namespace

TEST(CommandWords, BlanksSeparateAndQuotesGroup)
{
    EXPECT_EQ(SplitCommandWords("  -a  b "), (Words{"-a", "b"}));
    EXPECT_EQ(SplitCommandWords("-t \"two words\" x\"y z\"w"), (Words{"-t", "two words", "xy zw"}));
    EXPECT_EQ(SplitCommandWords("\"\" end"), (Words{"", "end"}));
    EXPECT_EQ(SplitCommandWords("\"open quote rest"), (Words{"open quote rest"}));
    EXPECT_EQ(SplitCommandWords(""), Words{});
}

TEST_F(ToolLaunchTest, BuildsTheArgvOfATypicalPlugin)
{
    exe.known["player"] = "/opt/player/bin/player";
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: player\n"
                        "fmt: 0\n{\nfmtname: PCMU\nflags: -codec pcmu\n}\n"
                        "flags: -addr $(ADDRESS)/$(PORT)/$(TTL) -p $(PROTO) -f $(FMT)\n"
                        "flags: -title \"$(SESSNAME)\" -chan $(CHAN) -mail $(YOUREMAIL)\n");
    CToolLaunch l = Expand(p);
    EXPECT_EQ(l.formatName, "PCMU");
    EXPECT_EQ(l.path, "/opt/player/bin/player");
    EXPECT_EQ(l.plugin, p);
    EXPECT_EQ(l.arguments, (Words{"-codec", "pcmu", "-addr", "239.1.2.3/5004/15", "-p", "RTP/AVP", "-f", "0",
                                  "-title", "Jazz Night", "-chan", std::to_string(session->randomTag), "-mail",
                                  kToolContactEmail, "/opt/player/bin/player"}));

    // A found path is preferred to the tool text; a missing executable
    // leaves the path empty and adds nothing.
    p->foundPath = "/elsewhere/player";
    exe.known["/elsewhere/player"] = "/elsewhere/player";
    EXPECT_EQ(Expand(p).path, "/elsewhere/player");
    p->foundPath = "/gone";
    CToolLaunch missing = Expand(p);
    EXPECT_EQ(missing.path, "");
    EXPECT_EQ(missing.arguments.back(), kToolContactEmail);

    // Only the first occurrence of a macro in a part is replaced.
    EXPECT_EQ(Expand(PluginFrom(std::string(kAudio) + "fmt: 0\nflags: $(TTL) $(TTL) x$(PORT)y$(PORT)\nflags: $(TTL)\n")).arguments,
              (Words{"15", "$(TTL)", "x5004y$(PORT)", "15"}));
}

// Text from the network stays one argument each and is never scanned again
// for macros; only the plug-in's own "$(SDPFILE)" asks for the file. Names
// that are not valid UTF-8 are read as Latin-1, value by value, so the
// plug-in's own UTF-8 text stays as it is.
TEST_F(ToolLaunchTest, NetworkTextIsInsertedOnceAsUtf8)
{
    auto p = PluginFrom(std::string(kAudio) + "fmt: 0\nattr: quality\n{\nmacro: Q\n{\nvalue: $(VALUE)\n}\n}\n"
                        "flags: -name $(SESSNAME) -chan $(CHAN) -q $(Q)\nflags: -t T\xc3\xaftle:\"$(SESSNAME)\"\n");
    const std::string tag = std::to_string(session->randomTag);
    const struct {
        std::string name, quality, argvName, argvQuality; // argv: empty when unchanged
    } cases[] = {
        {"$(CHAN)", "1", "", ""}, {"Evil $(SDPFILE)", "$(SDPFILE)", "", ""},
        {"$(Q)$(TTL)", "$(SESSNAME)$(CHAN)", "", ""}, {"a\" --evil \"b", "1 --evil \"x\"", "", ""},
        {"x; rm -rf ~", "  lead", "", ""}, {"tab\there", "", "", ""},
        {"Caf\xe9", "\xe9t\xe9", "Caf\xc3\xa9", "\xc3\xa9t\xc3\xa9"}, {"Caf\xc3\xa9", "1", "", ""},
        {"\xff\x80 ok", "1", "\xc3\xbf\xc2\x80 ok", ""},
    };
    for (const auto& c : cases) {
        session->name = c.name;
        session->media[0].attributes = {"quality:" + c.quality};
        bool asks = true;
        const std::string name = c.argvName.empty() ? c.name : c.argvName;
        const std::string quality = c.argvQuality.empty() ? c.quality : c.argvQuality;
        EXPECT_EQ(CommandArguments(Expand(p), "/t/s.sdp", &asks),
                  (Words{"-name", name, "-chan", tag, "-q", quality, "-t", "T\xc3\xaftle:" + name}))
            << c.name;
        EXPECT_FALSE(asks) << c.name;
    }
}

// Only the plug-in's own "$(SDPFILE)" asks for the file, once per part.
TEST_F(ToolLaunchTest, AttributeValuesAndTheSdpFileDriveTheArgv)
{
    const std::string pluginLevel = "fmt: 0\nattr: quality\n{\n  macro: Q\n  {\n  value: q=$(VALUE),$(VALUE)\n  }\n"
                                    "  attrvalue: 10\n  {\n  flags: -lo\n  }\n"
                                    "  attrvalue: 20\n  {\n  flags: -hi \"x y\"\n  macro: Q\n  {\n  value: v$(VALUE)\n"
                                    "  }\n  }\n}\nflags: -q $(Q)\n";
    const std::string formatLevel = "fmt: 0\n{\nflags: -fmt\nnoattr: layers\n{\nflags: -nolayers\n}\n"
                                    "attr: layers\n{\nattrvalue: 2\n{\nflags: -layers 2\nmacro: L\n{\nvalue: L$(VALUE)\n}\n"
                                    "}\n}\n}\nflags: $(L)\n";
    const std::string sdpFile = "fmt: 0\n{\nflags: -f $(SDPFILE)\n}\nflags: -i $(SDPFILE) x$(SDPFILE)$(SDPFILE)\n";
    // A plug-in's macro named like a built-in one takes the next occurrence
    // not taken yet; one that touches a taken one is free, one whose text
    // holds a taken one is not replaced.
    const std::string overlap = "fmt: 0\nattr: quality\n{\nmacro: TTL\n{\nvalue: mine\n}\nmacro: Q\n{\nvalue: q\n}\n"
                                "macro: X)$(TTL\n{\nvalue: x\n}\n}\nflags: $(TTL)$(TTL)$(TTL)\n"
                                "flags: $(TTL) $(PORT) $(TTL)\nflags: $(Q)$(TTL)\nflags: $(TTL)$(Q)\nflags: $(X)$(TTL)\n";
    const struct { const std::string& plugin; Words attributes, argv; } cases[] = {
        {pluginLevel, {"quality:20"}, {"-hi", "x y", "-q", "v20"}},
        // No value matches: the attribute's own macro, a value from the network cannot add arguments.
        {pluginLevel, {"quality:15"}, {"-q", "q=15,$(VALUE)"}},
        {pluginLevel, {"quality:15 --evil \"x\""}, {"-q", "q=15 --evil \"x\",$(VALUE)"}},
        // Without the attribute, or without its ":", nothing is added.
        {pluginLevel, {"quality"}, {"-q", "$(Q)"}}, {formatLevel, {}, {"-nolayers", "-fmt", "$(L)"}},
        {formatLevel, {"layers:2"}, {"-layers", "2", "-fmt", "L2"}},
        // Format-level attributes have no fallback to their own macros.
        {formatLevel, {"layers:3"}, {"-fmt", "$(L)"}},
        {sdpFile, {}, {"-f", "/t/a b.sdp", "-i", "/t/a b.sdp", "x/t/a b.sdp$(SDPFILE)"}},
        {overlap, {"quality:5"}, {"15mine$(TTL)", "15", "5004", "mine", "q15", "15q", "$(X)15"}},
    };
    for (const auto& c : cases) {
        session->media[0].attributes = c.attributes;
        bool asks = false;
        EXPECT_EQ(CommandArguments(Expand(PluginFrom(kAudio + c.plugin)), "/t/a b.sdp", &asks), c.argv) << c.plugin;
        EXPECT_EQ(asks, &c.plugin == &sdpFile) << c.plugin;
    }
}

// A format starts the tools selected in the group it belongs to, in the
// user's order: its own group when one names it (in any case), else "_".
// Deselecting a tool in a format's group stops it, and "_" does not bring it back.
TEST_F(ToolLaunchTest, FindToolsFollowsTheGroupOfEachFormat)
{
    CPluginTable table;
    for (const char* text : {"tool: sdp\nfmt: 0\nfmt: 8\nfmt: _\n", "tool: other\nfmt: 0\nfmt: _\n",
                             "tool: direct\nfmt: 0\nfmt: 3\n", "tool: any\nfmt: _\n", "tool: b\nfmt: PCMA\n"})
        table.Append(PluginFrom(std::string("media: audio\nproto: RTP/AVP\n") + text));
    const struct {
        const char* formats;
        std::vector<std::pair<std::string, std::string>> deselected; // group format, tool
        const char* first;                                           // put first in its groups
        const char* tools;
    } cases[] = {
        {"0", {}, "", "sdp other direct "}, {"0", {}, "direct", "direct sdp other "},
        {"0", {{"0", "sdp"}, {"0", "other"}, {"0", "direct"}}, "", ""},
        {"0 8", {{"0", "sdp"}}, "", "other direct sdp "}, {"3", {}, "", "direct "}, {"96", {}, "", "sdp other any "},
        {"96", {}, "any", "any sdp other "}, {"96 97 0", {{"_", "sdp"}, {"0", "other"}}, "", "sdp direct other any "},
        {"pcma 96", {}, "", "sdp other any b "},
    };
    for (const auto& c : cases) {
        CToolRegistry reg;
        SyncToolRegistry(reg, table);
        for (CMediaListEntry& g : reg.groups) {
            for (CToolEntry& t : g.tools) {
                for (const auto& [format, tool] : c.deselected)
                    if (g.format == format && t.name == tool)
                        t.selected = 0;
                if (t.name == c.first)
                    t.order = -1;
            }
            NormaliseToolOrder(g);
        }
        session->media[0].formatList = c.formats;
        std::vector<CToolLaunch> out;
        EXPECT_EQ(FindTools(*session, session->media[0], reg, exe.Locator(), out), *c.tools != 0);
        EXPECT_EQ(ToolsOf(out), c.tools) << c.formats << " / " << c.deselected.size() << " / " << c.first;
        session->media[0].protocol = "udp";
        EXPECT_FALSE(FindTools(*session, session->media[0], reg, exe.Locator(), out));
        session->media[0].protocol = "RTP/AVP";
    }
}

// Short names keep their file; a long one is cut to a bounded file name that
// still tells different long names apart.
TEST(SdpFileName, SafeLengthAndOnePerName)
{
    EXPECT_EQ(SdpFilePath("/inst", "Jazz Night"), "/inst/tmp/Jazz_Night.sdp");
    EXPECT_EQ(SdpFilePath("/inst", "../../etc/x"), "/inst/tmp/______etc_x.sdp");
    const std::string exact(kMaxSdpFileStem, 'a');
    EXPECT_EQ(SdpFilePath("/i", exact), "/i/tmp/" + exact + ".sdp");
    const std::string longA(993, 'a'), longB = std::string(992, 'a') + "b";
    const std::string fileA = std::filesystem::path(SdpFilePath("/i", longA)).filename().string();
    const std::string fileB = std::filesystem::path(SdpFilePath("/i", longB)).filename().string();
    EXPECT_EQ(fileA.size(), kMaxSdpFileStem + 4);
    EXPECT_EQ(fileA.substr(0, 103), std::string(103, 'a'));
    EXPECT_NE(fileA, fileB);
    EXPECT_EQ(SdpFilePath("/i", longA), SdpFilePath("/i", longA));
}
