// talmira-cli listen --raw: joins a SAP group and prints every datagram it hears.
#include "base/Clock.h"
#include "base/Random.h"
#include "cli/CliCommon.h"
#include "cli/SapJson.h"
#include "sap/EncryptionGroups.h"
#include "sap/qt/SAPSocket.h"
#include "sdp/UsedAddresses.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the event loop cleanly.
void QuitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}
} // namespace

static int RunRawListen(CCliArgs& args)
{
    const QHostAddress group(args.Value("--group", "224.2.127.254"));
    if (group.isNull() || !group.isMulticast() || group.protocol() != QAbstractSocket::IPv4Protocol)
        return CliFail(QString("--group must be an IPv4 multicast address, not '%1'").arg(args.Value("--group")));
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
    CSystemClock clock;
    CSystemRandom random;
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};

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
    if (!socket.OpenSAPSocket(config, {}))
        return CliFail(QString("cannot bind port %1: %2").arg(*port).arg(socket.LastError()));
    if (!socket.LastError().isEmpty())
        return CliFail(QString("cannot join %1: %2").arg(group.toString(), socket.LastError()));
    std::fprintf(stderr, "talmira-cli: listening on %s port %d\n", group.toString().toLocal8Bit().constData(), int(*port));

    QuitOnSignals();
    if (*seconds > 0)
        QTimer::singleShot(std::chrono::seconds(*seconds), qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    socket.Close();
    return 0;
}

static int RunListen(const QStringList& argv)
{
    CCliArgs args(argv, {"--group", "--port", "--iface", "--seconds", "--keys"}, {"--raw"});
    if (!args.ok())
        return CliFail(args.error());
    if (!args.Positionals().isEmpty())
        return CliFail(QString("unexpected argument '%1'").arg(args.Positionals()[0]));
    if (!args.Has("--raw"))
        return CliFail("the session directory listener is not built yet; use listen --raw");
    return RunRawListen(args);
}

static CCliRegistration registerListen(
    "listen", {"listen --raw [--group A] [--port P] [--iface ADDR] [--seconds N] [--keys FILE]", RunListen});
