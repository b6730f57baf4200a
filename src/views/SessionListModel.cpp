#include "views/SessionListModel.h"

#include "base/Clock.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"
#include "sdp/StudioAttributes.h"
#include "sdp/SessionList.h"
#include "views/DisplayText.h"
#include "views/SessionSearch.h"

#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace {
// Above this share of changed rows one dataChanged for all of them is
// cheaper for the views than one per run of neighbouring rows.
bool MostChanged(size_t changed, size_t rows)
{
    return changed > 64 && changed * 2 > rows;
}
// How long collected notices wait at least; longer when applying the last
// ones and showing them (the views' layout and painting) cost more, so the
// views take about a twentieth of the time at most, and a new session still
// shows well within a second. (A tenth cost a flood of 2,000 new sessions a
// second a fifth of a core in the window; gathering twice as long is not
// seen, the rows come in chunks of 60 ms rather than 30.)
constexpr int kApplyDelayMs = 20;
constexpr int kMaxApplyDelayMs = 400;
constexpr int kApplyCostShare = 20;
// Search keys: how long after a change they are made, and the
// longest slice of the event loop one go takes.
constexpr int kKeysQuietMs = 300;
constexpr qint64 kKeysSliceNs = 2'000'000;
} // namespace

CSessionListModel::CSessionListModel(CSessionStore& doc, QObject* parent)
    : QAbstractTableModel(parent), m_doc(doc), m_clock(doc.Ports().clock)
{
    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(kApplyDelayMs);
    connect(&m_applyTimer, &QTimer::timeout, this, &CSessionListModel::ApplyFromTimer);
    m_keyTimer.setSingleShot(true);
    connect(&m_keyTimer, &QTimer::timeout, this, &CSessionListModel::MakeKeysFromTimer);
    Rebuild();
}

CSessionListModel::~CSessionListModel() = default;

int CSessionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CSessionListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnClock + 1;
}

QVariant CSessionListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CEntry& entry = m_rows[static_cast<size_t>(index.row())];
    const listrules::CRow& row = entry.row;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case listrules::kColumnSession:
            return NameText(row.name);
        case listrules::kColumnInfo:
            return DisplayText(row.info);
        case listrules::kColumnStart:
            return DisplayText(row.start);
        case listrules::kColumnType:
            return DisplayText(row.type);
        case listrules::kColumnMedia:
            return DisplayText(row.media);
        case kColumnReception: {
            const auto found = m_reception.find(entry.record.get());
            return found == m_reception.end() ? QVariant() : QVariant(found->second.text);
        }
        case kColumnClock: {
            // Read when painted: only a shown column asks, for the rows in view.
            QStringList clocks;
            for (const CSDPMedia& m : entry.record->media) {
                const QString clock = DisplayText(StudioClockText(ReadStudioAttributes(*entry.record, m)));
                if (!clock.isEmpty() && !clocks.contains(clock))
                    clocks << clock;
            }
            return clocks.isEmpty() ? QVariant() : QVariant(clocks.join("; "));
        }
        default:
            return {};
        }
    case Qt::ToolTipRole: {
        if (index.column() != listrules::kColumnMedia)
            return {};
        // The format of each media entry that names one, a line each.
        QStringList lines;
        for (const CSDPMedia& m : entry.record->media) {
            const std::string format = StudioFormatText(ReadStudioAttributes(*entry.record, m));
            if (!format.empty())
                lines << DisplayText(m.media) + ": " + DisplayText(format);
        }
        return lines.isEmpty() ? QVariant() : QVariant(lines.join('\n'));
    }
    case Qt::ForegroundRole: {
        if (index.column() == listrules::kColumnSession && row.name.empty())
            return QColor(Qt::gray); // the stand-in for no name
        if (index.column() != kColumnReception)
            return {};
        const auto found = m_reception.find(entry.record.get());
        if (found == m_reception.end())
            return {};
        // Receiving, impaired, silent, not watched (the reception states in order).
        static const QColor colours[] = {QColor(0x1B, 0x7F, 0x2A), QColor(0xB3, 0x6B, 0x00), QColor(0xB0, 0x1E, 0x1E),
                                         QColor(0x70, 0x70, 0x70)};
        const int state = found->second.state;
        return state >= 0 && state < 4 ? QVariant(colours[state]) : QVariant();
    }
    case kRecordRole:
        return QVariant::fromValue(entry.record);
    case kIconRole:
        return row.icon;
    case kInactiveRole:
        return !row.activeNow;
    case kPassesRole:
        return entry.passes;
    default:
        return {};
    }
}

QVariant CSessionListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > kColumnClock)
        return {};
    if (section == kColumnReception)
        return QStringLiteral("Reception");
    if (section == kColumnClock)
        return QStringLiteral("Clock");
    return QString::fromLatin1(listrules::ColumnTitle(section));
}

