// talmira: the session directory's desktop program.
#include "app/CommandLineInfo.h"
#include "base/FileIO.h"
#include "base/ProgramExit.h"
#include "directory/Ostara32Doc.h"
#include "gui/AnnouncementWizardCommands.h"
#include "gui/Artwork.h"
#include "gui/DesktopApp.h"
#include "gui/GuiPrompter.h"
#include "gui/MainFrame.h"
#include "gui/MediaPagesShot.h"
#include "gui/PropertySheet.h"
#include "gui/ReceptionColumn.h"
#include "gui/Screenshots.h"
#include "gui/SettingsSheet.h"
#include "gui/Splash.h"
#include "gui/ToolPickerDialog.h"
#include "sdp/SessionList.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {
// Removes "NAME VALUE" from the arguments and gives VALUE; empty when absent.
QString TakeOption(QStringList& args, const QString& name)
{
    const int at = static_cast<int>(args.indexOf(name));
    if (at < 0 || at + 1 >= args.size())
        return {};
    const QString value = args[at + 1];
    args.remove(at, 2);
    return value;
}

// --screenshot-properties FILE: the property sheet of the first session
// with two media entries, saved the same way.
void ScreenshotProperties(CDesktopApp& desktop, Prompter& prompter, const QString& file)
{
    std::shared_ptr<CSDPObject> chosen;
    for (const auto& directory : desktop.Runtime().Doc().MainList())
        if (directory->links->children)
            for (const auto& record : *directory->links->children)
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
// --screenshot-reception FILE --screenshot-session SDP-FILE: the Reception
// page of that session after `seconds` of watching, saved the same way.
void ScreenshotReception(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString& sdpFile,
                         int seconds)
{
    const fileio::CReadResult text = fileio::ReadRegularFile(QFile::encodeName(sdpFile).toStdString(), 1 << 16);
    auto record = text.Ok() ? CSDPObject::FromText(text.bytes, desktop.Runtime().Environment()) : nullptr;
    auto sheet = record ? CMyPropertySheet::Create(record, PropertyContextOf(desktop.Runtime(), prompter,
                                                                             desktop.Reception()),
                                                   ESheetKind::Session, desktop.Window())
                        : nullptr;
    if (!sheet) {
        std::fprintf(stderr, "talmira: no session in %s\n", sdpFile.toLocal8Bit().constData());
        desktop.Window()->close();
        return;
    }
    CMyPropertySheet* shown = sheet.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->resize(640, 560);
    shown->Pages().setCurrentIndex(shown->Pages().count() - 1);
    shown->show();
    QTimer::singleShot(seconds * 1000 + 300, shown, [&desktop, shown, file] {
        if (!shown->grab().save(file))
            std::fprintf(stderr, "talmira: cannot write %s\n", file.toLocal8Bit().constData());
        shown->close();
        desktop.Window()->close();
    });
}
// --screenshot-reception-list FILE --screenshot-session SDP-FILE: the main
// window with that session heard in the first scope, its row current and
// the Reception column shown, after `seconds` of watching.
void ScreenshotReceptionList(CDesktopApp& desktop, const QString& file, const QString& sdpFile, int seconds)
{
    CMainFrame& window = *desktop.Window();
    COstara32Doc& doc = desktop.Runtime().Doc();
    const fileio::CReadResult text = fileio::ReadRegularFile(QFile::encodeName(sdpFile).toStdString(), 1 << 16);
    auto record = text.Ok() ? CSDPObject::FromText(text.bytes, desktop.Runtime().Environment()) : nullptr;
    auto* column = window.findChild<CReceptionColumn*>();
    if (!record || doc.MainList().Empty() || !column || doc.AddSession(record, doc.MainList().At(0)) < 0) {
        std::fprintf(stderr, "talmira: no session in %s\n", sdpFile.toLocal8Bit().constData());
        window.close();
        return;
    }
    QTreeView& tree = window.TreeView();
    tree.expandAll();
    // The directory it was added to, wherever the tree sorts it.
    const QModelIndex top = tree.model()->index(0, 0);
    const QModelIndexList scope = tree.model()->match(tree.model()->index(0, 0, top), Qt::DisplayRole,
                                                      QString::fromStdString(doc.MainList().At(0)->name), 1,
                                                      Qt::MatchExactly);
    tree.setCurrentIndex(scope.isEmpty() ? tree.model()->index(0, 0, top) : scope.front());
    QTimer::singleShot(300, &window, [&window, record, column, file, seconds] {
        CSessionSortFilter& sorted = window.SortedList();
        sorted.Source().ApplyPending();
        const QModelIndex row = sorted.mapFromSource(sorted.Source().index(sorted.Source().RowOf(*record), 0));
        window.ListView().setCurrentIndex(row);
        window.ListView().setFocus();
        column->Action()->setChecked(true);
        QTimer::singleShot(seconds * 1000, &window, [&window, file] {
            if (!window.grab().save(file))
                std::fprintf(stderr, "talmira: cannot write %s\n", file.toLocal8Bit().constData());
            window.close();
        });
    });
}
} // namespace

