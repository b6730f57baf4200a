#pragma once
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
class QLabel;
class QSplitter;
class QSystemTrayIcon;
class QTreeView;

// The main window: menus, toolbar, the directory tree beside the session
// list, and the status bar with the menu prompts, the date and the time.
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
    // The Tools command: the tool picker. None leaves the command greyed.
    std::function<void()> onTools;

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
    QAction* AutoStartAction() const { return m_autoStart; }
    // The session list's right-click menu.
    QMenu& ListMenu() const { return *m_listMenu; }

    // Whether the desktop shows notification icons; tests replace it.
    std::function<bool()> trayAvailable;
    // Hides the window behind the notification icon with this tip; where
    // the desktop has no notification area the window stays visible, as it
    // could not be brought back otherwise.
    void HideToTray(const QString& tip);
    // Shows the window again (also from the tray) in front of the others.
    void ShowFromTray();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    QAction* Command(const QString& text, const QString& prompt = {});
    void OnTreeSelection();
    // Open on the first selected row (in list order).
    void OnOpen();
    void OnDelete();
    // The first selected row (in list order), invalid when none.
    QModelIndex FirstSelectedRow() const;
    // The record of a row of the list view; null for no row.
    std::shared_ptr<CSDPObject> RecordOfRow(const QModelIndex& row) const;
    std::shared_ptr<CSDPObject> FirstSelectedRecord() const;
    // Enables the commands for the active pane and its selection.
    void UpdateCommands();
    void OpenRow(const QModelIndex& index);
    void SetFilter(int mode);
    void ArrangeBy(int column);
    void ShowSortState();
    void OnExit();
    void ShowClock();
    void CreateTrayIcon();

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
    QLabel* m_date = nullptr;
    QLabel* m_time = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_listMenu = nullptr;
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
