#include "tools/Plugin.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

namespace {

// Every field that is set, values in brackets so that blanks show.
std::string Fields(std::initializer_list<std::pair<const char*, const std::string&>> fields)
{
    std::string out;
    for (const auto& [key, value] : fields)
        out += value.empty() ? "" : std::string(" ") + key + "[" + value + "]";
    return out;
}

std::string Dump(const std::deque<CPluginMacro>& macros)
{
    std::string s;
    for (const CPluginMacro& m : macros)
        s += " macro(" + m.name + "=" + m.value + ")";
    return s;
}

std::string Dump(const std::deque<CPluginAttribute>& attributes)
{
    std::string s;
    for (const CPluginAttribute& a : attributes) {
        s += " attr(" + a.name + Fields({{"name", a.displayName}, {"input", a.inputValue}, {"def", a.defaultValue}});
        s += Dump(a.macros);
        for (const CPluginValue& v : a.values)
            s += " val(" + v.value + Fields({{"name", v.displayName}, {"flags", v.flags}, {"def", v.defaultMark}}) +
                 Dump(v.macros) + ")";
        s += ")";
    }
    return s;
}

std::string Dump(const CPlugin& p)
{
    std::string s = Fields({{"media", p.media}, {"proto", p.protocol}, {"protoname", p.protocolName}, {"tool", p.tool},
                            {"toolname", p.toolName}, {"desc", p.description}, {"date", p.date}});
    s += p.create ? "" : " nocreate";
    for (const CPluginFormat& f : p.formats) {
        s += " fmt(" + f.name + Fields({{"name", f.displayName}, {"flags", f.flags}});
        for (const CPluginNoAttr& n : f.noAttributes)
            s += " noattr(" + n.name + " " + n.flags + ")";
        s += Dump(f.attributes) + ")";
    }
    s += Dump(p.attributes) + Dump(p.macros);
    for (const std::string& part : p.commandLineParts)
        s += " flags[" + part + "]";
    return s;
}

// Parses the files of `text` (separated by "\f") with one parser; the dump of
// each and the blocks left open, " STOP" when the parser ended the load, then every message shown.
std::string ParseFiles(std::string_view text)
{
    CFakePrompter prompter;
    CPluginParser parser(prompter);
    std::deque<CPlugin> plugins;
    std::string out;
    bool ok = true;
    for (size_t from = 0; ok && from <= text.size();) {
        const size_t end = std::min(text.find('\f', from), text.size());
        parser.BeginFile(plugins.emplace_back());
        ok = parser.ParseText(text.substr(from, end - from));
        out += (from ? " |" : "") + Dump(plugins.back());
        out += parser.OpenBlocks() ? " open=" + std::to_string(parser.OpenBlocks()) : "";
        from = end + 1;
    }
    if (!ok)
        out += " STOP";
    for (const std::string& shown : prompter.shown)
        out += " !" + shown;
    return out;
}

} // namespace

