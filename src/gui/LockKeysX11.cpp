// Kept apart: the X headers define names (KeyPress, None, Bool) that clash
// with Qt's.
#include "gui/LockKeys.h"

#include <QGuiApplication>

#if QT_CONFIG(xcb)
#include <X11/XKBlib.h>

namespace {
// The keyboard light of that name (the server's indicator names), false
// when the server has no such light.
bool Lit(Display* display, const char* name, bool& on)
{
    const Atom atom = XInternAtom(display, name, True);
    Bool state = False;
    if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
        return false;
    on = state;
    return true;
}
} // namespace

std::optional<CLockKeys> ReadPlatformLockKeys()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    CLockKeys keys;
    if (!Lit(display, "Caps Lock", keys.caps) || !Lit(display, "Num Lock", keys.num))
        return std::nullopt;
    Lit(display, "Scroll Lock", keys.scroll); // many keyboards have no such light
    return keys;
}
#else
std::optional<CLockKeys> ReadPlatformLockKeys()
{
    return std::nullopt;
}
#endif
