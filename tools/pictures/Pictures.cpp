#include "Pictures.h"

#include "app/TalmiraRuntime.h"
#include "base/FileIO.h"
#include "directory/SessionStore.h"
#include "gui/AboutBox.h"
#include "gui/AlarmsWindow.h"
#include "gui/AnnouncementWizard.h"
#include "gui/AnnouncementWizardCommands.h"
#include "gui/AnnouncementWizardPages.h"
#include "gui/DesktopApp.h"
#include "gui/MainFrame.h"
#include "gui/MediaPages.h"
#include "gui/MosaicWindow.h"
#include "gui/SessionPropertySheet.h"
#include "gui/ClocksWindow.h"
#include "gui/ReceptionColumn.h"
#include "gui/SchedulePage.h"
#include "gui/SettingsSheet.h"
#include "gui/SettingsSheetMonitoring.h"
#include "gui/Splash.h"
#include "gui/ToolDialogs.h"
#include "gui/ToolPickerDialog.h"
#include "tools/ToolPicker.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"
#include "watch/StoreWatch.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <memory>

namespace {
// Long enough for a window to be laid out and painted.
constexpr int kSettleMs = 1500;

void Save(const QPixmap& picture, const QString& file)
{
    if (!picture.save(file))
        std::fprintf(stderr, "talmira-pictures: cannot write %s\n", file.toLocal8Bit().constData());
}

// After `ms`, saves `shown`, dismisses it its own way and closes the main
// window, which ends the program.
void SaveLater(CDesktopApp& desktop, QWidget* shown, int ms, const QString& file, std::function<void()> dismiss)
{
    QTimer::singleShot(ms, shown, [&desktop, shown, file, dismiss = std::move(dismiss)] {
        Save(shown->grab(), file);
        dismiss();
        desktop.Window()->close();
    });
}

// Nothing to picture: says why and ends the program.
void GiveUp(CDesktopApp& desktop, const char* why, const QString& about)
{
    std::fprintf(stderr, "talmira-pictures: %s %s\n", why, about.toLocal8Bit().constData());
    desktop.Window()->close();
}

// The session an SDP file describes, as the program reads one.
std::shared_ptr<CSDPObject> SessionFromFile(CDesktopApp& desktop, const QString& sdpFile)
{
    const fileio::CReadResult text = fileio::ReadRegularFile(QFile::encodeName(sdpFile).toStdString(), 1 << 16);
    return text.Ok() ? CSDPObject::FromText(text.bytes, desktop.Runtime().Environment()) : nullptr;
}

// The TTL Scope (the tree sorts by name, so the IPv6 directories may come
// first), else the first directory.
void ShowFirstScope(CMainFrame& window)
{
    QTreeView& tree = window.TreeView();
    tree.expandAll();
    const QModelIndex firstScope = tree.model()->index(0, 0, tree.model()->index(0, 0));
    const QModelIndexList ttlScope = firstScope.isValid()
        ? tree.model()->match(firstScope, Qt::DisplayRole, "TTL Scope", 1, Qt::MatchExactly) : QModelIndexList();
    if (firstScope.isValid())
        tree.setCurrentIndex(ttlScope.isEmpty() ? firstScope : ttlScope.front());
}

// The menu as it opens above the notification icon, on a strip of panel,
// since a virtual display has no notification area to show it in.
QPixmap TrayMenuPicture(CMainFrame& window)
{
    QMenu& menu = window.TrayMenu();
    menu.setActiveAction(menu.actions().value(0));
    const QPixmap items = menu.grab();
    const int margin = 12, panel = 30, icon = 22;
    QPixmap picture(items.width() + 2 * margin + icon, items.height() + panel + 2 * margin);
    picture.fill(window.palette().color(QPalette::Window));
    QPainter painter(&picture);
    const QRect strip(0, picture.height() - panel, picture.width(), panel);
    painter.fillRect(strip, QColor(0x2c, 0x3e, 0x50));
    const QRect trayIcon(picture.width() - margin - icon, strip.center().y() - icon / 2, icon, icon);
    painter.fillRect(trayIcon.adjusted(-3, -3, 3, 3), QColor(0x45, 0x5d, 0x75));
    window.TrayIcon().icon().paint(&painter, trayIcon);
    painter.drawPixmap(trayIcon.right() - items.width() + 1, strip.top() - margin / 2 - items.height(), items);
    painter.end();
    return picture;
}
} // namespace

