#include "support/FakePrompter.h"
#include "tools/LaunchTestSupport.h"
#include "tools/ToolLaunch.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Words = std::vector<std::string>;

constexpr const char* kSession =
    "v=0\n"
    "o=- 123 1 IN IP4 10.0.0.1\n"
    "s=Jazz Night\n"
    "c=IN IP4 239.1.2.3/15\n"
    "t=0 0\n"
    "m=audio 5004 RTP/AVP 0\n"
    "a=quality:20\n"
    "m=video 5006 RTP/AVP 31\n";

std::shared_ptr<CPlugin> PluginFrom(std::string_view text)
{
    CFakePrompter prompter;
    auto p = std::make_shared<CPlugin>();
    CPluginParser parser(prompter);
    parser.BeginFile(*p);
    parser.ParseText(text);
    if (p->toolName.empty())
        p->toolName = p->tool;
    return p;
}

CToolLaunch Expand(const CSDPObject& s, size_t mediaIndex, const std::shared_ptr<CPlugin>& p, CFakeExecutables& exe)
{
    CToolLaunch l;
    ExpandToolCommand(s, p, p->formats.at(0), s.media.at(mediaIndex), l, exe.Locator());
    return l;
}

class ToolLaunchTest : public ::testing::Test {
protected:
    CManualClock clock{1700000000};
    std::shared_ptr<CSDPObject> session = ParseSession(kSession, clock);
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
    CToolLaunch l = Expand(*session, 0, p, exe);
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
    EXPECT_EQ(Expand(*session, 0, p, exe).path, "/elsewhere/player");
    p->foundPath = "/gone";
    CToolLaunch missing = Expand(*session, 0, p, exe);
    EXPECT_EQ(missing.path, "");
    EXPECT_EQ(missing.arguments.back(), kToolContactEmail);
}

TEST_F(ToolLaunchTest, OnlyTheFirstOccurrenceOfAMacroInAPartIsReplaced)
{
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\n"
                        "flags: $(TTL) $(TTL) x$(PORT)y$(PORT)\nflags: $(TTL)\n");
    CToolLaunch l = Expand(*session, 0, p, exe);
    EXPECT_EQ(l.arguments, (Words{"15", "$(TTL)", "x5004y$(PORT)", "15"}));
}

TEST_F(ToolLaunchTest, HostileSessionNamesStayOneArgument)
{
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\nflags: -n $(SESSNAME) end\n"
                        "flags: -n2 \"$(SESSNAME)\"\n");
    for (std::string name : {"a\" --evil \"b", "x; rm -rf ~", "  lead", "tab\there", ""}) {
        session->name = name;
        CToolLaunch l = Expand(*session, 0, p, exe);
        EXPECT_EQ(l.arguments, (Words{"-n", name, "end", "-n2", name})) << name;
    }
}

// Text from the network that looks like a macro stays text: a value is never
// scanned again, and only the plug-in's own "$(SDPFILE)" asks for the file.
TEST_F(ToolLaunchTest, MacroValuesAreNeverExpandedAgain)
{
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\n"
                        "attr: quality\n{\nmacro: Q\n{\nvalue: $(VALUE)\n}\n}\n"
                        "flags: -name $(SESSNAME) -chan $(CHAN) -q $(Q)\n");
    const std::string tag = std::to_string(session->randomTag);
    const struct {
        std::string name, attribute;
        Words argv;
    } cases[] = {
        {"$(CHAN)", "quality:1", {"-name", "$(CHAN)", "-chan", tag, "-q", "1"}},
        {"Evil $(SDPFILE)", "quality:$(SDPFILE)", {"-name", "Evil $(SDPFILE)", "-chan", tag, "-q", "$(SDPFILE)"}},
        {"$(Q)$(TTL)", "quality:$(SESSNAME)$(CHAN)", {"-name", "$(Q)$(TTL)", "-chan", tag, "-q", "$(SESSNAME)$(CHAN)"}},
    };
    for (const auto& c : cases) {
        session->name = c.name;
        session->media[0].attributes = {c.attribute};
        bool asks = true;
        EXPECT_EQ(CommandArguments(Expand(*session, 0, p, exe), "/t/s.sdp", &asks), c.argv) << c.name;
        EXPECT_FALSE(asks) << c.name;
    }
}

