#pragma once
#include <QDialog>

#include <functional>

class CWatchRunner;
class QPushButton;
class QTreeWidget;

// View > Alarms: the active alarms first (acknowledge one or all), then the
// log of raises, clears and acknowledgements the history keeps.
class CAlarmsWindow final : public QDialog {
public:
    explicit CAlarmsWindow(QWidget* parent);
    // The watcher to show; none: nothing is watched yet.
    void SetRunner(CWatchRunner* runner);
    // Reads the alarms and the log again.
    void Refresh();

private:
    void Acknowledge(bool all);

    CWatchRunner* m_runner = nullptr;
    QTreeWidget* m_active = nullptr;
    QTreeWidget* m_log = nullptr;
    QPushButton* m_acknowledge = nullptr;
    QPushButton* m_acknowledgeAll = nullptr;
};
