#include "tools/ToolPicker.h"

#include <gtest/gtest.h>

namespace {

CMediaListEntry Group(std::initializer_list<std::pair<const char*, int>> tools)
{
    CMediaListEntry g{"audio", "RTP/AVP", "RTP", "0", "PCMU", {}};
    for (auto& [name, order] : tools) {
        CToolEntry t;
        t.name = name;
        t.selected = order >= 0;
        t.order = order;
        g.tools.push_back(t);
    }
    return g;
}

std::string Names(const CMediaListEntry& g, const std::vector<size_t>& idx)
{
    std::string s;
    for (size_t i : idx)
        s += g.tools[i].name + " ";
    return s;
}

std::string Orders(const CMediaListEntry& g)
{
    std::string s;
    for (const CToolEntry& t : g.tools)
        s += std::to_string(t.order) + " ";
    return s;
}

} // namespace

TEST(ToolPicker, ListsAvailableInGroupOrderAndSelectedByOrder)
{
    CMediaListEntry g = Group({{"A", 2}, {"B", -1}, {"C", 0}, {"D", -1}, {"E", 1}});
    EXPECT_EQ(Names(g, AvailableTools(g)), "B D ");
    EXPECT_EQ(Names(g, SelectedTools(g)), "C E A ");
}

TEST(ToolPicker, SelectAppendsAndDeselectClosesTheGap)
{
    CMediaListEntry g = Group({{"A", 0}, {"B", 1}, {"C", 2}, {"D", -1}});
    // "<<" on the second of three selected tools.
    EXPECT_TRUE(DeselectTool(g, 1));
    EXPECT_EQ(Orders(g), "0 -1 1 -1 ");
    EXPECT_FALSE(DeselectTool(g, 1));
    EXPECT_TRUE(SelectTool(g, 3));
    EXPECT_EQ(Orders(g), "0 -1 1 2 ");
    EXPECT_FALSE(SelectTool(g, 0));
    EXPECT_FALSE(SelectTool(g, 9));
    EXPECT_TRUE(SelectTool(g, 1));
    EXPECT_EQ(Names(g, SelectedTools(g)), "A C D B ");
}

TEST(ToolPicker, UpAndDownSwapNeighboursOnly)
{
    CMediaListEntry g = Group({{"A", 1}, {"B", 0}, {"C", -1}, {"D", 2}});
    EXPECT_FALSE(MoveToolUp(g, 1));   // first
    EXPECT_FALSE(MoveToolDown(g, 3)); // last
    EXPECT_FALSE(MoveToolUp(g, 2));   // not selected
    EXPECT_EQ(Orders(g), "1 0 -1 2 ");
    EXPECT_TRUE(MoveToolUp(g, 3));
    EXPECT_EQ(Names(g, SelectedTools(g)), "B D A ");
    EXPECT_TRUE(MoveToolDown(g, 1));
    EXPECT_EQ(Names(g, SelectedTools(g)), "D B A ");
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
