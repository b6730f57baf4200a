#include "gui/MainFrame.h"

#include "base/Clock.h"
#include "base/FileIO.h"
#include "base/Prompter.h"
#include "base/ToolStarter.h"
#include "base/ViewFanOut.h"
#include "directory/Ostara32Doc.h"
#include "directory/SessionListRules.h"
#include "gui/AboutBox.h"
#include "gui/Artwork.h"
#include "gui/RowIcons.h"
#include "gui/StatusPanes.h"
#include "gui/TreeLines.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"
#include "views/DirectoryTreeModel.h"
#include "views/DisplayText.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QGuiApplication>
#include <QSplitter>
#include <QStatusBar>
#include <QStringDecoder>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <system_error>

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
// Bytes as text whole, line ends included: UTF-8 when valid, else Latin-1.
QString TextOfBytes(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : text;
}
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
    for (QObject* watched : {static_cast<QObject*>(m_search), static_cast<QObject*>(m_listView),
                             static_cast<QObject*>(m_treeView), static_cast<QObject*>(m_treeView->viewport())})
        watched->removeEventFilter(this);
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
    connect(m_open, &QAction::triggered, this, &CMainFrame::OnOpen);
    // Their windows come later; shown greyed until then.
    for (QAction* later : {m_helpTopics, m_website})
        later->setEnabled(false);
    // Windows that live elsewhere: greyed until a handler is set.
    for (ECommand c : {ECommand::NewFolder, ECommand::NewSession, ECommand::Edit, ECommand::Properties,
                       ECommand::Settings, ECommand::Tools}) {
        QAction* action = CommandAction(c);
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, [this, c] { RunHandler(c); });
    }
    m_newSession->setIconText("New Session");
    m_newFolder->setIconText("New Folder");
    m_delete->setIconText("Delete");
    m_properties->setIconText("Properties");

    connect(m_delete, &QAction::triggered, this, &CMainFrame::OnDelete);
    connect(m_autoStart, &QAction::triggered, this, &CMainFrame::OnAutoStart);
    connect(m_copySdp, &QAction::triggered, this, &CMainFrame::OnCopySdp);
    connect(m_saveSdp, &QAction::triggered, this, &CMainFrame::OnSaveSdp);
    connect(m_clearCache, &QAction::triggered, this, [this] { m_doc.ClearCache(); });
    connect(m_exit, &QAction::triggered, this, &CMainFrame::OnExit);
    connect(m_about, &QAction::triggered, this, [this] { CAboutBox(this).exec(); });

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
        // Not checkable: the hand is the mark, the others show none.
        QAction* action = Command(c.text);
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

    QMenu* view = m_viewMenu = menuBar()->addMenu("&View");
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
    for (const auto& [mode, action] : m_filterActions)
        bar->addAction(action);
    bar->addSeparator();
    bar->addAction(m_about);
    // The logo at the bar's far end. Neither it nor the gap before it takes
    // the mouse, so a double click there counts as one on the bar itself.
    auto* gap = new QWidget(bar);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* logo = new QLabel(bar);
    logo->setObjectName("logo");
    logo->setContentsMargins(6, 0, 6, 0);
    const QPixmap picture = artwork::ProgramIcon().pixmap(QSize(kLogoSize, kLogoSize), devicePixelRatioF());
    if (picture.isNull())
        m_prompter.Show("Failed to open animation ctrl", EPromptButtons::OkCancel, EPromptIcon::Warning);
    logo->setPixmap(picture);
    for (QWidget* w : {gap, static_cast<QWidget*>(logo)}) {
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        bar->addWidget(w);
    }

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
    m_panes = new CStatusPanes(*bar);
    bar->showMessage(kIdlePrompt);
    // A menu prompt replaces the idle text only while its entry is hovered.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
        if (text.isEmpty())
            bar->showMessage(kIdlePrompt);
    });
}

CLockKeyWatch& CMainFrame::LockKeys() const
{
    return m_panes->LockKeys();
}

