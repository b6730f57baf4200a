#include "tools/ToolRegistry.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// "Name media proto fmt fmt...": a plug-in whose format names are "fmt F".
std::shared_ptr<CPlugin> MakePlugin(const std::string& words)
{
    std::istringstream in(words);
    auto p = std::make_shared<CPlugin>();
    in >> p->toolName >> p->media >> p->protocol;
    p->protocolName = "RTP";
    p->tool = p->toolName + "-bin";
    for (std::string f; in >> f;)
        p->formats.push_back(CPluginFormat{f, "fmt " + f, {}, {}, {}});
    return p;
}

CToolEntry Tool(const std::string& name, int selected, int order, const std::string& path = {})
{
    return CToolEntry{name, nullptr, selected, 0, order, path};
}

CMediaListEntry Group(const std::string& media, const std::string& format, std::vector<CToolEntry> tools,
                      const std::string& formatName = "")
{
    return CMediaListEntry{media, "RTP/AVP", "RTP", format, formatName, std::move(tools)};
}

// Every group with its tools as name:selected:order, and what else is set.
std::string Describe(const CToolRegistry& r)
{
    std::string out;
    for (const CMediaListEntry& g : r.groups) {
        out += g.media + " " + g.protocol + " " + g.protocolName + " " + g.format + " (" + g.formatName + "):";
        for (const CToolEntry& t : g.tools)
            out += " " + t.name + ":" + std::to_string(t.selected) + ":" + std::to_string(t.order) +
                   (t.path.empty() ? "" : "@" + t.path);
        out += "; ";
    }
    return out;
}

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Str(const std::string& s) { return char(s.size()) + s; }
const std::string kGroupClass = std::string("\xFF\xFF\x01\x00\x0F\x00", 6) + "CMediaListEntry";
const std::string kToolClass = std::string("\xFF\xFF\x01\x00\x0A\x00", 6) + "CToolEntry";

} // namespace

TEST(ToolRegistrySync, Table)
{
    const struct {
        std::vector<CMediaListEntry> stored;
        std::vector<std::string> plugins;
        std::string expected;
    } cases[] = {
        // First start: every tool selected in table order, one group per media, protocol and format.
        {{},
         {"One audio RTP/AVP 0 8", "Two audio RTP/AVP 0", "Three audio udp 0"},
         "audio RTP/AVP RTP 0 (fmt 0): One:1:0 Two:1:1; audio RTP/AVP RTP 8 (fmt 8): One:1:0; "
         "audio udp RTP 0 (fmt 0): Three:1:0; "},
        // A removed plug-in closes the gap of its order; a group left empty goes.
        {{Group("audio", "0", {Tool("A", 1, 2), Tool("Gone", 1, 0), Tool("B", 0, -1), Tool("C", 1, 1)}),
          Group("video", "31", {Tool("Gone", 1, 0)})},
         {"A audio RTP/AVP 0", "B audio RTP/AVP 0", "C audio RTP/AVP 0"},
         "audio RTP/AVP RTP 0 (): A:1:1 B:0:-1 C:1:0; "},
        // A new tool is appended as the last selected, or first when none is selected.
        {{Group("audio", "0", {Tool("B", 1, 1), Tool("A", 1, 0)})},
         {"A audio RTP/AVP 0", "New audio RTP/AVP 0", "B audio RTP/AVP 0"},
         "audio RTP/AVP RTP 0 (): B:1:1 A:1:0 New:1:2; "},
        {{Group("audio", "0", {Tool("A", 0, -1)})},
         {"A audio RTP/AVP 0", "New audio RTP/AVP 0", "B audio RTP/AVP 0"},
         "audio RTP/AVP RTP 0 (): A:0:-1 New:1:0 B:1:1; "},
        // A stored path becomes the found path of the plug-in.
        {{Group("audio", "0", {Tool("A", 1, 0, "/opt/a")})},
         {"A audio RTP/AVP 0 8"},
         "audio RTP/AVP RTP 0 (): A:1:0@/opt/a; audio RTP/AVP RTP 8 (fmt 8): A:1:0; "},
    };
    for (const auto& c : cases) {
        CToolRegistry reg{c.stored};
        CPluginTable table;
        for (const std::string& words : c.plugins)
            table.Append(MakePlugin(words));
        SyncToolRegistry(reg, table);
        EXPECT_EQ(Describe(reg), c.expected);
        SyncToolRegistry(reg, table); // a second synchronisation changes nothing
        EXPECT_EQ(Describe(reg), c.expected);
        for (const CMediaListEntry& g : reg.groups)
            for (const CToolEntry& t : g.tools)
                EXPECT_TRUE(t.plugin && t.plugin->toolName == t.name && (t.path.empty() || t.plugin->foundPath == t.path))
                    << t.name;
    }
}

