#include "gui/MainFrame.h"

#include "base/Prompter.h"
#include "base/ToolStarter.h"
#include "base/ViewFanOut.h"
#include "directory/Ostara32Doc.h"
#include "directory/SessionListRules.h"
#include "gui/RowIcons.h"
#include "views/DirectoryTreeModel.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

namespace {
const char* const kIdlePrompt = "For Help, press F1";

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

CMainFrame::CMainFrame(COstara32Doc& doc, CViewFanOut& views, Prompter& prompter, ToolStarter* tools,
                       QWidget* parent)
    : QMainWindow(parent), trayAvailable(&QSystemTrayIcon::isSystemTrayAvailable), m_doc(doc), m_views(views),
      m_prompter(prompter), m_toolStarter(tools)
{
    setWindowTitle(QStringLiteral("Default - Talmira"));
    // The program starts with every session shown.
    if (m_doc.filterMode < listrules::kFilterCurrent || m_doc.filterMode > listrules::kFilterAll)
        m_doc.filterMode = listrules::kFilterAll;
    m_tree = new CDirectoryTreeModel(m_doc, this);
    m_list = new CSessionListModel(m_doc, this);
    m_sorted = new CSessionSortFilter(*m_list, this);
    m_views.Attach(*m_tree);
    m_views.Attach(*m_list);

    CreateStatusBar();
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreatePanes();
    CreateTrayIcon();
    ShowSortState();
    // Wide enough for the tree and every column at its first width.
    QSize size(1320, 720);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size);
}

CMainFrame::~CMainFrame()
{
    // Hiding the children below sends focus changes to a frame half gone.
    disconnect(m_focusWatch);
    m_views.Detach(*m_list);
    m_views.Detach(*m_tree);
}

QAction* CMainFrame::Command(const QString& text, const QString& prompt)
{
    auto* action = new QAction(text, this);
    if (!prompt.isEmpty())
        action->setStatusTip(prompt);
    return action;
}

void CMainFrame::CreateActions()
{
    m_open = Command("&Open");
    m_newFolder = Command("&Folder");
    m_newSession = Command("&Session...");
    m_delete = Command("&Delete\tDEL");
    m_edit = Command("&Edit..");
    m_properties = Command("&Properties...");
    m_autoStart = Command("&Auto Start");
    m_autoStart->setCheckable(true);
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
    // Their windows and commands come later; shown greyed until then.
    m_open->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    m_open->setShortcutContext(Qt::WidgetShortcut); // set on the list: Enter elsewhere keeps its meaning
    connect(m_open, &QAction::triggered, this, &CMainFrame::OnOpen);
    for (QAction* later : {m_newFolder, m_newSession, m_delete, m_edit, m_properties, m_autoStart, m_settings,
                           m_tools, m_helpTopics, m_website})
        later->setEnabled(false);
    m_newSession->setIconText("New Session");
    m_newFolder->setIconText("New Folder");
    m_delete->setIconText("Delete");
    m_properties->setIconText("Properties");

    connect(m_delete, &QAction::triggered, this, &CMainFrame::OnDelete);
    connect(m_clearCache, &QAction::triggered, this, [this] { m_doc.ClearCache(); });
    connect(m_exit, &QAction::triggered, this, &CMainFrame::OnExit);
    connect(m_tools, &QAction::triggered, this, [this] {
        if (onTools)
            onTools();
    });
    connect(m_about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, "About Talmira",
                           "<b>Talmira</b><p>A directory of the multicast sessions announced on your network.</p>");
    });

    m_filters = new QActionGroup(this);
    m_filters->setExclusive(true);
    for (const CFilterCommand& c : kFilterCommands) {
        QAction* action = Command(c.text, c.prompt);
        action->setShortcut(c.key);
        action->setToolTip(c.tip);
        action->setCheckable(true);
        action->setChecked(c.mode == m_doc.filterMode);
        m_filters->addAction(action);
        m_filterActions[c.mode] = action;
        connect(action, &QAction::triggered, this, [this, mode = c.mode] { SetFilter(mode); });
    }
    for (const CArrangeCommand& c : kArrangeCommands) {
        QAction* action = Command(c.text);
        action->setCheckable(true);
        m_arrangeActions[c.column] = action;
        connect(action, &QAction::triggered, this, [this, column = c.column] { ArrangeBy(column); });
    }
}

void CMainFrame::CreateMenus()
{
    QMenu* announce = menuBar()->addMenu("&Announce");
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

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(m_settings);
    edit->addAction(m_tools);

    QMenu* view = menuBar()->addMenu("&View");
    for (const auto& [mode, action] : m_filterActions)
        view->addAction(action);
    view->addSeparator();
    QMenu* arrange = view->addMenu("Arran&ge Sessions");
    for (const auto& [column, action] : m_arrangeActions)
        arrange->addAction(action);
    view->addSeparator();
    m_showToolBar = view->addAction("&Toolbar");
    m_showStatusBar = view->addAction("&Status Bar");

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(m_helpTopics);
    help->addAction(m_website);
    help->addSeparator();
    help->addAction(m_about);
}

