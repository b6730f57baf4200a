#pragma once
#include "reception/Receiver.h"

#include <QObject>

#include <map>
#include <memory>
#include <vector>

// The receiver for the windows: watches are started and ended on the GUI
// thread, and each watch's figures arrive there once a second through a
// queued call, so the event loop never waits for the network. The worker
// thread starts with the first watch.
class CReceptionService final : public QObject {
    Q_OBJECT
public:
    explicit CReceptionService(const CReceiverOptions& options, QObject* parent = nullptr);
    ~CReceptionService() override;

    int Watch(const CReceptionPlan& plan);
    void Unwatch(int id);
    // The newest figures of a watch; null before its first report.
    const CSessionFigures* Latest(int id) const;
    // The newest figures of every watch that has reported.
    std::vector<const CSessionFigures*> AllLatest() const;
    size_t JoinedGroups() const { return m_receiver ? m_receiver->JoinedGroups() : 0; }
    const CReceiverOptions& Options() const { return m_options; }

signals:
    // New figures of a watch are in Latest(id).
    void FiguresArrived(int id);

private:
    void Take(const CSessionFigures& figures);

    CReceiverOptions m_options;
    std::map<int, std::unique_ptr<CSessionFigures>> m_latest; // every live watch, figures or not
    std::unique_ptr<CReceiver> m_receiver;
};
