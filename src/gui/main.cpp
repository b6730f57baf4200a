// talmira: the session directory's desktop program.
#include "app/CommandLineInfo.h"
#include "base/ProgramExit.h"
#include "gui/DesktopApp.h"
#include "gui/GuiPrompter.h"
#include "gui/MainFrame.h"
#include "gui/MediaPagesShot.h"
#include "gui/PropertySheet.h"
#include "directory/Ostara32Doc.h"
#include "sdp/SessionList.h"

#include <QApplication>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {
// --screenshot FILE: shows the window, saves a picture of it once it has
// been laid out and painted, and ends the normal way.
QString TakeScreenshotOption(QStringList& args, const char* option = "--screenshot")
{
    const int at = static_cast<int>(args.indexOf(option));
    if (at < 0 || at + 1 >= args.size())
        return {};
    const QString file = args[at + 1];
    args.remove(at, 2);
    return file;
}

// --screenshot-properties FILE: the property sheet of the first session
// with two media entries, saved the same way.
void ScreenshotProperties(CDesktopApp& desktop, Prompter& prompter, const QString& file)
{
    std::shared_ptr<CSDPObject> chosen;
    for (const auto& directory : desktop.Runtime().Doc().MainList())
        if (directory->children)
            for (const auto& record : *directory->children)
                if (!chosen && !IsDirectoryType(record->sessionType) && record->media.size() == 2)
                    chosen = record;
    auto sheet = CMyPropertySheet::Create(chosen, PropertyContextOf(desktop.Runtime(), prompter),
                                          ESheetKind::Session, desktop.Window());
    if (!sheet) {
        std::fprintf(stderr, "talmira: no session with two media for %s\n", file.toLocal8Bit().constData());
        desktop.Window()->close();
        return;
    }
    CMyPropertySheet* shown = sheet.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->Pages().setCurrentIndex(3); // the first media page
    shown->show();
    QTimer::singleShot(1500, shown, [&desktop, shown, file] {
        if (!shown->grab().save(file))
            std::fprintf(stderr, "talmira: cannot write %s\n", file.toLocal8Bit().constData());
        shown->close();
        desktop.Window()->close();
    });
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Talmira");
    QApplication::setOrganizationName("TalmiraSoft");

    QStringList args = QApplication::arguments();
    args.removeFirst();
    const QString screenshot = TakeScreenshotOption(args);
    const QString sheetShot = TakeScreenshotOption(args, "--screenshot-properties");
    const QString mediaShot = TakeScreenshotOption(args, "--screenshot-media-wizard");
    CMyCommandLineInfo commandLine;
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
    window.show();

    QuitEventLoopOnSignals();
    if (!screenshot.isEmpty()) {
        // The picture shows the first scope's sessions, every folder open.
        QTreeView& tree = window.TreeView();
        tree.expandAll();
        const QModelIndex firstScope = tree.model()->index(0, 0, tree.model()->index(0, 0));
        if (firstScope.isValid())
            tree.setCurrentIndex(firstScope);
        QTimer::singleShot(1500, &window, [&window, screenshot] {
            if (!window.grab().save(screenshot))
                std::fprintf(stderr, "talmira: cannot write %s\n", screenshot.toLocal8Bit().constData());
            window.close();
        });
    }
    if (!sheetShot.isEmpty())
        ScreenshotProperties(desktop, prompter, sheetShot);
    if (!mediaShot.isEmpty())
        ScreenshotMediaWizard(desktop.Runtime(), prompter, &window, mediaShot, [&window] { window.close(); });
    const int status = QApplication::exec();
    // A signal ends the loop without closing the window: the cache is
    // written here then.
    const bool closed = desktop.Close();
    return status != 0 ? status : (closed ? 0 : 1);
}