void CMainFrame::CreateToolBar()
{
    QToolBar* bar = addToolBar("Toolbar");
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addAction(m_clearCache);
    bar->addSeparator();
    for (QAction* a : {m_newSession, m_delete, m_properties, m_newFolder})
        bar->addAction(a);
    bar->addSeparator();
    for (const auto& [mode, action] : m_filterActions)
        bar->addAction(action);
    bar->addSeparator();
    bar->addAction(m_about);

    m_showToolBar->setCheckable(true);
    m_showToolBar->setChecked(true);
    connect(m_showToolBar, &QAction::toggled, bar, &QToolBar::setVisible);
    m_showStatusBar->setCheckable(true);
    m_showStatusBar->setChecked(true);
    connect(m_showStatusBar, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    m_date = new QLabel(this);
    m_time = new QLabel(this);
    bar->addPermanentWidget(m_date);
    bar->addPermanentWidget(m_time);
    bar->showMessage(kIdlePrompt);
    // A menu prompt replaces the idle text only while its entry is hovered.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
        if (text.isEmpty())
            bar->showMessage(kIdlePrompt);
    });
    ShowClock();
    auto* clock = new QTimer(this);
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, &CMainFrame::ShowClock);
    clock->start();
}

void CMainFrame::ShowClock()
{
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    m_date->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_time->setText(locale.toString(now.time(), QLocale::LongFormat));
}

void CMainFrame::CreatePanes()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);

    m_treeView = new QTreeView(m_splitter);
    m_treeView->setModel(m_tree);
    m_treeView->setItemDelegate(new CTreeItemDelegate(m_treeView));
    m_treeView->setHeaderHidden(true);
    m_treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_treeView->setMinimumSize(100, 100);
    m_treeView->expand(m_tree->RootIndex());
    // Selecting the root at start tells nobody: the list shows the top level.
    m_treeView->setCurrentIndex(m_tree->RootIndex());
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CMainFrame::OnTreeSelection);
    // A directory added later below an expanded item shows without a click.
    connect(m_tree, &QAbstractItemModel::modelReset, this, [this] { m_treeView->expand(m_tree->RootIndex()); });

    m_listView = new QTreeView(m_splitter);
    m_listView->setModel(m_sorted);
    m_listView->setItemDelegate(new CSessionRowDelegate(m_listView));
    m_listView->setRootIsDecorated(false);
    m_listView->setUniformRowHeights(true);
    m_listView->setAllColumnsShowFocus(true);
    m_listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = m_listView->header();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    // The last column takes the width left over, so media lists are cut only
    // when the window really is too narrow.
    header->setStretchLastSection(true);
    for (int column = 0; column < listrules::kColumnCount; ++column)
        header->resizeSection(column, listrules::ColumnWidth(column));
    connect(header, &QHeaderView::sectionClicked, this, &CMainFrame::ArrangeBy);
    m_listView->addAction(m_open);
    // The menu text carries "DEL"; the key itself works in the list only,
    // and only while the command is enabled.
    auto* deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), m_listView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, m_delete, &QAction::trigger);

    m_listMenu = new QMenu(this);
    QMenu* newMenu = m_listMenu->addMenu("&New\tCtrl+N");
    newMenu->addAction(m_newFolder);
    newMenu->addAction(m_newSession);
    for (QAction* a : {m_delete, m_edit, m_properties})
        m_listMenu->addAction(a);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_autoStart);
    m_listView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_listView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        m_listActive = true;
        UpdateCommands();
        m_listMenu->popup(m_listView->viewport()->mapToGlobal(at));
    });
    connect(m_listView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CMainFrame::UpdateCommands);
    connect(m_sorted, &QAbstractItemModel::rowsRemoved, this, &CMainFrame::UpdateCommands);
    connect(m_sorted, &QAbstractItemModel::modelReset, this, &CMainFrame::UpdateCommands);
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == m_listView || now == m_treeView) {
            m_listActive = now == m_listView;
            UpdateCommands();
        }
    });
    connect(m_listView, &QAbstractItemView::doubleClicked, this, &CMainFrame::OpenRow);

    m_splitter->addWidget(m_treeView);
    m_splitter->addWidget(m_listView);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({200, 800});
    setCentralWidget(m_splitter);
}

void CMainFrame::OnTreeSelection()
{
    const QModelIndex current = m_treeView->currentIndex();
    if (!current.isValid() || m_selectingQuietly)
        return;
    const auto record = m_tree->RecordAt(current);
    m_doc.Notify(CViewHint::Show(record));
    setWindowTitle(record ? "Talmira - " + current.data().toString() : QStringLiteral("Talmira "));
}