void SaveDocumentationPictures(CDesktopApp& desktop, Prompter&, const QString& folder, const QString&)
{
    CMainFrame& window = *desktop.Window();
    ShowFirstScope(window);
    QTimer::singleShot(kSettleMs, &window, [&window, folder] {
        const QDir out(folder);
        Save(window.grab(), out.filePath("main-window.png"));
        Save(TrayMenuPicture(window), out.filePath("tray-menu.png"));
        CSplash splash;
        Save(splash.grab(), out.filePath("splash.png"));
        CAboutBox about(&window);
        about.show();
        Save(about.grab(), out.filePath("about.png"));
        about.close();
        window.close();
    });
}

void SavePropertiesPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString&)
{
    std::shared_ptr<CSDPObject> chosen;
    for (const auto& directory : desktop.Runtime().Doc().MainList())
        if (directory->links->children)
            for (const auto& record : *directory->links->children)
                if (!chosen && !IsDirectoryType(record->sessionType) && record->media.size() == 2)
                    chosen = record;
    auto sheet = CSessionPropertySheet::Create(chosen, PropertyContextOf(desktop.Runtime(), prompter),
                                          ESheetKind::Session, desktop.Window());
    if (!sheet)
        return GiveUp(desktop, "no session with two media for", file);
    CSessionPropertySheet* shown = sheet.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->Pages().setCurrentIndex(3); // the first media page
    shown->show();
    SaveLater(desktop, shown, kSettleMs, file, [shown] { shown->close(); });
}

void SaveStudioPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString&)
{
    std::shared_ptr<CSDPObject> chosen;
    for (const auto& directory : desktop.Runtime().Doc().MainList())
        if (directory->links->children)
            for (const auto& record : *directory->links->children)
                if (!chosen && record->name.View() == kStudioSessionName)
                    chosen = record;
    auto sheet = CSessionPropertySheet::Create(chosen, PropertyContextOf(desktop.Runtime(), prompter),
                                          ESheetKind::Session, desktop.Window());
    if (!sheet)
        return GiveUp(desktop, "no studio session for", file);
    CSessionPropertySheet* shown = sheet.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->show();
    SaveLater(desktop, shown, kSettleMs, file, [shown] { shown->close(); });
}

void SaveSettingsPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString&)
{
    CTalmiraRuntime& runtime = desktop.Runtime();
    auto* sheet = new CSettingsSheet(runtime.Doc(), runtime.Settings(), prompter, desktop.Window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->show();
    SaveLater(desktop, sheet, kSettleMs, file, [sheet] { sheet->reject(); });
}

void SaveMonitoringPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString&)
{
    CTalmiraRuntime& runtime = desktop.Runtime();
    auto* sheet = new CSettingsSheet(runtime.Doc(), runtime.Settings(), prompter, desktop.Window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->Pages().setCurrentWidget(&sheet->Monitoring());
    sheet->Monitoring().UrlsField().setPlainText("https://alarms.example.org/talmira\nhttp://127.0.0.1:9093/hook");
    sheet->show();
    SaveLater(desktop, sheet, kSettleMs, file, [sheet] { sheet->reject(); });
}

void SaveToolPickerPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString&)
{
    CToolData& tools = desktop.Runtime().Tools();
    // Both tool lists in use: the first group's last tool is set aside (the
    // picker is cancelled, so nothing is saved).
    if (!tools.registry.groups.empty()) {
        CMediaListEntry& first = tools.registry.groups.front();
        if (const auto selected = SelectedTools(first); selected.size() > 1)
            DeselectTool(first, selected.back());
    }
    auto dialogs = std::make_shared<CGuiToolDialogs>(prompter);
    auto* picker = new CToolPickerDialog(tools, prompter, *dialogs, desktop.Window());
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->Selected().setCurrentRow(0);
    picker->show();
    SaveLater(desktop, picker, kSettleMs, file, [picker, dialogs] { picker->reject(); });
}

