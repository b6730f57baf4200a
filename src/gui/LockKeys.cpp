#include "gui/LockKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

CLockKeyWatch::CLockKeyWatch(QObject* parent) : QObject(parent), readPlatform(&ReadPlatformLockKeys)
{
    QCoreApplication::instance()->installEventFilter(this);
    Refresh();
}

CLockKeyWatch::~CLockKeyWatch()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void CLockKeyWatch::Refresh()
{
    if (const std::optional<CLockKeys> platform = readPlatform ? readPlatform() : std::nullopt)
        Set(*platform);
}

void CLockKeyWatch::Set(CLockKeys state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit Changed(state);
}

bool CLockKeyWatch::eventFilter(QObject* watched, QEvent* event)
{
    // A key press reaches its window once and then each widget it passes
    // through: counting it at the window counts it once.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->isAutoRepeat())
        return false;
    bool CLockKeys::*lock = nullptr;
    switch (key->key()) {
    case Qt::Key_CapsLock: lock = &CLockKeys::caps; break;
    case Qt::Key_NumLock: lock = &CLockKeys::num; break;
    case Qt::Key_ScrollLock: lock = &CLockKeys::scroll; break;
    default: return false;
    }
    if (readPlatform && readPlatform()) {
        // The light may change only once the key is handled: ask again then.
        QTimer::singleShot(0, this, &CLockKeyWatch::Refresh);
        return false;
    }
    CLockKeys toggled = m_state;
    toggled.*lock = !(toggled.*lock);
    Set(toggled);
    return false;
}

#if defined(Q_OS_WIN)
std::optional<CLockKeys> ReadPlatformLockKeys()
{
    return CLockKeys{(GetKeyState(VK_CAPITAL) & 1) != 0, (GetKeyState(VK_NUMLOCK) & 1) != 0,
                     (GetKeyState(VK_SCROLL) & 1) != 0};
}
#elif !defined(TALMIRA_HAVE_XKB)
std::optional<CLockKeys> ReadPlatformLockKeys()
{
    return std::nullopt;
}
#endif
