#pragma once
#include <QSortFilterProxyModel>

class CSessionListModel;

// Hides the rows that fail the time filter or the search text and orders
// the rest by one of the ten orderings of the list rules. Starts with name
// ascending.
class CSessionSortFilter final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CSessionSortFilter(CSessionListModel& source, QObject* parent = nullptr);

    int SortMode() const { return m_sortMode; }
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

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    bool MatchesSearch(int sourceRow) const;

    CSessionListModel& m_source;
    int m_sortMode = 0;
    QString m_search;
};
