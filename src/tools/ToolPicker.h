#pragma once
#include "tools/ToolRegistry.h"

#include <vector>

// What the Tool Picker does to one group, kept here so that the dialog only
// shows lists. Every operation keeps the orders of the selected tools 0..n-1.

// Indexes into group.tools: the unselected tools in group order, and the
// selected ones by increasing order.
std::vector<size_t> AvailableTools(const CMediaListEntry& group);
std::vector<size_t> SelectedTools(const CMediaListEntry& group);

// ">>": the tool becomes the last selected one. False when it was selected already.
bool SelectTool(CMediaListEntry& group, size_t tool);
// "<<": the tool goes back to the available ones; later tools move up.
bool DeselectTool(CMediaListEntry& group, size_t tool);
// "Up"/"Down": swaps the tool with its neighbour in the order. Nothing
// happens for the first (Up), the last (Down) or an unselected tool.
bool MoveToolUp(CMediaListEntry& group, size_t tool);
bool MoveToolDown(CMediaListEntry& group, size_t tool);

// "Edit Path..."/"Find Tool...": the found path of the tool's plug-in and of
// every plug-in with the same tool text.
void SetToolPath(const CPluginTable& plugins, const CToolEntry& tool, const std::string& path);
// The text "Description" shows for a tool.
std::string ToolDescription(const CToolEntry& tool);
