#include "support/FakePrompter.h"
#include "tools/LaunchTestSupport.h"
#include "tools/ToolLaunch.h"

#include <gtest/gtest.h>

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
    // A macro text inside the name is expanded by a later macro, still inside the one argument.
    session->name = "$(CHAN) two";
    EXPECT_EQ(Expand(*session, 0, p, exe).arguments[1], std::to_string(session->randomTag) + " two");
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
    m.formatList = "0 pcma";
    std::vector<CToolLaunch> out;
    ASSERT_TRUE(FindTools(*session, m, reg, exe.Locator(), out));
    std::string names;
    for (auto& l : out)
        names += l.plugin->tool + " ";
    // Group 0 (c, a), then group PCMA (b, token "pcma" matched without case),
    // then "_": the same plug-in format is offered once, whatever the tokens.
    EXPECT_EQ(names, "c a b any ");
    EXPECT_EQ(out.back().plugin, any);

    m.protocol = "udp";
    out.clear();
    EXPECT_FALSE(FindTools(*session, m, reg, exe.Locator(), out));
}

TEST_F(ToolLaunchTest, SdpFileArgumentAndPath)
{
    EXPECT_EQ(SdpFilePath("/inst", "Jazz Night"), "/inst/tmp/Jazz_Night.sdp");
    EXPECT_EQ(SdpFilePath("/inst", "../../etc/x"), "/inst/tmp/______etc_x.sdp");
    CToolLaunch l;
    l.path = "/bin/tool";
    l.arguments = {"-i", "$(SDPFILE)", "x$(SDPFILE)$(SDPFILE)", "/bin/tool"};
    bool asks = false;
    EXPECT_EQ(CommandArguments(l, "/t/a b.sdp", &asks), (Words{"-i", "/t/a b.sdp", "x/t/a b.sdp$(SDPFILE)"}));
    EXPECT_TRUE(asks);
    l.arguments = {"-i"};
    l.path.clear();
    EXPECT_EQ(CommandArguments(l, "f", &asks), Words{"-i"});
    EXPECT_FALSE(asks);
}
