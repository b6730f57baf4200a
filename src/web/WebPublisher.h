#pragma once
#include "base/ViewNotifier.h"

#include <QTimer>

#include <cstdint>
#include <memory>
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
// after each walk the rows whose answer may have turned are looked at
// again, and a round of every row runs over kRecheckWalks walks.
class CWebPublisher final : public QObject, public ViewNotifier {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 150;
    static constexpr int kRecheckWalks = 30;

    CWebPublisher(CSessionStore& doc, const Clock& clock, CWebState& state, QObject* parent = nullptr);
    ~CWebPublisher() override;

    // Publishes what changed now.
    void Flush();
    size_t SessionCount() const { return m_entries.size(); }

    void UpdateAllViews(const CViewHint&) override { Touch(); }
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
    void MarkDirty(const CSDPObject* record);
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
    std::unordered_set<const CSDPObject*> m_dirty;
    std::unordered_set<std::string> m_ids;
    bool m_all = true;
    uint64_t m_walks = 0;
};