void CSessionListModel::SetReception(const CSDPObject& record, const QString& text, int state)
{
    if (text.isEmpty())
        m_reception.erase(&record);
    else
        m_reception[&record] = {text, state};
    EmitReceptionChanged(&record);
}

void CSessionListModel::ClearReception()
{
    std::vector<const CSDPObject*> records;
    for (const auto& [record, cell] : m_reception)
        records.push_back(record);
    m_reception.clear();
    for (const CSDPObject* record : records)
        EmitReceptionChanged(record);
}

void CSessionListModel::EmitReceptionChanged(const CSDPObject* record)
{
    const int row = RowOf(*record);
    if (row >= 0)
        emit dataChanged(index(row, kColumnReception), index(row, kColumnReception));
}

void CSessionListModel::ShowDirectory(const Record& directory)
{
    if (Shows(directory))
        Refresh();
    else
        Switch(directory);
}

int CSessionListModel::FilterMode() const
{
    return m_doc.filterMode;
}

void CSessionListModel::SetFilterMode(int mode)
{
    if (m_doc.filterMode == mode)
        return;
    m_doc.filterMode = mode;
    Reevaluate(false);
}

void CSessionListModel::Refresh()
{
    Reevaluate(true);
}

void CSessionListModel::RefreshRecord(const CSDPObject& record)
{
    const int row = RowOf(record);
    if (row < 0)
        return;
    m_rows[static_cast<size_t>(row)] = MakeEntry(m_rows[static_cast<size_t>(row)].record, m_clock.Now());
    MakeKeysLater(static_cast<size_t>(row));
    EmitChanged({row});
}

void CSessionListModel::ApplyPending()
{
    m_applyTimer.stop();
    if (m_resetting)
        return;
    ApplyArrivals();
    if (m_walking || m_changed.empty())
        return;
    const int64_t now = m_clock.Now();
    std::vector<int> changed;
    for (const CSDPObject* record : m_changed) {
        const int row = RowOf(*record);
        if (row < 0)
            continue;
        CEntry& entry = m_rows[static_cast<size_t>(row)];
        CEntry fresh = MakeEntry(entry.record, now);
        if (fresh.row != entry.row || fresh.passes != entry.passes)
            changed.push_back(row);
        entry = std::move(fresh);
        MakeKeysLater(static_cast<size_t>(row));
    }
    m_changed.clear();
    std::sort(changed.begin(), changed.end());
    EmitChanged(changed);
}

void CSessionListModel::ApplyArrivals()
{
    if (m_arriving.empty())
        return;
    const int64_t now = m_clock.Now();
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(m_arriving.size()) - 1);
    for (const Record& record : m_arriving)
        m_rows.push_back(MakeEntry(record, now));
    m_arriving.clear();
    endInsertRows();
    MakeKeysLater(static_cast<size_t>(first));
}

void CSessionListModel::ScheduleApply()
{
    // Without an event loop (a program that never runs one) nothing would
    // ever come: whoever reads the rows applies them.
    if (!m_applyTimer.isActive() && QCoreApplication::instance())
        m_applyTimer.start();
}

void CSessionListModel::ApplyFromTimer()
{
    QElapsedTimer cost;
    cost.start();
    ApplyPending();
    const qint64 ns = cost.nsecsElapsed() + std::exchange(m_viewCostNs, 0);
    const auto ms = static_cast<int>(std::min<qint64>(ns / 1'000'000, kMaxApplyDelayMs));
    m_applyTimer.setInterval(std::clamp(ms * kApplyCostShare, kApplyDelayMs, kMaxApplyDelayMs));
}

void CSessionListModel::AddViewCost(qint64 ns)
{
    m_viewCostNs += ns;
}

void CSessionListModel::DropPending()
{
    m_applyTimer.stop();
    m_arriving.clear();
    m_changed.clear();
    m_collecting = false;
}

const std::string& CSessionListModel::SearchKey(int row) const
{
    const CEntry& entry = m_rows[static_cast<size_t>(row)];
    if (!entry.searchKeyMade) {
        CRecordLock lock(*entry.record);
        entry.searchKey = lock.ok() ? SearchKeyOf(entry.row, *entry.record) : std::string();
        entry.searchKeyMade = lock.ok();
    }
    return entry.searchKey;
}

const listrules::CSortKey& CSessionListModel::SortKey(int row, int sortMode) const
{
    const CEntry& entry = m_rows[static_cast<size_t>(row)];
    const int column = listrules::SortColumn(sortMode);
    if (entry.sortKeyColumn != column) {
        entry.sortKey = listrules::SortKeyOf(entry.row, sortMode);
        entry.sortKeyColumn = column;
    }
    return entry.sortKey;
}

