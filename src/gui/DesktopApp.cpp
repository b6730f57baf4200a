#include "gui/DesktopApp.h"
#include "gui/AlarmsWindow.h"

#include "gui/AnnouncementWizardCommands.h"
#include "gui/ClocksWindow.h"
#include "gui/DesktopNotifier.h"
#include "gui/Artwork.h"
#include "gui/HelpPages.h"
#include "gui/InstanceBeacon.h"
#include "gui/MainFrame.h"
#include "gui/MediaPages.h"
#include "gui/MosaicWindow.h"
#include "gui/RowIcons.h"
#include "gui/SessionPropertySheet.h"
#include "gui/ReceptionColumn.h"
#include "gui/SettingsSheet.h"
#include "gui/SettingsSheetMonitoring.h"
#include "gui/Splash.h"
#include "gui/ToolDialogs.h"
#include "gui/ToolPickerDialog.h"
#include "preview/qt/PreviewJson.h"
#include "preview/qt/PreviewService.h"
#include "base/Text.h"
#include "clocks/PtpListener.h"
#include "reception/qt/ReceptionService.h"
#include "sap/qt/SAPSocket.h"
#include "web/WebService.h"
#include "views/SessionListModel.h"
#include "web/WebState.h"
#include "web/WebWatch.h"
#include "watch/StoreWatch.h"
#include "sdp/SDPObject.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPointer>
#include <QSystemTrayIcon>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

namespace {
// A View menu entry that brings its window (made on first use) to the front.
void AddWindowEntry(CMainFrame& frame, const char* text, const char* tip, std::function<QWidget*()> window)
{
    QAction* show = frame.ViewMenu().addAction(text);
    show->setStatusTip(tip);
    QObject::connect(show, &QAction::triggered, &frame, [window = std::move(window)] {
        QWidget* shown = window();
        shown->show();
        shown->raise();
        shown->activateWindow();
    });
}
} // namespace

void CDesktopApp::IdentifyApplication()
{
    QApplication::setApplicationName("Talmira");
    QApplication::setOrganizationName("TalmiraSoft");
    QApplication::setDesktopFileName("talmira");
    QApplication::setWindowIcon(artwork::ProgramIcon());
}

CDesktopApp::CDesktopApp(Prompter& prompter, ProgramExit& exit, const Clock* clock)
    : m_prompter(prompter), m_toolDialogs(std::make_unique<CGuiToolDialogs>(prompter)),
      m_runtime(CRuntimePorts{prompter, exit, &m_views, m_toolDialogs.get(), nullptr, clock})
{
}

CDesktopApp::~CDesktopApp()
{
    Close();
    m_beacon.reset();
    m_window.reset();
    m_reception.reset();
    m_preview.reset();
    m_clocks.reset();
}

