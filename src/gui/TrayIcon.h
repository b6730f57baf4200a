#pragma once
#include <QObject>

class QMenu;
class QPoint;
class QString;
class QSystemTrayIcon;
class QWidget;

// The notification icon that stands for the window while it is hidden,
// with its menu (&Open, &Close). A click raises the window when it shows,
// a double click or &Open brings it back, &Close ends the program the
// normal way.
class CTrayIcon final : public QObject {
    Q_OBJECT
public:
    explicit CTrayIcon(QWidget& window);

    QSystemTrayIcon& Icon() const { return *m_icon; }
    QMenu& Menu() const { return *m_menu; }
    // Shows the icon with this tip.
    void Show(const QString& tip);
    void Hide();

signals:
    // &Open or a double click: the window comes back.
    void OpenRequested();

private:
    // Opens the menu with its right edge at the pointer.
    void ShowMenu(const QPoint& pointer);

    QWidget& m_window;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
};
