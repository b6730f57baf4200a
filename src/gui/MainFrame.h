#pragma once
#include "gui/CommandState.h"

#include <QLocale>
#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>

class COstara32Doc;
class CDirectoryTreeModel;
class CSessionListModel;
class CSessionSortFilter;
class CViewFanOut;
class Prompter;
class ToolStarter;
class QAction;
class QActionGroup;
class QMenu;
class CSDPObject;
class CLockKeyWatch;
class CStatusPanes;
class QLabel;
class QLineEdit;
class QSplitter;
class QSystemTrayIcon;
class QTreeView;

// The main window: menus, toolbar, the directory tree beside the session
// list, and the status bar with the menu prompts, the lock keys, the date
// and the time.
// The two item models follow the store through the view fan-out for as
// long as the window exists.
class CMainFrame final : public QMainWindow {
    Q_OBJECT
public:
    // Tools: what Open starts for a session; none starts nothing.
    CMainFrame(COstara32Doc& doc, CViewFanOut& views, Prompter& prompter, ToolStarter* tools,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Runs when the window closes for good (the cache is written there).
    std::function<void()> onClose;
    QTreeView& TreeView() const { return *m_treeView; }
    QTreeView& ListView() const { return *m_listView; }
    CSessionSortFilter& SortedList() const { return *m_sorted; }
    // The View menu's filter command for a filter mode (1..5).
    QAction* FilterAction(int mode) const;
    QAction* ExitAction() const { return m_exit; }
    QAction* ToolsAction() const { return m_tools; }
    QAction* OpenAction() const { return m_open; }
    QAction* DeleteAction() const { return m_delete; }
    QSystemTrayIcon& TrayIcon() const { return *m_tray; }
    // The notification icon's menu (&Open, &Close).
    QMenu& TrayMenu() const { return *m_trayMenu; }
    // What the status bar's CAPS, NUM and SCRL panes follow.
    CLockKeyWatch& LockKeys() const;
    QAction* AutoStartAction() const { return m_autoStart; }
    // The session list's right-click menu, and the tree's.
    QMenu& ListMenu() const { return *m_listMenu; }
    QMenu& TreeMenu() const { return *m_treeMenu; }
    QMenu& ViewMenu() const { return *m_viewMenu; }
    // The menu entry of a command (Filter and Arrange have several: null).
    QAction* CommandAction(ECommand command) const;
    // The Arrange Sessions entry of a list column.
    QAction* ArrangeAction(int column) const;
    // The text the session list is narrowed to (Ctrl+F; Escape clears it).
    QLineEdit& SearchField() const { return *m_search; }

    // What a command acts on when it runs.
    struct CCommandTarget {
        // The first selected row's record (list active) or the tree item's
        // (tree active); null when there is none.
        std::shared_ptr<CSDPObject> record;
        // New Session: the directory the list shows, or the tree's
        // directory; New Folder: the tree's directory. Null otherwise.
        std::shared_ptr<CSDPObject> directory;
        bool fromTree = false;
    };
    using CCommandHandler = std::function<void(const CCommandTarget&)>;
    // The commands whose windows live elsewhere (New Folder, New Session,
    // Edit, Properties, Settings, Tools) stay disabled until a handler is
    // set here; from then on they follow the enabling rules and call it.
    // Edit and Properties are called only with a record, New Folder and
    // New Session only with a directory. The handler takes the record's
    // lock itself for as long as its window shows it.
    void SetCommandHandler(ECommand command, CCommandHandler handler);

    // Asks where "Save SDP As" writes, given a suggested path; an empty
    // answer cancels. Tests replace the file dialog here.
    std::function<QString(const QString& suggested)> chooseSdpFile;
    QAction* HelpTopicsAction() const { return m_helpTopics; }
    QAction* WebsiteAction() const { return m_website; }
    QAction* AboutAction() const { return m_about; }

    // Whether the desktop shows notification icons; tests replace it.
    std::function<bool()> trayAvailable;
    // Hides the window behind the notification icon with this tip; where
    // the desktop has no notification area the window stays visible, as it
    // could not be brought back otherwise.
    void HideToTray(const QString& tip);
    // Shows the window again (also from the tray) in front of the others.
    void ShowFromTray();

protected:
    // The list becomes the active pane (its row selected) or stops being it.
    void ActivateList(bool active);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    QWidget* CreateListPane();
    void CreateContextMenus();
    QAction* Command(const QString& text, const QString& prompt = {});
    void OnTreeSelection();
    // Open on the first selected row (in list order).
    void OnOpen();
    void OnDelete();
    void OnAutoStart();
    void OnCopySdp();
    void OnSaveSdp();
    void RunHandler(ECommand command);
    // The program moves the tree's selection: nobody is told, the title stays.
    void SelectTreeItemQuietly(const QModelIndex& item);
    // Keeps the tree's selection on an item that stays when its own goes.
    void OnTreeRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last);
    // Right button on a tree item: it becomes the selection and the list
    // shows it, the title stays.
    void OnTreeRightPress(const QPoint& at);
    void ShowTreeMenu(const QPoint& globalAt);
    // The tree's selected record; null for the root or no item.
    std::shared_ptr<CSDPObject> TreeRecord() const;
    // The first selected row (in list order), invalid when none.
    QModelIndex FirstSelectedRow() const;
    // The record of a row of the list view; null for no row.
    std::shared_ptr<CSDPObject> RecordOfRow(const QModelIndex& row) const;
    std::shared_ptr<CSDPObject> FirstSelectedRecord() const;
    CPaneFacts Facts() const;
    CCommandSet Handled() const;
    // Enables the commands for the active pane and its selection.
    void UpdateCommands();
    // The SDP text of the first selected session; false for none or a folder.
    bool SelectedSdp(std::string& text, std::string& name) const;
    void OpenRow(const QModelIndex& index);
    void SetFilter(int mode);
    void ArrangeBy(int column);
    void ShowSortState();
    void OnExit();
    void CreateTrayIcon();
    // Opens the notification icon's menu with its right edge at the pointer.
    void ShowTrayMenu(const QPoint& pointer);

