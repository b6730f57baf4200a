#pragma once
#include "tools/Plugin.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Prompter;

// One tool in one group of the registry.
struct CToolEntry {
    std::string name;                // the plug-in's tool name
    std::shared_ptr<CPlugin> plugin; // attached by SyncToolRegistry, not stored
    int32_t selected = 0;            // 1: may be started
    int32_t executableFound = 0;     // refreshed by the picker, not stored
    int32_t order = -1;              // 0..n-1 among the selected tools; -1 when unselected
    std::string path;                // stored executable path
};

// The tools serving one media, protocol and format.
struct CMediaListEntry {
    std::string media;
    std::string protocol;
    std::string protocolName;
    std::string format;
    std::string formatName;
    std::vector<CToolEntry> tools;
};

struct CToolRegistry {
    std::vector<CMediaListEntry> groups;
};

inline constexpr const char* kToolOrderFileName = "tools.sort";
// Far above any real registry; neither read nor written beyond this.
inline constexpr size_t kMaxToolOrderFile = size_t{16} << 20;
inline constexpr const char* kCorruptToolFile =
    "WARNING: Corrupt Tool definition file\nPlease use the Tool Picker to rebuild";

void ClearToolRegistry(CToolRegistry& registry);

// Brings the registry in line with the plug-in table: attaches plug-ins,
// restores found paths, appends new tools last, drops tools whose plug-in is gone.
void SyncToolRegistry(CToolRegistry& registry, const CPluginTable& plugins);

// Makes the orders of every group's selected tools 0..n-1 (keeping their
// relative order) and gives unselected tools -1.
void NormaliseToolOrder(CMediaListEntry& group);

// The "tools.sort" archive. Encode fails only for a registry the tag
// layout cannot number; decode fails for anything that is not a valid archive.
std::optional<std::string> EncodeToolOrder(const CToolRegistry& registry);
bool DecodeToolOrder(std::string_view bytes, CToolRegistry& registry);

// "tools.sort" in the install directory. Reading empties the registry first;
// a missing file (or a folder, device or unreadable file in its place)
// leaves it empty silently, a corrupt one shows the warning.
void ReadToolOrder(const std::string& installDir, CToolRegistry& registry, Prompter& prompter);
// Written to a temporary file and renamed over the old one. Returns success.
bool SaveToolOrder(const std::string& installDir, CToolRegistry& registry, Prompter& prompter);
std::string ToolOrderPath(const std::string& installDir);
