// talmira-cli probe FILE.sdp|SESSION-ID [--seconds N] [--json]: watches the
// media of one session and prints their reception figures once a second,
// one line per media entry.
#include "app/ConsolePrompter.h"
#include "app/Settings.h"
#include "app/TalmiraRuntime.h"
#include "base/Clock.h"
#include "base/Random.h"
#include "base/Text.h"
#include "cli/CliCommon.h"
#include "cli/ReceptionJson.h"
#include "cli/SessionLookup.h"
#include "reception/Receiver.h"
#include "reception/ReceptionPlan.h"
#include "sap/qt/SAPSocket.h"
#include "sdp/SDPObject.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

#include <cstdio>

namespace {

constexpr const char* kUsage =
    "probe FILE.sdp|SESSION-ID [--seconds N] [--json] [--iface ADDRESS] [--max-groups N] [--install-dir DIR]";

int RunProbe(const QStringList& argv)
{
    CCliArgs args(argv, {"--seconds", "--iface", "--max-groups", "--install-dir"}, {"--json"});
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    const auto maxGroups = args.Number("--max-groups", 8, 1, 1000);
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail(QString("usage: talmira-cli ") + kUsage);
    CReceiverOptions options;
    options.maxGroups = size_t(*maxGroups);
    if (args.Has("--iface")) {
        options.interfaceAddress = text::ParseDottedQuad(args.Value("--iface").toStdString());
        if (options.interfaceAddress == 0xFFFFFFFF)
            return CliFail("--iface needs an IPv4 address");
    }
    // IPv6 media are joined on the interface holding --iface, else on the
    // first one with IPv6, as IPv6 SAP is.
    options.interfaceIndex6 = unsigned(CSAPSocket::Ipv6Interface(args.Value("--iface")).index());

    CStderrPrompter prompter;
    CSystemClock clock;
    CSystemRandom random;
    const QString input = args.Positionals()[0];
    std::string installDir = args.Value("--install-dir").toStdString();
    if (installDir.empty() && !(QFileInfo(input).isFile() || input == "-")) {
        auto settings = LoadAppSettings(prompter);
        if (!settings)
            return CliFail("no settings: run talmira-cli setup first, or give --install-dir");
        installDir = settings->InstallDirectory();
    }
    QString error;
    std::shared_ptr<CSDPObject> session = LoadSession(input, installDir, prompter, clock, random, &error);
    if (!session)
        return CliFail(error);
    const CReceptionPlan plan = PlanReception(*session);
    if (plan.media.empty())
        return CliFail("the session has no media to watch");

    const bool json = args.Has("--json");
    long long reports = 0;
    // The figures come from the receiver's thread; printing happens here.
    QPointer<QCoreApplication> app(QCoreApplication::instance());
    auto print = [&](const CSessionFigures& figures) {
        for (const CMediaFigures& m : figures.media) {
            if (json)
                PrintJsonLine(MediaFiguresToJson(figures, m));
            else
                std::printf("%s\n", MediaFiguresToText(figures, m).toLocal8Bit().constData());
        }
        std::fflush(stdout);
        if (*seconds > 0 && ++reports >= *seconds)
            QCoreApplication::quit();
    };
    CReceiver receiver(options, [&](const CSessionFigures& figures) {
        QMetaObject::invokeMethod(app, [&print, figures] { print(figures); }, Qt::QueuedConnection);
    });
    const int id = receiver.Watch(plan);
    std::fprintf(stderr, "watching %zu media entries of \"%s\"\n", plan.media.size(), session->name.c_str());
    QuitEventLoopOnSignals();
    QCoreApplication::exec();
    receiver.Unwatch(id);
    return 0;
}

} // namespace

static CCliRegistration registerProbe("probe", {kUsage, RunProbe});