bool CDesktopApp::Start(const CCommandLine& commandLine)
{
    if (!m_runtime.Start(commandLine))
        return false;
    CReceiverOptions reception;
    reception.maxGroups = size_t(m_runtime.Settings().receptionMaxGroups);
    if (const uint32_t address = text::ParseDottedQuad(m_runtime.Settings().interfaceAddress); address != 0xFFFFFFFF)
        reception.interfaceAddress = address;
    // IPv6 media are joined where IPv6 SAP is heard.
    reception.interfaceIndex6 =
        unsigned(CSAPSocket::Ipv6Interface(QString::fromStdString(m_runtime.Settings().interfaceAddress)).index());
    m_reception = std::make_unique<CReceptionService>(reception);
    // Pictures and levels join IPv4 groups where reception does.
    const std::string& iface = m_runtime.Settings().interfaceAddress;
    const auto settingsStore = OpenSettingsStore();
    m_preview = std::make_unique<CPreviewService>(settingsStore ? LoadPreviewDecoders(*settingsStore)
                                                                : preview::kDefaultDecoders,
                                                  text::ParseDottedQuad(iface) != 0xFFFFFFFF ? iface : std::string());
    m_window = std::make_unique<CMainFrame>(m_runtime.Doc(), m_views, m_prompter, m_runtime.Launcher());
    new CReceptionColumn(*m_window, *m_reception); // owned by the window
    QAction* clockColumn = m_window->ViewMenu().addAction("Cloc&k Column");
    clockColumn->setObjectName("clockColumn");
    clockColumn->setCheckable(true);
    clockColumn->setStatusTip("Show the reference clock each session's streams name");
    QObject::connect(clockColumn, &QAction::toggled, m_window.get(), [window = m_window.get()](bool shown) {
        window->ListView().header()->setSectionHidden(CSessionListModel::kColumnClock, !shown);
    });
    m_window->onClose = [this] { Close(); };
    m_window->SetCommandHandler(ECommand::Tools, [this](const CMainFrame::CCommandTarget&) {
        RunToolPicker(m_runtime.Tools(), m_prompter, *m_toolDialogs, m_window.get(), [this] {
            if (CToolLauncher* launcher = m_runtime.Launcher(); launcher && launcher->onFatal)
                launcher->onFatal(); // the plug-ins could not be read again: the program ends
        });
    });
    const QString webHost = QString::fromStdString(m_runtime.Settings().webHost);
    CWizardContext wizard{m_runtime.Doc(), m_prompter, &m_runtime.Settings().scopes};
    // New folders name the web host in their tool attribute, when there is one.
    if (!webHost.isEmpty())
        wizard.vendorHost = QUrl::fromUserInput(webHost).host().toStdString();
    AttachMediaPages(wizard, MediaContextOf(m_runtime, m_prompter));
    m_announcements = new CAnnouncementCommands(wizard, m_window.get());
    m_announcements->Register(*m_window);
    m_toolDialogs->SetParent(m_window.get());
    m_toolDialogs->SetOnline({m_runtime.Settings().databaseHost, m_runtime.Settings().InstallDirectory()});
    m_window->SetCommandHandler(ECommand::Properties, [this](const CMainFrame::CCommandTarget& target) {
        CPropertyContext context = PropertyContextOf(m_runtime, m_prompter, m_reception.get(), m_preview.get());
        context.watch = WatchHooks();
        ShowProperties(m_runtime.Doc(), context, target.record,
                       target.fromTree ? ESheetKind::Directory : ESheetKind::Session, m_window.get());
    });
    m_help = std::make_unique<CHelpPages>(webHost);
    AttachHelp(*m_window, *m_help, m_prompter);
    m_window->SetCommandHandler(ECommand::Settings, [this](const CMainFrame::CCommandTarget&) {
        RunSettings(m_runtime.Doc(), m_runtime.Settings(), m_prompter, m_window.get(), runSettings);
        ApplyMonitoring();
    });
    // A second start shows this window; without the socket it just ends.
    m_beacon = std::make_unique<CInstanceBeacon>();
    m_beacon->onWake = [this] { m_window->ShowFromTray(); };
    m_beacon->Listen(InstallDirectory());
    StartWebServer();
    StartClocks();
    StartWatch();
    AddMosaic();
    m_runtime.StartWalk();
    return true;
}

void CDesktopApp::GreetWhenUp(CSplash* splash)
{
    const auto later = [this] { QTimer::singleShot(0, m_window.get(), [this] { Greet(); }); };
    if (splash && splash->isVisible())
        QObject::connect(splash, &CSplash::Gone, m_window.get(), later, Qt::SingleShotConnection);
    else
        later();
}

void CDesktopApp::Greet()
{
    // A quit while a message is up (a signal, or the window closed) ends
    // the greeting there: the modal loops it ended would open no more.
    const auto goOn = [this] { return !m_closed && !QuitSignalled(); };
    if (!goOn())
        return;
    // Announcing needs the personal information.
    AskForMissingPersonalInfo(m_runtime.Doc(), m_runtime.Settings(), m_prompter, m_window.get(), runSettings, goOn);
    // The check is bounded by its own short limits.
    if (goOn())
        m_toolDialogs->CheckForUpdate();
}