    COstara32Doc& m_doc;
    CViewFanOut& m_views;
    Prompter& m_prompter;
    ToolStarter* m_toolStarter;
    CDirectoryTreeModel* m_tree = nullptr;
    CSessionListModel* m_list = nullptr;
    CSessionSortFilter* m_sorted = nullptr;
    QSplitter* m_splitter = nullptr;
    QTreeView* m_treeView = nullptr;
    QTreeView* m_listView = nullptr;
    CStatusPanes* m_panes = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QMenu* m_listMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_treeMenu = nullptr;
    QLineEdit* m_search = nullptr;
    std::map<ECommand, CCommandHandler> m_handlers;
    bool m_closed = false;
    bool m_listActive = false; // the list, not the tree, had the focus last
    QMetaObject::Connection m_focusWatch;
    bool m_selectingQuietly = false; // the program moves the tree selection

    // Commands, named as in the menus.
    QAction* m_open = nullptr;
    QAction* m_newFolder = nullptr;
    QAction* m_newSession = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_edit = nullptr;
    QAction* m_properties = nullptr;
    QAction* m_autoStart = nullptr;
    QAction* m_copySdp = nullptr;
    QAction* m_saveSdp = nullptr;
    QAction* m_clearCache = nullptr;
    QAction* m_exit = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_tools = nullptr;
    QAction* m_helpTopics = nullptr;
    QAction* m_website = nullptr;
    QAction* m_about = nullptr;
    QAction* m_showToolBar = nullptr;
    QAction* m_showStatusBar = nullptr;
    QActionGroup* m_filters = nullptr;
    std::map<int, QAction*> m_filterActions;  // by filter mode
    std::map<int, QAction*> m_arrangeActions; // by column
};

