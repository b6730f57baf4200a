#include "tools/ToolPicker.h"

#include <gtest/gtest.h>

namespace {

// Tools A, B, ... with the given orders; -1 is unselected.
CMediaListEntry Group(std::initializer_list<int> orders)
{
    CMediaListEntry g{"audio", "RTP/AVP", "RTP", "0", "PCMU", {}};
    char name = 'A';
    for (int order : orders)
        g.tools.push_back(CToolEntry{std::string(1, name++), nullptr, order >= 0, 0, order, {}});
    return g;
}

std::string Names(const CMediaListEntry& g, const std::vector<size_t>& idx)
{
    std::string s;
    for (size_t i : idx)
        s += g.tools[i].name;
    return s;
}

std::string Orders(const CMediaListEntry& g)
{
    std::string s;
    for (const CToolEntry& t : g.tools)
        s += std::to_string(t.order) + (t.selected ? "+ " : "- ");
    return s;
}

} // namespace

TEST(ToolPicker, ListsAvailableInGroupOrderAndSelectedByOrder)
{
    CMediaListEntry g = Group({2, -1, 0, -1, 1});
    EXPECT_EQ(Names(g, AvailableTools(g)), "BD");
    EXPECT_EQ(Names(g, SelectedTools(g)), "CEA");
}

TEST(ToolPicker, SelectAppendsAndDeselectClosesTheGap)
{
    CMediaListEntry g = Group({0, 1, 2, -1});
    EXPECT_TRUE(DeselectTool(g, 1)); // "<<" on the second of three selected tools
    EXPECT_EQ(Orders(g), "0+ -1- 1+ -1- ");
    EXPECT_FALSE(DeselectTool(g, 1));
    EXPECT_FALSE(DeselectTool(g, 9));
    EXPECT_TRUE(SelectTool(g, 3));
    EXPECT_EQ(Orders(g), "0+ -1- 1+ 2+ ");
    EXPECT_FALSE(SelectTool(g, 0));
    EXPECT_FALSE(SelectTool(g, 9));
    EXPECT_TRUE(SelectTool(g, 1));
    EXPECT_EQ(Names(g, SelectedTools(g)), "ACDB");
}

TEST(ToolPicker, UpAndDownSwapNeighboursOnly)
{
    CMediaListEntry g = Group({1, 0, -1, 2});
    EXPECT_FALSE(MoveToolUp(g, 1));   // first
    EXPECT_FALSE(MoveToolDown(g, 3)); // last
    EXPECT_FALSE(MoveToolUp(g, 2));   // not selected
    EXPECT_FALSE(MoveToolDown(g, 9));
    EXPECT_EQ(Orders(g), "1+ 0+ -1- 2+ ");
    EXPECT_TRUE(MoveToolUp(g, 3));
    EXPECT_EQ(Names(g, SelectedTools(g)), "BDA");
    EXPECT_TRUE(MoveToolDown(g, 1));
    EXPECT_EQ(Names(g, SelectedTools(g)), "DBA");
}

TEST(ToolPicker, PathAndDescriptionGoThroughThePlugin)
{
    CPluginTable table;
    for (const char* tool : {"viewer", "viewer", "other"}) {
        auto p = std::make_shared<CPlugin>();
        p->tool = tool;
        table.Append(p);
    }
    CToolEntry entry;
    entry.plugin = table.At(0);
    SetToolPath(table, entry, "/opt/viewer");
    EXPECT_EQ(table.At(1)->foundPath, "/opt/viewer");
    EXPECT_EQ(table.At(2)->foundPath, "");
    EXPECT_EQ(ToolDescription(entry), "No description available!");
    table.At(0)->description = "Shows video";
    EXPECT_EQ(ToolDescription(entry), "Shows video");
}