QModelIndex CMainFrame::FirstSelectedRow() const
{
    QModelIndex first;
    for (const QModelIndex& selected : m_listView->selectionModel()->selectedRows())
        if (!first.isValid() || selected.row() < first.row())
            first = selected;
    return first;
}

std::shared_ptr<CSDPObject> CMainFrame::RecordOfRow(const QModelIndex& row) const
{
    return row.isValid() ? m_list->RecordAt(m_sorted->mapToSource(row).row()) : nullptr;
}

std::shared_ptr<CSDPObject> CMainFrame::FirstSelectedRecord() const
{
    return RecordOfRow(FirstSelectedRow());
}

void CMainFrame::UpdateCommands()
{
    // The tree's own Delete (folders) comes with its folder commands.
    const auto record = m_listActive ? FirstSelectedRecord() : nullptr;
    m_delete->setEnabled(record && record->own);
    m_tools->setEnabled(m_listActive && onTools);
}

void CMainFrame::OnOpen()
{
    OpenRow(FirstSelectedRow());
}

void CMainFrame::OnDelete()
{
    const auto record = FirstSelectedRecord();
    if (!record)
        return;
    if (!record->own) {
        m_prompter.Show("You can only remove your own announcements!");
        return;
    }
    // The store takes the row away and sends the deletion for the others.
    m_doc.RemoveSession(record);
}

void CMainFrame::OpenRow(const QModelIndex& index)
{
    const auto record = RecordOfRow(index);
    if (!record)
        return;
    if (!record->children) {
        if (m_toolStarter)
            m_toolStarter->StartTools(record, -1, 0);
        return;
    }
    // A directory: its tree item is selected without a notice of its own
    // (the title stays), then the list shows it.
    const QModelIndex item = m_tree->IndexOf(*record);
    if (item.isValid()) {
        m_selectingQuietly = true;
        m_treeView->setCurrentIndex(item);
        m_treeView->scrollTo(item);
        m_selectingQuietly = false;
    }
    m_doc.Notify(CViewHint::Show(record));
}

QAction* CMainFrame::FilterAction(int mode) const
{
    const auto found = m_filterActions.find(mode);
    return found == m_filterActions.end() ? nullptr : found->second;
}

void CMainFrame::SetFilter(int mode)
{
    m_list->SetFilterMode(mode);
    if (QAction* action = FilterAction(m_doc.filterMode))
        action->setChecked(true);
}

void CMainFrame::ArrangeBy(int column)
{
    m_sorted->ToggleSort(column);
    ShowSortState();
}

void CMainFrame::ShowSortState()
{
    const int mode = m_sorted->SortMode();
    const int column = listrules::SortColumn(mode);
    m_listView->header()->setSortIndicator(column, listrules::SortAscending(mode) ? Qt::AscendingOrder
                                                                                  : Qt::DescendingOrder);
    for (const auto& [c, action] : m_arrangeActions)
        action->setChecked(c == column);
}

void CMainFrame::OnExit()
{
    if (m_prompter.Show("Selecting YES will quit the program selecting NO will make the program run in the background",
                        EPromptButtons::YesNo, EPromptIcon::Question) == EPromptAnswer::Yes)
        close();
    else
        HideToTray("MBone sessions");
}

void CMainFrame::CreateTrayIcon()
{
    m_tray = new QSystemTrayIcon(rowicons::SessionIcon(0), this);
    setWindowIcon(m_tray->icon());
    auto* menu = new QMenu(this);
    connect(menu->addAction("&Open"), &QAction::triggered, this, &CMainFrame::ShowFromTray);
    // Ends the program the normal way, so the cache is written.
    connect(menu->addAction("&Close"), &QAction::triggered, this, [this] {
        m_tray->hide();
        close();
        QCoreApplication::quit();
    });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            ShowFromTray();
        else if (reason == QSystemTrayIcon::Trigger && isVisible()) {
            raise();
            activateWindow();
        }
    });
}

void CMainFrame::HideToTray(const QString& tip)
{
    if (!trayAvailable || !trayAvailable())
        return;
    m_tray->setToolTip(tip);
    m_tray->show();
    hide();
}

void CMainFrame::ShowFromTray()
{
    m_tray->hide();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Minimising puts the window in the tray instead (where there is one);
    // it is hidden in its normal state, so showing it needs no restore.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable && trayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (!isMinimized())
                return;
            setWindowState(windowState() & ~Qt::WindowMinimized);
            HideToTray("Multicast Sessions");
        });
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    m_tray->hide();
    if (!m_closed && onClose) {
        m_closed = true;
        onClose();
    }
    event->accept();
}
