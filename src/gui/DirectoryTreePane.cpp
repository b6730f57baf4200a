#include "gui/DirectoryTreePane.h"

#include "directory/SessionStore.h"
#include "gui/RowIcons.h"
#include "gui/TreeLines.h"
#include "views/DirectoryTreeModel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>

CDirectoryTreePane::CDirectoryTreePane(CSessionStore& doc, CDirectoryTreeModel& model, QMenu& menu, QWidget& parent,
                                       QObject* owner)
    : QObject(owner), m_doc(doc), m_model(model), m_menu(menu)
{
    m_view = new QTreeView(&parent);
    // Before the view's own selection model, which would otherwise move the
    // selection to a sibling and tell everyone.
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &CDirectoryTreePane::OnRowsAboutToBeRemoved);
    m_view->setModel(&m_model);
    m_view->setItemDelegate(new CTreeItemDelegate(m_view));
    auto* lines = new CTreeLinesStyle;
    lines->setParent(m_view);
    m_view->setStyle(lines);
    m_view->setHeaderHidden(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setMinimumSize(100, 100);
    m_view->expand(m_model.RootIndex());
    // Selecting the root at start tells nobody: the list shows the top level.
    m_view->setCurrentIndex(m_model.RootIndex());
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, &CDirectoryTreePane::OnSelection);
    // A directory added later below an expanded item shows without a click;
    // after a reset (Clear cache) the root is selected again, quietly.
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_view->expand(m_model.RootIndex());
        SelectQuietly(m_model.RootIndex());
        DropGoneTitle();
        emit Changed();
    });
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &CDirectoryTreePane::DropGoneTitle);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &CDirectoryTreePane::Changed);

    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
}

bool CDirectoryTreePane::eventFilter(QObject* watched, QEvent* event)
{
    // The menu key opens the menu beside the item instead of at the pointer.
    if (watched == m_view && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        const QRect item = m_view->visualRect(m_view->currentIndex());
        ShowMenu(m_view->viewport()->mapToGlobal(item.isValid() ? item.center() : QPoint(5, 5)));
        return true;
    }
    // The right button selects without the title change a left click makes;
    // the menu opens when the button is let go. The menu event some
    // platforms send with the press is not used.
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse)
            return true;
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
            type == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                const QPoint at = mouse->position().toPoint();
                if (type != QEvent::MouseButtonRelease)
                    OnRightPress(at);
                else if (m_view->indexAt(at).isValid())
                    ShowMenu(m_view->viewport()->mapToGlobal(at));
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void CDirectoryTreePane::OnRightPress(const QPoint& at)
{
    const QModelIndex item = m_view->indexAt(at);
    if (!item.isValid())
        return;
    m_view->setFocus(Qt::MouseFocusReason);
    emit Activated();
    SelectQuietly(item);
    m_doc.Notify(CViewHint::Show(m_model.RecordAt(item)));
    emit Changed();
}

void CDirectoryTreePane::ShowMenu(const QPoint& globalAt)
{
    emit Activated();
    emit Changed();
    m_menu.popup(globalAt);
}

void CDirectoryTreePane::SelectQuietly(const QModelIndex& item)
{
    if (!item.isValid())
        return;
    m_selectingQuietly = true;
    m_view->setCurrentIndex(item);
    m_view->scrollTo(item);
    m_selectingQuietly = false;
}

void CDirectoryTreePane::SelectQuietly(const CSDPObject& directory)
{
    SelectQuietly(m_model.IndexOf(directory));
}

void CDirectoryTreePane::OnRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last)
{
    // The item going (or one below it) is the selection: its parent takes
    // over without a notice, since the store moves the list there itself.
    for (QModelIndex i = m_view->currentIndex(); i.isValid(); i = i.parent()) {
        if (i.parent() == parent && i.row() >= first && i.row() <= last) {
            SelectQuietly(parent.isValid() ? parent : m_model.RootIndex());
            return;
        }
    }
}

std::shared_ptr<CSDPObject> CDirectoryTreePane::Record() const
{
    return m_model.RecordAt(m_view->currentIndex());
}

void CDirectoryTreePane::OnSelection()
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || m_selectingQuietly)
        return;
    const auto record = m_model.RecordAt(current);
    m_doc.Notify(CViewHint::Show(record));
    Entitle(current);
}

void CDirectoryTreePane::Entitle(const QModelIndex& item)
{
    const auto record = m_model.RecordAt(item);
    m_titled = record;
    emit TitleChanged(record ? "Talmira - " + item.data().toString() : QStringLiteral("Talmira "));
}

void CDirectoryTreePane::DropGoneTitle()
{
    // The title named a directory that is gone: it names the selection now.
    const auto titled = m_titled.lock();
    if (titled && !m_model.IndexOf(*titled).isValid())
        Entitle(m_view->currentIndex());
}
