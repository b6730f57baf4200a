// talmira-cli serve: the directory as `listen` runs it (settings, cache,
// scopes, own sessions, one instance per install directory), served over
// HTTP: the live page, the API, the event stream, the playlist and metrics.
#include "app/CommandLineInfo.h"
#include "app/ConsolePrompter.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "base/ViewFanOut.h"
#include "cli/CliCommon.h"
#include "directory/Ostara32Doc.h"
#include "web/WebHandlers.h"
#include "web/WebPublisher.h"
#include "web/WebServer.h"
#include "web/WebState.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <random>

namespace {
// "ADDR:PORT", "[V6]:PORT" or a bare port.
bool SplitHostPort(const QString& text, std::string& host, int& port)
{
    QString h = "127.0.0.1", p = text;
    const qsizetype colon = text.lastIndexOf(':');
    if (colon >= 0) {
        h = text.left(colon);
        p = text.mid(colon + 1);
        if (h.startsWith('[') && h.endsWith(']'))
            h = h.mid(1, h.size() - 2);
    }
    bool ok = false;
    port = p.toInt(&ok);
    host = h.toStdString();
    return ok && port >= 0 && port <= 65535 && !host.empty();
}

std::string NewEpoch()
{
    std::random_device device;
    char text[20];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(device()));
    return text;
}
} // namespace

static int RunServe(const QStringList& argv)
{
    CCliArgs args(argv, {"--http", "--allow-origin", "--seconds"}, {});
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    if (!args.ok())
        return CliFail(args.error());
    std::string host;
    int port = 0;
    if (!SplitHostPort(args.Value("--http", "127.0.0.1:8086"), host, port))
        return CliFail(QString("--http takes ADDR:PORT, not '%1'").arg(args.Value("--http")));
    CMyCommandLineInfo commandLine;
    std::vector<std::string> plain;
    for (const QString& p : args.Positionals())
        plain.push_back(p.toStdString());
    commandLine.ParseCommandLine(plain);

    CStderrPrompter prompter;
    CProcessExit exit;
    CViewFanOut views;
    CTalmiraRuntime runtime({prompter, exit, &views});
    if (!runtime.Start(commandLine)) {
        if (const std::string why = runtime.Guard().Explanation(); !why.empty())
            std::fprintf(stderr, "talmira-cli: %s\n", why.c_str());
        return 1;
    }
    CWebState state(NewEpoch());
    state.wire = &runtime.Counters();
    CWebPublisher publisher(runtime.Doc(), runtime.TheClock(), state);
    views.Attach(publisher);
    publisher.Flush();

    CWebServer server(state, CWebAssets::Embedded());
    if (args.Has("--allow-origin"))
        server.SetAllowOrigin(args.Value("--allow-origin").toStdString());
    std::string error;
    if (!server.Start(host, port, &error)) {
        views.Detach(publisher);
        runtime.Close();
        return CliFail(QString::fromStdString(error));
    }
    if (!IsLoopbackHost(host))
        std::fprintf(stderr,
                     "talmira-cli: warning: serving beyond this host on %s port %d: anyone who reaches it sees every "
                     "session this directory hears or announces (names, descriptions, contacts, media addresses, "
                     "schedules, SDP texts) and its metrics\n",
                     host.c_str(), server.Port());
    std::fprintf(stderr, "talmira-cli: serving http://%s:%d/ ; install directory %s\n",
                 host.find(':') != std::string::npos ? ("[" + host + "]").c_str() : host.c_str(), server.Port(),
                 runtime.Doc().installDirectory.c_str());

    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    runtime.StartWalk();
    QCoreApplication::exec();
    server.Stop();
    views.Detach(publisher);
    return runtime.Close() ? 0 : 1;
}

static CCliRegistration registerServe(
    "serve", {"serve [--http ADDR:PORT] [--allow-origin ORIGIN] [--seconds N] [-f FILE.sdp]", RunServe});
