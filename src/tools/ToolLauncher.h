#pragma once
#include "base/ToolStarter.h"
#include "tools/ToolLaunch.h"

#include <functional>
#include <optional>
#include <string>

class Clock;
class ProcessStarter;
class Prompter;

// The dialogs of a start that are more than a message box. The GUI shows
// them; the command line and tests answer them.
enum class EAutoStartChoice { Cancel, StartNow, AutoStart };
enum class ESearchWhere { Cancel, FileSystem, Online };

class ToolDialogs {
public:
    virtual ~ToolDialogs() = default;
    // "Auto Start?" with `text` in its field; "Start Now" is preselected.
    virtual EAutoStartChoice AskAutoStart(const std::string& text) = 0;
    // "Where do I search?"; "Search the File System" is preselected.
    virtual ESearchWhere AskWhereToSearch() = 0;
    // The Find Tool dialog for `toolFile`: the picked path, or none on Cancel.
    virtual std::optional<std::string> FindToolOnDisk(const std::string& toolFile) = 0;
    // The online database searches; true when the dialog ended with OK.
    virtual bool SearchOnlinePlugin(const std::string& media, const std::string& protocol,
                                    const std::string& formats) = 0;
    virtual bool SearchOnlineTool(const std::string& toolFile) = 0;
};

// The plug-in table and the tool registry of one install directory; they
// are rebuilt together.
struct CToolData {
    std::string installDir;
    CPluginTable plugins;
    CToolRegistry registry;

    // Start-up: load the plug-ins, read "tools.sort", synchronise (nothing saved).
    EPluginLoad Load(Prompter& prompter);
    // After plug-ins changed: clear, load, read, synchronise, save.
    EPluginLoad Rebuild(Prompter& prompter);
    // Gives every plug-in with the same tool text the found path.
    void SetFoundPath(const std::string& tool, const std::string& path);
};

class CToolLauncher final : public ToolStarter {
public:
    CToolLauncher(CToolData& data, Prompter& prompter, ToolDialogs& dialogs, ProcessStarter& starter,
                  const Clock& clock, ExecutableLocator locate = SearchExecutable);

    // Media index -1: every media entry; tool index among the launches FindTools returns.
    void StartTools(const std::shared_ptr<CSDPObject>& session, int mediaIndex, int toolIndex) override;

    // The session information page's start: no lock, the first launch of
    // every entry, no retries, every tool started. Returns true when the user
    // chose "Auto Start" (the page ticks its own check box).
    bool StartToolsFromInfoPage(CSDPObject& session);

    // Called when rebuilding the plug-ins ends the program; exits with -1 unless replaced.
    std::function<void()> onFatal;
    // Called when a session's Auto Start mark was set by the "Auto Start?"
    // answer or changed on its property sheet: its rows show it.
    std::function<void(const CSDPObject&)> onAutoStartChanged;

private:
    enum class EAfterPrompt { NextEntry, Retry };
    bool ConfirmStart(CSDPObject& session, bool* autoStartChosen);
    EAfterPrompt NoPluginPrompt(const CSDPMedia& media);
    EAfterPrompt ToolNotFoundPrompt(const CPlugin& plugin, bool retryAllowed);
    // Writes the SDP file when asked and starts the process. Returns whether
    // the tool received the SDP file; `skipIfSdp` holds back such a tool. A
    // file that cannot be written is reported and the tool is not started.
    bool Launch(CSDPObject& session, const CToolLaunch& launch, bool skipIfSdp);
    void Rebuild();

    CToolData& m_data;
    Prompter& m_prompter;
    ToolDialogs& m_dialogs;
    ProcessStarter& m_starter;
    const Clock& m_clock;
    ExecutableLocator m_locate;
};

// The text of the "Auto Start?" dialog's field.
std::string AutoStartText(const std::string& sessionName);
