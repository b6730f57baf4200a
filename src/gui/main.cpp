// talmira: the session directory's desktop program.
#include "app/CommandLine.h"
#include "base/ProgramExit.h"
#include "gui/DesktopApp.h"
#include "gui/GuiPrompter.h"
#include "gui/MainFrame.h"
#include "gui/Splash.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {
QStringList g_startMessages;

// Without a display Qt's start ends in an abort after several lines of its
// own: one line of ours and status 1 instead. What Qt says while starting is
// held until the start went well.
void HoldStartMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        g_startMessages << qFormatLogMessage(type, context, text);
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    std::fprintf(stderr, "talmira: no display to open the window on (%s); `talmira-cli listen` runs the directory "
                         "without one\n",
                 display.isEmpty() ? "DISPLAY is not set" : ("DISPLAY " + display + " cannot be reached").constData());
    std::_Exit(1);
}
} // namespace

int main(int argc, char** argv)
{
    // Answered before QApplication, which would need a display.
    switch (CCommandLine::InfoRequest({argv + std::min(argc, 1), argv + argc})) {
    case CCommandLine::EInfoRequest::Version:
        std::fputs(CCommandLine::VersionLine().c_str(), stdout);
        return 0;
    case CCommandLine::EInfoRequest::Help:
        std::fputs(CCommandLine::Usage().c_str(), stdout);
        return 0;
    case CCommandLine::EInfoRequest::None:
        break;
    }
    qInstallMessageHandler(HoldStartMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    for (const QString& message : std::as_const(g_startMessages))
        std::fprintf(stderr, "%s\n", qPrintable(message));
    CDesktopApp::IdentifyApplication();

    QStringList args = QApplication::arguments();
    args.removeFirst();
    CCommandLine commandLine;
    std::vector<std::string> plain;
    for (const QString& a : args)
        plain.push_back(a.toStdString());
    commandLine.ParseCommandLine(plain);

    CGuiPrompter prompter;
    CProcessExit exit;
    CDesktopApp desktop(prompter, exit);
    if (!desktop.Start(commandLine)) {
        // Already running here: that window comes to the front instead.
        if (desktop.WakeRunningInstance())
            return 0;
        if (const std::string why = desktop.Runtime().Guard().Explanation(); !why.empty()) {
            std::fprintf(stderr, "talmira: %s\n", why.c_str());
            return 1;
        }
        return 1;
    }
    CMainFrame& window = *desktop.Window();
    prompter.SetParent(&window);
    // Before anything can run events: a signal takes the orderly way out
    // from the first moment on.
    QuitEventLoopOnSignals();
    // The window first, the splash over it; what asks the user waits for
    // the splash to go.
    window.show();
    CSplash* splash = nullptr;
    if (CSplash::Wanted(args)) {
        splash = new CSplash;
        splash->setAttribute(Qt::WA_DeleteOnClose);
        splash->Start();
    }
    desktop.GreetWhenUp(splash);
    const int status = QApplication::exec();
    // A signal ends the loop without closing the window: the cache is
    // written here then.
    const bool closed = desktop.Close();
    return status != 0 ? status : (closed ? 0 : 1);
}
