#include "gui/DesktopApp.h"

#include "gui/InstanceBeacon.h"
#include "gui/MainFrame.h"
#include "gui/SettingsSheet.h"

#include <QTimer>

#include <filesystem>

CDesktopApp::CDesktopApp(Prompter& prompter, ProgramExit& exit, const Clock* clock)
    : m_prompter(prompter), m_runtime(CRuntimePorts{prompter, exit, &m_views, nullptr, nullptr, clock})
{
}

CDesktopApp::~CDesktopApp()
{
    Close();
    m_beacon.reset();
    m_window.reset();
}

bool CDesktopApp::Start(const CMyCommandLineInfo& commandLine)
{
    if (!m_runtime.Start(commandLine))
        return false;
    m_window = std::make_unique<CMainFrame>(m_runtime.Doc(), m_views, m_prompter, m_runtime.Launcher());
    m_window->onClose = [this] { Close(); };
    m_window->onSettings = [this] {
        RunSettings(m_runtime.Doc(), m_runtime.Settings(), m_prompter, m_window.get(), runSettings);
    };
    // Once the window is up: announcing needs the personal information.
    QTimer::singleShot(0, m_window.get(), [this] {
        AskForMissingPersonalInfo(m_runtime.Doc(), m_runtime.Settings(), m_prompter, m_window.get(), runSettings);
    });
    // A second start shows this window; without the socket it just ends.
    m_beacon = std::make_unique<CInstanceBeacon>();
    m_beacon->onWake = [this] { m_window->ShowFromTray(); };
    m_beacon->Listen(InstallDirectory());
    m_runtime.StartWalk();
    return true;
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
        m_closeResult = m_runtime.Close();
    }
    return m_closeResult;
}