void SaveWizardPicture(CDesktopApp& desktop, Prompter&, const QString& file, const QString&)
{
    CAnnouncementCommands& commands = *desktop.Announcements();
    std::shared_ptr<CSDPObject> ttlScope;
    for (const auto& directory : commands.Context().doc.MainList())
        if (directory->sessionType == kTypeScopeDirectory && directory->name == "TTL Scope")
            ttlScope = directory;
    CAnnouncementWizard* wizard = commands.NewSession(ttlScope);
    if (!wizard)
        return GiveUp(desktop, "no announcement wizard for", file);
    auto* session = static_cast<CAnnouncementWizardSessionPage*>(wizard->page(CAnnouncementWizard::kSessionPage));
    session->Title().setText("Weekly seminar");
    session->Description().setPlainText("Talks on multicast routing");
    wizard->next();
    wizard->next();
    auto* schedule = static_cast<CAnnouncementWizardSchedulePage*>(wizard->page(CAnnouncementWizard::kSchedulePage));
    schedule->Repetition(0).setCurrentText("Weekly");
    schedule->Duration(0).setCurrentText("2 hour");
    schedule->Time(0).setTime(QTime(20, 0, 0));
    emit schedule->Repetition(0).activated(schedule->Repetition(0).currentIndex());
    schedule->Repetition(1).setCurrentText("Once");
    schedule->Duration(1).setCurrentText("3 hour");
    schedule->Date(1).setDate(schedule->Date(0).date().addDays(30));
    schedule->RepeatFor().setCurrentText("3 weeks");
    SaveLater(desktop, wizard, kSettleMs, file, [wizard] { wizard->reject(); });
}

void SaveMediaWizardPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString&)
{
    struct CHeld {
        CSDPMedia entry;
        std::shared_ptr<CSDPObject> session;
    };
    auto held = std::make_shared<CHeld>();
    CSessionStore& doc = desktop.Runtime().Doc();
    held->session = CSDPObject::MakeWithoutText(doc.Environment(), QHostInfo::localHostName().toStdString());
    if (doc.MainList().Size() > 0)
        held->session->parentDirectory = doc.MainList().At(0);
    auto* wizard = new CMediaWizard(held->entry, *held->session, MediaContextOf(desktop.Runtime(), prompter),
                                    desktop.Window());
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    // The entry and session live as long as the pages that point to them.
    QObject::connect(wizard, &QObject::destroyed, [held] {});
    wizard->show();
    wizard->next();
    wizard->next();
    SaveLater(desktop, wizard, kSettleMs, file, [wizard] { wizard->close(); });
}

namespace {

void SaveReceptionPage(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString& sdpFile, bool preview)
{
    const auto record = SessionFromFile(desktop, sdpFile);
    auto sheet = record ? CSessionPropertySheet::Create(record, PropertyContextOf(desktop.Runtime(), prompter,
                                                                             desktop.Reception(),
                                                                             preview ? desktop.Preview() : nullptr),
                                                   ESheetKind::Session, desktop.Window())
                        : nullptr;
    if (!sheet)
        return GiveUp(desktop, "no session in", sdpFile);
    CSessionPropertySheet* shown = sheet.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->resize(640, preview ? 760 : 560);
    shown->Pages().setCurrentIndex(shown->Pages().count() - 1);
    shown->show();
    const int watchedMs = preview ? 12'000 : 20'000;
    SaveLater(desktop, shown, watchedMs + 300, file, [shown] { shown->close(); });
}

} // namespace

void SaveReceptionPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString& sdpFile)
{
    SaveReceptionPage(desktop, prompter, file, sdpFile, false);
}

void SaveReceptionPreviewPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString& sdpFile)
{
    SaveReceptionPage(desktop, prompter, file, sdpFile, true);
}

namespace {
// Selects the store's first directory in the tree (where the pictures add
// their sessions), wherever the tree sorts it.
void SelectFirstDirectory(CMainFrame& window, CSessionStore& doc)
{
    QTreeView& tree = window.TreeView();
    tree.expandAll();
    const QModelIndex top = tree.model()->index(0, 0);
    const QModelIndexList scope = tree.model()->match(tree.model()->index(0, 0, top), Qt::DisplayRole,
                                                      QString::fromStdString(doc.MainList().At(0)->name), 1,
                                                      Qt::MatchExactly);
    tree.setCurrentIndex(scope.isEmpty() ? tree.model()->index(0, 0, top) : scope.front());
}
} // namespace

