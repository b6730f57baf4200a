#include "support/FakePrompter.h"
#include "tools/ToolRegistry.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<CPlugin> MakePlugin(const std::string& toolName, const std::string& media,
                                    std::vector<std::string> formats, const std::string& proto = "RTP/AVP")
{
    auto p = std::make_shared<CPlugin>();
    p->media = media;
    p->protocol = proto;
    p->protocolName = "RTP";
    p->tool = toolName + "-bin";
    p->toolName = toolName;
    for (auto& f : formats)
        p->formats.push_back(CPluginFormat{f, "fmt " + f, {}, {}, {}});
    return p;
}

CToolEntry Tool(const std::string& name, int selected, int order, const std::string& path = {})
{
    CToolEntry t;
    t.name = name;
    t.selected = selected;
    t.order = order;
    t.path = path;
    return t;
}

// name:selected:order of every tool of a group, in group order.
std::string Describe(const CMediaListEntry& g)
{
    std::string out;
    for (const CToolEntry& t : g.tools)
        out += t.name + ":" + std::to_string(t.selected) + ":" + std::to_string(t.order) + " ";
    return out;
}

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Str(const std::string& s) { return char(s.size()) + s; }

} // namespace

TEST(ToolRegistrySync, FirstStartSelectsEveryToolInTableOrder)
{
    CPluginTable table;
    table.Append(MakePlugin("One", "audio", {"0", "8"}));
    table.Append(MakePlugin("Two", "audio", {"0"}));
    table.Append(MakePlugin("Three", "audio", {"0"}, "udp"));
    CToolRegistry reg;
    SyncToolRegistry(reg, table);
    ASSERT_EQ(reg.groups.size(), 3u);
    EXPECT_EQ(reg.groups[0].format, "0");
    EXPECT_EQ(reg.groups[0].formatName, "fmt 0");
    EXPECT_EQ(Describe(reg.groups[0]), "One:1:0 Two:1:1 ");
    EXPECT_EQ(Describe(reg.groups[1]), "One:1:0 ");
    EXPECT_EQ(reg.groups[2].protocol, "udp");
    EXPECT_EQ(reg.groups[0].tools[1].plugin, table.At(1));

    // A second synchronisation changes nothing.
    SyncToolRegistry(reg, table);
    EXPECT_EQ(Describe(reg.groups[0]), "One:1:0 Two:1:1 ");
}

TEST(ToolRegistrySync, RemovedPluginClosesTheGapAndEmptyGroupsGo)
{
    CToolRegistry reg;
    reg.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "", {}});
    reg.groups[0].tools = {Tool("A", 1, 2), Tool("Gone", 1, 0), Tool("B", 0, -1), Tool("C", 1, 1)};
    reg.groups.push_back(CMediaListEntry{"video", "RTP/AVP", "RTP", "31", "", {Tool("Gone", 1, 0)}});
    CPluginTable table;
    for (auto name : {"A", "B", "C"})
        table.Append(MakePlugin(name, "audio", {"0"}));
    SyncToolRegistry(reg, table);
    ASSERT_EQ(reg.groups.size(), 1u);
    EXPECT_EQ(Describe(reg.groups[0]), "A:1:1 B:0:-1 C:1:0 ");
}

TEST(ToolRegistrySync, NewToolIsAppendedAsTheLastSelected)
{
    CToolRegistry reg;
    reg.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "", {Tool("B", 1, 1), Tool("A", 1, 0)}});
    CPluginTable table;
    for (auto name : {"A", "New", "B"})
        table.Append(MakePlugin(name, "audio", {"0"}));
    SyncToolRegistry(reg, table);
    EXPECT_EQ(Describe(reg.groups[0]), "B:1:1 A:1:0 New:1:2 ");

    // Into a group whose tools are all unselected, the new tool gets order 0.
    CToolRegistry reg2;
    reg2.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "", {Tool("A", 0, -1)}});
    SyncToolRegistry(reg2, table);
    EXPECT_EQ(Describe(reg2.groups[0]), "A:0:-1 New:1:0 B:1:1 ");
}

