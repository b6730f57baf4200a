#include "gui/ReceptionColumn.h"

#include "gui/MainFrame.h"
#include "reception/ReceptionPlan.h"
#include "reception/ReceptionText.h"
#include "reception/qt/ReceptionService.h"
#include "sdp/SDPObject.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>

#include <algorithm>
#include <utility>

int WorstReceptionState(const CSessionFigures& figures)
{
    // The order the summary ranks them in: silent, impaired, receiving, not watched.
    static const int rank[] = {1, 2, 3, 0};
    int worst = int(EReceptionState::NotWatched);
    for (const CMediaFigures& m : figures.media)
        if (rank[int(m.state)] > rank[worst])
            worst = int(m.state);
    return worst;
}

CReceptionColumn::CReceptionColumn(CMainFrame& window, CReceptionService& service)
    : QObject(&window), m_window(window), m_service(service)
{
    m_action = window.ViewMenu().addAction("&Reception Column");
    m_action->setCheckable(true);
    m_action->setStatusTip("Show what arrives for the selected session");
    connect(m_action, &QAction::toggled, this, &CReceptionColumn::SetShown);
    connect(&m_service, &CReceptionService::FiguresArrived, this, &CReceptionColumn::Update);
    QTreeView& list = window.ListView();
    connect(list.selectionModel(), &QItemSelectionModel::currentChanged, this, &CReceptionColumn::Follow);
    // A new directory resets the rows without a new current row.
    connect(list.model(), &QAbstractItemModel::modelReset, this, &CReceptionColumn::Follow);
    connect(list.model(), &QAbstractItemModel::rowsRemoved, this, &CReceptionColumn::Follow);
}

// Goes with the window, whose models may be gone already: the watch ends,
// the cells go with the model.
CReceptionColumn::~CReceptionColumn()
{
    if (m_watch)
        m_service.Unwatch(m_watch);
}

void CReceptionColumn::SetShown(bool shown)
{
    // The column makes its room out of Info's, the widest, so that Type and
    // Media stay in view; Info gets it back when the column goes.
    QHeaderView& header = *m_window.ListView().header();
    header.setSectionHidden(CSessionListModel::kColumnReception, !shown); // a hidden one has no size
    const int info = header.sectionSize(listrules::kColumnInfo);
    if (shown) {
        constexpr int kNarrowestInfo = 150;
        m_takenFromInfo = std::clamp(info - kNarrowestInfo, 0, header.sectionSize(CSessionListModel::kColumnReception));
        header.resizeSection(listrules::kColumnInfo, info - m_takenFromInfo);
    } else {
        header.resizeSection(listrules::kColumnInfo, info + std::exchange(m_takenFromInfo, 0));
    }
    Follow();
}

void CReceptionColumn::Follow()
{
    std::shared_ptr<CSDPObject> record;
    if (m_action->isChecked()) {
        const QModelIndex current = m_window.ListView().currentIndex();
        if (current.isValid())
            record = current.data(CSessionListModel::kRecordRole).value<std::shared_ptr<CSDPObject>>();
        if (record && (IsDirectoryType(record->sessionType) || record->IsDeleting()))
            record = nullptr;
    }
    if (record == m_record)
        return;
    Stop();
    if (!record)
        return;
    CReceptionPlan plan;
    {
        CRecordLock lock(*record);
        if (!lock.ok())
            return;
        plan = PlanReception(*record);
    }
    if (plan.media.empty())
        return;
    m_record = record;
    m_watch = m_service.Watch(plan);
    m_window.SortedList().Source().SetReception(*m_record, "watching…", int(EReceptionState::Silent));
}

void CReceptionColumn::Stop()
{
    if (m_watch)
        m_service.Unwatch(m_watch);
    m_watch = 0;
    if (m_record)
        m_window.SortedList().Source().SetReception(*m_record, {}, 0);
    m_record.reset();
}

void CReceptionColumn::Update(int id)
{
    if (id != m_watch || !m_record)
        return;
    if (const CSessionFigures* figures = m_service.Latest(id))
        m_window.SortedList().Source().SetReception(*m_record, QString::fromStdString(ReceptionSummary(*figures)),
                                                    WorstReceptionState(*figures));
}
