#include "views/SessionSortFilter.h"

#include "directory/SessionListRules.h"
#include "sdp/SDPObject.h"
#include "views/SessionSearch.h"
#include "views/SessionListModel.h"

#include <algorithm>
#include <string_view>

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
// Up to this many rows come and go one by one; a run of more is merged in
// one layout change.
constexpr size_t kSingleRows = 4;
// Above this many rows a sort reads each row's key once first.
constexpr size_t kKeyedSort = 64;
} // namespace

CSessionSortFilter::CSessionSortFilter(CSessionListModel& source, QObject* parent)
    : QAbstractProxyModel(parent), m_source(source)
{
    QAbstractProxyModel::setSourceModel(&source);
    connect(&source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { OnRowsInserted(first, last); });
    connect(&source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { OnRowsAboutToBeRemoved(first, last); });
    connect(&source, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { OnRowsRemoved(first, last); });
    connect(&source, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        // The Reception cell neither orders nor filters.
        if (from.column() != CSessionListModel::kColumnReception || to.column() != CSessionListModel::kColumnReception)
            m_passOrderKept = false;
        OnDataChanged(from.row(), to.row());
    });
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_resetting = true;
        m_passOrderKept = false;
        beginResetModel();
    });
    connect(&source, &QAbstractItemModel::modelReset, this, [this] {
        RemakeHeads();
        Refilter();
        m_resetting = false;
        endResetModel();
    });
    // The list never reorders its rows; should it, everything is read again.
    connect(&source, &QAbstractItemModel::layoutChanged, this, [this] {
        m_passOrderKept = false;
        Relayout([this] {
            RemakeHeads();
            Refilter();
        });
    });
    m_sortMode = listrules::kSortNameUp;
    m_needle = SearchNeedleOf(m_search);
    RemakeHeads();
    Refilter();
}

QModelIndex CSessionSortFilter::index(int row, int column, const QModelIndex& parent) const
{
    // Asked for every row at each layout of a view: the sizes are read here
    // rather than through the virtual counts.
    if (parent.isValid() || row < 0 || column < 0 || static_cast<size_t>(row) >= m_shown.size()
        || column > CSessionListModel::kColumnClock)
        return {};
    return createIndex(row, column);
}

QModelIndex CSessionSortFilter::parent(const QModelIndex&) const
{
    return {};
}

QModelIndex CSessionSortFilter::sibling(int row, int column, const QModelIndex&) const
{
    return index(row, column);
}

int CSessionSortFilter::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int CSessionSortFilter::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_source.columnCount();
}

bool CSessionSortFilter::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_shown.empty();
}

Qt::ItemFlags CSessionSortFilter::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

QModelIndex CSessionSortFilter::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this || proxyIndex.row() >= rowCount())
        return {};
    return m_source.index(m_shown[static_cast<size_t>(proxyIndex.row())], proxyIndex.column());
}

QModelIndex CSessionSortFilter::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != &m_source
        || static_cast<size_t>(sourceIndex.row()) >= m_placeOf.size())
        return {};
    const int row = m_placeOf[static_cast<size_t>(sourceIndex.row())];
    return row < 0 ? QModelIndex() : index(row, sourceIndex.column());
}

int CSessionSortFilter::sortColumn() const
{
    return listrules::SortColumn(m_sortMode);
}

Qt::SortOrder CSessionSortFilter::sortOrder() const
{
    return listrules::SortAscending(m_sortMode) ? Qt::AscendingOrder : Qt::DescendingOrder;
}

void CSessionSortFilter::SetSortMode(int mode)
{
    m_sortMode = mode;
    m_passOrderKept = false;
    Relayout([this] {
        RemakeHeads();
        SortRows(m_shown);
        RebuildPlaces();
        if (m_search.isEmpty()) {
            m_passOrder = m_shown;
            m_passOrderKept = true;
        }
    });
}

