#pragma once
#include "base/ViewNotifier.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class Clock;
class CSessionStore;
class CSessionList;
class CWebState;
struct CWebDirectory;
struct CWebSession;

// The web server's view of the store, on the main thread: follows the
// store's notices like the window's models do, and a moment after a change
// (or at once with Flush) publishes a fresh snapshot and one event per
// session that was added, changed or removed. Records are only read here;
// HTTP threads see the snapshots alone.
//
// Time alone changes a row's active state and the time filters it passes:
// after each walk the rows whose answers may have turned (one of its times
// began or ended, or the day did) are looked at again. A publication that
// only rebuilds rows walks the store only when one of them really changed,
// so an idle directory costs next to nothing however large.
class CWebPublisher final : public QObject, public ViewNotifier {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 150;

    CWebPublisher(CSessionStore& doc, const Clock& clock, CWebState& state, QObject* parent = nullptr);
    ~CWebPublisher() override;

    // Publishes what changed now.
    void Flush();
    size_t SessionCount() const { return m_entries.size(); }
    // The id a record is served by; empty while it is not published.
    std::string IdOf(const CSDPObject* record) const;
    // Each published record with its id (the store's records: the caller
    // is on the main thread, as the store is).
    void ForEachRecord(const std::function<void(CSDPObject& record, const std::string& id)>& visit) const;
    // Rows made so far (each addition, change or time turn makes one).
    uint64_t RowsBuilt() const { return m_built; }

    void UpdateAllViews(const CViewHint&) override { Structure(); }
    bool IsListShowing(const CSDPObject&) const override { return false; }
    void RecordAdded(const Record& directory, size_t row, const Record& record) override;
    void RecordRemoved(const Record& directory, size_t row, const Record& record) override;
    void RecordChanged(const Record& directory, size_t row, const Record& record) override;
    void EndWalk() override;
    void EndReset() override;

private:
    struct CEntry {
        std::shared_ptr<const CWebSession> shown;
        int64_t steadyUntil = -1;
        bool seen = false;
    };
    void Touch();
    void Structure();
    void MarkDirty(const CSDPObject* record);
    bool RefreshDirty(struct CPublishRun& run);
    std::shared_ptr<const CWebSession> Build(CSDPObject& record, const std::string& id, const std::string& directoryId,
                                             int64_t now, int64_t& steadyUntil);
    std::string IdFor(CSDPObject& record, const std::string& directoryId);
    void Walk(const CSessionList& list, CWebDirectory& into, const std::string& directoryId, int64_t now,
              struct CPublishRun& run);

    CSessionStore& m_doc;
    const Clock& m_clock;
    CWebState& m_state;
    QTimer m_timer;
    std::unordered_map<const CSDPObject*, CEntry> m_entries;
    // When rows are due to be looked at again, soonest first; a row made
    // again since leaves a stale item that is passed over.
    std::priority_queue<std::pair<int64_t, const CSDPObject*>, std::vector<std::pair<int64_t, const CSDPObject*>>,
                        std::greater<>>
        m_due;
    std::unordered_set<const CSDPObject*> m_dirty;
    std::unordered_set<std::string> m_ids;
    bool m_all = true;
    bool m_structure = true; // rows came, went or moved: the next publication walks the store
    uint64_t m_built = 0;
};