void CDesktopApp::StartWebServer()
{
    const CAppSettings& settings = m_runtime.Settings();
    if (!settings.serveWeb)
        return;
    m_web = std::make_unique<CWebService>(m_runtime.Doc(), m_runtime.TheClock(), m_views, &m_runtime.Counters());
    const std::string address = settings.serveAddress.empty() ? CWebService::kDefaultAddress : settings.serveAddress;
    std::string error;
    // The window works without it: a server that cannot start is reported
    // on the terminal, not in the user's way.
    if (!m_web->Start(address, &error)) {
        std::fprintf(stderr, "talmira: the web server does not run: %s\n", error.c_str());
        m_web.reset();
        return;
    }
    for (const QString& line : QString::fromStdString(m_web->Announcement()).split('\n'))
        std::fprintf(stderr, "talmira: %s\n", line.toLocal8Bit().constData());
    // What the Reception page and column watch shows in /metrics too, and
    // the pictures the page decodes as the sessions' picture.jpg.
    QObject::connect(m_reception.get(), &CReceptionService::FiguresArrived, m_reception.get(), [this] {
        if (!m_web)
            return;
        m_web->SetWatched(WatchedStreams(*m_reception, m_preview.get()));
        std::map<const CSDPObject*, std::shared_ptr<const std::vector<uint8_t>>> pictures;
        std::map<const CSDPObject*, QJsonArray> entries;
        const double now = preview::SteadySeconds();
        for (const CPreviewService::CStreamPreview& p : m_preview->AllLatest()) {
            if (!p.subject)
                continue;
            const auto* record = static_cast<const CSDPObject*>(p.subject);
            if (p.snapshot->video.jpeg)
                pictures.emplace(record, p.snapshot->video.jpeg);
            QJsonObject entry{{"media_index", p.source->mediaIndex}};
            if (p.snapshot->video.present || p.source->media == "video")
                entry["video"] = PreviewVideoJson(*p.snapshot, *p.source, now);
            if (p.snapshot->audio.present || p.source->media == "audio")
                entry["audio"] = PreviewAudioJson(*p.snapshot, *p.source);
            entries[record].append(entry);
        }
        std::map<const CSDPObject*, QByteArray> levels;
        for (const auto& [record, list] : entries)
            levels[record] = QJsonDocument(list).toJson(QJsonDocument::Compact);
        m_web->SetPictures(pictures);
        m_web->SetLevels(levels);
    });
}

void CDesktopApp::StartClocks()
{
    CPtpListenerOptions options;
    const std::string& iface = m_runtime.Settings().interfaceAddress;
    if (const uint32_t address = text::ParseDottedQuad(iface); address != 0xFFFFFFFF)
        options.interfaceAddress = address;
    // Announces are heard where SAP is, IPv6 included.
    options.interfaceIndex6 = unsigned(CSAPSocket::Ipv6Interface(QString::fromStdString(iface)).index());
    m_clocks = std::make_unique<CPtpListener>(options, m_runtime.TheClock());
    // Said once; the Clocks view repeats it where it matters.
    if (!m_clocks->Open())
        std::fprintf(stderr, "talmira: %s\n", m_clocks->Problem().c_str());
    AddWindowEntry(*m_window, "C&locks", "Show the PTP clocks the streams name and those heard on the network",
                   [this] { return ClocksWindow(); });
}

CClocksWindow* CDesktopApp::ClocksWindow()
{
    if (!m_clocksWindow) {
        m_clocksWindow = new CClocksWindow(m_runtime.Doc(), m_clocks.get(), m_runtime.TheClock(), m_window.get());
        m_clocksWindow->onOpen = [this](const std::shared_ptr<CSDPObject>& record) {
            if (CToolLauncher* launcher = m_runtime.Launcher())
                launcher->StartTools(record, -1, 0);
        };
    }
    return m_clocksWindow;
}

