#include "gui/Screenshots.h"

#include "gui/AboutBox.h"
#include "gui/MainFrame.h"
#include "gui/Splash.h"

#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {
// Long enough for the window to be laid out and painted.
constexpr int kSettleMs = 1500;

void Save(const QPixmap& picture, const QString& file)
{
    if (!picture.save(file))
        std::fprintf(stderr, "talmira: cannot write %s\n", file.toLocal8Bit().constData());
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

void TakeWindowScreenshot(CMainFrame& window, const QString& file)
{
    ShowFirstScope(window);
    QTimer::singleShot(kSettleMs, &window, [&window, file] {
        Save(window.grab(), file);
        window.close();
    });
}

void TakeScreenshots(CMainFrame& window, const QString& folder)
{
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
