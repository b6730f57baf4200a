#pragma once
#include "base/Clock.h"
#include "base/ProcessStarter.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "tools/ToolLauncher.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct CStartedProcess {
    std::string program;
    std::vector<std::string> args;
    std::string workingDirectory;
};

class CRecordingStarter final : public ProcessStarter {
public:
    bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workingDirectory) override
    {
        started.push_back({program, args, workingDirectory});
        return true;
    }
    std::vector<CStartedProcess> started;
};

// Answers the start dialogs from a script and records what was asked.
class CScriptedToolDialogs final : public ToolDialogs {
public:
    EAutoStartChoice AskAutoStart(const std::string& text) override
    {
        asked.push_back("auto:" + text);
        return autoStart;
    }
    ESearchWhere AskWhereToSearch() override
    {
        asked.push_back("where");
        return where;
    }
    std::optional<std::string> FindToolOnDisk(const std::string& toolFile) override
    {
        asked.push_back("find:" + toolFile);
        return foundOnDisk;
    }
    bool SearchOnlinePlugin(const std::string& media, const std::string& protocol, const std::string& formats) override
    {
        asked.push_back("online-plugin:" + media + "/" + protocol + "/" + formats);
        return false;
    }
    bool SearchOnlineTool(const std::string& toolFile) override
    {
        asked.push_back("online-tool:" + toolFile);
        return false;
    }
    EAutoStartChoice autoStart = EAutoStartChoice::StartNow;
    ESearchWhere where = ESearchWhere::Cancel;
    std::optional<std::string> foundOnDisk;
    std::vector<std::string> asked;
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

inline std::shared_ptr<CSDPObject> ParseSession(const std::string& text, const Clock& clock)
{
    static CScriptedRandom random{4242};
    CSdpEnvironment env{clock, random, nullptr};
    return CSDPObject::FromText(text, env);
}