void CDesktopApp::StartWatch()
{
    AddWindowEntry(*m_window, "&Alarms", "Show the alarms of the watched sessions and their log", [this] {
        CAlarmsWindow* window = AlarmsWindow();
        window->Refresh();
        return window;
    });
    m_window->ListMenu().addSeparator();
    QAction* watch = m_window->ListMenu().addAction("&Watch\tCtrl+Shift+W");
    watch->setCheckable(true);
    watch->setShortcut(QKeySequence("Ctrl+Shift+W"));
    watch->setShortcutContext(Qt::WindowShortcut);
    watch->setStatusTip("Watch the session all the time and raise alarms when its streams fail; again to stop");
    m_window->addAction(watch);
    QObject::connect(&m_window->ListMenu(), &QMenu::aboutToShow, watch, [this, watch] {
        const auto record = m_window->CurrentRecord();
        watch->setEnabled(record && !IsDirectoryType(record->sessionType));
        watch->setChecked(record && m_watch && m_watch->List().Watches(WatchKey(*record)));
        watch->setText(watch->isChecked() ? "Stop &Watching\tCtrl+Shift+W" : "&Watch\tCtrl+Shift+W");
    });
    QObject::connect(watch, &QAction::triggered, m_window.get(), [this] {
        if (const auto record = m_window->CurrentRecord())
            ToggleWatch(*record);
    });
    m_notifier = new CDesktopNotifier(m_window->TrayIcon(), m_window.get());
    m_watchTick = new QTimer(m_window.get());
    QObject::connect(m_watchTick, &QTimer::timeout, m_window.get(), [this] {
        if (!m_watch)
            return;
        FeedPreview();
        const int64_t now = CWatchRunner::NowMs();
        m_watch->Tick(now);
        if (m_web)
            m_web->SetWatchMetrics(m_watch->Runner().MetricsText());
        if (m_webWatch)
            m_webWatch->Publish(now);
        ShowAlarmState();
    });
    // Sessions watched before are watched again from the start.
    if (auto store = OpenSettingsStore()) {
        CWatchList list;
        if (list.Load(*store) && !(list.Sessions().empty() && list.Directories().empty()))
            Watcher();
    }
}

CStoreWatch& CDesktopApp::Watcher()
{
    if (!m_watch) {
        CWatchList list;
        CWatchRunnerOptions options;
        if (auto store = OpenSettingsStore()) {
            list.Load(*store);
            options.thresholds = LoadThresholds(*store);
            const CWebhookSettings hooks = LoadWebhooks(*store);
            options.webhooks = hooks.urls;
            options.secret = hooks.secret;
        }
        options.database = InstallDirectory() + "/watch-history.db";
        options.receiver.maxGroups = 512;
        const std::string& iface = m_runtime.Settings().interfaceAddress;
        if (const uint32_t address = text::ParseDottedQuad(iface); address != 0xFFFFFFFF)
            options.receiver.interfaceAddress = address;
        options.receiver.interfaceIndex6 =
            unsigned(CSAPSocket::Ipv6Interface(QString::fromStdString(iface)).index());
        QPointer<CMainFrame> window(m_window.get());
        m_watch = std::make_unique<CStoreWatch>(
            m_runtime.Doc(), std::move(list), std::move(options),
            [this, window](const CAlarmEvent& event, const std::string& name) {
                // From the receiver's thread: shown on the window's.
                QMetaObject::invokeMethod(
                    window, [this, event, name] { OnAlarmEvent(event, name); }, Qt::QueuedConnection);
            },
            [](const std::string& message) { std::fprintf(stderr, "talmira: %s\n", message.c_str()); });
        // The page shows the alarms and takes Watch / Stop Watching and
        // acknowledgements, kept in the settings as the window's are.
        if (m_web)
            m_webWatch = std::make_unique<CWebWatch>(*m_web, *m_watch, [this] {
                if (auto store = OpenSettingsStore(); !store || !m_watch->List().Save(*store))
                    std::fprintf(stderr, "talmira: the watch list could not be written to the settings\n");
                if (m_window)
                    m_window->update();
            });
        m_watchTick->start(1000);
        if (m_alarmsWindow)
            m_alarmsWindow->SetRunner(&m_watch->Runner());
    }
    return *m_watch;
}

