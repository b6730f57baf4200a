// The registry edits behind the Tool Picker's buttons.
#include "tools/ToolPicker.h"

#include <algorithm>

std::vector<size_t> AvailableTools(const CMediaListEntry& group)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < group.tools.size(); ++i)
        if (!group.tools[i].selected)
            out.push_back(i);
    return out;
}

std::vector<size_t> SelectedTools(const CMediaListEntry& group)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < group.tools.size(); ++i)
        if (group.tools[i].selected)
            out.push_back(i);
    std::stable_sort(out.begin(), out.end(),
                     [&](size_t a, size_t b) { return group.tools[a].order < group.tools[b].order; });
    return out;
}

bool SelectTool(CMediaListEntry& group, size_t tool)
{
    if (tool >= group.tools.size() || group.tools[tool].selected)
        return false;
    int32_t highest = -1;
    for (const CToolEntry& t : group.tools)
        if (t.selected)
            highest = std::max(highest, t.order);
    group.tools[tool].selected = 1;
    group.tools[tool].order = highest + 1;
    return true;
}

bool DeselectTool(CMediaListEntry& group, size_t tool)
{
    if (tool >= group.tools.size() || !group.tools[tool].selected)
        return false;
    const int32_t gone = group.tools[tool].order;
    group.tools[tool].selected = 0;
    group.tools[tool].order = -1;
    for (CToolEntry& t : group.tools)
        if (t.selected && t.order > gone)
            --t.order;
    return true;
}

static bool SwapWithNeighbour(CMediaListEntry& group, size_t tool, int step)
{
    if (tool >= group.tools.size() || !group.tools[tool].selected)
        return false;
    const std::vector<size_t> order = SelectedTools(group);
    const auto at = std::find(order.begin(), order.end(), tool) - order.begin();
    const auto other = at + step;
    if (other < 0 || other >= static_cast<ptrdiff_t>(order.size()))
        return false;
    std::swap(group.tools[tool].order, group.tools[order[static_cast<size_t>(other)]].order);
    return true;
}

bool MoveToolUp(CMediaListEntry& group, size_t tool) { return SwapWithNeighbour(group, tool, -1); }
bool MoveToolDown(CMediaListEntry& group, size_t tool) { return SwapWithNeighbour(group, tool, +1); }

void SetToolPath(const CPluginTable& plugins, const CToolEntry& tool, const std::string& path)
{
    if (!tool.plugin)
        return;
    const std::string toolText = tool.plugin->tool;
    for (const auto& p : plugins)
        if (p->tool == toolText)
            p->foundPath = path;
    tool.plugin->foundPath = path;
}

std::string ToolDescription(const CToolEntry& tool)
{
    if (!tool.plugin || tool.plugin->description.empty())
        return "No description available!";
    return tool.plugin->description;
}
