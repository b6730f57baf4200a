#pragma once
// View > Clocks: the directory's streams grouped by the PTP domain and
// grandmaster they name, whether each grandmaster is heard on the network,
// and which streams follow another grandmaster than the rest of their domain.
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class CPtpListener;
class CSDPObject;
class CSessionStore;
class Clock;
class QLabel;
class QStandardItemModel;
class QTreeView;

class CClocksWindow final : public QWidget {
    Q_OBJECT
public:
    // `listener` may be null (nothing is heard); the window follows the
    // store and the listener every few seconds while it is shown.
    CClocksWindow(CSessionStore& doc, CPtpListener* listener, const Clock& clock, QWidget* parent = nullptr);

    // Enter or a double click on a stream: what Open does with its row.
    std::function<void(const std::shared_ptr<CSDPObject>&)> onOpen;
    QTreeView& View() const { return *m_view; }
    // Reads the store and the clocks heard again.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OpenCurrent();

    CSessionStore& m_doc;
    CPtpListener* m_listener;
    const Clock& m_clock;
    QTreeView* m_view = nullptr;
    QStandardItemModel* m_model = nullptr;
    QLabel* m_footer = nullptr;
    std::vector<std::weak_ptr<CSDPObject>> m_records;  // per stream row
    QString m_shown;  // what the model holds, to rebuild it only on a change
};