TEST(PluginGrammar, Table)
{
    const std::string longText(CPluginParser::kMaxLinePiece - 13, 'x');
    const struct { std::string text, dump; } cases[] = {
        // Nested blocks; trailing blanks stay, a comment is cut but the blank before it stays.
        {"media: video\nproto: RTP/AVP\nprotoname: RTP\ntool: viewer\ntoolname: The Viewer\n"
         "description: plays video   \ndate: 2026-01-02\ncreate: yes\n"
         "fmt: 31\n{\n  fmtname: H.261\n  attr: quality\n  {\n    attrname: Quality\n    inputvalue: 5\n"
         "    def: 10\n    attrvalue: 10\n    {\n      attrvaluename: low\n      flags: -q 10\n      def: yes\n"
         "      macro: Q\n      {\n        value: q=$(VALUE)\n      }\n    }\n  }\n}\n"
         "flags: -a $(ADDRESS) # the group\nflags: -p $(PORT)\n",
         " media[video] proto[RTP/AVP] protoname[RTP] tool[viewer] toolname[The Viewer] desc[plays video   ]"
         " date[2026-01-02] fmt(31 name[H.261] attr(quality name[Quality] input[5] def[10]"
         " val(10 name[low] flags[-q 10] def[yes] macro(Q=q=$(VALUE))))) flags[-a $(ADDRESS) ] flags[-p $(PORT)]"},
        // Keywords are found anywhere in the line, in a fixed order ("fmt:" before "description:").
        {"description: accepts fmt: 96\nmedia: audio tool: player\nxxtoolname:  Player X\n",
         " media[audio tool: player] toolname[Player X] fmt(96)"},
        // Any text holding "no" clears the create flag; a later line decides again.
        {"create: no\n", " nocreate"}, {"create: none\n", " nocreate"}, {"create: no\ncreate: yes\n", ""},
        // Any other line in a format block, an empty or comment-only one too, closes every block.
        {"fmt: 0\n{\nfmtname: PCMU\n\nattr: rate\n}\nflags: -x\n", " fmt(0 name[PCMU]) attr(rate) flags[-x]"},
        {"fmt: 0\n{\n# note\nfmtname: late\n}\n", " fmt(0)"}, {"fmt: 0\n{\n{\n\nflags: -x\n", " fmt(0) flags[-x]"},
        // "{" opens nothing in macro and no-attribute blocks; a later "flags:" replaces the earlier.
        {"macro: M\n{\n{\nvalue: one\n}\nflags: top\nfmt: 5\n{\nnoattr: layers\n{\n{\nflags: -nolayers\n}\n"
         "flags: -fmt\nflags: -fmt2\n}\n",
         " fmt(5 flags[-fmt2] noattr(layers -nolayers)) macro(M=one) flags[top]"},
        // Unknown lines in a value block are reported and skipped; a sibling value joins the attribute.
        {"attr: a\n{\nattrvalue: 1\n{\n\nbogus\nflags: -one\n}\nattrvalue: 2\n}\n",
         " attr(a val(1 flags[-one]) val(2)) !Invalid element in plugin! !Invalid element in plugin!"},
        {"attr: a\n{\nattrvalue: 1\n{\nattrvalue: 2\nattrvaluename: two\n}\n}\n", " attr(a val(1) val(2 name[two]))"},
        {"attr: a\n{\nmacro: Z\n{\nvalue: z\n}\n}\n", " attr(a macro(Z=z))"},
        // Line ends, a NUL ends the line's text, a long line is read in pieces.
        {"media: audio\r\nflags: -a\r\n", " media[audio] flags[-a]"},
        {std::string("media: au\0dio\nflags: -x", 23), " media[au] flags[-x]"},
        {"description: " + longText + "flags: -tail\n", " desc[" + longText + "] flags[-tail]"},
        // The next block kind carries into the next file: "{" opens an attribute
        // block that touches nothing, "}" closes it.
        {"attr: last\n\f{\nattrname: x\nmacro: m\nattrvalue: v\nfmt: 9\n}\nmedia: video\n",
         " attr(last) | media[video]"},
        // A stray "{" opens nothing; blocks nest only so deep.
        {"{\nmedia: audio\n", " media[audio]"},
        {"attr: a\n{\nattrvalue: v\n{\nattrvalue: w\n{\n{\n{\n{\n",
         " attr(a val(v) val(w)) open=" + std::to_string(CPluginParser::kMaxOpenBlocks)},
        {"media: audio\n@define: X\nflags: -late\n", " media[audio] STOP !Currently no support for @define!!!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseFiles(c.text), c.dump) << c.text;
}

TEST(PluginLoader, KeysPrefixOrderAndLimits)
{
    CPluginTable table;
    CFakePrompter prompter;
    EXPECT_EQ(LoadPlugins("/nonexistent/talmira", table, prompter), EPluginLoad::Ok);
    EXPECT_EQ(prompter.shown, Words{"Failed to load Plugins"});
    prompter.shown.clear();

    CPlugin keys;
    for (const auto& [file, expected] : {std::pair{"rev2.plugin.a.b.c.d.e", "a/d"}, {"rev2.plugin..key", "key/"}}) {
        SetPluginFileKeys(keys, file);
        EXPECT_EQ(keys.fileKey + "/" + keys.fileSubkey, expected);
    }

    CTempInstallDir dir;
    dir.AddPlugin("rev2.plugin.one.x.x.sub", "media: audio\ntool: a1\n");
    dir.AddPlugin("rev2.pluginextra", "media: video\ntool: v1\ntoolname: Vee\n");
    dir.AddPlugin("old.rev2.plugin.two", "media: audio\ntool: nope\n");
    std::filesystem::create_directories(dir.Plugins() / "rev2.plugin.dir");
    // Read in the same pieces as text: a long line, CRLF ends, a last line without its line feed.
    const std::string text = "media: audio\r\ndescription: " + std::string(2000, 'd') + "flags: -x\r\nflags: -last";
    dir.AddPlugin("rev2.plugin.long", text);
    ASSERT_EQ(LoadPlugins(dir.Path(), table, prompter), EPluginLoad::Ok);
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_EQ(Dump(*table.At(0)), ParseFiles(text));
    EXPECT_EQ(table.At(0)->commandLineParts.back(), "-last");
    // No "toolname:" line: the tool's name.
    EXPECT_EQ(table.At(1)->toolName + " " + table.At(1)->fileKey + "/" + table.At(1)->fileSubkey, "a1 one/sub");
    EXPECT_EQ(table.At(2)->toolName, "Vee");
    EXPECT_TRUE(prompter.shown.empty());

    // At most 201 files load.
    for (int i = 0; i < 199; ++i) {
        dir.AddPlugin("rev2.plugin." + std::to_string(1000 + i), "media: audio\n");
        table.Clear();
        if (i >= 197) {
            EXPECT_EQ(LoadPlugins(dir.Path(), table, prompter), i == 197 ? EPluginLoad::Ok : EPluginLoad::Fatal);
        }
    }
    EXPECT_EQ(prompter.shown, Words{"To Many Plugins!"});
    EXPECT_EQ(table.Count(), 201u);

    // "@define" ends the load: files after it are not read.
    CTempInstallDir defines;
    defines.AddPlugin("rev2.plugin.a", "media: audio\n");
    defines.AddPlugin("rev2.plugin.b", "@define: x\n");
    defines.AddPlugin("rev2.plugin.c", "media: video\n");
    table.Clear();
    EXPECT_EQ(LoadPlugins(defines.Path(), table, prompter), EPluginLoad::Fatal);
    EXPECT_EQ(table.Count(), 1u);
}
