// talmira-cli clocks [--seconds N] [--json] [--iface ADDRESS] [FILE.sdp...]:
// listens for PTP Announce messages for N seconds and prints the
// grandmasters heard per domain; given SDP files, tells for each media
// entry naming a PTP clock whether that clock is on the network.
#include "base/Clock.h"
#include "base/Text.h"
#include "cli/CliCommon.h"
#include "clocks/GrandmasterTable.h"
#include "clocks/PtpListener.h"
#include "sap/qt/SAPSocket.h"
#include "sdp/SDPObject.h"

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr const char* kClocksUsage = "clocks [--seconds N] [--json] [--iface ADDRESS] [FILE.sdp...]";
constexpr const char* kHelp =
    "Listens for PTP Announce messages (UDP port 320 on 224.0.1.129 and ff0e::181)\n"
    "for N seconds (default 5) and prints the grandmasters heard, per domain.\n"
    "Port 320 needs root or CAP_NET_BIND_SERVICE.\n"
    "Given SDP files, prints for each media entry that names a PTP clock in\n"
    "a=ts-refclk whether it is heard: \"clock heard\", \"clock not on this network\"\n"
    "or \"clock heard in domain N\" (JSON: \"streams\").\n";

QJsonObject GrandmasterJson(const CHeardGrandmaster& g)
{
    return {{"gmid", QString::fromStdString(g.gmid)}, {"domain", g.domain},
            {"priority1", g.priority1}, {"priority2", g.priority2},
            {"class", g.clockClass}, {"accuracy", g.clockAccuracy},
            {"variance", g.offsetScaledLogVariance}, {"steps_removed", g.stepsRemoved},
            {"time_source", g.timeSource}, {"source", QString::fromStdString(g.source)},
            {"last_heard", qint64(g.lastHeard)}};
}

void PrintGrandmasters(const std::vector<CHeardGrandmaster>& heard, const Clock& clock)
{
    int domain = -1;
    for (const CHeardGrandmaster& g : heard) {
        if (g.domain != domain)
            std::printf("domain %d\n", domain = g.domain);
        const std::tm t = clock.LocalTime(g.lastHeard);
        std::printf("  %s  priority1 %d  priority2 %d  class %d  accuracy 0x%02X  steps %d  from %s  heard %02d:%02d:%02d\n",
                    g.gmid.c_str(), g.priority1, g.priority2, g.clockClass, g.clockAccuracy, g.stepsRemoved,
                    g.source.c_str(), t.tm_hour, t.tm_min, t.tm_sec);
    }
    if (heard.empty())
        std::printf("no grandmaster heard\n");
}

int RunClocks(const QStringList& argv)
{
    CCliArgs args(argv, {"--seconds", "--iface"}, {"--json"});
    const auto seconds = args.Number("--seconds", 5, 1, 3600);
    if (!args.ok())
        return CliFail(args.error());
    CCliEnvironment cli;
    std::vector<std::pair<QString, std::shared_ptr<CSDPObject>>> sessions;
    for (const QString& file : args.Positionals()) {
        QString error;
        auto text = ReadInputFile(file, &error);
        if (!text)
            return CliFail(error);
        sessions.emplace_back(file, CSDPObject::FromText(*text, cli.env));
    }
    CPtpListenerOptions options;
    if (args.Has("--iface")) {
        options.interfaceAddress = text::ParseDottedQuad(args.Value("--iface").toStdString());
        if (options.interfaceAddress == 0xFFFFFFFF)
            return CliFail("--iface needs an IPv4 address");
    }
    // As IPv6 SAP: on the interface holding --iface, else the first with IPv6.
    options.interfaceIndex6 = unsigned(CSAPSocket::Ipv6Interface(args.Value("--iface")).index());

    CPtpListener listener(options, cli.clock);
    if (!listener.Open())
        std::fprintf(stderr, "talmira-cli: %s\n", listener.Problem().c_str());
    else
        std::this_thread::sleep_for(std::chrono::seconds(*seconds));
    const int64_t now = cli.clock.Now();
    const auto heard = listener.Grandmasters(now);
    const bool settled = listener.Settled(now);

    QJsonArray streams;
    for (const auto& [file, record] : sessions) {
        for (const CMediaPtpClock& c : MediaPtpClocks(*record)) {
            const CClockMatch match = MatchClock(c.ptp, heard, settled);
            QJsonObject stream{{"file", file}, {"session", QString::fromStdString(record->name)},
                               {"media", int(c.mediaIndex)}, {"gmid", QString::fromStdString(c.ptp.gmid)},
                               {"state", ClockStateKey(match.state)},
                               {"text", QString::fromStdString(ClockStateText(match))}};
            if (c.ptp.domain)
                stream.insert("domain", *c.ptp.domain);
            if (match.state == EClockState::HeardInOtherDomain)
                stream.insert("heard_domain", match.domain);
            streams.append(stream);
        }
    }
    if (args.Has("--json")) {
        QJsonArray list;
        for (const CHeardGrandmaster& g : heard)
            list.append(GrandmasterJson(g));
        QJsonObject out{{"grandmasters", list}, {"listening", listener.Open()}};
        if (!sessions.empty())
            out.insert("streams", streams);
        PrintJsonLine(out);
    } else {
        PrintGrandmasters(heard, cli.clock);
        for (const auto& s : streams) {
            const QJsonObject o = s.toObject();
            const QString text = o["text"].toString();
            std::printf("%s media %d (%s): %s\n", o["file"].toString().toLocal8Bit().constData(), o["media"].toInt(),
                        o["gmid"].toString().toLocal8Bit().constData(),
                        (text.isEmpty() ? QString("clock not checked") : text).toLocal8Bit().constData());
        }
    }
    std::fflush(stdout);
    return listener.Open() ? 0 : 1;
}

} // namespace

static CCliRegistration registerClocks("clocks", {kClocksUsage, RunClocks, kHelp});
