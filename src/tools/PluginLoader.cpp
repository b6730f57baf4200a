// Loading the plug-in files of the install directory into the plug-in table.
#include "base/FileIO.h"
#include "base/Prompter.h"
#include "base/Text.h"
#include "tools/Plugin.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

void SetPluginFileKeys(CPlugin& plugin, std::string_view fileName)
{
    auto parts = text::Tokens(fileName, '.');
    plugin.fileKey = parts.size() > 2 ? std::string(parts[2]) : std::string();
    plugin.fileSubkey = parts.size() > 5 ? std::string(parts[5]) : std::string();
}

void ClearPlugins(CPluginTable& table) { table.Clear(); }

EPluginLoad LoadPlugins(const std::string& installDir, CPluginTable& table, Prompter& prompter)
{
    const fs::path folder = fs::path(installDir) / "plugins";
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        prompter.Show("Failed to load Plugins");
        return EPluginLoad::Ok;
    }
    // Name order, so that the first start orders the tools the same way on
    // every machine whatever order the file system lists them in.
    std::vector<std::string> names;
    bool listingFailed = false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            listingFailed = true;
            break;
        }
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        std::string name = it->path().filename().string();
        if (name.rfind(kPluginPrefix, 0) == 0)
            names.push_back(std::move(name));
    }
    if (ec)
        listingFailed = true;
    std::sort(names.begin(), names.end());

    CPluginParser parser(prompter);
    for (const std::string& name : names) {
        // Listed but unreadable, replaced by a folder or device since, or
        // far larger than any rule file: no record.
        const fileio::CReadResult file = fileio::ReadRegularFile((folder / name).string(), kMaxPluginFileSize);
        if (!file.Ok())
            continue;
        auto plugin = std::make_shared<CPlugin>();
        SetPluginFileKeys(*plugin, name);
        parser.BeginFile(*plugin);
        if (!parser.ParseText(file.bytes))
            return EPluginLoad::Fatal;
        if (table.Count() >= kMaxPluginFiles) {
            prompter.Show("To Many Plugins!");
            return EPluginLoad::Fatal;
        }
        if (plugin->toolName.empty())
            plugin->toolName = plugin->tool;
        table.Append(std::move(plugin));
    }
    if (listingFailed)
        prompter.Show("Couldn't find next file.");
    return EPluginLoad::Ok;
}