TEST(ToolOrderFile, WritesTheArchiveLayoutByteForByte)
{
    CToolRegistry reg{{Group("audio", "0", {Tool("A", 1, 0, "/usr/bin/a"), Tool("B", 0, -1)}, "PCMU"),
                       Group("video", "31", {Tool("C", 1, 0)}, "H.261")}};
    reg.groups[1].protocolName = "";
    // The plug-in's found path is written in place of the stored one.
    reg.groups[1].tools[0].plugin = MakePlugin("C video RTP/AVP 31");
    reg.groups[1].tools[0].plugin->foundPath = "/c";

    const std::string expected =
        Le32(2) + kGroupClass + Str("audio") + Str("RTP/AVP") + Str("RTP") + Str("0") + Str("PCMU") + Le32(2) +
        kToolClass + Str("A") + Le32(1) + Le32(0) + Str("/usr/bin/a") +
        std::string("\x03\x80", 2) + Str("B") + Le32(0) + Le32(0xFFFFFFFF) + Str("") +
        std::string("\x01\x80", 2) + Str("video") + Str("RTP/AVP") + Str("") + Str("31") + Str("H.261") + Le32(1) +
        std::string("\x03\x80", 2) + Str("C") + Le32(1) + Le32(0) + Str("/c");
    EXPECT_EQ(EncodeToolOrder(reg).value_or(""), expected);

    CToolRegistry back;
    ASSERT_TRUE(DecodeToolOrder(expected, back));
    EXPECT_EQ(Describe(back), "audio RTP/AVP RTP 0 (PCMU): A:1:0@/usr/bin/a B:0:-1; video RTP/AVP  31 (H.261): C:1:0@/c; ");
    EXPECT_FALSE(back.groups[1].tools[0].plugin);

    // Orders read from a file are made contiguous.
    ASSERT_TRUE(DecodeToolOrder(*EncodeToolOrder({{Group("a", "0", {Tool("X", 1, 7), Tool("Y", 0, 3), Tool("Z", 1, 2)})}}), back));
    EXPECT_EQ(Describe(back), "a RTP/AVP RTP 0 (): X:1:1 Y:0:-1 Z:1:0; ");
}

TEST(ToolOrderFile, LongStringsUseTheWiderLengthForms)
{
    for (const auto& [len, prefix] : {std::pair{254u, "\xFE"}, {255u, "\xFF\xFF\x00"}, {65533u, "\xFF\xFD\xFF"},
                                      {65534u, "\xFF\xFF\xFF\xFE\xFF\x00\x00"}, {70000u, "\xFF\xFF\xFF\x70\x11\x01\x00"}}) {
        const std::string tools = Le32(1) + kToolClass + Str("A") + Le32(1) + Le32(0) + Str("");
        // The group's strings, the last one long, then its tools.
        const std::string bytes = Le32(1) + kGroupClass + Str("audio") + Str("p") + Str("") + Str("0") +
                                  std::string(prefix, len < 255 ? 1 : len < 65534 ? 3 : 7) + std::string(len, 'n') + tools;
        EXPECT_EQ(EncodeToolOrder({{CMediaListEntry{"audio", "p", "", "0", std::string(len, 'n'), {Tool("A", 1, 0)}}}}),
                  bytes) << len;
        CToolRegistry back;
        ASSERT_TRUE(DecodeToolOrder(bytes, back)) << len;
        EXPECT_EQ(back.groups[0].formatName, std::string(len, 'n'));
    }
}

TEST(ToolOrderFile, BrokenArchivesAreRejectedAndNothingIsKept)
{
    const std::string bytes = *EncodeToolOrder(
        {{Group("audio", "0", {Tool("A", 1, 0, "/a"), Tool("B", 0, -1)}, "PCMU"), Group("video", "31", {Tool("C", 1, 0)})}});
    std::vector<std::string> broken;
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        broken.push_back(bytes.substr(0, cut));
    const std::string group = Str("audio") + Str("p") + Str("") + Str("0") + Str("");
    broken.insert(broken.end(), {
        Le32(1) + kToolClass + group + Le32(0), // the wrong class
        Le32(1) + std::string("\xFF\xFF\x02\x00\x0F\x00", 6) + "CMediaListEntry" + group + Le32(0), // schema 2
        // A later object naming a class index that was never defined.
        Le32(2) + kGroupClass + group + Le32(0) + std::string("\x05\x80", 2) + group + Le32(0),
        // Counts far beyond the bytes present, negative counts, a string length past the end.
        Le32(0x7FFFFFFF), Le32(0xFFFFFFFF), Le32(1) + kGroupClass + group + Le32(0x40000000),
        Le32(1) + kGroupClass + group + Le32(0xFFFFFFFF), Le32(1) + kGroupClass + std::string("\xFF\x00\x10", 3) + "abc",
    });
    for (const std::string& b : broken) {
        CToolRegistry back{{CMediaListEntry{}}};
        EXPECT_FALSE(DecodeToolOrder(b, back)) << b.size();
        EXPECT_TRUE(back.groups.empty()) << b.size();
    }
    CToolRegistry empty;
    EXPECT_TRUE(DecodeToolOrder(Le32(0), empty));
}

TEST(ToolOrderFile, SaveAndReadInTheInstallDirectory)
{
    CTempInstallDir dir;
    CFakePrompter prompter;
    CToolRegistry reg{{Group("audio", "0", {Tool("A", 1, 0, "/a")})}};
    CToolRegistry back{{CMediaListEntry{}}};
    ReadToolOrder(dir.Path(), back, prompter); // no file yet: silently empty
    EXPECT_TRUE(back.groups.empty());
    ASSERT_TRUE(SaveToolOrder(dir.Path(), reg, prompter));
    EXPECT_FALSE(std::filesystem::exists(ToolOrderPath(dir.Path()) + ".tmp"));
    ReadToolOrder(dir.Path(), back, prompter);
    EXPECT_EQ(Describe(back), Describe(reg));
    EXPECT_TRUE(prompter.shown.empty());

    CTempInstallDir::Write(ToolOrderPath(dir.Path()), "garbage!");
    ReadToolOrder(dir.Path(), back, prompter);
    EXPECT_TRUE(back.groups.empty());
    EXPECT_FALSE(SaveToolOrder("/nonexistent/talmira", reg, prompter));
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0], kCorruptToolFile);
    EXPECT_NE(prompter.shown[1].find("tools.sort"), std::string::npos);
}
