// talmira-cli tools [--json] [--start] [--install-dir DIR] FILE.sdp|SESSION-ID:
// the tools the plug-ins offer for each media entry of a session, with the
// exact argv each would receive; --start starts them as the program does.
#include "app/Settings.h"
#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/Prompter.h"
#include "base/Random.h"
#include "base/SapNetwork.h"
#include "cli/CliCommon.h"
#include "directory/qt/RecordJson.h"
#include "cli/SessionLookup.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"
#include "tools/ToolLauncher.h"
#include "tools/qt/QtProcessStarter.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

std::string ReadAnswerLine()
{
    std::string line;
    if (!std::getline(std::cin, line))
        return {};
    return line;
}

// Messages on stderr; questions read a line from stdin (end of input = No).
class CConsolePrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string& text, EPromptButtons buttons, EPromptIcon, const std::string&) override
    {
        std::cerr << text << '\n';
        if (buttons == EPromptButtons::Ok)
            return EPromptAnswer::Ok;
        if (buttons == EPromptButtons::OkCancel)
            return EPromptAnswer::Ok;
        std::cerr << "[y/N] " << std::flush;
        const std::string a = ReadAnswerLine();
        return (a == "y" || a == "Y" || a == "yes") ? EPromptAnswer::Yes : EPromptAnswer::No;
    }
};

// The start dialogs on the console. Empty input takes the preselected choice.
class CConsoleToolDialogs final : public ToolDialogs {
public:
    EAutoStartChoice AskAutoStart(const std::string& text) override
    {
        std::cerr << text << "How do you want to start? [S]tart Now, [a]uto Start, [c]ancel: " << std::flush;
        const std::string a = ReadAnswerLine();
        if (a == "a" || a == "A")
            return EAutoStartChoice::AutoStart;
        if (a == "c" || a == "C")
            return EAutoStartChoice::Cancel;
        return EAutoStartChoice::StartNow;
    }
    ESearchWhere AskWhereToSearch() override
    {
        std::cerr << "Where do I search? [F]ile system, [o]nline, [c]ancel: " << std::flush;
        const std::string a = ReadAnswerLine();
        if (a == "o" || a == "O")
            return ESearchWhere::Online;
        if (a == "c" || a == "C")
            return ESearchWhere::Cancel;
        return ESearchWhere::FileSystem;
    }
    std::optional<std::string> FindToolOnDisk(const std::string& toolFile) override
    {
        std::cerr << "Path of " << toolFile << " (empty to cancel): " << std::flush;
        std::string path = ReadAnswerLine();
        if (path.empty())
            return std::nullopt;
        return path;
    }
    // The online database is not reachable from here: cancelled.
    bool SearchOnlinePlugin(const std::string&, const std::string&, const std::string&) override { return false; }
    bool SearchOnlineTool(const std::string&) override { return false; }
};

// Tells what was started.
class CReportingStarter final : public ProcessStarter {
public:
    bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workingDirectory) override
    {
        const bool ok = m_starter.StartDetached(program, args, workingDirectory);
        std::cerr << (ok ? "started " : "failed to start ") << program;
        if (ok)
            std::cerr << " (pid " << m_starter.LastProcessId() << ")";
        std::cerr << '\n';
        return ok;
    }

private:
    CQtProcessStarter m_starter;
};

QJsonArray Strings(const std::vector<std::string>& list)
{
    QJsonArray out;
    for (const std::string& s : list)
        out.append(TextToJson(s));
    return out;
}

void PrintLaunches(const CSDPObject& session, const CToolData& data, bool json)
{
    const std::string sdpFile = SdpFilePath(data.installDir, session.name);
    for (size_t i = 0; i < session.media.size(); ++i) {
        const CSDPMedia& m = session.media[i];
        std::vector<CToolLaunch> launches;
        FindTools(session, m, data.registry, SearchExecutable, launches);
        QJsonArray list;
        if (!json)
            std::printf("media %zu: %s %s %s %s\n", i, m.media.c_str(), m.port.c_str(), m.protocol.c_str(),
                        m.formatList.c_str());
        for (const CToolLaunch& l : launches) {
            const std::vector<std::string> argv = CommandArguments(l, sdpFile, nullptr);
            if (json) {
                list.append(QJsonObject{{"plugin", TextToJson(l.plugin->fileKey)},
                                        {"tool_name", TextToJson(l.plugin->toolName)},
                                        {"format_name", TextToJson(l.formatName)},
                                        {"path", l.path.empty() ? QJsonValue() : QJsonValue(TextToJson(l.path))},
                                        {"argv", Strings(argv)}});
                continue;
            }
            std::printf("  %s [%s] %s: %s\n", l.plugin->toolName.c_str(), l.plugin->fileKey.c_str(),
                        l.formatName.c_str(), l.path.empty() ? "not found" : l.path.c_str());
            std::string line = "   ";
            for (const std::string& a : argv)
                line += " '" + a + "'";
            std::printf("%s\n", line.c_str());
        }
        if (json)
            PrintJsonLine(QJsonObject{{"media_index", static_cast<int>(i)}, {"media", TextToJson(m.media)},
                                      {"launches", list}});
        else if (launches.empty())
            std::printf("  no tool\n");
    }
    std::fflush(stdout);
}

int RunTools(const QStringList& argv)
{
    CCliArgs args(argv, {"--install-dir"}, {"--json", "--start"});
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail("usage: talmira-cli tools [--json] [--start] [--install-dir DIR] FILE.sdp|SESSION-ID");
    CConsolePrompter prompter;
    std::string installDir = args.Value("--install-dir").toStdString();
    if (installDir.empty()) {
        auto settings = LoadAppSettings(prompter);
        if (!settings)
            return CliFail("no settings: run talmira-cli setup first, or give --install-dir");
        installDir = settings->InstallDirectory();
    }

    CSystemClock clock;
    CSystemRandom random;
    QString error;
    std::shared_ptr<CSDPObject> session =
        LoadSession(args.Positionals()[0], installDir, prompter, clock, random, &error);
    if (!session)
        return CliFail(error);

    CToolData data;
    data.installDir = installDir;
    if (data.Load(prompter) == EPluginLoad::Fatal)
        return -1;
    PrintLaunches(*session, data, args.Has("--json"));
    if (!args.Has("--start"))
        return 0;

    CConsoleToolDialogs dialogs;
    CReportingStarter starter;
    CToolLauncher launcher(data, prompter, dialogs, starter, clock);
    launcher.StartTools(session, -1, 0);
    return 0;
}

} // namespace

static CCliRegistration registerTools(
    "tools", {"tools [--json] [--start] [--install-dir DIR] FILE.sdp|SESSION-ID", RunTools});