void CDesktopApp::ToggleWatch(const CSDPObject& record)
{
    if (IsDirectoryType(record.sessionType))
        return;
    const std::string key = WatchKey(record);
    CStoreWatch& watch = Watcher();
    if (!watch.Remove(key))
        watch.Add(key);
    watch.Tick(CWatchRunner::NowMs());
    if (auto store = OpenSettingsStore(); !store || !watch.List().Save(*store))
        std::fprintf(stderr, "talmira: the watch list could not be written to the settings\n");
}

CWatchHooks CDesktopApp::WatchHooks()
{
    CWatchHooks hooks;
    hooks.watching = [this](const CSDPObject& record) {
        return m_watch && m_watch->List().Watches(WatchKey(record));
    };
    hooks.toggle = [this](const CSDPObject& record) { ToggleWatch(record); };
    hooks.availability = [this](const CSDPObject& record) -> std::optional<CAvailability> {
        const std::string key = WatchKey(record);
        if (!m_watch || !m_watch->List().Watches(key))
            return std::nullopt;
        // The shares are the watcher's, read once a minute; the hours one
        // indexed read of the history, on this thread.
        CAvailability a;
        for (const CWatchRunner::CStatus& status : m_watch->Runner().Status())
            if (status.key == key) {
                a.day = status.availability24h;
                a.week = status.availability7d;
            }
        a.hours = m_watch->Runner().Bar(key, CWatchRunner::NowMs());
        return a;
    };
    return hooks;
}

void CDesktopApp::ApplyMonitoring()
{
    const auto store = OpenSettingsStore();
    if (!store)
        return;
    m_preview->SetMaxDecoders(LoadPreviewDecoders(*store));
    if (!m_watch)
        return; // read when the first session is watched
    m_watch->Runner().SetThresholds(LoadThresholds(*store));
    const CWebhookSettings hooks = LoadWebhooks(*store);
    m_watch->Runner().SetWebhooks(hooks.urls, hooks.secret);
}

void CDesktopApp::FeedPreview()
{
    // What the decoded picture and sound of each watched session show
    // (while its Reception page decodes them) goes to the alarm rules.
    std::map<std::string, std::vector<CMediaAnalysis>> analysis;
    for (const CPreviewService::CStreamPreview& p : m_preview->AllLatest()) {
        if (!p.subject)
            continue;
        CMediaAnalysis a;
        a.mediaIndex = p.source->mediaIndex;
        if (p.snapshot->video.analysed) {
            a.black = p.snapshot->video.black;
            a.frozen = p.snapshot->video.frozen;
        }
        if (p.snapshot->audio.windows > 0) {
            a.audioSilent = p.snapshot->audio.silent;
            // Silence says it already; its loudness is no second alarm.
            if (!p.snapshot->audio.silent)
                a.loudness = p.snapshot->audio.shortTermLufs;
        }
        if (a.black || a.audioSilent)
            analysis[WatchKey(*static_cast<const CSDPObject*>(p.subject))].push_back(a);
    }
    for (const std::string& key : m_analysed)
        if (!analysis.count(key))
            m_watch->Runner().Analysis(key, {});
    m_analysed.clear();
    for (auto& [key, list] : analysis) {
        m_analysed.insert(key);
        m_watch->Runner().Analysis(key, std::move(list));
    }
}

CAlarmsWindow* CDesktopApp::AlarmsWindow()
{
    if (!m_alarmsWindow) {
        m_alarmsWindow = new CAlarmsWindow(m_window.get());
        m_alarmsWindow->SetRunner(m_watch ? &m_watch->Runner() : nullptr);
    }
    return m_alarmsWindow;
}

void CDesktopApp::OnAlarmEvent(const CAlarmEvent& event, const std::string& name)
{
    if (!m_watch || (event.kind != EAlarmEventKind::Raise && event.kind != EAlarmEventKind::Clear))
        return;
    const bool raised = event.kind == EAlarmEventKind::Raise;
    QString body = QString("%1: %2").arg(QString::fromUtf8(QByteArray::fromStdString(text::AsUtf8(name))),
                                         AlarmName(event.alarm));
    if (event.media >= 0)
        body += QString(" (media %1)").arg(event.media + 1);
    if (!event.figures.detail.empty())
        body += QString(", %1").arg(QString::fromUtf8(QByteArray::fromStdString(text::AsUtf8(event.figures.detail))));
    m_notifier->Notify(raised ? "Alarm raised" : "Alarm cleared", body, raised);
    ShowAlarmState();
}

