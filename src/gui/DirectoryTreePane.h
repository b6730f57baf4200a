#pragma once
#include <QObject>

#include <memory>

class CSessionStore;
class CDirectoryTreeModel;
class CSDPObject;
class QMenu;
class QModelIndex;
class QPoint;
class QTreeView;
class QWidget;

// The directory tree left of the session list: picking an item shows its
// sessions in the list and names it in the title; the right button and the
// menu key open the tree's menu. The window decides what the menu's
// commands do and when they are enabled.
class CDirectoryTreePane final : public QObject {
    Q_OBJECT
public:
    // The view goes into the given widget (the window's splitter).
    CDirectoryTreePane(CSessionStore& doc, CDirectoryTreeModel& model, QMenu& menu, QWidget& parent,
                       QObject* owner);

    QTreeView& View() const { return *m_view; }
    // The selected item's record; null for the root or no item.
    std::shared_ptr<CSDPObject> Record() const;
    // The program moves the selection to a directory: nobody is told, the
    // title stays.
    void SelectQuietly(const CSDPObject& directory);

signals:
    // The tree becomes the active pane (right button, its menu).
    void Activated();
    // Its items or selection changed the way the commands may follow.
    void Changed();
    // The user picked an item: the window's new title.
    void TitleChanged(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SelectQuietly(const QModelIndex& item);
    void OnSelection();
    // The title names the item's directory (none: the root).
    void Entitle(const QModelIndex& item);
    void DropGoneTitle();
    // Keeps the selection on an item that stays when its own goes.
    void OnRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last);
    // Right button on an item: it becomes the selection and the list shows
    // it, the title stays.
    void OnRightPress(const QPoint& at);
    void ShowMenu(const QPoint& globalAt);

    CSessionStore& m_doc;
    CDirectoryTreeModel& m_model;
    QMenu& m_menu;
    QTreeView* m_view = nullptr;
    bool m_selectingQuietly = false;
    std::weak_ptr<CSDPObject> m_titled; // the directory the title names
};
