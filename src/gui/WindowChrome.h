#pragma once
#include "gui/CommandState.h"

#include <QString>

#include <map>

class CLockKeyWatch;
class CStatusPanes;
class Prompter;
class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;

// What surrounds the main window's panes: the menu bar, the toolbar with
// the logo at its end, the status bar with the menu prompts, and the panes'
// right-click menus. It makes the window's command entries (texts, keys,
// prompts, icons); the window decides what they do and when they are
// enabled. The entries belong to the window.
class CWindowChrome final {
public:
    // The filter mode (1..5) whose entry starts checked. The prompter tells
    // of a logo that cannot be drawn.
    CWindowChrome(QMainWindow& window, int filterMode, Prompter& prompter);

    // The entry of a command (Filter and Arrange have several: null).
    QAction* CommandAction(ECommand command) const;
    // The View menu's filter entry for a filter mode (1..5), and all of
    // them by mode.
    QAction* FilterAction(int mode) const;
    const std::map<int, QAction*>& FilterActions() const { return m_filterActions; }
    // The Arrange Sessions entry of a list column, and all of them by column.
    QAction* ArrangeAction(int column) const;
    const std::map<int, QAction*>& ArrangeActions() const { return m_arrangeActions; }
    QAction* ExitAction() const { return m_exit; }
    QAction* HelpTopicsAction() const { return m_helpTopics; }
    QAction* WebsiteAction() const { return m_website; }
    QAction* AboutAction() const { return m_about; }
    QMenu& ViewMenu() const { return *m_viewMenu; }
    // The session list's right-click menu, and the tree's.
    QMenu& ListMenu() const { return *m_listMenu; }
    QMenu& TreeMenu() const { return *m_treeMenu; }
    // What the status bar's CAPS, NUM and SCRL panes follow.
    CLockKeyWatch& LockKeys() const;
    // The hand on the Arrange Sessions entry of the sorted column, pointing
    // the way the list runs.
    void ShowArrangeMark(int column, bool ascending);

private:
    void CreateStatusBar();
    void CreateActions(int filterMode);
    void CreateMenus();
    void CreateToolBar(Prompter& prompter);
    void CreateContextMenus();
    QAction* Command(const QString& text, const QString& prompt = {});

    QMainWindow& m_window;
    CStatusPanes* m_panes = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_listMenu = nullptr;
    QMenu* m_treeMenu = nullptr;

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
