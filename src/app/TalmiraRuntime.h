#pragma once
#include <QTimer>

#include <memory>

#include "app/CommandLine.h"
#include "app/InstanceGuard.h"
#include "app/Settings.h"
#include "base/Clock.h"
#include "base/Random.h"
#include "base/WireCounters.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"
#include "tools/ToolLauncher.h"

class CSessionStore;
class CQtSapNetwork;
class ProcessStarter;
class Prompter;
class ProgramExit;
class ToolDialogs;
class ViewNotifier;

// What a runtime may do with the shared files of its install directory.
enum class EInstallRole {
    // The one directory running on it: holds the instance guard, reads and
    // writes the cache, loads the plug-ins and starts tools, empties tmp/
    // at the end.
    Owner,
    // A process beside it (announcing): touches neither the cache nor tmp/,
    // and starts no tools.
    Guest,
};

// What the front end hands the runtime: how to talk to the user and how to
// end. The desktop program and `talmira-cli listen` give their own; tests
// may also replace the system clock and the process starter.
struct CRuntimePorts {
    Prompter& prompter;
    ProgramExit& exit;
    ViewNotifier* views = nullptr;
    ToolDialogs* toolDialogs = nullptr; // none: every start dialog is cancelled
    ProcessStarter* processes = nullptr; // none: QProcess
    const Clock* clock = nullptr;        // none: the system clock
};

// The running program, one per process: clock, random generator, used
// addresses, settings, the SAP sockets, the document, the plug-ins with the
// tool registry and the launcher, and the instance guard. Everything below
// gets what it needs from here; nothing reaches for a global.
class CTalmiraRuntime {
public:
    explicit CTalmiraRuntime(const CRuntimePorts& ports);
    ~CTalmiraRuntime();
    CTalmiraRuntime(const CTalmiraRuntime&) = delete;
    CTalmiraRuntime& operator=(const CTalmiraRuntime&) = delete;

    // Reads the settings (a corrupt User Info entry ends the program with
    // -1), takes the instance guard and loads the plug-ins (an owner only;
    // a fatal plug-in file ends the program with -1), fills the document and
    // runs its first initialisation: the session file of the command line,
    // or the cache (an owner only), the TTL Scope and the scope directories.
    // False when it cannot run; Guard() tells whether another instance runs.
    bool Start(const CCommandLine& commandLine, EInstallRole role = EInstallRole::Owner);
    void StartWalk();
    // Writes the cache (when it was read) and empties the document; the
    // tmp folder is emptied when the runtime goes.
    bool Close();

    CSessionStore& Doc() { return *m_doc; }
    CAppSettings& Settings() { return m_settings; }
    const CInstanceGuard& Guard() const { return m_guard; }
    const CSdpEnvironment& Environment() const { return m_env; }
    const Clock& TheClock() const { return m_clock; }
    Random& TheRandom() { return m_random; }
    CUsedAddressList& UsedAddresses() { return m_used; }
    CToolData& Tools() { return m_tools; }
    // The launcher the walk's Auto Start and the start commands use; none
    // before an owner's Start.
    CToolLauncher* Launcher() { return m_launcher.get(); }
    // What the directory did on the wire and on disk (the metrics).
    const CWireCounters& Counters() const { return m_counters; }

private:
    bool LoadTools();

    Prompter& m_prompter;
    ProgramExit& m_exit;
    ViewNotifier* m_views;
    std::unique_ptr<ToolDialogs> m_ownDialogs;
    ToolDialogs& m_dialogs;
    std::unique_ptr<ProcessStarter> m_ownProcesses;
    ProcessStarter& m_processes;
    CSystemClock m_systemClock;
    const Clock& m_clock;
    CSystemRandom m_random;
    CUsedAddressList m_used;
    CSdpEnvironment m_env{m_clock, m_random, &m_used};
    CWireCounters m_counters;
    CAppSettings m_settings;
    CInstanceGuard m_guard; // released last, after the cache is written
    CToolData m_tools;
    std::unique_ptr<CQtSapNetwork> m_network;
    std::unique_ptr<CSessionStore> m_doc;
    std::unique_ptr<CToolLauncher> m_launcher;
    QTimer m_walk;
    bool m_closed = false;
};

// SIGINT, SIGTERM and SIGHUP (the terminal closed) end the Qt event loop,
// so the program closes cleanly.
void QuitEventLoopOnSignals();
// Whether such a signal came: a modal step it ended must not open the next.
bool QuitSignalled();