int main(int argc, char** argv)
{
    // Answered before QApplication, which would need a display.
    switch (CMyCommandLineInfo::InfoRequest({argv + std::min(argc, 1), argv + argc})) {
    case CMyCommandLineInfo::EInfoRequest::Version:
        std::fputs(CMyCommandLineInfo::VersionLine().c_str(), stdout);
        return 0;
    case CMyCommandLineInfo::EInfoRequest::Help:
        std::fputs(CMyCommandLineInfo::Usage().c_str(), stdout);
        return 0;
    case CMyCommandLineInfo::EInfoRequest::None:
        break;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Talmira");
    QApplication::setOrganizationName("TalmiraSoft");
    QApplication::setDesktopFileName("talmira");
    QApplication::setWindowIcon(artwork::ProgramIcon());

    QStringList args = QApplication::arguments();
    args.removeFirst();
    // --screenshot FILE: the main window alone; --screenshots FOLDER: the
    // pictures of the documentation; --screenshot-properties FILE: a
    // session's property sheet. Each closes the program when done.
    const QString screenshot = TakeOption(args, "--screenshot");
    const QString screenshots = TakeOption(args, "--screenshots");
    const QString sheetShot = TakeOption(args, "--screenshot-properties");
    const QString settingsPicture = TakeOption(args, "--screenshot-settings");
    const QString pickerShot = TakeOption(args, "--screenshot-tool-picker");
    const QString wizardPicture = TakeOption(args, "--screenshot-wizard");
    const QString mediaShot = TakeOption(args, "--screenshot-media-wizard");
    const QString receptionShot = TakeOption(args, "--screenshot-reception");
    const QString receptionList = TakeOption(args, "--screenshot-reception-list");
    const QString receptionSession = TakeOption(args, "--screenshot-session");
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
    // Before anything can run events: a signal takes the orderly way out
    // from the first moment on.
    QuitEventLoopOnSignals();
    // The window first, the splash over it; what asks the user waits for
    // the splash to go.
    window.show();
    CSplash* splash = nullptr;
    if (CSplash::Wanted(args) && screenshot.isEmpty() && screenshots.isEmpty() && sheetShot.isEmpty()
        && receptionShot.isEmpty() && receptionList.isEmpty()) {
        splash = new CSplash;
        splash->setAttribute(Qt::WA_DeleteOnClose);
        splash->Start();
    }
    desktop.GreetWhenUp(splash);
    if (!screenshots.isEmpty())
        TakeScreenshots(window, screenshots);
    else if (!screenshot.isEmpty())
        TakeWindowScreenshot(window, screenshot);
    if (!sheetShot.isEmpty())
        ScreenshotProperties(desktop, prompter, sheetShot);
    if (!settingsPicture.isEmpty())
        SaveSettingsPicture(desktop.Runtime().Doc(), desktop.Runtime().Settings(), prompter, window, settingsPicture);
    if (!pickerShot.isEmpty())
        ScreenshotToolPicker(desktop.Runtime().Tools(), prompter, &window, pickerShot, [&window] { window.close(); });
    if (!wizardPicture.isEmpty())
        SaveWizardPicture(*desktop.Announcements(), window, wizardPicture);
    if (!mediaShot.isEmpty())
        ScreenshotMediaWizard(desktop.Runtime(), prompter, &window, mediaShot, [&window] { window.close(); });
    if (!receptionShot.isEmpty())
        ScreenshotReception(desktop, prompter, receptionShot, receptionSession, 20);
    if (!receptionList.isEmpty())
        ScreenshotReceptionList(desktop, receptionList, receptionSession, 8);
    const int status = QApplication::exec();
    // A signal ends the loop without closing the window: the cache is
    // written here then.
    const bool closed = desktop.Close();
    return status != 0 ? status : (closed ? 0 : 1);
}