// The argv is UTF-8: a name that is not valid UTF-8 is read as Latin-1, each
// value on its own, so the plug-in's own UTF-8 text stays as it is.
TEST_F(ToolLaunchTest, NamesReachTheArgvAsUtf8)
{
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\nflags: -t T\xc3\xaftle:$(SESSNAME)\n");
    const std::pair<std::string, std::string> cases[] = {
        {"Caf\xe9", "T\xc3\xaftle:Caf\xc3\xa9"},
        {"Caf\xc3\xa9", "T\xc3\xaftle:Caf\xc3\xa9"},
        {"\xff\x80 ok", "T\xc3\xaftle:\xc3\xbf\xc2\x80 ok"},
    };
    for (const auto& [name, argument] : cases) {
        session->name = name;
        EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-t", argument})) << name;
    }
}

TEST_F(ToolLaunchTest, PluginLevelAttributeValuesDriveFlagsAndMacros)
{
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\n"
                        "attr: quality\n{\n"
                        "  macro: Q\n  {\n  value: q=$(VALUE),$(VALUE)\n  }\n"
                        "  attrvalue: 10\n  {\n  flags: -lo\n  }\n"
                        "  attrvalue: 20\n  {\n  flags: -hi \"x y\"\n  macro: Q\n  {\n  value: v$(VALUE)\n  }\n  }\n"
                        "}\n"
                        "flags: -q $(Q)\n");
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-hi", "x y", "-q", "v20"}));

    session->media[0].attributes = {"quality:15"};
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-q", "q=15,$(VALUE)"}));

    // A value from the network cannot add arguments.
    session->media[0].attributes = {"quality:15 --evil \"x\""};
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-q", "q=15 --evil \"x\",$(VALUE)"}));

    // Without the attribute, or without its ":", nothing is added.
    session->media[0].attributes = {"quality"};
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-q", "$(Q)"}));
}

TEST_F(ToolLaunchTest, FormatLevelAttributesAndNoAttributeFlags)
{
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\n"
                        "fmt: 0\n{\nflags: -fmt\nnoattr: layers\n{\nflags: -nolayers\n}\n"
                        "attr: layers\n{\nattrvalue: 2\n{\nflags: -layers 2\nmacro: L\n{\nvalue: L$(VALUE)\n}\n}\n}\n}\n"
                        "flags: $(L)\n");
    session->media[0].attributes = {};
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-nolayers", "-fmt", "$(L)"}));
    session->media[0].attributes = {"layers:2"};
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-layers", "2", "-fmt", "L2"}));
    // Format-level attributes have no fallback to their own macros.
    session->media[0].attributes = {"layers:3"};
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments, (Words{"-fmt", "$(L)"}));
}

