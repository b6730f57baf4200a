#pragma once
#include "app/TalmiraRuntime.h"
#include "base/ViewFanOut.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CAlarmsWindow;
class CDesktopNotifier;
class CSDPObject;
struct CWatchHooks;
class CAnnouncementCommands;
class CStoreWatch;
class CWebWatch;
struct CAlarmEvent;
class CClocksWindow;
class CPtpListener;
class CGuiToolDialogs;
class CHelpPages;
class CInstanceBeacon;
class CMainFrame;
class CMosaicWindow;
class CPreviewService;
class CReceptionService;
class CSettingsSheet;
class CSplash;
class CWebService;

// The desktop program: the runtime with both views on its fan-out and the
// main window over them. Closing the window writes the cache.
class CDesktopApp {
public:
    // The names the settings, the desktop entry and the window manager know
    // the program by, and its icon: set once after QApplication, by every
    // program that starts this one (its pictures tool too, so that both
    // read the same settings).
    static void IdentifyApplication();
    // The clock is for tests; none means the system clock.
    CDesktopApp(Prompter& prompter, ProgramExit& exit, const Clock* clock = nullptr);
    ~CDesktopApp();
    CDesktopApp(const CDesktopApp&) = delete;
    CDesktopApp& operator=(const CDesktopApp&) = delete;

    // Starts the runtime and builds the window (not shown yet); false when
    // the program cannot run, Runtime().Guard() says whether another
    // instance holds the install directory.
    bool Start(const CCommandLine& commandLine);
    // Once the window shows and `splash` (if any) is gone: asks for missing
    // personal information, then checks for a newer version. Both are
    // modal, and nothing may open over the splash or before the window.
    void GreetWhenUp(CSplash* splash = nullptr);
    // After a Start refused because another instance holds the install
    // directory: asks that one to show its window. False when it did not
    // answer.
    bool WakeRunningInstance() const;
    // Writes the cache and empties the store, once.
    bool Close();

    CTalmiraRuntime& Runtime() { return m_runtime; }
    // Watches what arrives for the Reception page and column.
    CReceptionService* Reception() const { return m_reception.get(); }
    CPreviewService* Preview() const { return m_preview.get(); }
    // The PTP grandmasters heard (null when the port could not be opened),
    // and View > Clocks once opened.
    CPtpListener* Clocks() const { return m_clocks.get(); }
    CClocksWindow* ClocksWindow();
    // The sessions watched all the time (none until one is watched) and
    // View > Alarms.
    CStoreWatch* Watch() const { return m_watch.get(); }
    CAlarmsWindow* AlarmsWindow();
    // View > Mosaic, made when first opened.
    CMosaicWindow* MosaicWindow();
    CMainFrame* Window() const { return m_window.get(); }
    // The web server the settings asked for; none when off or not started.
    CWebService* Web() const { return m_web.get(); }
    // The help and home pages the window's Help menu opens.
    CHelpPages* Help() const { return m_help.get(); }
    // How the Settings sheet runs; none: modal. For tests.
    std::function<int(CSettingsSheet&)> runSettings;
    // New Session, New Folder and Edit; owned by the window.
    CAnnouncementCommands* Announcements() const { return m_announcements; }

private:
    void Greet();
    // When the settings ask for it (off unless set).
    void StartWebServer();
    void StartClocks();
    void StartWatch();
    void AddMosaic();
    // The watcher, made when the first session is watched.
    CStoreWatch& Watcher();
    void ToggleWatch(const CSDPObject& record);
    // Watch / Stop Watching and the availability, for the property sheet.
    CWatchHooks WatchHooks();
    // The monitoring settings taken at once: thresholds, webhooks, decoders.
    void ApplyMonitoring();
    void FeedPreview();
    void OnAlarmEvent(const CAlarmEvent& event, const std::string& name);
    void ShowAlarmState();
    // The one the instance guard was taken on.
    std::string InstallDirectory() const;

    Prompter& m_prompter;
    CViewFanOut m_views;
    std::unique_ptr<CGuiToolDialogs> m_toolDialogs; // outlives the launcher that uses it
    CTalmiraRuntime m_runtime;
    std::unique_ptr<CHelpPages> m_help;
    std::unique_ptr<CReceptionService> m_reception; // outlives the windows that watch
    std::unique_ptr<CPreviewService> m_preview;     // the same
    std::unique_ptr<CPtpListener> m_clocks;         // outlives the window that shows it
    CClocksWindow* m_clocksWindow = nullptr;        // owned by the main window
    CMosaicWindow* m_mosaicWindow = nullptr;        // the same
    std::unique_ptr<CMainFrame> m_window; // goes before the runtime
    std::unique_ptr<CInstanceBeacon> m_beacon;
    std::unique_ptr<CWebService> m_web; // stops before the store closes
    std::unique_ptr<CStoreWatch> m_watch; // stops before the store closes
    std::unique_ptr<CWebWatch> m_webWatch; // the page's alarms and orders; goes before both
    CAlarmsWindow* m_alarmsWindow = nullptr; // owned by the main window
    QTimer* m_watchTick = nullptr;           // owned by the main window
    bool m_alarmIcon = false;
    CDesktopNotifier* m_notifier = nullptr;  // owned by the main window
    std::set<std::string> m_analysed;         // sessions whose analysis the watcher has
    CAnnouncementCommands* m_announcements = nullptr;
    bool m_closeResult = true;
    bool m_closed = false;
};

struct CWatchedStream;
// The figures of every watched media entry, as /metrics shows them.
std::vector<CWatchedStream> WatchedStreams(const CReceptionService& reception, const CPreviewService* preview = nullptr);
