// talmira-cli online [--host HOST[:PORT]] [--install-dir DIR] [--timeout SECONDS]
//     version | tool NAME | plugin MEDIA PROTO FMT [--install NAME...]
// The plug-in and tool database for scripts: the answers as JSON on
// stdout; a failed request exits 1 with the program's message on stderr.
#include "app/ConsolePrompter.h"
#include "app/Settings.h"
#include "base/SilentPrompter.h"
#include "cli/CliCommon.h"
#include "directory/qt/RecordJson.h"
#include "tools/OnlineSearch.h"
#include "tools/qt/OnlineTransportQt.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <set>

namespace {

constexpr const char* kOnlineUsage = "online [--host HOST[:PORT]] [--install-dir DIR] [--timeout SECONDS] "
                               "version|tool NAME|plugin MEDIA PROTO FMT [--install NAME...]";

int RequestFailed(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

// Each "--install" takes every following word up to the next option; the
// option may be given again for more names.
QStringList TakeInstallNames(QStringList& args, bool* given)
{
    QStringList names;
    *given = false;
    for (int at; (at = static_cast<int>(args.indexOf("--install"))) >= 0;) {
        *given = true;
        args.removeAt(at);
        while (at < args.size() && !args[at].startsWith("--"))
            names << args.takeAt(at);
    }
    return names;
}

void ApplyTimeout(COnlineLimits& limits, int ms)
{
    limits.totalTimeoutMs = ms;
    limits.idleTimeoutMs = ms;
}

int RunOnline(const QStringList& argv)
{
    QStringList rest = argv;
    bool installGiven = false;
    const QStringList installNames = TakeInstallNames(rest, &installGiven);
    CCliArgs args(rest, {"--host", "--install-dir", "--timeout"}, {});
    if (!args.ok())
        return CliFail(args.error());
    const auto timeout = args.Number("--timeout", 0, 1, 3600);
    if (!timeout)
        return CliFail(args.error());
    const QStringList& words = args.Positionals();
    const QString what = words.value(0);
    const bool wellFormed = (what == "version" && words.size() == 1) || (what == "tool" && words.size() == 2) ||
                            (what == "plugin" && words.size() == 4);
    if (!wellFormed || (installGiven && (what != "plugin" || installNames.isEmpty())))
        return CliFail(QString("usage: talmira-cli ") + kOnlineUsage);

    COnlineSettings settings;
    settings.host = args.Value("--host").toStdString();
    settings.installDir = args.Value("--install-dir").toStdString();
    if (!args.Has("--host") || (installGiven && settings.installDir.empty())) {
        CStderrPrompter prompter;
        if (auto stored = LoadAppSettings(prompter)) {
            if (!args.Has("--host"))
                settings.host = stored->databaseHost;
            if (settings.installDir.empty())
                settings.installDir = stored->InstallDirectory();
        }
    }
    if (installGiven && settings.installDir.empty())
        return CliFail("no settings: run talmira-cli setup first, or give --install-dir");
    if (*timeout > 0) {
        const int ms = static_cast<int>(*timeout * 1000);
        for (COnlineLimits* l : {&settings.lookupLimits, &settings.versionLimits, &settings.pluginLimits,
                                 &settings.installerLimits})
            ApplyTimeout(*l, ms);
    }

    // Failures are reported below, once, as the exit status says.
    CSilentPrompter silent;
    CQtOnlineTransport transport;
    COnlineSearch search(transport, silent, settings);

    if (what == "version" || what == "tool") {
        std::string url;
        const EOnlineResult r = what == "version" ? search.CheckVersion(&url)
                                                  : search.LookupTool(ArgumentBytes(words[1]), &url, true);
        if (r != EOnlineResult::Ok)
            return RequestFailed(search.LastFailure());
        PrintJsonLine(QJsonObject{{"url", TextToJson(url)}});
        return 0;
    }

    std::vector<COnlinePlugin> offered;
    if (search.LookupPlugins(ArgumentBytes(words[1]), ArgumentBytes(words[2]), ArgumentBytes(words[3]), &offered,
                             true) != EOnlineResult::Ok)
        return RequestFailed(search.LastFailure());
    std::set<std::string> wanted;
    for (const QString& n : installNames)
        wanted.insert(n.toStdString());
    int status = 0;
    QJsonArray list;
    for (const COnlinePlugin& p : offered) {
        QJsonObject entry{{"name", TextToJson(p.name)},
                          {"url", TextToJson(p.url)},
                          {"description", TextToJson(p.description)},
                          {"date", TextToJson(p.date)}};
        if (wanted.erase(p.name)) {
            std::string path;
            const bool kept = search.DownloadPlugin(p.url, &path, true) == EOnlineResult::Ok;
            entry["kept"] = kept;
            if (kept) {
                entry["path"] = TextToJson(path);
            } else {
                RequestFailed(search.LastFailure());
                status = 1;
            }
        }
        list.append(entry);
    }
    for (const std::string& missing : wanted) {
        std::fprintf(stderr, "talmira-cli: the database offers no plug-in named %s\n", missing.c_str());
        status = 1;
    }
    PrintJsonLine(list);
    return status;
}

} // namespace

static CCliRegistration registerOnline("online", {kOnlineUsage, RunOnline});