TEST(ToolRegistrySync, StoredPathBecomesTheFoundPathOfThePlugin)
{
    CToolRegistry reg;
    reg.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "", {Tool("A", 1, 0, "/opt/a/bin/a")}});
    CPluginTable table;
    table.Append(MakePlugin("A", "audio", {"0", "8"}));
    SyncToolRegistry(reg, table);
    EXPECT_EQ(table.At(0)->foundPath, "/opt/a/bin/a");
    EXPECT_EQ(reg.groups.size(), 2u);
}

TEST(ToolOrderFile, WritesTheArchiveLayoutByteForByte)
{
    CToolRegistry reg;
    reg.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "PCMU",
                                         {Tool("A", 1, 0, "/usr/bin/a"), Tool("B", 0, -1)}});
    reg.groups.push_back(CMediaListEntry{"video", "RTP/AVP", "", "31", "H.261", {Tool("C", 1, 0)}});
    // The plug-in's found path is written in place of the stored one.
    reg.groups[1].tools[0].plugin = MakePlugin("C", "video", {"31"});
    reg.groups[1].tools[0].plugin->foundPath = "/c";

    const std::string expected =
        Le32(2) +
        std::string("\xFF\xFF\x01\x00\x0F\x00", 6) + "CMediaListEntry" +
        Str("audio") + Str("RTP/AVP") + Str("RTP") + Str("0") + Str("PCMU") + Le32(2) +
        std::string("\xFF\xFF\x01\x00\x0A\x00", 6) + "CToolEntry" +
        Str("A") + Le32(1) + Le32(0) + Str("/usr/bin/a") +
        std::string("\x03\x80", 2) + Str("B") + Le32(0) + Le32(0xFFFFFFFF) + Str("") +
        std::string("\x01\x80", 2) +
        Str("video") + Str("RTP/AVP") + Str("") + Str("31") + Str("H.261") + Le32(1) +
        std::string("\x03\x80", 2) + Str("C") + Le32(1) + Le32(0) + Str("/c");
    auto bytes = EncodeToolOrder(reg);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, expected);

    CToolRegistry back;
    ASSERT_TRUE(DecodeToolOrder(expected, back));
    ASSERT_EQ(back.groups.size(), 2u);
    EXPECT_EQ(back.groups[0].formatName, "PCMU");
    EXPECT_EQ(Describe(back.groups[0]), "A:1:0 B:0:-1 ");
    EXPECT_EQ(back.groups[0].tools[0].path, "/usr/bin/a");
    EXPECT_EQ(back.groups[1].tools[0].path, "/c");
    EXPECT_FALSE(back.groups[1].tools[0].plugin);
}

TEST(ToolOrderFile, LongStringsUseTheWiderLengthForms)
{
    for (size_t len : {254u, 255u, 65533u, 65534u, 70000u}) {
        CToolRegistry reg;
        reg.groups.push_back(CMediaListEntry{"audio", "p", "", "0", std::string(len, 'n'), {Tool("A", 1, 0)}});
        auto bytes = EncodeToolOrder(reg);
        ASSERT_TRUE(bytes);
        const size_t prefix = len < 255 ? 1 : len < 65534 ? 3 : 7;
        // count, tag/schema/name, four short strings (11 bytes), then the long one.
        EXPECT_EQ(static_cast<unsigned char>((*bytes)[4 + 6 + 15 + 11]), len < 255 ? len : 0xFF) << len;
        CToolRegistry back;
        ASSERT_TRUE(DecodeToolOrder(*bytes, back)) << len;
        EXPECT_EQ(back.groups[0].formatName.size(), len);
        EXPECT_EQ(bytes->size(), 4 + 6 + 15 + 11 + prefix + len + 4 + 6 + 10 + 2 + 8 + 1);
    }
}

TEST(ToolOrderFile, EveryTruncationIsRejectedAndNothingIsKept)
{
    CToolRegistry reg;
    reg.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "PCMU", {Tool("A", 1, 0, "/a"), Tool("B", 0, -1)}});
    reg.groups.push_back(CMediaListEntry{"video", "RTP/AVP", "", "31", "", {Tool("C", 1, 0)}});
    const std::string bytes = *EncodeToolOrder(reg);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        CToolRegistry back;
        back.groups.push_back(CMediaListEntry{});
        EXPECT_FALSE(DecodeToolOrder(std::string_view(bytes).substr(0, cut), back)) << cut;
        EXPECT_TRUE(back.groups.empty()) << cut;
    }
}

