#include "app/TalmiraRuntime.h"

#include "app/SapNetworkQt.h"
#include "base/ProgramExit.h"
#include "directory/SessionStore.h"
#include "tools/qt/QtProcessStarter.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A front end with nobody to ask: every start dialog is cancelled. The
// walk's Auto Start never asks (the session is active by then).
class CCancellingToolDialogs final : public ToolDialogs {
public:
    EAutoStartChoice AskAutoStart(const std::string&) override { return EAutoStartChoice::Cancel; }
    ESearchWhere AskWhereToSearch() override { return ESearchWhere::Cancel; }
    std::optional<std::string> FindToolOnDisk(const std::string&) override { return std::nullopt; }
    bool SearchOnlinePlugin(const std::string&, const std::string&, const std::string&) override { return false; }
    bool SearchOnlineTool(const std::string&) override { return false; }
};

template <class Port, class Default>
std::unique_ptr<Port> DefaultUnless(Port* given)
{
    return given ? nullptr : std::make_unique<Default>();
}
} // namespace

CTalmiraRuntime::CTalmiraRuntime(const CRuntimePorts& ports)
    : m_prompter(ports.prompter), m_exit(ports.exit), m_views(ports.views),
      m_ownDialogs(DefaultUnless<ToolDialogs, CCancellingToolDialogs>(ports.toolDialogs)),
      m_dialogs(ports.toolDialogs ? *ports.toolDialogs : *m_ownDialogs),
      m_ownProcesses(DefaultUnless<ProcessStarter, CQtProcessStarter>(ports.processes)),
      m_processes(ports.processes ? *ports.processes : *m_ownProcesses),
      m_clock(ports.clock ? *ports.clock : m_systemClock)
{
    m_walk.setInterval(1000);
    QObject::connect(&m_walk, &QTimer::timeout, [this] {
        if (m_doc)
            m_doc->CheckSessions();
    });
}

CTalmiraRuntime::~CTalmiraRuntime()
{
    m_walk.stop();
    // The document goes before the sockets' owner; the sockets it closed
    // wait for the event loop to be deleted, which has stopped by now.
    m_doc.reset();
    m_network.reset();
    if (QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool CTalmiraRuntime::LoadTools()
{
    m_tools.installDir = m_settings.InstallDirectory();
    if (m_tools.Load(m_prompter) == EPluginLoad::Fatal) {
        // Called only with the install directory held: its tmp/ is ours.
        if (!m_tools.installDir.empty())
            CleanTmpFolder(m_tools.installDir + "/tmp", m_prompter);
        m_exit.Exit(-1);
        return false;
    }
    return true;
}

bool CTalmiraRuntime::Start(const CCommandLine& commandLine, EInstallRole role)
{
    auto settings = LoadAppSettings(m_prompter);
    if (!settings) {
        m_exit.Exit(-1);
        return false;
    }
    m_settings = std::move(*settings);
    // Before the document exists: a refused start must not even empty tmp/.
    const bool owner = role == EInstallRole::Owner;
    if (owner && m_guard.Acquire(m_settings.InstallDirectory()) != CInstanceGuard::EState::Held)
        return false;
    if (owner && !LoadTools())
        return false;
    m_network = std::make_unique<CQtSapNetwork>(m_settings.groups, m_env,
                                                QString::fromStdString(m_settings.interfaceAddress));
    m_doc = std::make_unique<CSessionStore>(
        CStorePorts{m_clock, m_random, m_prompter, m_exit, *m_network, m_views, nullptr, &m_used});
    m_network->SetDocument(m_doc.get());
    m_network->SetCounters(&m_counters);
    m_doc->wireCounters = &m_counters;
    if (owner) {
        // The launcher speaks through the store's prompts, so a tool the
        // walk starts never opens a box inside the walk.
        m_launcher = std::make_unique<CToolLauncher>(m_tools, m_doc->Prompts(), m_dialogs, m_processes, m_clock);
        m_launcher->onFatal = [this] {
            // The program ends at once, without the store's clean-up.
            m_doc->CleanTmp();
            m_exit.Exit(-1);
        };
        m_launcher->onAutoStartChanged = [this](const CSDPObject& record) { m_doc->RecordShownChanged(record); };
        m_doc->SetToolStarter(m_launcher.get());
    }
    m_doc->userName = m_settings.name;
    m_doc->userPhone = m_settings.phone;
    m_doc->userEmail = m_settings.email;
    m_doc->interfaceAddress = m_settings.interfaceAddress;
    m_doc->installDirectory = m_settings.InstallDirectory();
    m_doc->SetScopes(&m_settings.scopes);
    if (!m_settings.ipv6)
        m_network->DisableIpv6();
    m_doc->SetIpv6Scopes(m_network->HasIpv6());
    m_doc->SetCacheEnabled(owner);
    m_doc->SetCleansTmpFolder(owner);
    if (commandLine.sessionFileGiven && !commandLine.sessionFile.empty())
        m_doc->SetSessionFile(commandLine.sessionFile);
    return m_doc->OnNewDocument();
}

void CTalmiraRuntime::StartWalk()
{
    m_walk.start();
}

bool CTalmiraRuntime::Close()
{
    if (m_closed || !m_doc)
        return true;
    m_closed = true;
    m_walk.stop();
    return m_doc->OnCloseDocument();
}

namespace {
int g_signalPair[2] = {-1, -1};
bool g_quitSignalled = false;

void OnQuitSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPair[1], &c, 1);
}
} // namespace

bool QuitSignalled()
{
    return g_quitSignalled;
}

void QuitEventLoopOnSignals()
{
    if (g_signalPair[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPair) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPair[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        g_quitSignalled = true;
        QCoreApplication::quit();
    });
    std::signal(SIGINT, OnQuitSignal);
    std::signal(SIGTERM, OnQuitSignal);
    // Started under nohup, a hang-up is meant to be ignored: keep it so.
    struct sigaction hangup {};
    if (::sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN)
        std::signal(SIGHUP, OnQuitSignal);
}
