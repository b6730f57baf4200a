#include "gui/WindowChrome.h"

#include "base/Prompter.h"
#include "directory/SessionListRules.h"
#include "gui/Artwork.h"
#include "gui/RowIcons.h"
#include "gui/StatusPanes.h"

#include <QActionGroup>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace {
const char* const kIdlePrompt = "For Help, press F1";
// The band bar's logo, about as tall as a toolbar icon with its text.
constexpr int kLogoSize = 32;

struct CFilterCommand {
    int mode;
    const char* text;
    QKeySequence key;
    const char* prompt;
    const char* tip;
};
const CFilterCommand kFilterCommands[] = {
    {listrules::kFilterCurrent, "&Current", QKeySequence(Qt::CTRL | Qt::Key_N), "View all active sessions",
     "Current Sessions"},
    {listrules::kFilterToday, "&Today", QKeySequence(Qt::CTRL | Qt::Key_T), "View all sessions active today.",
     "Sessions Today"},
    {listrules::kFilterThisWeek, "This &Week", QKeySequence(Qt::CTRL | Qt::Key_W),
     "View what is available this week", "Sessions this Week"},
    {listrules::kFilterThisMonth, "This &Month", QKeySequence(Qt::CTRL | Qt::Key_M),
     "View what is available this month", "Sessons This Month"},
    {listrules::kFilterAll, "&All", QKeySequence(Qt::CTRL | Qt::Key_A), "View all announced sessions",
     "All Sessions"},
};

struct CArrangeCommand {
    int column;
    const char* text;
};
const CArrangeCommand kArrangeCommands[] = {
    {listrules::kColumnSession, "by Name"}, {listrules::kColumnInfo, "by Info"},
    {listrules::kColumnStart, "by Start Date"}, {listrules::kColumnType, "by Type"},
    {listrules::kColumnMedia, "by Media"},
};
} // namespace

CWindowChrome::CWindowChrome(QMainWindow& window, int filterMode, Prompter& prompter) : m_window(window)
{
    CreateStatusBar();
    CreateActions(filterMode);
    CreateMenus();
    CreateToolBar(prompter);
    CreateContextMenus();
}

QAction* CWindowChrome::Command(const QString& text, const QString& prompt)
{
    auto* action = new QAction(text, &m_window);
    if (!prompt.isEmpty())
        action->setStatusTip(prompt);
    return action;
}

void CWindowChrome::CreateActions(int filterMode)
{
    m_open = Command("&Open");
    m_newFolder = Command("&Folder");
    m_newSession = Command("&Session...");
    m_delete = Command("&Delete\tDEL");
    m_edit = Command("&Edit..");
    m_properties = Command("&Properties...");
    m_autoStart = Command("&Auto Start");
    m_autoStart->setCheckable(true);
    m_copySdp = Command("&Copy SDP");
    m_saveSdp = Command("&Save SDP As...");
    m_clearCache = Command("&Clear cache", "Clear the cache");
    m_clearCache->setToolTip("Clear");
    m_clearCache->setIconText("Clear");
    m_exit = Command("E&xit");
    m_settings = Command("&Settings...", "Edit the settings of this program...");
    m_tools = Command("Tools...");
    m_helpTopics = Command("&Help Topics");
    m_website = Command("Talmira on the Web");
    m_about = Command("&About Talmira...");
    m_about->setIconText("About");
    m_open->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    m_open->setShortcutContext(Qt::WidgetShortcut); // set on the list: Enter elsewhere keeps its meaning
    // Greyed until the help pages are attached to the window.
    for (QAction* later : {m_helpTopics, m_website})
        later->setEnabled(false);
    m_newSession->setIconText("New Session");
    m_newFolder->setIconText("New Folder");
    m_delete->setIconText("Delete");
    m_properties->setIconText("Properties");

    m_filters = new QActionGroup(&m_window);
    m_filters->setExclusive(true);
    for (const CFilterCommand& c : kFilterCommands) {
        QAction* action = Command(c.text, c.prompt);
        action->setShortcut(c.key);
        action->setToolTip(c.tip);
        action->setCheckable(true);
        action->setChecked(c.mode == filterMode);
        m_filters->addAction(action);
        m_filterActions[c.mode] = action;
    }
    for (const CArrangeCommand& c : kArrangeCommands) {
        // Not checkable: the hand is the mark, the others show none.
        m_arrangeActions[c.column] = Command(c.text);
    }
}

void CWindowChrome::CreateMenus()
{
    QMenuBar* menuBar = m_window.menuBar();
    QMenu* announce = menuBar->addMenu("&Announce");
    announce->addAction(m_open);
    announce->addSeparator();
    // The label carries "Ctrl+N" while the key itself selects Current.
    QMenu* newMenu = announce->addMenu("&New\tCtrl+N");
    newMenu->addAction(m_newFolder);
    newMenu->addAction(m_newSession);
    announce->addSeparator();
    announce->addAction(m_delete);
    announce->addAction(m_edit);
    announce->addAction(m_properties);
    announce->addSeparator();
    announce->addAction(m_clearCache);
    announce->addSeparator();
    announce->addAction(m_exit);

    QMenu* edit = menuBar->addMenu("&Edit");
    edit->addAction(m_settings);
    edit->addAction(m_tools);

    QMenu* view = m_viewMenu = menuBar->addMenu("&View");
    for (const auto& [mode, action] : m_filterActions)
        view->addAction(action);
    view->addSeparator();
    QMenu* arrange = view->addMenu("Arran&ge Sessions");
    for (const auto& [column, action] : m_arrangeActions)
        arrange->addAction(action);
    view->addSeparator();
    m_showToolBar = view->addAction("&Toolbar");
    m_showStatusBar = view->addAction("&Status Bar");

    QMenu* help = menuBar->addMenu("&Help");
    help->addAction(m_helpTopics);
    help->addAction(m_website);
    help->addSeparator();
    help->addAction(m_about);
}