TEST(ToolOrderFile, RejectsWrongClassesSchemasAndHugeCounts)
{
    const std::string group = Str("audio") + Str("p") + Str("") + Str("0") + Str("") ;
    CToolRegistry back;
    // A class name other than the expected one.
    EXPECT_FALSE(DecodeToolOrder(Le32(1) + std::string("\xFF\xFF\x01\x00\x0A\x00", 6) + "CToolEntry" + group + Le32(0), back));
    // Schema 2.
    EXPECT_FALSE(DecodeToolOrder(Le32(1) + std::string("\xFF\xFF\x02\x00\x0F\x00", 6) + "CMediaListEntry" + group + Le32(0), back));
    // A later object naming a class index that was never defined.
    EXPECT_FALSE(DecodeToolOrder(Le32(2) + std::string("\xFF\xFF\x01\x00\x0F\x00", 6) + "CMediaListEntry" + group +
                                     Le32(0) + std::string("\x05\x80", 2) + group + Le32(0), back));
    // A count far beyond the bytes present, and a negative count.
    EXPECT_FALSE(DecodeToolOrder(Le32(0x7FFFFFFF), back));
    EXPECT_FALSE(DecodeToolOrder(Le32(0xFFFFFFFF), back));
    EXPECT_FALSE(DecodeToolOrder(Le32(1) + std::string("\xFF\xFF\x01\x00\x0F\x00", 6) + "CMediaListEntry" + group +
                                     Le32(0x40000000), back));
    // A string length past the end.
    EXPECT_FALSE(DecodeToolOrder(Le32(1) + std::string("\xFF\xFF\x01\x00\x0F\x00", 6) + "CMediaListEntry" +
                                     std::string("\xFF\x00\x10", 3) + "abc", back));
    EXPECT_TRUE(back.groups.empty());
    // An empty registry is valid.
    EXPECT_TRUE(DecodeToolOrder(Le32(0), back));
}

TEST(ToolOrderFile, OrdersReadFromTheFileAreMadeContiguous)
{
    CToolRegistry reg;
    reg.groups.push_back(CMediaListEntry{"a", "p", "", "0", "", {Tool("X", 1, 7), Tool("Y", 0, 3), Tool("Z", 1, 2)}});
    CToolRegistry back;
    ASSERT_TRUE(DecodeToolOrder(*EncodeToolOrder(reg), back));
    EXPECT_EQ(Describe(back.groups[0]), "X:1:1 Y:0:-1 Z:1:0 ");
}

TEST(ToolOrderFile, SaveAndReadInTheInstallDirectory)
{
    CTempInstallDir dir;
    CFakePrompter prompter;
    CToolRegistry reg;
    ReadToolOrder(dir.Path(), reg, prompter); // no file yet: silently empty
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(reg.groups.empty());

    reg.groups.push_back(CMediaListEntry{"audio", "RTP/AVP", "RTP", "0", "", {Tool("A", 1, 0, "/a")}});
    ASSERT_TRUE(SaveToolOrder(dir.Path(), reg, prompter));
    EXPECT_FALSE(std::filesystem::exists(ToolOrderPath(dir.Path()) + ".tmp"));
    CToolRegistry back;
    ReadToolOrder(dir.Path(), back, prompter);
    ASSERT_EQ(back.groups.size(), 1u);
    EXPECT_EQ(back.groups[0].tools[0].path, "/a");

    CTempInstallDir::Write(ToolOrderPath(dir.Path()), "garbage!");
    ReadToolOrder(dir.Path(), back, prompter);
    EXPECT_TRUE(back.groups.empty());
    EXPECT_EQ(prompter.shown, std::vector<std::string>{kCorruptToolFile});
}

TEST(ToolOrderFile, SaveFailureIsReported)
{
    CFakePrompter prompter;
    CToolRegistry reg;
    EXPECT_FALSE(SaveToolOrder("/nonexistent/talmira", reg, prompter));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].find("tools.sort"), std::string::npos);
}
