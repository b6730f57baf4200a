#include "support/FakePrompter.h"
#include "tools/Plugin.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

namespace {

CPlugin Parse(std::string_view text, CFakePrompter& prompter)
{
    CPlugin plugin;
    CPluginParser parser(prompter);
    parser.BeginFile(plugin);
    EXPECT_TRUE(parser.ParseText(text));
    return plugin;
}

constexpr std::string_view kVideoPlugin =
    "media: video\n"
    "proto: RTP/AVP\n"
    "protoname: RTP\n"
    "tool: viewer\n"
    "toolname: The Viewer\n"
    "description: plays video   \n"
    "fmt: 31\n"
    "{\n"
    "  fmtname: H.261\n"
    "  attr: quality\n"
    "  {\n"
    "    attrname: Quality\n"
    "    attrvalue: 10\n"
    "    {\n"
    "      attrvaluename: low\n"
    "      flags: -q 10\n"
    "      macro: Q\n"
    "      {\n"
    "        value: q=$(VALUE)\n"
    "      }\n"
    "    }\n"
    "  }\n"
    "}\n"
    "flags: -a $(ADDRESS) # the group\n"
    "flags: -p $(PORT)\n";

} // namespace

TEST(PluginGrammar, ReadsTheNestedBlocksOfATypicalFile)
{
    CFakePrompter prompter;
    CPlugin p = Parse(kVideoPlugin, prompter);
    EXPECT_EQ(p.media, "video");
    EXPECT_EQ(p.protocol, "RTP/AVP");
    EXPECT_EQ(p.protocolName, "RTP");
    EXPECT_EQ(p.tool, "viewer");
    EXPECT_EQ(p.toolName, "The Viewer");
    EXPECT_EQ(p.description, "plays video   "); // trailing blanks are kept
    ASSERT_EQ(p.formats.size(), 1u);
    const CPluginFormat& f = p.formats[0];
    EXPECT_EQ(f.name, "31");
    EXPECT_EQ(f.displayName, "H.261");
    ASSERT_EQ(f.attributes.size(), 1u);
    const CPluginAttribute& a = f.attributes[0];
    EXPECT_EQ(a.name, "quality");
    EXPECT_EQ(a.displayName, "Quality");
    ASSERT_EQ(a.values.size(), 1u);
    EXPECT_EQ(a.values[0].value, "10");
    EXPECT_EQ(a.values[0].displayName, "low");
    EXPECT_EQ(a.values[0].flags, "-q 10");
    ASSERT_EQ(a.values[0].macros.size(), 1u);
    EXPECT_EQ(a.values[0].macros[0].name, "Q");
    EXPECT_EQ(a.values[0].macros[0].value, "q=$(VALUE)");
    // The comment is cut, the blank before it stays; parts keep file order.
    EXPECT_EQ(p.commandLineParts, (std::vector<std::string>{"-a $(ADDRESS) ", "-p $(PORT)"}));
    EXPECT_TRUE(p.create);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST(PluginGrammar, KeywordsAreFoundAnywhereInTheFixedOrder)
{
    CFakePrompter prompter;
    // "fmt:" comes before "description:" in the order, so this is a format.
    CPlugin p = Parse("description: accepts fmt: 96\n"
                      "media: audio tool: player\n"
                      "xxtoolname:  Player X\n",
                      prompter);
    ASSERT_EQ(p.formats.size(), 1u);
    EXPECT_EQ(p.formats[0].name, "96");
    EXPECT_EQ(p.description, "");
    EXPECT_EQ(p.media, "audio tool: player"); // "media:" wins, the rest is its value
    EXPECT_EQ(p.tool, "");
    EXPECT_EQ(p.toolName, "Player X");
}

TEST(PluginGrammar, CreateFlagIsClearedByAnyTextHoldingNo)
{
    CFakePrompter prompter;
    EXPECT_FALSE(Parse("create: no\n", prompter).create);
    EXPECT_FALSE(Parse("create: none\n", prompter).create);
    EXPECT_TRUE(Parse("create: yes\n", prompter).create);
    EXPECT_TRUE(Parse("media: audio\n", prompter).create);
    // A later "create:" line decides again.
    EXPECT_TRUE(Parse("create: no\ncreate: yes\n", prompter).create);
}

TEST(PluginGrammar, AnyOtherLineInAFormatBlockClosesEveryBlock)
{
    CFakePrompter prompter;
    CPlugin p = Parse("fmt: 0\n"
                      "{\n"
                      "fmtname: PCMU\n"
                      "\n"
                      "attr: rate\n"
                      "}\n"
                      "flags: -x\n",
                      prompter);
    ASSERT_EQ(p.formats.size(), 1u);
    EXPECT_EQ(p.formats[0].displayName, "PCMU");
    EXPECT_TRUE(p.formats[0].attributes.empty());
    ASSERT_EQ(p.attributes.size(), 1u); // became a plug-in level attribute
    EXPECT_EQ(p.attributes[0].name, "rate");
    EXPECT_EQ(p.commandLineParts, std::vector<std::string>{"-x"});

    // A line holding only a comment is such a line too.
    CPlugin q = Parse("fmt: 0\n{\n# note\nfmtname: late\n}\n", prompter);
    EXPECT_EQ(q.formats[0].displayName, "");
}

TEST(PluginGrammar, BraceOpensNothingInMacroAndNoAttributeBlocks)
{
    CFakePrompter prompter;
    CPlugin p = Parse("macro: M\n"
                      "{\n"
                      "{\n"
                      "value: one\n"
                      "}\n"
                      "flags: top\n"
                      "fmt: 5\n"
                      "{\n"
                      "noattr: layers\n"
                      "{\n"
                      "{\n"
                      "flags: -nolayers\n"
                      "}\n"
                      "flags: -fmt\n"
                      "flags: -fmt2\n"
                      "}\n",
                      prompter);
    ASSERT_EQ(p.macros.size(), 1u);
    EXPECT_EQ(p.macros[0].value, "one");
    EXPECT_EQ(p.commandLineParts, std::vector<std::string>{"top"});
    ASSERT_EQ(p.formats[0].noAttributes.size(), 1u);
    EXPECT_EQ(p.formats[0].noAttributes[0].flags, "-nolayers");
    EXPECT_EQ(p.formats[0].flags, "-fmt2"); // the later "flags:" replaces the earlier
}

TEST(PluginGrammar, UnknownLinesInAValueBlockAreReportedAndSkipped)
{
    CFakePrompter prompter;
    CPlugin p = Parse("attr: a\n{\nattrvalue: 1\n{\n\nbogus\nflags: -one\n}\nattrvalue: 2\n}\n", prompter);
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{"Invalid element in plugin!", "Invalid element in plugin!"}));
    ASSERT_EQ(p.attributes[0].values.size(), 2u);
    EXPECT_EQ(p.attributes[0].values[0].flags, "-one");
    EXPECT_EQ(p.attributes[0].values[1].value, "2");
}

