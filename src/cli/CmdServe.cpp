// talmira-cli serve: the directory as `listen` runs it (settings, cache,
// scopes, own sessions, one instance per install directory), served over
// HTTP: the live page, the API, the event stream, the playlist and metrics.
#include "app/CommandLine.h"
#include "app/ConsolePrompter.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "base/ViewFanOut.h"
#include "cli/CliCommon.h"
#include "watch/StoreWatch.h"
#include "directory/SessionStore.h"
#include "web/WebService.h"
#include "web/WebWatch.h"
#include "preview/PreviewPool.h"
#include "base/Text.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

static int RunServe(const QStringList& argv)
{
    CCliArgs args(argv, {"--http", "--allow-origin", "--seconds", "--host-name", "--webhook", "--secret-file"}, {"--no-token", "--watch"});
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    if (!args.ok())
        return CliFail(args.error());
    const std::string address = args.Value("--http", CWebService::kDefaultAddress).toStdString();
    std::string host;
    int port = 0;
    if (!CWebService::SplitAddress(address, host, port))
        return CliFail(QString("--http takes ADDR:PORT, not '%1'").arg(args.Value("--http")));
    const CCommandLine commandLine = ProgramCommandLine(args.Positionals());

    CStderrPrompter prompter;
    CProcessExit exit;
    CViewFanOut views;
    CTalmiraRuntime runtime({prompter, exit, &views});
    if (!runtime.Start(commandLine)) {
        if (const std::string why = runtime.Guard().Explanation(); !why.empty())
            std::fprintf(stderr, "talmira-cli: %s\n", why.c_str());
        return 1;
    }
    CWebService web(runtime.Doc(), runtime.TheClock(), views, &runtime.Counters());
    std::vector<std::string> hostNames;
    for (const QString& name : args.Values("--host-name"))
        hostNames.push_back(name.toStdString());
    web.SetAccess(std::move(hostNames), args.Has("--no-token"));
    if (args.Has("--allow-origin"))
        web.SetAllowOrigin(args.Value("--allow-origin").toStdString());
    std::string error;
    if (!web.Start(address, &error)) {
        runtime.Close();
        return CliFail(QString::fromStdString(error));
    }
    for (const QString& line : QString::fromStdString(web.Announcement()).split('\n'))
        std::fprintf(stderr, "talmira-cli: %s\n", line.toLocal8Bit().constData());
    std::fprintf(stderr, "talmira-cli: install directory %s\n", runtime.Doc().installDirectory.c_str());

    // Pictures and sound of what the page looks at, within the decoders'
    // bound of the settings (Talmira/Preview, Decoders: 1..32).
    int decoders = preview::kDefaultDecoders;
    if (auto store = OpenSettingsStore(); store && store->OpenKey("Talmira/Preview"))
        if (auto n = store->ReadNumber("Talmira/Preview", "Decoders"))
            decoders = static_cast<int>(std::clamp<uint32_t>(*n, 1, preview::kMaxDecoders));
    const std::string& iface = runtime.Settings().interfaceAddress;
    web.DecodeWhatIsLookedAt(decoders, text::ParseDottedQuad(iface) != 0xFFFFFFFF ? iface : std::string());

    // The watch list of the settings, watched all the time.
    std::unique_ptr<CStoreWatch> watch;
    std::unique_ptr<CWebWatch> webWatch;
    QTimer watchTick;
    if (args.Has("--watch")) {
        CWatchList list;
        CWatchRunnerOptions options;
        if (auto store = OpenSettingsStore()) {
            list.Load(*store);
            options.thresholds = LoadThresholds(*store);
            // The addresses and secret of the settings' Monitoring page; the
            // command line's add to them and its secret file wins.
            const CWebhookSettings hooks = LoadWebhooks(*store);
            options.webhooks = hooks.urls;
            options.secret = hooks.secret;
        }
        for (const QString& url : args.Values("--webhook")) {
            if (const std::string problem = WebhookUrlProblem(url.toStdString()); !problem.empty()) {
                web.Stop();
                runtime.Close();
                return CliFail(QString("--webhook %1: %2").arg(url, QString::fromStdString(problem)));
            }
            if (std::find(options.webhooks.begin(), options.webhooks.end(), url.toStdString()) == options.webhooks.end())
                options.webhooks.push_back(url.toStdString());
        }
        if (args.Has("--secret-file")) {
            QString error;
            const auto secret = ReadSecretFile(args.Value("--secret-file"), &error);
            if (!secret) {
                web.Stop();
                runtime.Close();
                return CliFail(error);
            }
            options.secret = *secret;
        }
        options.receiver.maxGroups = 512;
        // The watched streams are joined where the directory listens, as the window's are.
        if (const uint32_t address = text::ParseDottedQuad(iface); address != 0xFFFFFFFF)
            options.receiver.interfaceAddress = address;
        options.database = runtime.Doc().installDirectory + "/watch-history.db";
        std::fprintf(stderr, "talmira-cli: watching %zu sessions and %zu directories, history in %s\n",
                     list.Sessions().size(), list.Directories().size(), options.database.c_str());
        watch = std::make_unique<CStoreWatch>(
            runtime.Doc(), std::move(list), std::move(options),
            [](const CAlarmEvent& e, const std::string&) {
                std::fprintf(stderr, "talmira-cli: %s\n", AlarmEventJson(e).c_str());
            },
            [](const std::string& message) { std::fprintf(stderr, "talmira-cli: %s\n", message.c_str()); });
        // The page's Watch / Stop Watching is kept in the settings, as the window's is.
        webWatch = std::make_unique<CWebWatch>(web, *watch, [&] {
            if (auto store = OpenSettingsStore(); !store || !watch->List().Save(*store))
                std::fprintf(stderr, "talmira-cli: the watch list could not be written to the settings\n");
        });
        const auto tick = [&] {
            const int64_t now = CWatchRunner::NowMs();
            watch->Tick(now);
            webWatch->Publish(now);
        };
        QObject::connect(&watchTick, &QTimer::timeout, tick);
        tick();
        watchTick.start(1000);
    }

    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    runtime.StartWalk();
    QCoreApplication::exec();
    watchTick.stop();
    webWatch.reset();
    watch.reset();
    web.Stop();
    return runtime.Close() ? 0 : 1;
}

