// talmira-cli serve: the directory as `listen` runs it (settings, cache,
// scopes, own sessions, one instance per install directory), served over
// HTTP: the live page, the API, the event stream, the playlist and metrics.
#include "app/CommandLine.h"
#include "app/ConsolePrompter.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "base/ViewFanOut.h"
#include "cli/CliCommon.h"
#include "directory/SessionStore.h"
#include "web/WebService.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>

static int RunServe(const QStringList& argv)
{
    CCliArgs args(argv, {"--http", "--allow-origin", "--seconds"}, {});
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

    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    runtime.StartWalk();
    QCoreApplication::exec();
    web.Stop();
    return runtime.Close() ? 0 : 1;
}

static CCliRegistration registerServe(
    "serve", {"serve [--http ADDR:PORT] [--allow-origin ORIGIN] [--seconds N] [-f FILE.sdp]", RunServe});
