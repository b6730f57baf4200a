// talmira-cli probe FILE.sdp|SESSION-ID [--seconds N] [--json]: watches the
// media of one session and prints their reception figures once a second,
// one line per media entry; with --picture and --levels it decodes them too
// and adds what is seen and heard.
#include "app/ConsolePrompter.h"
#include "app/Settings.h"
#include "app/TalmiraRuntime.h"
#include "base/Clock.h"
#include "base/Random.h"
#include "base/Text.h"
#include "cli/CliCommon.h"
#include "cli/ReceptionJson.h"
#include "cli/SessionLookup.h"
#include "preview/PreviewPlan.h"
#include "preview/PreviewPool.h"
#include "preview/qt/PreviewJson.h"
#include "reception/Receiver.h"
#include "reception/ReceptionPlan.h"
#include "sap/qt/SAPSocket.h"
#include "sdp/SDPObject.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QPointer>

#include <cstdio>
#include <map>
#include <optional>
#include <memory>

namespace {

constexpr const char* kProbeUsage =
    "probe FILE.sdp|SESSION-ID [--seconds N] [--json] [--iface ADDRESS] [--max-groups N] [--install-dir DIR]"
    " [--picture FILE.jpg] [--levels] [--decoders N]";

// The newest thumbnail, replaced whole so a reader never sees half of it.
void WritePicture(const QString& path, const std::vector<uint8_t>& jpeg)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size()));
        file.commit();
    }
}

int RunProbe(const QStringList& argv)
{
    CCliArgs args(argv, {"--seconds", "--iface", "--max-groups", "--install-dir", "--picture", "--decoders"},
                  {"--json", "--levels"});
    const auto seconds = args.Number("--seconds", 0, 0, 100000000);
    const auto maxGroups = args.Number("--max-groups", 8, 1, 1000);
    const auto decoders = args.Number("--decoders", preview::kDefaultDecoders, 1, preview::kMaxDecoders);
    if (!args.ok())
        return CliFail(args.error());
    if (args.Positionals().size() != 1)
        return CliFail(QString("usage: talmira-cli ") + kProbeUsage);
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

    // Pictures and levels: the entries decoded, each by its index.
    const QString picturePath = args.Value("--picture");
    std::unique_ptr<preview::CPreviewPool> pool;
    std::map<int, std::pair<int, preview::CPreviewSource>> previews;
    if (!picturePath.isEmpty() || args.Has("--levels")) {
        pool = std::make_unique<preview::CPreviewPool>(int(*decoders));
        preview::CPreviewOptions options;
        options.pictures = !picturePath.isEmpty();
        options.levels = args.Has("--levels");
        options.everyFrame = true; // watched: black and freeze need every picture
        std::string text;
        session->WriteSdp(text);
        const std::string iface = args.Has("--iface") ? args.Value("--iface").toStdString() : std::string();
        for (preview::CPreviewSource& source : preview::PlanPreview(*session, text, iface)) {
            const bool transportStream = !source.url.empty() || source.announced.codec == "mpegts";
            const bool wanted = transportStream ? true : source.media == "video" ? options.pictures
                                                       : source.media == "audio" && options.levels;
            if (wanted) {
                const int index = source.mediaIndex;
                const int id = pool->Watch(source, options);
                previews.emplace(index, std::make_pair(id, std::move(source)));
            }
        }
    }
    // The picture file shows the first video entry.
    double pictureWritten = 0;
    int pictureIndex = -1;
    for (const auto& [index, preview] : previews)
        if (preview.second.media == "video" && pictureIndex < 0)
            pictureIndex = index;

    const bool json = args.Has("--json");
    long long reports = 0;
    // The figures come from the receiver's thread; printing happens here.
    QPointer<QCoreApplication> app(QCoreApplication::instance());
    auto print = [&](const CSessionFigures& figures) {
        const double now = preview::SteadySeconds();
        for (const CMediaFigures& m : figures.media) {
            std::optional<preview::CPreviewSnapshot> shown;
            const preview::CPreviewSource* source = nullptr;
            if (auto it = previews.find(m.mediaIndex); it != previews.end()) {
                shown = pool->Snapshot(it->second.first);
                source = &it->second.second;
            }
            if (shown && m.mediaIndex == pictureIndex && shown->video.jpeg && shown->video.pictureTime > pictureWritten) {
                pictureWritten = shown->video.pictureTime;
                WritePicture(picturePath, *shown->video.jpeg);
            }
            if (json) {
                QJsonObject line = MediaFiguresToJson(figures, m);
                if (shown && (source->media == "video" || shown->video.present))
                    line["video"] = PreviewVideoJson(*shown, *source, now);
                if (shown && (source->media == "audio" || shown->audio.present))
                    line["audio"] = PreviewAudioJson(*shown, *source);
                PrintJsonLine(line);
            } else {
                QString text = MediaFiguresToText(figures, m);
                if (shown)
                    text += "; " + PreviewText(*shown);
                std::printf("%s\n", text.toLocal8Bit().constData());
            }
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
    pool.reset();
    return 0;
}

} // namespace

static CCliRegistration registerProbe("probe", {kProbeUsage, RunProbe});
