// talmira-cli watch SESSION-ID|FILE.sdp... : watches sessions continuously
// and prints their alarm events, one line each (JSON with --json), keeping
// the history and telling the webhooks.
#include "app/ConsolePrompter.h"
#include "app/Settings.h"
#include "app/TalmiraRuntime.h"
#include "base/Clock.h"
#include "base/Random.h"
#include "base/Text.h"
#include "cli/CliCommon.h"
#include "cli/SessionLookup.h"
#include "reception/ReceptionPlan.h"
#include "sap/qt/SAPSocket.h"
#include "sdp/SDPObject.h"
#include "watch/WatchList.h"
#include "watch/WatchRunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

constexpr const char* kWatchUsage = "watch SESSION-ID|FILE.sdp... [--webhook URL]... [--secret-file FILE] [--json] "
                               "[--db FILE] [--seconds N] [--iface ADDRESS] [--max-groups N] [--install-dir DIR]";
constexpr const char* kDatabaseName = "watch-history.db";

std::string EventText(const CAlarmEvent& e, const std::string& name)
{
    std::string line = IsoTimeMs(e.timeMs) + ' ' + AlarmEventName(e.kind) + ' ' + AlarmName(e.alarm) + " \""
        + text::AsUtf8(name) + '"';
    if (e.media >= 0)
        line += " media " + std::to_string(e.media);
    if (e.flaps)
        line += " (flapped " + std::to_string(e.flaps) + " times)";
    if (!e.figures.detail.empty())
        line += ": " + text::AsUtf8(e.figures.detail);
    return line;
}

int RunWatch(const QStringList& argv)
{
    CCliArgs args(argv,
                  {"--webhook", "--webhook-pause", "--secret-file", "--db", "--seconds", "--iface", "--max-groups",
                   "--install-dir"},
                  {"--json"});
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    const auto maxGroups = args.Number("--max-groups", 512, 1, 4096);
    const auto longestPause = args.Number("--webhook-pause", 30, 1, 3600);
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().isEmpty())
        return CliFail(QString("usage: talmira-cli ") + kWatchUsage);
    CWatchRunnerOptions options;
    options.webhookPauses.longestPauseMs = *longestPause * 1000;
    options.receiver.maxGroups = size_t(*maxGroups);
    if (args.Has("--iface")) {
        options.receiver.interfaceAddress = text::ParseDottedQuad(args.Value("--iface").toStdString());
        if (options.receiver.interfaceAddress == 0xFFFFFFFF)
            return CliFail("--iface needs an IPv4 address");
    }
    options.receiver.interfaceIndex6 = unsigned(CSAPSocket::Ipv6Interface(args.Value("--iface")).index());
    for (const QString& url : args.Values("--webhook")) {
        const std::string problem = WebhookUrlProblem(url.toStdString());
        if (!problem.empty())
            return CliFail(QString("--webhook %1: %2").arg(url, QString::fromStdString(problem)));
        options.webhooks.push_back(url.toStdString());
    }
    if (args.Has("--secret-file")) {
        QString error;
        const auto secret = ReadSecretFile(args.Value("--secret-file"), &error);
        if (!secret)
            return CliFail(error);
        options.secret = *secret;
    }

    CStderrPrompter prompter;
    CSystemClock clock;
    CSystemRandom random;
    std::string installDir = args.Value("--install-dir").toStdString();
    std::optional<CAppSettings> settings;
    bool needCache = false;
    for (const QString& input : args.Positionals())
        needCache = needCache || !(QFileInfo(input).isFile() || input == "-");
    if (installDir.empty() && (needCache || !args.Has("--db"))) {
        settings = LoadAppSettings(prompter);
        if (settings)
            installDir = settings->InstallDirectory();
        else if (needCache)
            return CliFail("no settings: run talmira-cli setup first, or give --install-dir");
    }
    options.database = args.Has("--db") ? args.Value("--db").toStdString()
        : installDir.empty()             ? std::string()
                                         : installDir + "/" + kDatabaseName;

    struct CTarget {
        std::string key, name;
        CReceptionPlan plan;
    };
    std::vector<CTarget> targets;
    for (const QString& input : args.Positionals()) {
        QString error;
        std::shared_ptr<CSDPObject> session = LoadSession(input, installDir, prompter, clock, random, &error);
        if (!session)
            return CliFail(error);
        CTarget t{WatchKey(*session), std::string(session->name.View()), PlanReception(*session)};
        if (t.plan.media.empty())
            return CliFail(QString("\"%1\" has no media to watch").arg(QString::fromStdString(t.name)));
        targets.push_back(std::move(t));
    }

    const bool json = args.Has("--json");
    CWatchRunner runner(
        options,
        [json](const CAlarmEvent& e, const std::string& name) {
            const std::string line = json ? AlarmEventJson(e, name) : EventText(e, name);
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        },
        [](const std::string& message) { std::fprintf(stderr, "talmira-cli: %s\n", message.c_str()); });
    runner.Start();
    for (const CTarget& t : targets)
        runner.Watch(t.key, t.name, t.plan);
    std::fprintf(stderr, "talmira-cli: watching %zu sessions%s%s\n", targets.size(),
                 options.database.empty() ? "" : ", history in ", options.database.c_str());

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { runner.Tick(CWatchRunner::NowMs()); });
    tick.start(1000);
    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return 0;
}

} // namespace

static CCliRegistration registerWatch(
    "watch",
    {kWatchUsage, RunWatch,
     "Watches the media of each session (an SDP file, or a session id of the cache) all the time and prints an\n"
     "event line when an alarm is raised, cleared or held for flapping (JSON lines with --json):\n"
     "\"stream silent\" (no packet for 3 s), \"loss\" (above 0.1 % over 10 s), \"redundancy lost\" (one leg of a\n"
     "2022-7 pair silent while the other plays), \"payload changed\".\n\n"
     "  --webhook URL       POST each raise and clear as JSON to URL (repeatable; http or https); retried with\n"
     "                      a growing pause while the receiver is down, kept in the history until taken\n"
     "  --webhook-pause N   the longest pause between tries, in seconds (default 30)\n"
     "  --secret-file FILE  sign each POST: X-Talmira-Signature: sha256=HMAC-SHA256(body) under the file's text\n"
     "  --db FILE           the history (SQLite); default watch-history.db in the install directory\n"
     "  --seconds N         stop after N seconds\n"
     "  --max-groups N      groups joined at once (default 512)\n"});