void CSessionSortFilter::ToggleSort(int column)
{
    if (column < 0 || column >= listrules::kColumnCount)
        return; // the Reception column does not sort
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
    CSearchNeedle needle = SearchNeedleOf(text);
    // A search that holds the one before keeps a part of the rows shown,
    // in their order: typing on needs no sort.
    const bool narrower = m_needle.usable && needle.usable && needle.folded.find(m_needle.folded) != std::string::npos;
    m_search = text;
    m_needle = std::move(needle);
    Relayout([this, narrower] {
        if (!narrower)
            return Refilter();
        std::erase_if(m_shown, [this](int row) { return !Accepts(row); });
        RebuildPlaces();
    });
}

bool CSessionSortFilter::Accepts(int sourceRow) const
{
    return m_source.Passes(sourceRow) && (m_search.isEmpty() || MatchesSearch(sourceRow));
}

bool CSessionSortFilter::MatchesSearch(int sourceRow) const
{
    if (m_needle.usable)
        return HoldsNeedle(m_source.SearchKey(sourceRow), m_needle);
    const auto record = m_source.RecordAt(sourceRow);
    CRecordLock lock(*record);
    return lock.ok() && ::MatchesSearch(SearchTextsOf(m_source.RowData(sourceRow), *record), m_search);
}

bool CSessionSortFilter::Less(int left, int right) const
{
    int compared = listrules::CompareHeads(m_headOf[static_cast<size_t>(left)], m_headOf[static_cast<size_t>(right)]);
    if (compared == listrules::kNeedTexts)
        compared = listrules::CompareKeys(m_source.SortKey(left, m_sortMode), m_source.SortKey(right, m_sortMode));
    return listrules::ShownBefore(compared, left, right, m_sortMode);
}

void CSessionSortFilter::RemakeHeads()
{
    m_headOf.resize(static_cast<size_t>(m_source.rowCount()));
    RemakeHeads(0, m_source.rowCount() - 1);
}

void CSessionSortFilter::RemakeHeads(int first, int last)
{
    for (int row = first; row <= last; ++row)
        m_headOf[static_cast<size_t>(row)] = m_source.SortKey(row, m_sortMode).head;
}

void CSessionSortFilter::SortRows(std::vector<int>& sourceRows) const
{
    if (sourceRows.size() <= kKeyedSort) {
        std::sort(sourceRows.begin(), sourceRows.end(), [this](int a, int b) { return Less(a, b); });
        return;
    }
    // Many rows are sorted on their heads side by side, with where their
    // texts are for heads that agree.
    struct CHeaded {
        listrules::CSortHead head;
        std::string_view text;
        int row;
    };
    std::vector<CHeaded> heads;
    heads.reserve(sourceRows.size());
    for (int row : sourceRows)
        heads.push_back({m_headOf[static_cast<size_t>(row)], m_source.SortKey(row, m_sortMode).text, row});
    std::sort(heads.begin(), heads.end(), [mode = m_sortMode](const CHeaded& a, const CHeaded& b) {
        return listrules::ShownBefore(listrules::CompareKeys(a.head, a.text, b.head, b.text), a.row, b.row, mode);
    });
    for (size_t i = 0; i < heads.size(); ++i)
        sourceRows[i] = heads[i].row;
}

void CSessionSortFilter::RebuildPlaces(size_t from)
{
    if (from == 0)
        std::fill(m_placeOf.begin(), m_placeOf.end(), -1);
    for (size_t i = from; i < m_shown.size(); ++i)
        m_placeOf[static_cast<size_t>(m_shown[i])] = static_cast<int>(i);
}