TEST(PluginGrammar, SiblingValueInsideAValueBlockJoinsTheAttribute)
{
    CFakePrompter prompter;
    CPlugin p = Parse("attr: a\n{\nattrvalue: 1\n{\nattrvalue: 2\nattrvaluename: two\n}\n}\n", prompter);
    ASSERT_EQ(p.attributes[0].values.size(), 2u);
    EXPECT_EQ(p.attributes[0].values[1].displayName, "two");
    EXPECT_EQ(p.attributes[0].values[0].displayName, "");
}

TEST(PluginGrammar, LineEndsAndLongLines)
{
    CFakePrompter prompter;
    CPlugin p = Parse("media: audio\r\nflags: -a\r\n", prompter);
    EXPECT_EQ(p.media, "audio");
    EXPECT_EQ(p.commandLineParts, std::vector<std::string>{"-a"});

    // A physical line longer than 1023 bytes is read as several lines.
    std::string longLine = "description: " + std::string(1023 - 13, 'x') + "flags: -tail\n";
    CPlugin q = Parse(longLine, prompter);
    EXPECT_EQ(q.description.size(), 1023u - 13u);
    EXPECT_EQ(q.commandLineParts, std::vector<std::string>{"-tail"});
}

TEST(PluginGrammar, DeepNestingAndStrayBracesAreHarmless)
{
    CFakePrompter prompter;
    CPlugin plugin;
    CPluginParser parser(prompter);
    parser.BeginFile(plugin);
    // A "{" before any block keyword opens nothing.
    ASSERT_TRUE(parser.ParseText("{\nmedia: audio\n"));
    EXPECT_EQ(parser.OpenBlocks(), 0u);
    EXPECT_EQ(plugin.media, "audio");
    ASSERT_TRUE(parser.ParseText("attr: a\n{\nattrvalue: v\n{\nattrvalue: w\n{\n{\n{\n{\n"));
    EXPECT_EQ(parser.OpenBlocks(), CPluginParser::kMaxOpenBlocks);
}

TEST(PluginGrammar, DefineEndsTheLoad)
{
    CFakePrompter prompter;
    CPlugin plugin;
    CPluginParser parser(prompter);
    parser.BeginFile(plugin);
    EXPECT_FALSE(parser.ParseText("media: audio\n@define: X\nflags: -late\n"));
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Currently no support for @define!!!"});
    EXPECT_TRUE(plugin.commandLineParts.empty());
}

TEST(PluginGrammar, NextBlockKindCarriesIntoTheNextFile)
{
    CFakePrompter prompter;
    CPlugin first, second;
    CPluginParser parser(prompter);
    parser.BeginFile(first);
    ASSERT_TRUE(parser.ParseText("attr: last\n"));
    parser.BeginFile(second);
    // The "{" opens an attribute block although this file has no attribute:
    // the lines inside touch nothing, "}" closes it.
    ASSERT_TRUE(parser.ParseText("{\nattrname: x\nmacro: m\nattrvalue: v\nfmt: 9\n}\nmedia: video\n"));
    EXPECT_TRUE(second.formats.empty());
    EXPECT_TRUE(second.attributes.empty());
    EXPECT_EQ(second.media, "video");
    EXPECT_EQ(first.attributes[0].displayName, "");
}

