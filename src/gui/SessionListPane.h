#pragma once
#include <QModelIndex>
#include <QWidget>

#include <memory>

class CSessionListModel;
class CSessionSortFilter;
class CSDPObject;
class QLineEdit;
class QMenu;
class QTreeView;

// The session list right of the tree: the search field above the sessions
// of the shown directory, with their column headings. Enter in the field,
// Down or Escape on an empty one goes to the list; Ctrl+F comes back. The
// right button and the menu key open the list's menu. The window decides
// what the menu's commands do and when they are enabled.
class CSessionListPane final : public QWidget {
    Q_OBJECT
public:
    CSessionListPane(CSessionListModel& list, CSessionSortFilter& sorted, QMenu& menu, QWidget* parent);

    QTreeView& View() const { return *m_view; }
    // The text the list is narrowed to.
    QLineEdit& SearchField() const { return *m_search; }
    // The first selected row (in list order), invalid when none.
    QModelIndex FirstSelectedRow() const;
    // The record of a row of the view; null for no row.
    std::shared_ptr<CSDPObject> RecordOfRow(const QModelIndex& row) const;
    std::shared_ptr<CSDPObject> FirstSelectedRecord() const;
    // The list becomes the active pane (its row selected) or stops being it.
    void Activate(bool active);
    // The heading's arrow on the sorted column.
    void ShowSortIndicator(int column, bool ascending);

signals:
    // The list becomes the active pane (right button, menu key).
    void Activated();
    // Its rows or selection changed the way the commands may follow.
    void Changed();
    // A column heading was clicked.
    void ColumnClicked(int column);
    // A row was double-clicked.
    void RowOpened(const QModelIndex& row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateSearchField();
    void CreateView();

    CSessionListModel& m_list;
    CSessionSortFilter& m_sorted;
    QMenu& m_menu;
    QLineEdit* m_search = nullptr;
    QTreeView* m_view = nullptr;
};
