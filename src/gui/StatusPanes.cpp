#include "gui/StatusPanes.h"

#include "gui/LockKeys.h"

#include <QDateTime>
#include <QLabel>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTimer>

CStatusPanes::CStatusPanes(QStatusBar& bar) : QObject(&bar)
{
    const auto pane = [&bar](const char* text, const char* name) {
        auto* label = new QLabel(text, &bar);
        label->setObjectName(name);
        bar.addPermanentWidget(label);
        return label;
    };
    m_caps = pane("CAPS", "caps");
    m_num = pane("NUM", "num");
    m_scroll = pane("SCRL", "scroll");
    m_date = pane("", "date");
    m_time = pane("", "time");
    m_locks = new CLockKeyWatch(this);
    connect(m_locks, &CLockKeyWatch::Changed, this, &CStatusPanes::ShowLockKeys);
    ShowLockKeys(m_locks->State());
    ShowClock();
    auto* clock = new QTimer(this);
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, &CStatusPanes::ShowClock);
    clock->start();
}

void CStatusPanes::ShowClock()
{
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    m_date->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_time->setText(locale.toString(now.time(), ClockTimeFormat(locale)));
    // The lock keys may change while another program has the keyboard.
    m_locks->Refresh();
}

void CStatusPanes::ShowLockKeys(const CLockKeys& keys)
{
    m_caps->setEnabled(keys.caps);
    m_num->setEnabled(keys.num);
    m_scroll->setEnabled(keys.scroll);
}

QString ClockTimeFormat(const QLocale& locale)
{
    // The locale's time with seconds, without the time zone its long
    // format ends in ("t", "tt" or "tttt", outside quotes).
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+(?=(?:[^']*'[^']*')*[^']*$)")));
    return format.trimmed();
}
