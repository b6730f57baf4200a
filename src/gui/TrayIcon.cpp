#include "gui/TrayIcon.h"

#include "gui/Artwork.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

CTrayIcon::CTrayIcon(QWidget& window) : QObject(&window), m_window(window)
{
    m_icon = new QSystemTrayIcon(artwork::ProgramIcon(), this);
    m_menu = new QMenu(&window);
    connect(m_menu->addAction("&Open"), &QAction::triggered, this, &CTrayIcon::OpenRequested);
    // Ends the program the normal way, so the cache is written.
    connect(m_menu->addAction("&Close"), &QAction::triggered, this, [this] {
        m_icon->hide();
        m_window.close();
        QCoreApplication::quit();
    });
    // Not the icon's own context menu: the platform would open that one to
    // the right of the pointer, and the icon sits at the screen's edge.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Context)
            ShowMenu(QCursor::pos());
        else if (reason == QSystemTrayIcon::DoubleClick)
            emit OpenRequested();
        else if (reason == QSystemTrayIcon::Trigger && m_window.isVisible()) {
            m_window.raise();
            m_window.activateWindow();
        }
    });
}

void CTrayIcon::ShowMenu(const QPoint& pointer)
{
    m_menu->popup(pointer - QPoint(m_menu->sizeHint().width(), 0));
}

void CTrayIcon::Show(const QString& tip)
{
    m_icon->setToolTip(tip);
    m_icon->show();
}

void CTrayIcon::Hide()
{
    m_icon->hide();
}