TEST(PluginFileKeys, ComeFromTheThirdAndSixthDotSeparatedParts)
{
    CPlugin p;
    SetPluginFileKeys(p, "rev2.plugin.a.b.c.d.e");
    EXPECT_EQ(p.fileKey, "a");
    EXPECT_EQ(p.fileSubkey, "d");
    SetPluginFileKeys(p, "rev2.plugin..key");
    EXPECT_EQ(p.fileKey, "key");
    EXPECT_EQ(p.fileSubkey, "");
}

TEST(PluginLoader, LoadsOnlyFilesBeginningWithThePrefix)
{
    CTempInstallDir dir;
    dir.AddPlugin("rev2.plugin.one.x.x.sub", "media: audio\ntool: a1\n");
    dir.AddPlugin("rev2.pluginextra", "media: video\ntool: v1\ntoolname: Vee\n");
    dir.AddPlugin("old.rev2.plugin.two", "media: audio\ntool: nope\n");
    std::filesystem::create_directories(dir.Plugins() / "rev2.plugin.dir");
    CPluginTable table;
    CFakePrompter prompter;
    ASSERT_EQ(LoadPlugins(dir.Path(), table, prompter), EPluginLoad::Ok);
    ASSERT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.At(0)->tool, "a1");
    EXPECT_EQ(table.At(0)->toolName, "a1"); // no "toolname:" line
    EXPECT_EQ(table.At(0)->fileKey, "one");
    EXPECT_EQ(table.At(0)->fileSubkey, "sub");
    EXPECT_EQ(table.At(1)->toolName, "Vee");
    EXPECT_TRUE(prompter.shown.empty());

    // Loading again appends; clearing empties.
    LoadPlugins(dir.Path(), table, prompter);
    EXPECT_EQ(table.Count(), 4u);
    ClearPlugins(table);
    EXPECT_EQ(table.Count(), 0u);
}

TEST(PluginLoader, MissingFolderIsReported)
{
    CPluginTable table;
    CFakePrompter prompter;
    EXPECT_EQ(LoadPlugins("/nonexistent/talmira", table, prompter), EPluginLoad::Ok);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Failed to load Plugins"});
    EXPECT_EQ(table.Count(), 0u);
}

TEST(PluginLoader, AtMost201FilesLoad)
{
    CTempInstallDir dir;
    for (int i = 0; i < 201; ++i)
        dir.AddPlugin("rev2.plugin." + std::to_string(1000 + i), "media: audio\n");
    CPluginTable table;
    CFakePrompter prompter;
    EXPECT_EQ(LoadPlugins(dir.Path(), table, prompter), EPluginLoad::Ok);
    EXPECT_EQ(table.Count(), 201u);
    EXPECT_TRUE(prompter.shown.empty());

    dir.AddPlugin("rev2.plugin.9999", "media: audio\n");
    table.Clear();
    EXPECT_EQ(LoadPlugins(dir.Path(), table, prompter), EPluginLoad::Fatal);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"To Many Plugins!"});
    EXPECT_EQ(table.Count(), 201u);
}

TEST(PluginLoader, DefineInAFileEndsTheLoad)
{
    CTempInstallDir dir;
    dir.AddPlugin("rev2.plugin.a", "media: audio\n");
    dir.AddPlugin("rev2.plugin.b", "@define: x\n");
    dir.AddPlugin("rev2.plugin.c", "media: video\n");
    CPluginTable table;
    CFakePrompter prompter;
    EXPECT_EQ(LoadPlugins(dir.Path(), table, prompter), EPluginLoad::Fatal);
    EXPECT_EQ(table.Count(), 1u);
}

TEST(PluginLoader, FilesAreReadInTheSamePiecesAsText)
{
    // A long line, CRLF ends and a last line without its line feed.
    const std::string text = "media: audio\r\ndescription: " + std::string(2000, 'd') + "flags: -x\r\nflags: -last";
    CTempInstallDir dir;
    dir.AddPlugin("rev2.plugin.long", text);
    CPluginTable table;
    CFakePrompter prompter;
    LoadPlugins(dir.Path(), table, prompter);
    ASSERT_EQ(table.Count(), 1u);
    CPlugin fromText = Parse(text, prompter);
    const CPlugin& fromFile = *table.At(0);
    EXPECT_EQ(fromFile.media, "audio");
    EXPECT_EQ(fromFile.description, fromText.description);
    EXPECT_EQ(fromFile.commandLineParts, fromText.commandLineParts);
    EXPECT_EQ(fromFile.commandLineParts.back(), "-last");
}
