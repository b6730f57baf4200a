#pragma once
#include <QObject>

#include <memory>

class CMainFrame;
class CReceptionService;
class CSDPObject;
struct CSessionFigures;
class QAction;

// The session list's Reception column: View > Reception Column shows it,
// and while it shows, the current row's session is watched and its cell
// says what arrives, once a second. Another row, another directory or
// hiding the column ends that watch.
class CReceptionColumn final : public QObject {
    Q_OBJECT
public:
    CReceptionColumn(CMainFrame& window, CReceptionService& service);
    ~CReceptionColumn() override;

    QAction* Action() const { return m_action; }
    // The session watched; null when none.
    const CSDPObject* Watched() const { return m_record.get(); }

private:
    void SetShown(bool shown);
    void Follow();
    void Stop();
    void Update(int id);

    CMainFrame& m_window;
    CReceptionService& m_service;
    QAction* m_action = nullptr;
    std::shared_ptr<CSDPObject> m_record; // kept while its cell is set
    int m_takenFromInfo = 0;              // the Info column's width lent to this one
    int m_watch = 0;
};

// The worst state of a watch's media entries (EReceptionState's number):
// silent before impaired before receiving.
int WorstReceptionState(const CSessionFigures& figures);
