#pragma once
#include <QTimer>

#include <memory>

#include "app/CommandLineInfo.h"
#include "app/InstanceGuard.h"
#include "app/Settings.h"
#include "base/Clock.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

class COstara32Doc;
class CQtSapNetwork;
class Prompter;
class ProgramExit;
class ToolStarter;
class ViewNotifier;

// What a runtime may do with the shared files of its install directory.
enum class EInstallRole {
    // The one directory running on it: holds the instance guard, reads and
    // writes the cache, empties tmp/ at the end.
    Owner,
    // A process beside it (announcing): touches neither the cache nor tmp/.
    Guest,
};

// The running session directory: settings, the document with its SAP
// sockets, and the once-a-second walk on the Qt event loop.
class CDirectoryRuntime {
public:
    CDirectoryRuntime(Prompter& prompter, ProgramExit& exit, ViewNotifier* views = nullptr,
                      ToolStarter* tools = nullptr);
    ~CDirectoryRuntime();

    // Reads the settings (a corrupt User Info entry ends the program with
    // -1), takes the instance guard (an owner only), fills the document and
    // runs its first initialisation: the session file of the command line,
    // or the cache (an owner only), the TTL Scope and the scope directories.
    // False when it cannot run; Guard() tells whether another instance runs.
    bool Start(const CMyCommandLineInfo& commandLine, EInstallRole role = EInstallRole::Owner);
    void StartWalk();
    // Writes the cache (when it was read) and empties the document; the
    // tmp folder is emptied when the runtime goes.
    bool Close();

    COstara32Doc& Doc() { return *m_doc; }
    CAppSettings& Settings() { return m_settings; }
    const CInstanceGuard& Guard() const { return m_guard; }
    const CSdpEnvironment& Environment() const { return m_env; }

private:
    Prompter& m_prompter;
    ProgramExit& m_exit;
    ViewNotifier* m_views;
    ToolStarter* m_tools;
    CSystemClock m_clock;
    CSystemRandom m_random;
    CUsedAddressList m_used;
    CSdpEnvironment m_env{m_clock, m_random, &m_used};
    CAppSettings m_settings;
    CInstanceGuard m_guard; // released last, after the cache is written
    std::unique_ptr<CQtSapNetwork> m_network;
    std::unique_ptr<COstara32Doc> m_doc;
    QTimer m_walk;
    bool m_closed = false;
};

// SIGINT, SIGTERM and SIGHUP (the terminal closed) end the Qt event loop,
// so the program closes cleanly.
void QuitEventLoopOnSignals();
