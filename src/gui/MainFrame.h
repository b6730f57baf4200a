#pragma once
#include "gui/CommandState.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>

class CSessionStore;
class CDirectoryTreeModel;
class CDirectoryTreePane;
class CSessionListModel;
class CSessionListPane;
class CSessionSortFilter;
class CTrayIcon;
class CViewFanOut;
class CWindowChrome;
class Prompter;
class ToolStarter;
class QAction;
class QMenu;
class CSDPObject;
class CLockKeyWatch;
class QLineEdit;
class QSplitter;
class QSystemTrayIcon;
class QTreeView;

// The main window: it puts the directory tree beside the session list
// inside its menus, toolbar and status bar (CWindowChrome), keeps the
// notification icon, and carries out the commands on what the active pane
// shows.
// The two item models follow the store through the view fan-out for as
// long as the window exists.
class CMainFrame final : public QMainWindow {
    Q_OBJECT
public:
    // Tools: what Open starts for a session; none starts nothing.
    CMainFrame(CSessionStore& doc, CViewFanOut& views, Prompter& prompter, ToolStarter* tools,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Runs when the window closes for good (the cache is written there).
    std::function<void()> onClose;
    QTreeView& TreeView() const;
    QTreeView& ListView() const;
    CSessionSortFilter& SortedList() const { return *m_sorted; }
    // The View menu's filter command for a filter mode (1..5).
    QAction* FilterAction(int mode) const;
    QAction* ExitAction() const;
    QAction* ToolsAction() const { return CommandAction(ECommand::Tools); }
    QAction* OpenAction() const { return CommandAction(ECommand::Open); }
    QAction* DeleteAction() const { return CommandAction(ECommand::Delete); }
    QSystemTrayIcon& TrayIcon() const;
    // The notification icon's menu (&Open, &Close).
    QMenu& TrayMenu() const;
    // What the status bar's CAPS, NUM and SCRL panes follow.
    CLockKeyWatch& LockKeys() const;
    QAction* AutoStartAction() const { return CommandAction(ECommand::AutoStart); }
    // The session list's right-click menu, and the tree's.
    QMenu& ListMenu() const;
    QMenu& TreeMenu() const;
    QMenu& ViewMenu() const;
    // The session list's first selected record; null when none.
    std::shared_ptr<CSDPObject> CurrentRecord() const { return FirstSelectedRecord(); }
    // The menu entry of a command (Filter and Arrange have several: null).
    QAction* CommandAction(ECommand command) const;
    // The Arrange Sessions entry of a list column.
    QAction* ArrangeAction(int column) const;
    // What Enter or a double click on the record's row does: a session's
    // tools start, a directory is shown.
    void OpenRecord(const std::shared_ptr<CSDPObject>& record);
    // The text the session list is narrowed to (Ctrl+F; Escape clears it).
    QLineEdit& SearchField() const;

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
    QAction* HelpTopicsAction() const;
    QAction* WebsiteAction() const;
    QAction* AboutAction() const;

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
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // What the commands do, connected to the chrome's entries.
    void WireCommands();
    void CreatePanes();
    void CreateTrayIcon();
    // Open on the first selected row (in list order).
    void OnOpen();
    void OnDelete();
    void OnAutoStart();
    void OnCopySdp();
    void OnSaveSdp();
    void RunHandler(ECommand command);
    // The tree's selected record; null for the root or no item.
    std::shared_ptr<CSDPObject> TreeRecord() const;
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

    CSessionStore& m_doc;
    CViewFanOut& m_views;
    Prompter& m_prompter;
    ToolStarter* m_toolStarter;
    CDirectoryTreeModel* m_tree = nullptr;
    CSessionListModel* m_list = nullptr;
    CSessionSortFilter* m_sorted = nullptr;
    std::unique_ptr<CWindowChrome> m_chrome;
    QSplitter* m_splitter = nullptr;
    CDirectoryTreePane* m_treePane = nullptr;
    CSessionListPane* m_listPane = nullptr;
    CTrayIcon* m_tray = nullptr;
    std::map<ECommand, CCommandHandler> m_handlers;
    bool m_closed = false;
    bool m_listActive = false; // the list, not the tree, had the focus last
    QMetaObject::Connection m_focusWatch;
};