template <class Change>
void CSessionSortFilter::Relayout(Change change)
{
    if (m_resetting) {
        change();
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sources;
    sources.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before)
        sources.push_back(index.row() < rowCount() ? m_shown[static_cast<size_t>(index.row())] : -1);
    change();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int source = sources[static_cast<size_t>(i)];
        const int row = source >= 0 && static_cast<size_t>(source) < m_placeOf.size()
            ? m_placeOf[static_cast<size_t>(source)] : -1;
        after.push_back(row >= 0 ? index(row, before[i].column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CSessionSortFilter::Refilter()
{
    m_placeOf.assign(static_cast<size_t>(m_source.rowCount()), -1);
    if (!m_passOrderKept) {
        m_passOrder.clear();
        for (int row = 0; row < m_source.rowCount(); ++row)
            if (m_source.Passes(row))
                m_passOrder.push_back(row);
        SortRows(m_passOrder);
        m_passOrderKept = true;
    }
    m_shown.clear();
    for (int row : m_passOrder)
        if (m_search.isEmpty() || MatchesSearch(row))
            m_shown.push_back(row);
    RebuildPlaces();
}

size_t CSessionSortFilter::PlaceFor(int sourceRow, size_t from) const
{
    // Steps of 1, 2, 4, ... until a shown row goes after it, then a binary
    // search inside the last step: about 2 log2(d) comparisons for a place d
    // rows on, all near the place before.
    size_t below = from, step = 1;
    while (below < m_shown.size() && Less(m_shown[below], sourceRow)) {
        from = below + 1;
        below += step;
        step *= 2;
    }
    const auto first = m_shown.begin() + static_cast<long>(from);
    const auto last = m_shown.begin() + static_cast<long>(std::min(below, m_shown.size()));
    return static_cast<size_t>(std::lower_bound(first, last, sourceRow, [this](int shown, int row) {
                                   return Less(shown, row);
                               }) - m_shown.begin());
}

// A few new rows among many: each is placed by a search onwards from where
// the one before went, and the shown rows between are copied as blocks, so
// the comparisons grow with the new rows, not with the list.
void CSessionSortFilter::MergeIn(const std::vector<int>& sortedRows)
{
    std::vector<int> merged;
    merged.reserve(m_shown.size() + sortedRows.size());
    size_t from = 0;
    for (int row : sortedRows) {
        const size_t at = PlaceFor(row, from);
        merged.insert(merged.end(), m_shown.begin() + static_cast<long>(from), m_shown.begin() + static_cast<long>(at));
        merged.push_back(row);
        from = at;
    }
    merged.insert(merged.end(), m_shown.begin() + static_cast<long>(from), m_shown.end());
    m_shown = std::move(merged);
}

// Sorted on their own, then merged with the shown rows in one pass.
void CSessionSortFilter::ShowRows(std::vector<int> rows)
{
    if (rows.empty())
        return;
    SortRows(rows);
    if (rows.size() <= kSingleRows) {
        for (int row : rows) {
            const size_t at = PlaceFor(row);
            beginInsertRows({}, static_cast<int>(at), static_cast<int>(at));
            m_shown.insert(m_shown.begin() + static_cast<long>(at), row);
            RebuildPlaces(at);
            endInsertRows();
        }
        return;
    }
    Relayout([&] {
        MergeIn(rows);
        RebuildPlaces();
    });
}

void CSessionSortFilter::OnRowsInserted(int first, int last)
{
    m_passOrderKept = false;
    const int count = last - first + 1;
    // The rows after the new ones moved down in the source.
    if (static_cast<size_t>(first) < m_placeOf.size())
        for (int& row : m_shown)
            if (row >= first)
                row += count;
    m_placeOf.insert(m_placeOf.begin() + first, static_cast<size_t>(count), -1);
    m_headOf.insert(m_headOf.begin() + first, static_cast<size_t>(count), {});
    RemakeHeads(first, last);
    if (static_cast<size_t>(first) + static_cast<size_t>(count) < m_placeOf.size())
        RebuildPlaces();
    std::vector<int> accepted;
    for (int row = first; row <= last; ++row)
        if (Accepts(row))
            accepted.push_back(row);
    ShowRows(std::move(accepted));
}

void CSessionSortFilter::OnRowsAboutToBeRemoved(int first, int last)
{
    m_passOrderKept = false;
    std::vector<int> places;
    for (int row = first; row <= last && static_cast<size_t>(row) < m_placeOf.size(); ++row)
        if (m_placeOf[static_cast<size_t>(row)] >= 0)
            places.push_back(m_placeOf[static_cast<size_t>(row)]);
    std::sort(places.begin(), places.end());
    HidePlaces(places);
}

// A few go one by one; more go in one layout change.
void CSessionSortFilter::HidePlaces(const std::vector<int>& places)
{
    const auto forget = [&](int place) {
        m_placeOf[static_cast<size_t>(m_shown[static_cast<size_t>(place)])] = -1;
        m_shown.erase(m_shown.begin() + place);
    };
    if (places.size() <= kSingleRows) {
        for (auto it = places.rbegin(); it != places.rend(); ++it) {
            beginRemoveRows({}, *it, *it);
            forget(*it);
            RebuildPlaces(static_cast<size_t>(*it));
            endRemoveRows();
        }
        return;
    }
    Relayout([&] {
        for (auto it = places.rbegin(); it != places.rend(); ++it)
            forget(*it);
        RebuildPlaces();
    });
}

void CSessionSortFilter::OnRowsRemoved(int first, int last)
{
    const int count = last - first + 1;
    for (int& row : m_shown)
        if (row > last)
            row -= count;
    m_placeOf.erase(m_placeOf.begin() + first, m_placeOf.begin() + last + 1);
    m_headOf.erase(m_headOf.begin() + first, m_headOf.begin() + last + 1);
    RebuildPlaces();
}

void CSessionSortFilter::OnDataChanged(int first, int last)
{
    RemakeHeads(first, last);
    // Rows that now pass or fail, and shown rows whose ordering changed.
    std::vector<int> show, hide, moved;
    int changedFrom = rowCount(), changedTo = -1;
    for (int row = first; row <= last; ++row) {
        const int place = m_placeOf[static_cast<size_t>(row)];
        const bool accepted = Accepts(row);
        if (place < 0) {
            if (accepted)
                show.push_back(row);
            continue;
        }
        if (!accepted) {
            hide.push_back(place);
            continue;
        }
        const bool inOrder = (place == 0 || Less(m_shown[static_cast<size_t>(place) - 1], row))
            && (place + 1 == rowCount() || Less(row, m_shown[static_cast<size_t>(place) + 1]));
        if (!inOrder)
            moved.push_back(row);
        changedFrom = std::min(changedFrom, place);
        changedTo = std::max(changedTo, place);
    }
    if (!moved.empty() || hide.size() + show.size() > kSingleRows) {
        // One layout change: the views read every row again.
        Relayout([&] {
            // The hidden and the moved rows leave; the moved and the newly
            // shown ones are placed again.
            std::vector<char> leaves(static_cast<size_t>(last - first + 1), 0);
            for (int place : hide)
                leaves[static_cast<size_t>(m_shown[static_cast<size_t>(place)] - first)] = 1;
            for (int row : moved)
                leaves[static_cast<size_t>(row - first)] = 1;
            std::erase_if(m_shown, [&](int row) {
                return row >= first && row <= last && leaves[static_cast<size_t>(row - first)];
            });
            std::vector<int> placed = show;
            placed.insert(placed.end(), moved.begin(), moved.end());
            SortRows(placed);
            MergeIn(placed);
            RebuildPlaces();
        });
        return;
    }
    // The rows that stay in place: one signal over all of them (their texts
    // may all have changed; a view repaints what it shows of the range).
    if (changedTo >= 0)
        emit dataChanged(index(changedFrom, 0), index(changedTo, columnCount() - 1));
    // Few enough here to go one by one.
    std::sort(hide.begin(), hide.end());
    HidePlaces(hide);
    ShowRows(std::move(show));
}