void CMainFrame::CreatePanes()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);

    m_treeView = new QTreeView(m_splitter);
    // Before the view's own selection model, which would otherwise move the
    // selection to a sibling and tell everyone.
    connect(m_tree, &QAbstractItemModel::rowsAboutToBeRemoved, this, &CMainFrame::OnTreeRowsAboutToBeRemoved);
    m_treeView->setModel(m_tree);
    m_treeView->setItemDelegate(new CTreeItemDelegate(m_treeView));
    auto* lines = new CTreeLinesStyle;
    lines->setParent(m_treeView);
    m_treeView->setStyle(lines);
    m_treeView->setHeaderHidden(true);
    m_treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_treeView->setMinimumSize(100, 100);
    m_treeView->expand(m_tree->RootIndex());
    // Selecting the root at start tells nobody: the list shows the top level.
    m_treeView->setCurrentIndex(m_tree->RootIndex());
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CMainFrame::OnTreeSelection);
    // A directory added later below an expanded item shows without a click;
    // after a reset (Clear cache) the root is selected again, quietly.
    connect(m_tree, &QAbstractItemModel::modelReset, this, [this] {
        m_treeView->expand(m_tree->RootIndex());
        SelectTreeItemQuietly(m_tree->RootIndex());
        UpdateCommands();
    });
    connect(m_tree, &QAbstractItemModel::dataChanged, this, &CMainFrame::UpdateCommands);

    QWidget* listPane = CreateListPane();
    CreateContextMenus();
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == m_listView || now == m_treeView) {
            const bool wasActive = m_listActive;
            m_listActive = now == m_listView;
            if (m_listActive != wasActive)
                ActivateList(m_listActive);
            UpdateCommands();
        }
    });

    // The menu text carries "DEL"; the key itself works in the panes only,
    // and only while the command is enabled. Alt+Enter likewise.
    for (QTreeView* pane : {m_listView, m_treeView}) {
        auto* deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), pane, nullptr, nullptr, Qt::WidgetShortcut);
        connect(deleteKey, &QShortcut::activated, m_delete, &QAction::trigger);
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            auto* propertiesKey =
                new QShortcut(QKeySequence(Qt::ALT | key), pane, nullptr, nullptr, Qt::WidgetShortcut);
            connect(propertiesKey, &QShortcut::activated, m_properties, &QAction::trigger);
        }
    }

    m_splitter->addWidget(m_treeView);
    m_splitter->addWidget(listPane);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({200, 800});
    setCentralWidget(m_splitter);
    // Tab goes between the two panes; the search field is one Ctrl+F away.
    setTabOrder(m_treeView, m_listView);
    UpdateCommands();
}

QWidget* CMainFrame::CreateListPane()
{
    auto* pane = new QWidget(m_splitter);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    m_search = new QLineEdit(pane);
    m_search->setPlaceholderText("Search names, information and addresses (Ctrl+F)");
    m_search->setAccessibleName("Search");
    m_search->setClearButtonEnabled(true);
    m_search->setFocusPolicy(Qt::ClickFocus);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, m_sorted, &CSessionSortFilter::SetSearchText);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    layout->addWidget(m_search);

    m_listView = new QTreeView(pane);
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
    // The Reception column waits, hidden, beside the session's name until
    // the View menu shows it.
    header->resizeSection(CSessionListModel::kColumnReception, 190);
    header->moveSection(header->visualIndex(CSessionListModel::kColumnReception),
                        header->visualIndex(listrules::kColumnInfo));
    header->hideSection(CSessionListModel::kColumnReception);
    connect(header, &QHeaderView::sectionClicked, this, &CMainFrame::ArrangeBy);
    m_listView->addAction(m_open);
    connect(m_listView, &QAbstractItemView::doubleClicked, this, &CMainFrame::OpenRow);
    connect(m_listView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CMainFrame::UpdateCommands);
    // Rows come, go and change (a session starts, the Auto Start mark).
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_sorted, signal, this, &CMainFrame::UpdateCommands);
    connect(m_sorted, &QAbstractItemModel::modelReset, this, &CMainFrame::UpdateCommands);
    // A run of new rows, a re-sort or a new search comes as a layout change.
    connect(m_sorted, &QAbstractItemModel::layoutChanged, this, &CMainFrame::UpdateCommands);
    connect(m_sorted, &QAbstractItemModel::dataChanged, this, &CMainFrame::UpdateCommands);
    layout->addWidget(m_listView, 1);
    return pane;
}

