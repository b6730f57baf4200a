#include "gui/SessionListPane.h"

#include "directory/SessionListRules.h"
#include "gui/RowIcons.h"
#include "sdp/SDPObject.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QStyleOptionHeader>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
// The header's sort arrow points up for an ascending order, as the Arrange
// menu's hand does. The header hands the style "down" for ascending, which
// the style here draws pointing down.
class CSortArrowStyle final : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element != PE_IndicatorHeaderArrow || !header || header->sortIndicator == QStyleOptionHeader::None)
            return QProxyStyle::drawPrimitive(element, option, painter, widget);
        QStyleOptionHeader turned = *header;
        turned.sortIndicator = header->sortIndicator == QStyleOptionHeader::SortDown ? QStyleOptionHeader::SortUp
                                                                                     : QStyleOptionHeader::SortDown;
        QProxyStyle::drawPrimitive(element, &turned, painter, widget);
    }
};

// The list's view, telling the list what its layout and painting cost:
// under a flood of announcements the list then applies them in batches
// large enough that showing them stays a small share of the time.
class CSessionListView final : public QTreeView {
public:
    CSessionListView(CSessionListModel& list, QWidget* parent) : QTreeView(parent), m_list(list) {}

protected:
    void paintEvent(QPaintEvent* event) override { Timed([&] { QTreeView::paintEvent(event); }); }
    // The delayed layout after rows come runs from a timer.
    void timerEvent(QTimerEvent* event) override { Timed([&] { QTreeView::timerEvent(event); }); }

private:
    template <class Work>
    void Timed(Work work)
    {
        QElapsedTimer cost;
        cost.start();
        work();
        m_list.AddViewCost(cost.nsecsElapsed());
    }
    CSessionListModel& m_list;
};
} // namespace

CSessionListPane::CSessionListPane(CSessionListModel& list, CSessionSortFilter& sorted, QMenu& menu, QWidget* parent)
    : QWidget(parent), m_list(list), m_sorted(sorted), m_menu(menu)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    CreateSearchField();
    layout->addWidget(m_search);
    CreateView();
    layout->addWidget(m_view, 1);

    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->installEventFilter(this);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        emit Activated();
        emit Changed();
        m_menu.popup(m_view->viewport()->mapToGlobal(at));
    });
}

void CSessionListPane::CreateSearchField()
{
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText("Search names, information and addresses (Ctrl+F)");
    m_search->setAccessibleName("Search");
    m_search->setClearButtonEnabled(true);
    m_search->setFocusPolicy(Qt::ClickFocus);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, &m_sorted, &CSessionSortFilter::SetSearchText);
    // Anywhere in the window.
    auto* find = new QShortcut(QKeySequence::Find, window());
    connect(find, &QShortcut::activated, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
}

void CSessionListPane::CreateView()
{
    m_view = new CSessionListView(m_list, this);
    m_view->setModel(&m_sorted);
    m_view->setItemDelegate(new CSessionRowDelegate(m_view));
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = m_view->header();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    auto* arrows = new CSortArrowStyle;
    arrows->setParent(header);
    header->setStyle(arrows);
    // The last column takes the width left over, so media lists are cut only
    // when the window really is too narrow.
    header->setStretchLastSection(true);
    for (int column = 0; column < listrules::kColumnCount; ++column)
        header->resizeSection(column, listrules::ColumnWidth(column));
    // The Type column shows its longest word ("Admin Scope") whole at the
    // font in use, with the cell's margins.
    int typeWidth = 0;
    for (int type = 0; type <= kTypeScopeDirectory; ++type)
        typeWidth = std::max(typeWidth, m_view->fontMetrics().horizontalAdvance(listrules::TypeWord(type)));
    header->resizeSection(listrules::kColumnType,
                          std::max(listrules::ColumnWidth(listrules::kColumnType), typeWidth + 16));
    // The Reception column waits, hidden, beside the session's name until
    // the View menu shows it.
    header->resizeSection(CSessionListModel::kColumnReception, 190);
    header->moveSection(header->visualIndex(CSessionListModel::kColumnReception),
                        header->visualIndex(listrules::kColumnInfo));
    header->hideSection(CSessionListModel::kColumnReception);
    // So does the Clock column, after the others.
    header->resizeSection(CSessionListModel::kColumnClock, 260);
    header->hideSection(CSessionListModel::kColumnClock);
    connect(header, &QHeaderView::sectionClicked, this, &CSessionListPane::ColumnClicked);
    connect(m_view, &QAbstractItemView::doubleClicked, this, &CSessionListPane::RowOpened);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CSessionListPane::Changed);
    // Rows come, go and change (a session starts, the Auto Start mark).
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_sorted, signal, this, &CSessionListPane::Changed);
    connect(&m_sorted, &QAbstractItemModel::modelReset, this, &CSessionListPane::Changed);
    // A run of new rows, a re-sort or a new search comes as a layout change.
    connect(&m_sorted, &QAbstractItemModel::layoutChanged, this, &CSessionListPane::Changed);
    connect(&m_sorted, &QAbstractItemModel::dataChanged, this, &CSessionListPane::Changed);
}

bool CSessionListPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            if (m_search->text().isEmpty())
                m_view->setFocus(Qt::OtherFocusReason);
            m_search->clear();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) {
            m_view->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    // The menu key opens the menu beside the list instead of at the pointer.
    if (watched == m_view && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        emit Activated();
        emit Changed();
        m_menu.popup(m_view->mapToGlobal(QPoint(5, 5)));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CSessionListPane::Activate(bool active)
{
    // The active list acts on a row: its current one (kept while the tree
    // was active), else its first selected one, else row 0, so that Enter,
    // Delete and Properties work after Tab. Left for the tree, it shows no
    // selection.
    QItemSelectionModel* selection = m_view->selectionModel();
    if (!active) {
        selection->clearSelection();
        return;
    }
    const QModelIndexList rows = selection->selectedRows();
    const QModelIndex current = selection->currentIndex();
    const QModelIndex row = current.isValid() ? current
        : !rows.isEmpty()                   ? rows.front()
                                            : m_view->model()->index(0, 0);
    if (!row.isValid())
        return;
    selection->setCurrentIndex(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QModelIndex CSessionListPane::FirstSelectedRow() const
{
    QModelIndex first;
    for (const QModelIndex& selected : m_view->selectionModel()->selectedRows())
        if (!first.isValid() || selected.row() < first.row())
            first = selected;
    return first;
}

std::shared_ptr<CSDPObject> CSessionListPane::RecordOfRow(const QModelIndex& row) const
{
    return row.isValid() ? m_list.RecordAt(m_sorted.mapToSource(row).row()) : nullptr;
}

std::shared_ptr<CSDPObject> CSessionListPane::FirstSelectedRecord() const
{
    return RecordOfRow(FirstSelectedRow());
}

void CSessionListPane::ShowSortIndicator(int column, bool ascending)
{
    m_view->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