void SaveReceptionListPicture(CDesktopApp& desktop, Prompter&, const QString& file, const QString& sdpFile)
{
    CMainFrame& window = *desktop.Window();
    CSessionStore& doc = desktop.Runtime().Doc();
    const auto record = SessionFromFile(desktop, sdpFile);
    auto* column = window.findChild<CReceptionColumn*>();
    if (!record || doc.MainList().Empty() || !column || doc.AddSession(record, doc.MainList().At(0)) < 0)
        return GiveUp(desktop, "no session in", sdpFile);
    SelectFirstDirectory(window, doc);
    QTimer::singleShot(300, &window, [&window, record, column, file] {
        CSessionSortFilter& sorted = window.SortedList();
        sorted.Source().ApplyPending();
        const QModelIndex row = sorted.mapFromSource(sorted.Source().index(sorted.Source().RowOf(*record), 0));
        window.ListView().setCurrentIndex(row);
        window.ListView().setFocus();
        column->Action()->setChecked(true);
        constexpr int kWatchedMs = 8'000;
        QTimer::singleShot(kWatchedMs, &window, [&window, file] {
            Save(window.grab(), file);
            window.close();
        });
    });
}

void SaveClocksPicture(CDesktopApp& desktop, Prompter&, const QString& file, const QString&)
{
    CClocksWindow* clocks = desktop.ClocksWindow();
    clocks->show();
    // Long enough for the listener to count a grandmaster not heard as absent.
    SaveLater(desktop, clocks, 7000, file, [clocks] { clocks->close(); });
}

void SaveMosaicPicture(CDesktopApp& desktop, Prompter&, const QString& file, const QString& folder)
{
    CMainFrame& window = *desktop.Window();
    CSessionStore& doc = desktop.Runtime().Doc();
    int added = 0;
    for (const QString& name : QDir(folder).entryList({"*.sdp"}, QDir::Files, QDir::Name))
        if (const auto record = SessionFromFile(desktop, QDir(folder).filePath(name));
            record && !doc.MainList().Empty() && doc.AddSession(record, doc.MainList().At(0)) >= 0)
            ++added;
    if (added == 0)
        return GiveUp(desktop, "no sessions in", folder);
    SelectFirstDirectory(window, doc);
    // The list narrowed to the sessions the senders play; the mosaic shows its rows.
    window.SearchField().setText("Campus");
    QTimer::singleShot(300, &window, [&desktop, file] {
        CMosaicWindow* mosaic = desktop.MosaicWindow();
        mosaic->resize(4 * 280 + 40, 2 * 240 + 60);
        mosaic->show();
        mosaic->activateWindow();
        // Long enough for every tile's turn and a picture each.
        SaveLater(desktop, mosaic, 16'000, file, [mosaic] { mosaic->close(); });
    });
}

void SaveAlarmsPicture(CDesktopApp& desktop, Prompter&, const QString& file, const QString& sdpFile)
{
    CMainFrame& window = *desktop.Window();
    CSessionStore& doc = desktop.Runtime().Doc();
    const auto record = SessionFromFile(desktop, sdpFile);
    if (!record || doc.MainList().Empty() || doc.AddSession(record, doc.MainList().At(0)) < 0)
        return GiveUp(desktop, "no session in", sdpFile);
    SelectFirstDirectory(window, doc);
    // Its row watched the way a user does it, from the list's menu.
    QTimer::singleShot(300, &window, [&desktop, &window, record, file] {
        CSessionSortFilter& sorted = window.SortedList();
        sorted.Source().ApplyPending();
        window.ListView().setCurrentIndex(sorted.mapFromSource(sorted.Source().index(sorted.Source().RowOf(*record), 0)));
        window.ListView().setFocus();
        for (QAction* action : window.ListMenu().actions())
            if (action->text().startsWith("&Watch"))
                action->trigger();
        // The senders lose the backup leg after 6 s: redundancy lost 3 s later.
        QTimer::singleShot(13'000, &window, [&desktop, file] {
            if (desktop.Watch())
                desktop.Watch()->Runner().Tick(CWatchRunner::NowMs()); // the history's second is written
            CAlarmsWindow* alarms = desktop.AlarmsWindow();
            alarms->resize(900, 420);
            alarms->Refresh();
            alarms->show();
            SaveLater(desktop, alarms, kSettleMs, file, [alarms] { alarms->close(); });
        });
    });
}
