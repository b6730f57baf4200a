#include "gui/DesktopApp.h"

#include "gui/MainFrame.h"

CDesktopApp::CDesktopApp(Prompter& prompter, ProgramExit& exit, const Clock* clock)
    : m_prompter(prompter), m_runtime(CRuntimePorts{prompter, exit, &m_views, nullptr, nullptr, clock})
{
}

CDesktopApp::~CDesktopApp()
{
    Close();
    m_window.reset();
}

bool CDesktopApp::Start(const CMyCommandLineInfo& commandLine)
{
    if (!m_runtime.Start(commandLine))
        return false;
    m_window = std::make_unique<CMainFrame>(m_runtime.Doc(), m_views, m_prompter, m_runtime.Launcher());
    m_window->onClose = [this] { Close(); };
    m_runtime.StartWalk();
    return true;
}

bool CDesktopApp::Close()
{
    if (!m_closed) {
        m_closed = true;
        m_closeResult = m_runtime.Close();
    }
    return m_closeResult;
}