void CMainFrame::CreateContextMenus()
{
    auto addCommon = [this](QMenu* menu) {
        QMenu* newMenu = menu->addMenu("&New\tCtrl+N");
        newMenu->addAction(m_newFolder);
        newMenu->addAction(m_newSession);
        for (QAction* a : {m_delete, m_edit, m_properties})
            menu->addAction(a);
    };
    m_listMenu = new QMenu(this);
    addCommon(m_listMenu);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_autoStart);
    m_listMenu->addSeparator();
    m_listMenu->addAction(m_copySdp);
    m_listMenu->addAction(m_saveSdp);
    m_listView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_listView->installEventFilter(this);
    connect(m_listView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        m_listActive = true;
        UpdateCommands();
        m_listMenu->popup(m_listView->viewport()->mapToGlobal(at));
    });

    m_treeMenu = new QMenu(this);
    addCommon(m_treeMenu);
    m_treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_treeView->installEventFilter(this);
    m_treeView->viewport()->installEventFilter(this);
    for (QMenu* menu : {m_listMenu, m_treeMenu})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
}

void CMainFrame::ActivateList(bool active)
{
    // The active list acts on a row: its current one (kept while the tree
    // was active), else its first selected one, else row 0, so that Enter,
    // Delete and Properties work after Tab. Left for the tree, it shows no
    // selection.
    QItemSelectionModel* selection = m_listView->selectionModel();
    if (!active) {
        selection->clearSelection();
        return;
    }
    const QModelIndexList rows = selection->selectedRows();
    const QModelIndex current = selection->currentIndex();
    const QModelIndex row = current.isValid() ? current
        : !rows.isEmpty()                   ? rows.front()
                                            : m_listView->model()->index(0, 0);
    if (!row.isValid())
        return;
    selection->setCurrentIndex(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            if (m_search->text().isEmpty())
                m_listView->setFocus(Qt::OtherFocusReason);
            m_search->clear();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) {
            m_listView->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    // The menu key opens the menus beside the pane instead of at the pointer.
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        if (watched == m_listView) {
            m_listActive = true;
            UpdateCommands();
            m_listMenu->popup(m_listView->mapToGlobal(QPoint(5, 5)));
            return true;
        }
        if (watched == m_treeView) {
            const QRect item = m_treeView->visualRect(m_treeView->currentIndex());
            ShowTreeMenu(m_treeView->viewport()->mapToGlobal(item.isValid() ? item.center() : QPoint(5, 5)));
            return true;
        }
    }
    // The right button selects without the title change a left click makes;
    // the tree menu opens when the button is let go. The menu event some
    // platforms send with the press is not used.
    if (watched == m_treeView->viewport()) {
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
                    OnTreeRightPress(at);
                else if (m_treeView->indexAt(at).isValid())
                    ShowTreeMenu(m_treeView->viewport()->mapToGlobal(at));
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::OnTreeRightPress(const QPoint& at)
{
    const QModelIndex item = m_treeView->indexAt(at);
    if (!item.isValid())
        return;
    m_treeView->setFocus(Qt::MouseFocusReason);
    m_listActive = false;
    SelectTreeItemQuietly(item);
    m_doc.Notify(CViewHint::Show(m_tree->RecordAt(item)));
    UpdateCommands();
}

void CMainFrame::ShowTreeMenu(const QPoint& globalAt)
{
    m_listActive = false;
    UpdateCommands();
    m_treeMenu->popup(globalAt);
}

void CMainFrame::SelectTreeItemQuietly(const QModelIndex& item)
{
    if (!item.isValid())
        return;
    m_selectingQuietly = true;
    m_treeView->setCurrentIndex(item);
    m_treeView->scrollTo(item);
    m_selectingQuietly = false;
}

void CMainFrame::OnTreeRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last)
{
    // The item going (or one below it) is the selection: its parent takes
    // over without a notice, since the store moves the list there itself.
    for (QModelIndex i = m_treeView->currentIndex(); i.isValid(); i = i.parent()) {
        if (i.parent() == parent && i.row() >= first && i.row() <= last) {
            SelectTreeItemQuietly(parent.isValid() ? parent : m_tree->RootIndex());
            return;
        }
    }
}

std::shared_ptr<CSDPObject> CMainFrame::TreeRecord() const
{
    return m_tree->RecordAt(m_treeView->currentIndex());
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

QAction* CMainFrame::CommandAction(ECommand command) const
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

QAction* CMainFrame::ArrangeAction(int column) const
{
    const auto found = m_arrangeActions.find(column);
    return found == m_arrangeActions.end() ? nullptr : found->second;
}

void CMainFrame::SetCommandHandler(ECommand command, CCommandHandler handler)
{
    switch (command) {
    case ECommand::NewFolder:
    case ECommand::NewSession:
    case ECommand::Edit:
    case ECommand::Properties:
    case ECommand::Settings:
    case ECommand::Tools:
        m_handlers[command] = std::move(handler);
        UpdateCommands();
        break;
    default:
        break; // the window carries out the others itself
    }
}

CCommandSet CMainFrame::Handled() const
{
    CCommandSet handled = CCommandSet::All();
    for (ECommand c : {ECommand::NewFolder, ECommand::NewSession, ECommand::Edit, ECommand::Properties,
                       ECommand::Settings, ECommand::Tools}) {
        const auto found = m_handlers.find(c);
        handled.Set(c, found != m_handlers.end() && found->second);
    }
    return handled;
}

CPaneFacts CMainFrame::Facts() const
{
    CPaneFacts facts;
    facts.listActive = m_listActive;
    facts.listShowsDirectory = m_list->Directory() != nullptr;
    if (const auto row = FirstSelectedRecord()) {
        const Clock& clock = m_doc.Ports().clock;
        facts.hasRow = true;
        facts.rowOwn = row->own != 0;
        facts.rowIsDirectory = IsDirectoryType(row->sessionType) || row->links->children;
        facts.rowActiveNow = IsInPeriod(*row, kPeriodNow, clock.Now(), clock);
        facts.rowAutoStart = row->startTools != 0;
    }
    if (const auto directory = TreeRecord()) {
        facts.treeHasDirectory = true;
        facts.treeOwn = directory->own != 0;
    }
    return facts;
}

void CMainFrame::UpdateCommands()
{
    if (!m_listView || !m_treeView)
        return; // still being built
    const CCommandState state = DecideCommands(Facts(), Handled());
    for (int i = 0; i < static_cast<int>(ECommand::kCount); ++i) {
        const auto command = static_cast<ECommand>(i);
        if (command == ECommand::AutoStart && state.autoStartKept)
            continue;
        if (QAction* action = CommandAction(command))
            action->setEnabled(state.enabled.Has(command));
    }
    if (!state.autoStartKept)
        m_autoStart->setChecked(state.autoStartChecked);
}

void CMainFrame::RunHandler(ECommand command)
{
    const auto found = m_handlers.find(command);
    if (found == m_handlers.end() || !found->second)
        return;
    // A copy: the handler may replace itself while its window is open.
    const CCommandHandler handler = found->second;
    CCommandTarget target;
    target.fromTree = !m_listActive;
    target.record = m_listActive ? FirstSelectedRecord() : TreeRecord();
    switch (command) {
    case ECommand::NewSession:
        target.directory = m_listActive ? m_list->Directory() : TreeRecord();
        if (!target.directory)
            return;
        break;
    case ECommand::NewFolder:
        target.directory = TreeRecord() ? TreeRecord() : m_list->Directory();
        if (!target.directory)
            return;
        break;
    case ECommand::Edit:
    case ECommand::Properties:
        if (!target.record)
            return;
        break;
    default:
        break;
    }
    handler(target);
}

void CMainFrame::OnOpen()
{
    OpenRow(FirstSelectedRow());
}

void CMainFrame::OnDelete()
{
    if (!m_listActive) {
        // Only own folders reach here: the tree holds no plain sessions.
        const auto directory = TreeRecord();
        if (directory && directory->own)
            m_doc.RemoveSession(directory);
        return;
    }
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

void CMainFrame::OnAutoStart()
{
    const auto record = FirstSelectedRecord();
    const CCommandState state = DecideCommands(Facts(), Handled());
    if (!record || !state.enabled.Has(ECommand::AutoStart)) {
        // The entry toggled its own mark; it keeps the one it showed.
        const QSignalBlocker quiet(m_autoStart);
        m_autoStart->setChecked(!m_autoStart->isChecked());
        return;
    }
    {
        CRecordLock lock(*record);
        if (!lock.ok())
            return;
        record->startTools = record->startTools ? 0 : 1;
    }
    // The row's image gains or loses the clock; the walk starts the tools.
    m_list->RefreshRecord(*record);
    m_doc.Notify(CViewHint::ListsChanged());
    UpdateCommands();
}

bool CMainFrame::SelectedSdp(std::string& text, std::string& name) const
{
    const auto record = FirstSelectedRecord();
    if (!record || IsDirectoryType(record->sessionType) || record->links->children)
        return false;
    CRecordLock lock(*record);
    if (!lock.ok())
        return false;
    record->WriteSdp(text);
    name = record->name;
    return true;
}

void CMainFrame::OnCopySdp()
{
    std::string text;
    std::string name;
    if (!SelectedSdp(text, name))
        return;
    auto* data = new QMimeData;
    data->setText(TextOfBytes(text));
    // The bytes as written, for programs that read session descriptions.
    data->setData("application/sdp", QByteArray::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data);
}

void CMainFrame::OnSaveSdp()
{
    std::string text;
    std::string name;
    if (!SelectedSdp(text, name))
        return;
    // The session's name as a file name: no separators, no hidden file.
    QString base = DisplayText(name).simplified();
    base.replace(QRegularExpression(R"([/\\:*?"<>|])"), "_");
    while (base.startsWith('.'))
        base.remove(0, 1);
    if (base.isEmpty())
        base = "session";
    const QString suggested = QDir::home().filePath(base + ".sdp");
    QString path = chooseSdpFile ? chooseSdpFile(suggested)
                                 : QFileDialog::getSaveFileName(this, "Save SDP As", suggested,
                                                                "Session descriptions (*.sdp);;All files (*)");
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".sdp";
    int error = 0;
    if (!fileio::WriteFileAtomically(QFile::encodeName(path).toStdString(), text, &error)) {
        m_prompter.Show("Could not save " + QDir::toNativeSeparators(path).toStdString() + ":\n" +
                            std::generic_category().message(error),
                        EPromptButtons::Ok, EPromptIcon::Error);
    }
}

void CMainFrame::OpenRow(const QModelIndex& index)
{
    const auto record = RecordOfRow(index);
    if (!record)
        return;
    if (!record->links->children) {
        if (m_toolStarter)
            m_toolStarter->StartTools(record, -1, 0);
        return;
    }
    // A directory: its tree item is selected without a notice of its own
    // (the title stays), then the list shows it.
    SelectTreeItemQuietly(m_tree->IndexOf(*record));
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
    // The active entry carries a hand pointing the way the list runs.
    const QIcon hand = rowicons::HandIcon(listrules::SortAscending(mode));
    for (const auto& [c, action] : m_arrangeActions)
        action->setIcon(c == column ? hand : QIcon());
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
    m_tray = new QSystemTrayIcon(artwork::ProgramIcon(), this);
    setWindowIcon(m_tray->icon());
    m_trayMenu = new QMenu(this);
    connect(m_trayMenu->addAction("&Open"), &QAction::triggered, this, &CMainFrame::ShowFromTray);
    // Ends the program the normal way, so the cache is written.
    connect(m_trayMenu->addAction("&Close"), &QAction::triggered, this, [this] {
        m_tray->hide();
        close();
        QCoreApplication::quit();
    });
    // Not the icon's own context menu: the platform would open that one to
    // the right of the pointer, and the icon sits at the screen's edge.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Context)
            ShowTrayMenu(QCursor::pos());
        else if (reason == QSystemTrayIcon::DoubleClick)
            ShowFromTray();
        else if (reason == QSystemTrayIcon::Trigger && isVisible()) {
            raise();
            activateWindow();
        }
    });
}

void CMainFrame::ShowTrayMenu(const QPoint& pointer)
{
    m_trayMenu->popup(pointer - QPoint(m_trayMenu->sizeHint().width(), 0));
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
