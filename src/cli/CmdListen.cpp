// talmira-cli listen: the session directory without windows (settings,
// cache, directories, the once-a-second walk), printing every change.
// listen --raw: joins a SAP group and prints every datagram it hears.
#include "app/CommandLine.h"
#include "app/ConsolePrompter.h"
#include "app/TalmiraRuntime.h"
#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/Random.h"
#include "base/ViewNotifier.h"
#include "cli/CliCommon.h"
#include "directory/qt/RecordJson.h"
#include "cli/SapJson.h"
#include "directory/SessionStore.h"
#include "sap/EncryptionGroups.h"
#include "sap/qt/SAPSocket.h"
#include "sdp/UsedAddresses.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

static int RunRawListen(CCliArgs& args)
{
    const QHostAddress group(args.Value("--group", "224.2.127.254"));
    if (group.isNull() || !group.isMulticast())
        return CliFail(QString("--group must be a multicast address, not '%1'").arg(args.Value("--group")));
    const auto port = args.Number("--port", 9875, 1, 65535);
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    if (!args.ok())
        return CliFail(args.error());
    const QString iface = args.Value("--iface");
    if (!iface.isEmpty() && QHostAddress(iface).isNull())
        return CliFail(QString("--iface must be an IPv4 address, not '%1'").arg(iface));

    CEncryptionGroups groups;
    QString error;
    if (args.Has("--keys") && !LoadKeyFile(args.Value("--keys"), groups, &error))
        return CliFail(error);
    CCliEnvironment cli;
    const CSdpEnvironment& env = cli.env;

    CSAPSocket socket(groups, env);
    socket.SetHandler([](const CSapMessage& message, const QByteArray& datagram) {
        QJsonObject line = SapMessageToJson(message);
        line.insert("size", datagram.size());
        PrintJsonLine(line);
    });
    CSAPSocket::CConfig config;
    config.group = group;
    config.port = static_cast<quint16>(*port);
    config.ttl = 127;
    config.interfaceAddress = iface;
    // An IPv6 group is joined on the interface that holds --iface (else
    // the first one with IPv6).
    if (group.protocol() == QAbstractSocket::IPv6Protocol) {
        config.interfaceName = CSAPSocket::Ipv6Interface(iface).name();
        if (config.interfaceName.isEmpty())
            return CliFail("no interface with an IPv6 address to join " + group.toString() + " on");
    }
    if (!socket.OpenSAPSocket(config, {}))
        return CliFail(QString("cannot bind port %1: %2").arg(*port).arg(socket.LastError()));
    if (!socket.LastError().isEmpty())
        return CliFail(QString("cannot join %1: %2").arg(group.toString(), socket.LastError()));
    std::fprintf(stderr, "talmira-cli: listening on %s port %d, receive buffer %d bytes\n",
                 group.toString().toLocal8Bit().constData(), int(*port), socket.ReceiveBufferSize());

    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    socket.Close();
    return 0;
}

namespace {
// One line per record that enters or leaves the store: JSON with --json,
// else a short text. Quiet while the store is being set up.
class CListenEvents final : public ViewNotifier {
public:
    explicit CListenEvents(bool json) : m_json(json) {}
    bool enabled = false;

    void UpdateAllViews(const CViewHint&) override {}
    bool IsListShowing(const CSDPObject&) const override { return false; }
    void RecordAdded(const Record&, size_t, const Record& r) override { Print("add", *r); }
    void RecordRemoved(const Record&, size_t, const Record& r) override { Print("remove", *r); }

    // Everything the store holds, as if it had just been added.
    void PrintTree(const CSessionList& list)
    {
        for (const auto& r : list) {
            Print("add", *r);
            if (r->links->children)
                PrintTree(*r->links->children);
        }
    }

private:
    void Print(const char* event, const CSDPObject& r)
    {
        if (!enabled)
            return;
        const auto dir = r.parentDirectory.lock();
        if (m_json) {
            QJsonObject line{{"event", event}, {"record", RecordToJson(r)}};
            line.insert("directory", dir ? QJsonValue(TextToJson(dir->name)) : QJsonValue(QJsonValue::Null));
            PrintJsonLine(line);
        } else {
            std::printf("%-6s %s / %s (%s)\n", event, dir ? dir->name.c_str() : "-", r.name.c_str(),
                        r.originSessionId.c_str());
            std::fflush(stdout);
        }
    }
    bool m_json;
};
} // namespace

static int RunDirectoryListen(CCliArgs& args)
{
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    if (!args.ok())
        return CliFail(args.error());
    for (const char* rawOnly : {"--group", "--port", "--iface", "--keys"})
        if (args.Has(rawOnly))
            return CliFail(QString("%1 goes with --raw").arg(rawOnly));
    // The program's own command line: -f FILE shows that one session.
    const CCommandLine commandLine = ProgramCommandLine(args.Positionals());

    CStderrPrompter prompter;
    CProcessExit exit;
    CListenEvents events(args.Has("--json"));
    CTalmiraRuntime runtime({prompter, exit, &events});
    if (!runtime.Start(commandLine)) {
        // Two directories on one install directory would overwrite each
        // other's cache: the second one does not start.
        if (const std::string why = runtime.Guard().Explanation(); !why.empty())
            std::fprintf(stderr, "talmira-cli: %s\n", why.c_str());
        return 1;
    }
    events.enabled = true;
    events.PrintTree(runtime.Doc().MainList());
    std::fprintf(stderr, "talmira-cli: listening; install directory %s\n", runtime.Doc().installDirectory.c_str());

    QuitEventLoopOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    runtime.StartWalk();
    QCoreApplication::exec();
    events.enabled = false;
    return runtime.Close() ? 0 : 1;
}

static int RunListen(const QStringList& argv)
{
    CCliArgs args(argv, {"--group", "--port", "--iface", "--seconds", "--keys"}, {"--raw", "--json"});
    if (!args.ok())
        return CliFail(args.error());
    if (!args.Has("--raw"))
        return RunDirectoryListen(args);
    if (!args.Positionals().isEmpty())
        return CliFail(QString("unexpected argument '%1'").arg(args.Positionals()[0]));
    return RunRawListen(args);
}

static CCliRegistration registerListen(
    "listen", {"listen [--seconds N] [--json] [-f FILE.sdp] | listen --raw [--group A] [--port P] [--iface ADDR] "
               "[--seconds N] [--keys FILE]",
               RunListen});
