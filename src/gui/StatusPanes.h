#pragma once
#include <QLocale>
#include <QObject>

class CLockKeyWatch;
struct CLockKeys;
class QLabel;
class QStatusBar;

// The status bar's panes right of the prompt, left to right: CAPS, NUM and
// SCRL (greyed while their key is off), the date and the time, brought up
// to date once a second.
class CStatusPanes final : public QObject {
    Q_OBJECT
public:
    explicit CStatusPanes(QStatusBar& bar);

    // What the lock panes follow.
    CLockKeyWatch& LockKeys() const { return *m_locks; }

private:
    void ShowClock();
    void ShowLockKeys(const CLockKeys& keys);

    QLabel* m_caps = nullptr;
    QLabel* m_num = nullptr;
    QLabel* m_scroll = nullptr;
    QLabel* m_date = nullptr;
    QLabel* m_time = nullptr;
    CLockKeyWatch* m_locks = nullptr;
};

// The status bar clock's format: the locale's time with seconds, no zone.
QString ClockTimeFormat(const QLocale& locale);
