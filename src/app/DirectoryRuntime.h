#pragma once
#include <QTimer>

#include <memory>

#include "app/CommandLineInfo.h"
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

// The running session directory: settings, the document with its SAP
// sockets, and the once-a-second walk on the Qt event loop.
class CDirectoryRuntime {
public:
    CDirectoryRuntime(Prompter& prompter, ProgramExit& exit, ViewNotifier* views = nullptr,
                      ToolStarter* tools = nullptr);
    ~CDirectoryRuntime();

    // Reads the settings (a corrupt User Info entry ends the program with
    // -1), fills the document and runs its first initialisation: the session
    // file of the command line, or the cache (unless `useCache` is false),
    // the TTL Scope and the scope directories. False when it cannot run.
    bool Start(const CMyCommandLineInfo& commandLine, bool useCache = true);
    void StartWalk();
    // Writes the cache (when it was read) and empties the document; the
    // tmp folder is emptied when the runtime goes.
    bool Close();

    COstara32Doc& Doc() { return *m_doc; }
    CAppSettings& Settings() { return m_settings; }
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
    std::unique_ptr<CQtSapNetwork> m_network;
    std::unique_ptr<COstara32Doc> m_doc;
    QTimer m_walk;
    bool m_closed = false;
};

// SIGINT and SIGTERM end the Qt event loop, so the program closes cleanly.
void QuitEventLoopOnSignals();
