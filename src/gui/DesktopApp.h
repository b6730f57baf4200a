#pragma once
#include "app/TalmiraRuntime.h"
#include "base/ViewFanOut.h"

#include <memory>

class CMainFrame;

// The desktop program: the runtime with both views on its fan-out and the
// main window over them. Closing the window writes the cache.
class CDesktopApp {
public:
    // The clock is for tests; none means the system clock.
    CDesktopApp(Prompter& prompter, ProgramExit& exit, const Clock* clock = nullptr);
    ~CDesktopApp();
    CDesktopApp(const CDesktopApp&) = delete;
    CDesktopApp& operator=(const CDesktopApp&) = delete;

    // Starts the runtime and builds the window (not shown yet); false when
    // the program cannot run, Runtime().Guard() says whether another
    // instance holds the install directory.
    bool Start(const CMyCommandLineInfo& commandLine);
    // Writes the cache and empties the store, once.
    bool Close();

    CTalmiraRuntime& Runtime() { return m_runtime; }
    CMainFrame* Window() const { return m_window.get(); }

private:
    Prompter& m_prompter;
    CViewFanOut m_views;
    CTalmiraRuntime m_runtime;
    std::unique_ptr<CMainFrame> m_window; // goes before the runtime
    bool m_closeResult = true;
    bool m_closed = false;
};
