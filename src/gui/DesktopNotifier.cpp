#include "gui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariantMap>

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
} // namespace

CDesktopNotifier::CDesktopNotifier(QSystemTrayIcon& tray, QObject* parent)
    : QObject(parent), m_tray(tray), m_summary(new QTimer(this))
{
    m_summary->setSingleShot(true);
    connect(m_summary, &QTimer::timeout, this, [this] {
        if (m_held == 0)
            return;
        const int held = m_held;
        const bool urgent = m_heldUrgent;
        m_held = 0;
        m_heldUrgent = false;
        m_recent.clear();
        Deliver("More alarm events",
                QString("%1 more alarms were raised or cleared; View > Alarms lists them.").arg(held), urgent);
    });
}

void CDesktopNotifier::Notify(const QString& title, const QString& body, bool urgent)
{
    const auto now = std::chrono::steady_clock::now();
    while (!m_recent.empty() && now - m_recent.front() >= kWindow)
        m_recent.pop_front();
    if (int(m_recent.size()) >= kBurst) {
        // A burst (many sessions failing at once): counted, said once.
        ++m_held;
        m_heldUrgent = m_heldUrgent || urgent;
        if (!m_summary->isActive())
            m_summary->start(std::chrono::duration_cast<std::chrono::milliseconds>(kWindow - (now - m_recent.front())));
        return;
    }
    m_recent.push_back(now);
    Deliver(title, body, urgent);
}

bool CDesktopNotifier::ServiceRuns()
{
    // Asked again now and then: the service may start or stop meanwhile.
    const auto now = std::chrono::steady_clock::now();
    if (m_checkedAt == std::chrono::steady_clock::time_point{} || now - m_checkedAt > std::chrono::minutes(1)) {
        m_checkedAt = now;
        const QDBusConnection bus = QDBusConnection::sessionBus();
        m_service = bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kService).value();
    }
    return m_service;
}

void CDesktopNotifier::Deliver(const QString& title, const QString& body, bool urgent)
{
    if (sink) {
        sink(title, body, urgent);
        return;
    }
    if (ServiceRuns()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications", kService, "Notify");
        const QVariantMap hints{{"urgency", QVariant::fromValue(uchar(urgent ? 2 : 1))},
                                {"desktop-entry", QStringLiteral("talmira")}};
        call << QStringLiteral("Talmira") << uint(0) << QStringLiteral("talmira") << title << body << QStringList()
             << hints << int(-1);
        // Not waited for: the window goes on while the service answers.
        QDBusConnection::sessionBus().asyncCall(call);
        return;
    }
    if (m_tray.isVisible() && QSystemTrayIcon::supportsMessages())
        m_tray.showMessage(title, body, urgent ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}