void CSessionListModel::MakeKeysLater(size_t from)
{
    // Rows from m_keysFrom on may lack their key. The timer is not put off
    // by later changes: a flood that never stops still gets its keys.
    m_keysFrom = std::min(m_keysFrom, from);
    if (m_keysFrom < m_rows.size() && !m_keyTimer.isActive() && QCoreApplication::instance())
        m_keyTimer.start(kKeysQuietMs);
}

void CSessionListModel::MakeKeysFromTimer()
{
    QElapsedTimer slice;
    slice.start();
    while (m_keysFrom < m_rows.size()) {
        SearchKey(static_cast<int>(m_keysFrom++));
        if ((m_keysFrom & 63) == 0 && slice.nsecsElapsed() > kKeysSliceNs) {
            m_keyTimer.start(0);
            return;
        }
    }
}

ViewNotifier::Record CSessionListModel::RecordAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<size_t>(row)].record : nullptr;
}

int CSessionListModel::RowOf(const CSDPObject& record) const
{
    // The store keeps a position index per list: rows are list positions.
    const CSessionList* list = ShownList();
    const long row = list ? list->IndexOf(record) : -1;
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size() || m_rows[static_cast<size_t>(row)].record.get() != &record)
        return -1;
    return static_cast<int>(row);
}

const CSessionList* CSessionListModel::ShownList() const
{
    return m_directory ? m_directory->links->children.get() : &m_doc.MainList();
}

CSessionListModel::CEntry CSessionListModel::MakeEntry(const Record& record, int64_t now) const
{
    CEntry entry;
    entry.record = record;
    if (auto row = listrules::MakeRow(*record, now, m_clock)) {
        entry.row = std::move(*row);
        entry.passes = listrules::PassesFilter(*record, m_doc.filterMode, now, m_clock);
        MarkSteady(entry, now);
    } else {
        KeepSteadySpan(entry); // never steady
    }
    return entry;
}

void CSessionListModel::MarkSteady(CEntry& entry, int64_t now) const
{
    CRecordLock lock(*entry.record);
    entry.steadyFrom = now;
    entry.steadyUntil = lock.ok() ? NowAnswerHoldsUntil(entry.record->times, now) : now - 1;
    KeepSteadySpan(entry);
}

void CSessionListModel::KeepSteadySpan(const CEntry& entry) const
{
    m_allSteadyFrom = std::max(m_allSteadyFrom, entry.steadyFrom);
    m_allSteadyUntil = std::min(m_allSteadyUntil, entry.steadyUntil);
}

void CSessionListModel::Reevaluate(bool all)
{
    if (m_resetting)
        return;
    ApplyArrivals();
    // All and Current look at the present moment only (or not at time at
    // all): under the filter they were worked out with, a row that time
    // alone cannot have changed is skipped, so the walk's end costs next to
    // nothing while nothing starts or ends.
    const bool maySkip = m_appliedFilter == m_doc.filterMode
        && (m_doc.filterMode < listrules::kFilterToday || m_doc.filterMode > listrules::kFilterThisMonth);
    m_appliedFilter = m_doc.filterMode;
    const int64_t now = m_clock.Now();
    std::vector<int> changed;
    const auto remake = [&](size_t i) {
        CEntry fresh = MakeEntry(m_rows[i].record, now);
        if (fresh.row != m_rows[i].row || fresh.passes != m_rows[i].passes)
            changed.push_back(static_cast<int>(i));
        m_rows[i] = std::move(fresh);
        MakeKeysLater(i);
    };
    // The records the walk changed are found through the store's index:
    // one change does not cost a look-up per row.
    if (!all)
        for (const CSDPObject* record : m_changed)
            if (const int row = RowOf(*record); row >= 0)
                remake(static_cast<size_t>(row));
    // Most walks end with no session starting or ending, and then no row
    // is read at all. Otherwise the bounds are worked out again from every
    // row, steady or not.
    const bool allSteady = !all && maySkip && m_allSteadyFrom <= now && now <= m_allSteadyUntil;
    if (!allSteady) {
        m_allSteadyFrom = std::numeric_limits<int64_t>::min();
        m_allSteadyUntil = std::numeric_limits<int64_t>::max();
    }
    for (size_t i = 0; i < m_rows.size() && !allSteady; ++i) {
        if (all) {
            remake(i);
            continue;
        }
        CEntry& entry = m_rows[i];
        if (maySkip && entry.steadyFrom <= now && now <= entry.steadyUntil) {
            KeepSteadySpan(entry);
            continue;
        }
        // Time alone moves a session into or out of its period.
        CSDPObject& record = *entry.record;
        const bool active = IsInPeriod(record, kPeriodNow, now, m_clock);
        const bool passes = listrules::PassesFilter(record, m_doc.filterMode, now, m_clock);
        MarkSteady(entry, now);
        if (active != entry.row.activeNow || passes != entry.passes) {
            entry.row.activeNow = active;
            entry.passes = passes;
            changed.push_back(static_cast<int>(i));
        }
    }
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    m_changed.clear();
    EmitChanged(changed);
}

