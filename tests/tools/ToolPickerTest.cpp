#include "tools/ToolPicker.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Tools A, B, ... with the given orders; -1 is unselected.
CMediaListEntry Group(const std::string& orders)
{
    CMediaListEntry g{"audio", "RTP/AVP", "RTP", "0", "PCMU", {}};
    std::istringstream in(orders);
    for (int order; in >> order;)
        g.tools.push_back(CToolEntry{std::string(1, char('A' + g.tools.size())), nullptr, order >= 0, 0, order, {}});
    return g;
}

// The available tools in group order, "|", the selected ones by order.
std::string Lists(const CMediaListEntry& g)
{
    std::string s;
    for (size_t i : AvailableTools(g))
        s += g.tools[i].name;
    s += "|";
    for (size_t i : SelectedTools(g))
        s += g.tools[i].name + std::to_string(g.tools[i].order);
    return s;
}

} // namespace

TEST(ToolPicker, ButtonsEditTheGroup)
{
    using Op = bool (*)(CMediaListEntry&, size_t);
    const struct { const char* orders; Op op; size_t tool; bool done; const char* after; } cases[] = {
        {"2 -1 0 -1 1", nullptr, 0, false, "BD|C0E1A2"},
        // Select appends as the last selected; deselect closes the gap.
        {"0 1 2 -1", DeselectTool, 1, true, "BD|A0C1"}, {"0 -1 1 -1", DeselectTool, 1, false, "BD|A0C1"},
        {"0 -1", DeselectTool, 9, false, "B|A0"}, {"0 -1 1 -1", SelectTool, 3, true, "B|A0C1D2"},
        {"-1 -1", SelectTool, 1, true, "A|B0"}, {"0 -1", SelectTool, 0, false, "B|A0"},
        {"0 -1", SelectTool, 9, false, "B|A0"},
        // Up and down swap with the neighbour in the selected order only.
        {"1 0 -1 2", MoveToolUp, 1, false, "C|B0A1D2"}, {"1 0 -1 2", MoveToolDown, 3, false, "C|B0A1D2"},
        {"1 0 -1 2", MoveToolUp, 2, false, "C|B0A1D2"}, {"1 0 -1 2", MoveToolDown, 9, false, "C|B0A1D2"},
        {"1 0 -1 2", MoveToolUp, 3, true, "C|B0D1A2"}, {"1 0 -1 2", MoveToolDown, 1, true, "C|A0B1D2"},
    };
    for (const auto& c : cases) {
        CMediaListEntry g = Group(c.orders);
        EXPECT_EQ(c.op && c.op(g, c.tool), c.done) << c.orders << " " << c.tool;
        EXPECT_EQ(Lists(g), c.after) << c.orders << " " << c.tool;
        for (const CToolEntry& t : g.tools)
            EXPECT_TRUE(t.selected ? t.order >= 0 : t.order == -1) << c.orders << " " << t.name;
    }
}

TEST(ToolPicker, PathAndDescriptionGoThroughThePlugin)
{
    CPluginTable table;
    for (const char* tool : {"viewer", "viewer", "other"})
        table.Append(PluginFrom(std::string("tool: ") + tool));
    CToolEntry entry;
    entry.plugin = table.At(0);
    SetToolPath(table, entry, "/opt/viewer");
    EXPECT_EQ(table.At(1)->foundPath + "|" + table.At(2)->foundPath, "/opt/viewer|");
    EXPECT_EQ(ToolDescription(entry), "No description available!");
    table.At(0)->description = "Shows video";
    EXPECT_EQ(ToolDescription(entry), "Shows video");
}
