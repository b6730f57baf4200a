#pragma once
#include "base/ProcessStarter.h"
#include "support/FakePrompter.h"
#include "support/TestEnv.h"
#include "tools/ToolLauncher.h"

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using Words = std::vector<std::string>;

// A fresh install directory with its plug-in folder, removed afterwards.
struct CTempInstallDir {
    QTemporaryDir temp;
    CTempInstallDir() { std::filesystem::create_directories(Plugins()); }
    std::string Path() const { return temp.path().toStdString(); }
    std::filesystem::path Plugins() const { return std::filesystem::path(Path()) / "plugins"; }
    void AddPlugin(const std::string& name, std::string_view content) const { Write(Plugins() / name, content); }
    static void Write(const std::filesystem::path& path, std::string_view content)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(content.data(), std::streamsize(content.size()));
    }
};

struct CStartedProcess { std::string program; Words args; std::string workingDirectory; };

class CRecordingStarter final : public ProcessStarter {
public:
    bool StartDetached(const std::string& program, const Words& args, const std::string& workingDirectory) override
    {
        started.push_back({program, args, workingDirectory});
        return true;
    }
    std::vector<CStartedProcess> started;
};

// Answers the start dialogs from a script and records what was asked.
class CScriptedToolDialogs final : public ToolDialogs {
public:
    EAutoStartChoice AskAutoStart(const std::string& text) override { return asked.push_back("auto:" + text), autoStart; }
    ESearchWhere AskWhereToSearch() override { return asked.push_back("where"), where; }
    std::optional<std::string> FindToolOnDisk(const std::string& toolFile) override
    {
        return asked.push_back("find:" + toolFile), foundOnDisk;
    }
    bool SearchOnlinePlugin(const std::string& media, const std::string& protocol, const std::string& formats) override
    {
        return asked.push_back("online-plugin:" + media + "/" + protocol + "/" + formats), false;
    }
    bool SearchOnlineTool(const std::string& toolFile) override { return asked.push_back("online-tool:" + toolFile), false; }
    EAutoStartChoice autoStart = EAutoStartChoice::StartNow;
    ESearchWhere where = ESearchWhere::Cancel;
    std::optional<std::string> foundOnDisk;
    Words asked;
};

// Executables that "exist": a name or path maps to a full path.
struct CFakeExecutables {
    std::map<std::string, std::string> known;
    ExecutableLocator Locator()
    {
        return [this](const std::string& name) {
            auto it = known.find(name);
            return it == known.end() ? std::string() : it->second;
        };
    }
};

// A plug-in record parsed from text, named after its tool when it has no name.
inline std::shared_ptr<CPlugin> PluginFrom(std::string_view text)
{
    CFakePrompter prompter;
    auto p = std::make_shared<CPlugin>();
    CPluginParser parser(prompter);
    parser.BeginFile(*p);
    parser.ParseText(text);
    if (p->toolName.empty())
        p->toolName = p->tool;
    return p;
}

// The tools of launches, each followed by a blank.
inline std::string ToolsOf(const std::vector<CToolLaunch>& launches)
{
    std::string names;
    for (const CToolLaunch& l : launches)
        names += l.plugin->tool + " ";
    return names;
}
