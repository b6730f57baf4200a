// The tool registry and its synchronisation with the plug-in table.
#include "tools/ToolRegistry.h"

#include <algorithm>

void ClearToolRegistry(CToolRegistry& registry) { registry.groups.clear(); }

namespace {

CMediaListEntry* FindGroup(CToolRegistry& registry, const CPlugin& p, const CPluginFormat& f)
{
    for (CMediaListEntry& g : registry.groups)
        if (g.media == p.media && g.protocol == p.protocol && g.format == f.name)
            return &g;
    return nullptr;
}

void AddTool(CToolRegistry& registry, const std::shared_ptr<CPlugin>& plugin, const CPluginFormat& format)
{
    CToolEntry entry;
    entry.name = plugin->toolName;
    entry.plugin = plugin;
    entry.selected = 1;

    CMediaListEntry* group = FindGroup(registry, *plugin, format);
    if (!group) {
        registry.groups.push_back(CMediaListEntry{plugin->media, plugin->protocol, plugin->protocolName,
                                                  format.name, format.displayName, {}});
        entry.order = 0;
        registry.groups.back().tools.push_back(std::move(entry));
        return;
    }
    int32_t highest = -1;
    bool known = false;
    for (CToolEntry& tool : group->tools) {
        highest = std::max(highest, tool.order);
        if (tool.name != entry.name)
            continue;
        known = true;
        tool.plugin = plugin;
        if (!tool.path.empty())
            plugin->foundPath = tool.path;
    }
    if (!known) {
        entry.order = highest + 1;
        group->tools.push_back(std::move(entry));
    }
}

void RemoveStaleTools(CMediaListEntry& group)
{
    for (size_t i = 0; i < group.tools.size();) {
        if (group.tools[i].plugin) {
            ++i;
            continue;
        }
        const CToolEntry gone = group.tools[i];
        group.tools.erase(group.tools.begin() + static_cast<ptrdiff_t>(i));
        if (!gone.selected)
            continue;
        for (CToolEntry& t : group.tools)
            if (t.selected && t.order > gone.order)
                --t.order;
    }
}

} // namespace

void SyncToolRegistry(CToolRegistry& registry, const CPluginTable& plugins)
{
    for (const auto& plugin : plugins)
        for (const CPluginFormat& format : plugin->formats)
            AddTool(registry, plugin, format);
    for (CMediaListEntry& group : registry.groups)
        RemoveStaleTools(group);
    std::erase_if(registry.groups, [](const CMediaListEntry& g) { return g.tools.empty(); });
}

void NormaliseToolOrder(CMediaListEntry& group)
{
    std::vector<CToolEntry*> selected;
    for (CToolEntry& t : group.tools) {
        if (t.selected) {
            t.selected = 1;
            selected.push_back(&t);
        } else {
            t.order = -1;
        }
    }
    std::stable_sort(selected.begin(), selected.end(),
                     [](const CToolEntry* a, const CToolEntry* b) { return a->order < b->order; });
    for (size_t i = 0; i < selected.size(); ++i)
        selected[i]->order = static_cast<int32_t>(i);
}