void CSessionListModel::EmitChanged(const std::vector<int>& rows)
{
    if (rows.empty())
        return;
    const int last = kColumnClock;
    if (MostChanged(rows.size(), m_rows.size())) {
        emit dataChanged(index(rows.front(), 0), index(rows.back(), last));
        return;
    }
    for (size_t i = 0; i < rows.size();) {
        size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        emit dataChanged(index(rows[i], 0), index(rows[end - 1], last));
        i = end;
    }
}

void CSessionListModel::Rebuild()
{
    m_rows.clear();
    DropPending();
    m_appliedFilter = m_doc.filterMode;
    m_allSteadyFrom = std::numeric_limits<int64_t>::min();
    m_allSteadyUntil = std::numeric_limits<int64_t>::max();
    const CSessionList* list = ShownList();
    if (!list)
        return;
    const int64_t now = m_clock.Now();
    // Room for half as many again: a flood after the directory is shown
    // appends for a while without moving every row to a larger block.
    m_rows.reserve(list->Size() + list->Size() / 2);
    for (const auto& record : *list)
        m_rows.push_back(MakeEntry(record, now));
    MakeKeysLater(0);
}

void CSessionListModel::Switch(const Record& directory)
{
    m_directory = directory;
    if (m_resetting)
        return; // the end of the reset reads the list
    beginResetModel();
    Rebuild();
    endResetModel();
}

void CSessionListModel::UpdateAllViews(const CViewHint& hint)
{
    if (hint.code == CViewHint::kTopLevel || hint.NamesDirectory()) {
        const Record directory = hint.NamesDirectory() ? hint.directory : nullptr;
        if (!Shows(directory)) {
            Switch(directory);
            return;
        }
    }
    // The notices have brought the rows up to date; a filter someone else
    // set in the document still has to be applied.
    if (m_doc.filterMode != m_appliedFilter && !m_walking)
        Reevaluate(false);
}

bool CSessionListModel::IsListShowing(const CSDPObject& directory) const
{
    return m_directory.get() == &directory;
}

void CSessionListModel::RecordAboutToBeAdded(const Record& directory, size_t row, const Record&)
{
    if (m_resetting || !Shows(directory))
        return;
    // The store appends: such records are collected.
    if (row == m_rows.size() + m_arriving.size()) {
        m_collecting = true;
        return;
    }
    ApplyArrivals();
    if (row > m_rows.size())
        return;
    m_adding = true;
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
}

void CSessionListModel::RecordAdded(const Record&, size_t row, const Record& record)
{
    if (std::exchange(m_collecting, false)) {
        m_arriving.push_back(record);
        ScheduleApply();
        return;
    }
    if (!std::exchange(m_adding, false))
        return;
    m_rows.insert(m_rows.begin() + static_cast<long>(row), MakeEntry(record, m_clock.Now()));
    MakeKeysLater(row);
    endInsertRows();
}

void CSessionListModel::RecordAboutToBeRemoved(const Record& directory, size_t row, const Record& record)
{
    if (m_resetting || !Shows(directory))
        return;
    // Rows are the list's positions again once the collected ones are in.
    ApplyArrivals();
    if (row >= m_rows.size() || m_rows[row].record != record)
        return;
    m_removing = true;
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
}

void CSessionListModel::RecordRemoved(const Record&, size_t row, const Record& record)
{
    if (!std::exchange(m_removing, false))
        return;
    m_changed.erase(record.get());
    m_rows.erase(m_rows.begin() + static_cast<long>(row));
    MakeKeysLater(row); // the rows still without a key may have moved up
    endRemoveRows();
}

void CSessionListModel::RecordChanged(const Record& directory, size_t row, const Record& record)
{
    // A record still arriving gets its row made from what it is then.
    if (m_resetting || !Shows(directory) || row >= m_rows.size() || m_rows[row].record != record)
        return;
    m_changed.insert(record.get());
    if (!m_walking)
        ScheduleApply();
}

void CSessionListModel::BeginWalk()
{
    m_walking = true;
}

void CSessionListModel::EndWalk()
{
    m_walking = false;
    Reevaluate(false);
}

void CSessionListModel::BeginReset()
{
    if (m_resetting)
        return;
    beginResetModel();
    m_resetting = true;
}

void CSessionListModel::EndReset()
{
    if (!m_resetting)
        return;
    m_resetting = false;
    Rebuild();
    endResetModel();
}