static CCliRegistration registerServe(
    "serve",
    {"serve [--http ADDR:PORT] [--host-name NAME]... [--no-token] [--allow-origin ORIGIN] [--watch [--webhook URL]... [--secret-file FILE]] "
     "[--seconds N] [-f FILE.sdp]",
     RunServe,
     "Runs the directory as `listen` does and serves it over HTTP: the live page, the API under /api/v1, the\n"
     "event stream, the playlist and /metrics. The page shows the pictures and sound levels of the sessions it\n"
     "looks at (decoded only while it looks, at most Decoders of Talmira/Preview at once, default 4). With --watch\n"
     "it shows the alarms and takes two orders (POSTs of JSON from its own page): acknowledge alarms, and Watch /\n"
     "Stop Watching a session. Nothing else changes through it.\n\n"
     "  --http ADDR:PORT      where to serve (default 127.0.0.1:8086; [V6]:PORT for IPv6)\n"
     "  --host-name NAME      a host name to answer besides the address served on (repeatable); requests\n"
     "                        naming any other host get 421, so no other web site can read the server\n"
     "  --no-token            serve beyond loopback without the access token (everyone who reaches it reads it)\n"
     "  --allow-origin ORIGIN let pages of ORIGIN read the answers (CORS)\n"
     "  --watch               watch the sessions of the settings' watch list (Talmira/Watch) all the time;\n"
     "                        /metrics gains talmira_watch_up and talmira_alarm_active, alarm events go to\n"
     "                        stderr and to each --webhook URL (signed under --secret-file's text), the\n"
     "                        history to watch-history.db\n"
     "  --seconds N           stop after N seconds\n\n"
     "On loopback no token is asked for. On any other address the server asks for an access token: it is made\n"
     "once (128 random bits) and kept in the file web-token of the install directory, readable by you alone.\n"
     "At start the address is printed with it (serving http://ADDR:PORT/?token=...): opening it in a browser\n"
     "keeps the token in a cookie and drops it from the address bar. Scripts send\n"
     "\"Authorization: Bearer TOKEN\". Anything else is answered 401.\n"});
