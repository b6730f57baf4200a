#pragma once
#include "base/ViewNotifier.h"
#include "directory/SessionListRules.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CSessionStore;
class CSessionList;

// The entries of the directory the session list shows, one row per record
// in the list's own order (row n is the list's record n), each with its
// cells read once through the list rules. Every entry has a row: whether it
// passes the time filter is a role, and CSessionSortFilter hides and orders
// the rows.
//
// The store's notices keep the rows in step: a row is inserted, removed or
// rewritten (all cells, the Media cell and the icon included) as the record
// is. New records (the store appends them) and rewrites are collected and
// applied together a moment later, from a timer: a flood of announcements
// then costs the views one insertion of a run of rows and one change per
// run of changed rows, not a signal, a re-sort and a repaint per datagram.
// A removal, or anything that reads the rows, applies what was collected
// first. Inside a walk the rewrites wait for its end, where every row's
// active state and filter are looked at again, since time alone changes them.
class CSessionListModel final : public QAbstractTableModel, public ViewNotifier {
    Q_OBJECT
public:
    // After the list's own columns: what arrives for the watched rows
    // (hidden until the user shows it).
    static constexpr int kColumnReception = listrules::kColumnCount;
    // The reference clock its media entries name (hidden until shown).
    static constexpr int kColumnClock = kColumnReception + 1;

    enum ERole {
        kRecordRole = Qt::UserRole + 1,
        kIconRole,     // listrules::IconIndex: the type's image, +8 with the Auto Start clock
        kInactiveRole, // true: the session is not on now, the row is greyed
        kPassesRole,   // true: the row passes the time filter
    };

    explicit CSessionListModel(CSessionStore& doc, QObject* parent = nullptr);
    ~CSessionListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The directory shown, null for the top level (the store's main list).
    const Record& Directory() const { return m_directory; }
    // Shows a directory's entries (null: the top level); the rows are
    // rebuilt when it is another than the one shown.
    void ShowDirectory(const Record& directory);
    // The time filter both views share (the document holds it); the rows
    // are looked at again when it changes.
    int FilterMode() const;
    void SetFilterMode(int mode);
    // Reads every row anew from the store; a command that edits one record
    // (Auto Start, properties) rewrites its row with RefreshRecord.
    void Refresh();
    void RefreshRecord(const CSDPObject& record);
    // Applies the collected new records and rewrites now rather than when
    // the timer comes.
    void ApplyPending();
    bool HasPending() const { return !m_arriving.empty() || (!m_changed.empty() && !m_walking); }
    // What a view spent laying out and painting the rows: the delay before
    // the next collected notices are applied counts it with their own cost.
    void AddViewCost(qint64 ns);

    Record RecordAt(int row) const;
    // The row of a record of the shown list; -1 when it has none.
    int RowOf(const CSDPObject& record) const;
    const listrules::CRow& RowData(int row) const { return m_rows[static_cast<size_t>(row)].row; }
    bool Passes(int row) const { return m_rows[static_cast<size_t>(row)].passes; }
    // The row's texts for the search, folded into one key (SearchKeyOf),
    // made when first asked for and again after the row changes.
    const std::string& SearchKey(int row) const;
    // The row's key for a sort mode's column (listrules::SortKeyOf), made
    // when first asked for and again after the row changes.
    const listrules::CSortKey& SortKey(int row, int sortMode) const;
    // True while some rows still wait for the key the idle loop makes ahead.
    bool SearchKeysPending() const { return m_keysFrom < m_rows.size(); }

    // The Reception cell of a record's row: a text and a state
    // (EReceptionState's number, which picks the colour); an empty text
    // clears it. ClearReception empties every cell. Whoever sets a cell keeps
    // its record alive until the cell is cleared.
    void SetReception(const CSDPObject& record, const QString& text, int state);
    void ClearReception();

    void UpdateAllViews(const CViewHint& hint) override;
    bool IsListShowing(const CSDPObject& directory) const override;
    void RecordAboutToBeAdded(const Record& directory, size_t row, const Record& record) override;
    void RecordAdded(const Record& directory, size_t row, const Record& record) override;
    void RecordAboutToBeRemoved(const Record& directory, size_t row, const Record& record) override;
    void RecordRemoved(const Record& directory, size_t row, const Record& record) override;
    void RecordChanged(const Record& directory, size_t row, const Record& record) override;
    void BeginWalk() override;
    void EndWalk() override;
    void BeginReset() override;
    void EndReset() override;

private:
    struct CEntry {
        Record record;
        listrules::CRow row;
        bool passes = false;
        // Time alone changes neither the active state nor a filter that
        // looks at the present moment only between these two instants.
        int64_t steadyFrom = 0;
        int64_t steadyUntil = -1;
        mutable std::string searchKey;
        mutable bool searchKeyMade = false;
        mutable listrules::CSortKey sortKey;
        mutable int sortKeyColumn = -1;
    };
    bool Shows(const Record& directory) const { return directory.get() == m_directory.get(); }
    // The list shown; null when the shown directory has let go of its list.
    const CSessionList* ShownList() const;
    CEntry MakeEntry(const Record& record, int64_t now) const;
    // Until when the entry's active state holds, from now on.
    void MarkSteady(CEntry& entry, int64_t now) const;
    // Narrows the span below to the entry's own.
    void KeepSteadySpan(const CEntry& entry) const;
    // Between these two instants no row's active state or filter answer
    // can change with time (the latest steadyFrom and the earliest
    // steadyUntil of the rows, or a narrower span, never a wider one): a
    // walk's end inside them need not look at the rows.
    mutable int64_t m_allSteadyFrom = 0;
    mutable int64_t m_allSteadyUntil = -1;
    // Looks at every row again: in full when `all` or the record changed in
    // the walk, else only its active state and filter (time moved on).
    void Reevaluate(bool all);
    // Appends the rows of the records the store added since the last time,
    // as one insertion.
    void ApplyArrivals();
    void ScheduleApply();
    void ApplyFromTimer();
    void DropPending();
    // One dataChanged per run of neighbouring rows (sorted, unique).
    void EmitChanged(const std::vector<int>& rows);
    void Rebuild();
    void Switch(const Record& directory);

    CSessionStore& m_doc;
    const Clock& m_clock;
    Record m_directory;
    std::vector<CEntry> m_rows;
    int m_appliedFilter = 0;
    bool m_walking = false;
    bool m_resetting = false;
    bool m_adding = false;
    // The next RecordAdded appends to m_arriving rather than to the rows.
    bool m_collecting = false;
    // Records the store appended to the shown list that have no row yet, in
    // the list's order: they follow the rows.
    std::vector<Record> m_arriving;
    QTimer m_applyTimer;
    qint64 m_viewCostNs = 0;
    // Search keys are made ahead, in short slices of the event loop a moment
    // after rows arrive or change: the first search over 100,000 rows then
    // need not make them all while the user waits.
    QTimer m_keyTimer;
    size_t m_keysFrom = 0;
    void MakeKeysLater(size_t from);
    void MakeKeysFromTimer();
    bool m_removing = false;
    // Records changed since the rows were last brought up to date (in a
    // walk: at its end).
    std::unordered_set<const CSDPObject*> m_changed;
    struct CReceptionCell {
        QString text;
        int state = 0;
    };
    std::unordered_map<const CSDPObject*, CReceptionCell> m_reception;
    void EmitReceptionChanged(const CSDPObject* record);
};