void CWindowChrome::CreateToolBar(Prompter& prompter)
{
    QToolBar* bar = m_window.addToolBar("Toolbar");
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
    m_clearCache->setIcon(artwork::ToolbarIcon("clear"));
    m_newSession->setIcon(artwork::ToolbarIcon("new-session"));
    m_delete->setIcon(artwork::ToolbarIcon("delete"));
    m_properties->setIcon(artwork::ToolbarIcon("properties"));
    m_newFolder->setIcon(artwork::ToolbarIcon("new-folder"));
    m_about->setIcon(artwork::ToolbarIcon("about"));
    const std::map<int, const char*> filterIcons = {
        {listrules::kFilterCurrent, "current"}, {listrules::kFilterToday, "today"},
        {listrules::kFilterThisWeek, "week"},   {listrules::kFilterThisMonth, "month"},
        {listrules::kFilterAll, "all"}};
    for (const auto& [mode, icon] : filterIcons)
        m_filterActions[mode]->setIcon(artwork::ToolbarIcon(icon));
    bar->addAction(m_clearCache);
    bar->addSeparator();
    for (QAction* a : {m_newSession, m_delete, m_properties, m_newFolder})
        bar->addAction(a);
    bar->addSeparator();
    for (const auto& [mode, action] : m_filterActions) {
        bar->addAction(action);
        bar->widgetForAction(action)->setObjectName("filter");
    }
    // The View filter in use reads at a glance: its button is filled.
    bar->setStyleSheet("QToolButton#filter:checked { background: palette(highlight); color: palette(highlighted-text);"
                       " border-radius: 3px; }");
    bar->addSeparator();
    bar->addAction(m_about);
    // The logo at the bar's far end. Neither it nor the gap before it takes
    // the mouse, so a double click there counts as one on the bar itself.
    auto* gap = new QWidget(bar);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* logo = new QLabel(bar);
    logo->setObjectName("logo");
    logo->setContentsMargins(6, 0, 6, 0);
    const QPixmap picture = artwork::ProgramIcon().pixmap(QSize(kLogoSize, kLogoSize), m_window.devicePixelRatioF());
    if (picture.isNull())
        prompter.Show("Failed to open animation ctrl", EPromptButtons::OkCancel, EPromptIcon::Warning);
    logo->setPixmap(picture);
    for (QWidget* w : {gap, static_cast<QWidget*>(logo)}) {
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        bar->addWidget(w);
    }

    m_showToolBar->setCheckable(true);
    m_showToolBar->setChecked(true);
    QObject::connect(m_showToolBar, &QAction::toggled, bar, &QToolBar::setVisible);
    m_showStatusBar->setCheckable(true);
    m_showStatusBar->setChecked(true);
    QObject::connect(m_showStatusBar, &QAction::toggled, m_window.statusBar(), &QStatusBar::setVisible);
}

void CWindowChrome::CreateStatusBar()
{
    QStatusBar* bar = m_window.statusBar();
    m_panes = new CStatusPanes(*bar);
    bar->showMessage(kIdlePrompt);
    // A menu prompt replaces the idle text only while its entry is hovered.
    QObject::connect(bar, &QStatusBar::messageChanged, &m_window, [bar](const QString& text) {
        if (text.isEmpty())
            bar->showMessage(kIdlePrompt);
    });
}

void CWindowChrome::CreateContextMenus()
{
    auto addCommon = [this](QMenu* menu) {
        QMenu* newMenu = menu->addMenu("&New\tCtrl+N");
        newMenu->addAction(m_newFolder);
        newMenu->addAction(m_newSession);
        for (QAction* a : {m_delete, m_edit, m_properties})
            menu->addAction(a);
    };
    m_listMenu = new QMenu(&m_window);
    addCommon(m_listMenu);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_autoStart);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_copySdp);
    m_listMenu->addAction(m_saveSdp);

    m_treeMenu = new QMenu(&m_window);
    addCommon(m_treeMenu);
}

CLockKeyWatch& CWindowChrome::LockKeys() const
{
    return m_panes->LockKeys();
}

QAction* CWindowChrome::CommandAction(ECommand command) const
{
    switch (command) {
    case ECommand::Open: return m_open;
    case ECommand::NewFolder: return m_newFolder;
    case ECommand::NewSession: return m_newSession;
    case ECommand::Delete: return m_delete;
    case ECommand::Edit: return m_edit;
    case ECommand::Properties: return m_properties;
    case ECommand::ClearCache: return m_clearCache;
    case ECommand::Settings: return m_settings;
    case ECommand::Tools: return m_tools;
    case ECommand::AutoStart: return m_autoStart;
    case ECommand::CopySdp: return m_copySdp;
    case ECommand::SaveSdp: return m_saveSdp;
    default: return nullptr;
    }
}

QAction* CWindowChrome::FilterAction(int mode) const
{
    const auto found = m_filterActions.find(mode);
    return found == m_filterActions.end() ? nullptr : found->second;
}

QAction* CWindowChrome::ArrangeAction(int column) const
{
    const auto found = m_arrangeActions.find(column);
    return found == m_arrangeActions.end() ? nullptr : found->second;
}

void CWindowChrome::ShowArrangeMark(int column, bool ascending)
{
    const QIcon hand = rowicons::HandIcon(ascending);
    for (const auto& [c, action] : m_arrangeActions)
        action->setIcon(c == column ? hand : QIcon());
}