TEST_F(ToolLaunchTest, FindToolsFollowsRegistryTokenAndUserOrder)
{
    CPluginTable table;
    auto a = PluginFrom("media: audio\nproto: RTP/AVP\ntool: a\nfmt: 0\nfmt: 8\n");
    auto b = PluginFrom("media: audio\nproto: RTP/AVP\ntool: b\nfmt: PCMA\nfmt: 0\n");
    auto c = PluginFrom("media: audio\nproto: RTP/AVP\ntool: c\nfmt: 0\n");
    auto any = PluginFrom("media: audio\nproto: RTP/AVP\ntool: any\nfmt: _\n");
    for (auto& p : {a, b, c, any})
        table.Append(p);
    CToolRegistry reg;
    SyncToolRegistry(reg, table);
    // The user put c before a in group 0 and removed b from it.
    for (CToolEntry& t : reg.groups[0].tools) {
        if (t.name == "c") t.order = 0;
        if (t.name == "a") t.order = 1;
        if (t.name == "b") t.selected = 0, t.order = -1;
    }
    CSDPMedia& m = session->media[0];
    m.formatList = "0 pcma 96";
    std::vector<CToolLaunch> out;
    ASSERT_TRUE(FindTools(*session, m, reg, exe.Locator(), out));
    std::string names;
    for (auto& l : out)
        names += l.plugin->tool + " ";
    // Group 0 (c, a), then group PCMA (b, token "pcma" matched without case),
    // then "_" for the token without a group of its own.
    EXPECT_EQ(names, "c a b any ");
    EXPECT_EQ(out.back().plugin, any);

    m.protocol = "udp";
    out.clear();
    EXPECT_FALSE(FindTools(*session, m, reg, exe.Locator(), out));
}

// A format starts only the tools selected in the group it belongs to: its
// own group when one names it, else "_". Deselecting a tool in a format's
// group stops it, and "_" does not bring it back.
TEST_F(ToolLaunchTest, AFormatFollowsTheSelectionOfItsOwnGroup)
{
    CPluginTable table;
    for (const char* text : {"tool: sdp\nfmt: 0\nfmt: 8\nfmt: _\n", "tool: other\nfmt: 0\nfmt: _\n",
                             "tool: direct\nfmt: 0\nfmt: 3\n", "tool: any\nfmt: _\n"})
        table.Append(PluginFrom(std::string("media: audio\nproto: RTP/AVP\n") + text));
    const struct {
        const char* formats;
        std::vector<std::pair<std::string, std::string>> deselected; // group format, tool
        const char* tools;
    } cases[] = {
        {"0", {}, "sdp other direct "},
        {"0", {{"0", "sdp"}, {"0", "other"}, {"0", "direct"}}, ""},
        {"0 8", {{"0", "sdp"}}, "other direct sdp "},
        {"3", {}, "direct "},
        {"96", {}, "sdp other any "},
        {"96 97 0", {{"_", "sdp"}, {"0", "other"}}, "sdp direct other any "},
    };
    for (const auto& c : cases) {
        CToolRegistry reg;
        SyncToolRegistry(reg, table);
        for (const auto& [format, tool] : c.deselected)
            for (CMediaListEntry& g : reg.groups)
                for (CToolEntry& t : g.tools)
                    if (g.format == format && t.name == tool)
                        t.selected = 0;
        for (CMediaListEntry& g : reg.groups)
            NormaliseToolOrder(g);
        session->media[0].formatList = c.formats;
        std::vector<CToolLaunch> out;
        FindTools(*session, session->media[0], reg, exe.Locator(), out);
        std::string names;
        for (const CToolLaunch& l : out)
            names += l.plugin->tool + " ";
        EXPECT_EQ(names, c.tools) << c.formats << " / " << c.deselected.size();
    }
}

TEST_F(ToolLaunchTest, SdpFileArgumentAndPath)
{
    exe.known["t"] = "/bin/t";
    auto p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\n{\nflags: -f $(SDPFILE)\n}\n"
                        "flags: -i $(SDPFILE) x$(SDPFILE)$(SDPFILE)\n");
    bool asks = false;
    EXPECT_EQ(CommandArguments(Expand(*session, 0, p, exe), "/t/a b.sdp", &asks),
              (Words{"-f", "/t/a b.sdp", "-i", "/t/a b.sdp", "x/t/a b.sdp$(SDPFILE)"}));
    EXPECT_TRUE(asks);
    p = PluginFrom("media: audio\nproto: RTP/AVP\ntool: t\nfmt: 0\nflags: -i\n");
    EXPECT_EQ(CommandArguments(Expand(*session, 0, p, exe), "f", &asks), Words{"-i"});
    EXPECT_FALSE(asks);
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
