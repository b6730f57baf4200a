#pragma once
#include "directory/SessionListRules.h"
#include "views/SessionSearch.h"

#include <QAbstractProxyModel>

#include <vector>

class CSessionListModel;

// Hides the rows that fail the time filter or the search text and orders
// the rest by one of the ten orderings of the list rules. Starts with name
// ascending; rows that compare equal keep the list's order.
//
// Rows arrive in runs (the list applies a flood of new sessions as one
// insertion): a run is sorted on its own and merged into the shown rows in
// one pass, and the views hear one layout change for it, so a run of k rows
// into n costs about n + k log k comparisons, not a re-sort or a signal and
// a shift of the whole mapping per row. Single rows come and go as row
// insertions and removals.
class CSessionSortFilter final : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit CSessionSortFilter(CSessionListModel& source, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    // Every row the same, without asking the list: a view lays out all
    // rows after each change and asks each one.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

    int SortMode() const { return m_sortMode; }
    int sortColumn() const;
    Qt::SortOrder sortOrder() const;
    // Orders the rows by a mode (1..10) at once.
    void SetSortMode(int mode);
    // A header click or an Arrange Sessions command for a column: its
    // ascending ordering, or the other direction when that one is active.
    void ToggleSort(int column);
    // A view's own sort request keeps the mode in step.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Rows whose name, information or a media address holds the text
    // (ignoring case) stay; an empty text keeps every row.
    void SetSearchText(const QString& text);
    const QString& SearchText() const { return m_search; }

    CSessionListModel& Source() const { return m_source; }

private:
    bool Accepts(int sourceRow) const;
    bool MatchesSearch(int sourceRow) const;
    // The order of the shown rows: the sort mode, then the list's order.
    bool Less(int leftSourceRow, int rightSourceRow) const;
    // The heads of the sort keys of every source row, or of a run of them.
    void RemakeHeads();
    void RemakeHeads(int first, int last);

    void SortRows(std::vector<int>& sourceRows) const;
    // Where a source row goes among the shown rows, at `from` or after:
    // found fastest when it is a little after `from`.
    size_t PlaceFor(int sourceRow, size_t from = 0) const;
    void RebuildPlaces(size_t from = 0);
    // Changes the shown rows inside one layout change; persistent indexes
    // follow their source rows (or go, when theirs is no longer shown).
    template <class Change>
    void Relayout(Change change);
    // Every source row looked at again (in the kept order when there is one).
    void Refilter();
    void ShowRows(std::vector<int> sourceRows);
    // Takes shown rows out, given by their places in ascending order.
    void HidePlaces(const std::vector<int>& places);
    // Merges rows sorted by Less into the shown rows.
    void MergeIn(const std::vector<int>& sortedRows);

    void OnRowsInserted(int first, int last);
    void OnRowsAboutToBeRemoved(int first, int last);
    void OnRowsRemoved(int first, int last);
    void OnDataChanged(int first, int last);

    CSessionListModel& m_source;
    int m_sortMode = 0;
    QString m_search;
    CSearchNeedle m_needle;
    // The shown rows, top to bottom, as source rows.
    std::vector<int> m_shown;
    // For each source row, its shown row; -1 when hidden.
    std::vector<int> m_placeOf;
    // For each source row, the head of its sort key (the list holds the
    // keys): placing a new row among 100,000 compares these side by side,
    // and reads a row's whole key only when two heads are equal.
    std::vector<listrules::CSortHead> m_headOf;

    // The rows that pass the time filter, in order, whatever the search:
    // while no row comes, goes or changes, a search that shows more rows
    // picks them from here rather than sorting again.
    std::vector<int> m_passOrder;
    bool m_passOrderKept = false;
    bool m_resetting = false;
};
