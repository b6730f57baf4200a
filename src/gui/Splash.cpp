#include "gui/Splash.h"

#include "gui/Artwork.h"

#include <QApplication>
#include <QScreen>

CSplash::CSplash(int milliseconds)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    setPixmap(artwork::ProductPicture(screen ? screen->devicePixelRatio() : 1.0));
    if (screen)
        move(screen->geometry().center() - rect().center());
    m_timer.setSingleShot(true);
    m_timer.setInterval(milliseconds);
    connect(&m_timer, &QTimer::timeout, this, &QWidget::close);
}

CSplash::~CSplash()
{
    qApp->removeEventFilter(this);
}

void CSplash::Start()
{
    qApp->installEventFilter(this);
    m_timer.start();
    show();
}

void CSplash::hideEvent(QHideEvent* event)
{
    QSplashScreen::hideEvent(event);
    m_timer.stop();
    emit Gone();
}

bool CSplash::Wanted(const QStringList& arguments)
{
    for (const QString& a : arguments)
        if (a.compare("-nologo", Qt::CaseInsensitive) == 0 || a.compare("/nologo", Qt::CaseInsensitive) == 0)
            return false;
    return true;
}

bool CSplash::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        if (isVisible()) {
            close();
            return true;
        }
        break;
    default:
        break;
    }
    return QSplashScreen::eventFilter(watched, event);
}