void CDesktopApp::ShowAlarmState()
{
    std::set<std::string> alarmed;
    if (m_watch)
        for (const CAlarmEngine::CActive& a : m_watch->Runner().Active())
            alarmed.insert(a.session);
    // The rows of the sessions in alarm carry the alarm mark.
    QTreeView& list = m_window->ListView();
    if (auto* rows = dynamic_cast<CSessionRowDelegate*>(list.itemDelegate()); rows && rows->SetAlarmed(alarmed))
        list.viewport()->update();
    const bool alarm = !alarmed.empty();
    if (alarm != m_alarmIcon) {
        // While any alarm is active the notification icon carries a red mark.
        m_alarmIcon = alarm;
        QIcon icon = artwork::ProgramIcon();
        if (alarm) {
            QPixmap pixmap = icon.pixmap(64, 64);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(QColor(220, 30, 30));
            painter.setPen(QPen(Qt::white, 3));
            painter.drawEllipse(QRect(30, 30, 32, 32));
            painter.end();
            icon = QIcon(pixmap);
        }
        m_window->TrayIcon().setIcon(icon);
    }
    if (m_alarmsWindow && m_alarmsWindow->isVisible())
        m_alarmsWindow->Refresh();
}

void CDesktopApp::AddMosaic()
{
    AddWindowEntry(*m_window, "&Mosaic", "Show the pictures and sound of the selected directory's sessions side by side",
                   [this] { return MosaicWindow(); });
}

CMosaicWindow* CDesktopApp::MosaicWindow()
{
    if (!m_mosaicWindow) {
        m_mosaicWindow = new CMosaicWindow(*m_window->ListView().model(), MakeMosaicFeed(*m_preview, m_reception.get()),
                                           m_window.get());
        m_mosaicWindow->onOpen = [this](const std::shared_ptr<CSDPObject>& record) { m_window->OpenRecord(record); };
    }
    return m_mosaicWindow;
}

std::vector<CWatchedStream> WatchedStreams(const CReceptionService& reception, const CPreviewService* preview)
{
    std::vector<CWatchedStream> out;
    for (const CSessionFigures* figures : reception.AllLatest())
        for (const CMediaFigures& m : figures->media)
            out.push_back({m.group, m.port, m.media, ReceptionStateName(m.state), m.packets, m.lost});
    if (!preview)
        return out;
    // The same stream decoded: what its picture and sound show.
    for (const CPreviewService::CStreamPreview& p : preview->AllLatest())
        for (CWatchedStream& w : out) {
            if (w.group != p.source->group || w.port != p.source->port || w.media != p.source->media)
                continue;
            if (p.snapshot->video.analysed) {
                w.black = p.snapshot->video.black;
                w.frozen = p.snapshot->video.frozen;
            }
            if (p.snapshot->audio.windows > 0) {
                w.silent = p.snapshot->audio.silent;
                w.loudness = p.snapshot->audio.shortTermLufs;
            }
        }
    return out;
}

std::string CDesktopApp::InstallDirectory() const
{
    return std::filesystem::path(m_runtime.Guard().LockFilePath()).parent_path().string();
}

bool CDesktopApp::WakeRunningInstance() const
{
    return m_runtime.Guard().State() == CInstanceGuard::EState::Taken &&
           CInstanceBeacon::WakeRunning(InstallDirectory());
}

bool CDesktopApp::Close()
{
    if (!m_closed) {
        m_closed = true;
        if (m_watchTick)
            m_watchTick->stop();
        m_webWatch.reset();
        m_watch.reset();
        m_web.reset();
        m_closeResult = m_runtime.Close();
    }
    return m_closeResult;
}
