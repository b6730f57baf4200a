#include "views/SessionSortFilter.h"

#include "directory/SessionListRules.h"
#include "sdp/SDPObject.h"
#include "views/DisplayText.h"
#include "views/SessionListModel.h"

namespace {
// The ascending and the descending mode of a column.
int UpMode(int column)
{
    return listrules::ToggleSort(0, column);
}
int DownMode(int column)
{
    return listrules::ToggleSort(UpMode(column), column);
}
} // namespace

CSessionSortFilter::CSessionSortFilter(CSessionListModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source)
{
    setSourceModel(&source);
    setDynamicSortFilter(true);
    SetSortMode(listrules::kSortNameUp);
}

void CSessionSortFilter::SetSortMode(int mode)
{
    m_sortMode = mode;
    // Qt runs the descending orders itself; lessThan always compares with
    // the column's ascending mode.
    QSortFilterProxyModel::sort(listrules::SortColumn(mode),
                                listrules::SortAscending(mode) ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CSessionSortFilter::ToggleSort(int column)
{
    SetSortMode(listrules::ToggleSort(m_sortMode, column));
}

void CSessionSortFilter::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= listrules::kColumnCount)
        return;
    SetSortMode(order == Qt::AscendingOrder ? UpMode(column) : DownMode(column));
}

void CSessionSortFilter::SetSearchText(const QString& text)
{
    if (text == m_search)
        return;
    m_search = text;
    invalidateFilter();
}

bool CSessionSortFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return m_source.Passes(sourceRow) && (m_search.isEmpty() || MatchesSearch(sourceRow));
}

bool CSessionSortFilter::MatchesSearch(int sourceRow) const
{
    const auto holds = [&](const std::string& bytes) { return DisplayText(bytes).contains(m_search, Qt::CaseInsensitive); };
    const listrules::CRow& row = m_source.RowData(sourceRow);
    if (holds(row.name) || holds(row.info))
        return true;
    const auto record = m_source.RecordAt(sourceRow);
    CRecordLock lock(*record);
    if (!lock.ok())
        return false;
    for (const CSDPMedia& m : record->media)
        if (holds(m.address) || holds(m.connectionAddress))
            return true;
    return false;
}

bool CSessionSortFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    return listrules::CompareRows(m_source.RowData(left.row()), m_source.RowData(right.row()),
                                  UpMode(listrules::SortColumn(m_sortMode))) < 0;
}
