#pragma once
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>

class QSystemTrayIcon;
class QTimer;

// Tells the user of alarms raised and cleared: through the desktop's
// notification service (org.freedesktop.Notifications on the session bus)
// where one runs, else as a message of the notification icon. At most
// kBurst notices in kWindow; those beyond are counted and said in one
// notice when the window ends.
class CDesktopNotifier final : public QObject {
    Q_OBJECT
public:
    static constexpr int kBurst = 5;
    static constexpr std::chrono::seconds kWindow{10};
    // What a notice is given to; none: the service or the icon, as above.
    using Sink = std::function<void(const QString& title, const QString& body, bool urgent)>;

    CDesktopNotifier(QSystemTrayIcon& tray, QObject* parent = nullptr);
    void Notify(const QString& title, const QString& body, bool urgent);
    Sink sink;

private:
    void Deliver(const QString& title, const QString& body, bool urgent);
    bool ServiceRuns();

    QSystemTrayIcon& m_tray;
    QTimer* m_summary;
    std::deque<std::chrono::steady_clock::time_point> m_recent;
    int m_held = 0;
    bool m_heldUrgent = false;
    std::chrono::steady_clock::time_point m_checkedAt{};
    bool m_service = false;
};
