#include "gui/MainFrame.h"

#include "base/Clock.h"
#include "base/FileIO.h"
#include "base/Prompter.h"
#include "base/ToolStarter.h"
#include "base/ViewFanOut.h"
#include "directory/SessionStore.h"
#include "directory/SessionListRules.h"
#include "gui/AboutBox.h"
#include "gui/DirectoryTreePane.h"
#include "gui/SessionListPane.h"
#include "gui/TrayIcon.h"
#include "gui/WindowChrome.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"
#include "views/DirectoryTreeModel.h"
#include "views/DisplayText.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStringDecoder>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>

#include <system_error>

namespace {
// Bytes as text whole, line ends included: UTF-8 when valid, else Latin-1.
QString TextOfBytes(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : text;
}
} // namespace

CMainFrame::CMainFrame(CSessionStore& doc, CViewFanOut& views, Prompter& prompter, ToolStarter* tools,
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

    m_chrome = std::make_unique<CWindowChrome>(*this, m_doc.filterMode, m_prompter);
    WireCommands();
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
    m_treePane->disconnect(this);
    m_listPane->disconnect(this);
    SearchField().removeEventFilter(m_listPane);
    ListView().removeEventFilter(m_listPane);
    TreeView().removeEventFilter(m_treePane);
    TreeView().viewport()->removeEventFilter(m_treePane);
    m_views.Detach(*m_list);
    m_views.Detach(*m_tree);
}

void CMainFrame::WireCommands()
{
    connect(OpenAction(), &QAction::triggered, this, &CMainFrame::OnOpen);
    // Windows that live elsewhere: greyed until a handler is set.
    for (ECommand c : {ECommand::NewFolder, ECommand::NewSession, ECommand::Edit, ECommand::Properties,
                       ECommand::Settings, ECommand::Tools}) {
        QAction* action = CommandAction(c);
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, [this, c] { RunHandler(c); });
    }
    connect(DeleteAction(), &QAction::triggered, this, &CMainFrame::OnDelete);
    connect(AutoStartAction(), &QAction::triggered, this, &CMainFrame::OnAutoStart);
    connect(CommandAction(ECommand::CopySdp), &QAction::triggered, this, &CMainFrame::OnCopySdp);
    connect(CommandAction(ECommand::SaveSdp), &QAction::triggered, this, &CMainFrame::OnSaveSdp);
    connect(CommandAction(ECommand::ClearCache), &QAction::triggered, this, [this] { m_doc.ClearCache(); });
    connect(ExitAction(), &QAction::triggered, this, &CMainFrame::OnExit);
    connect(AboutAction(), &QAction::triggered, this, [this] { CAboutBox(this).exec(); });
    for (const auto& [mode, action] : m_chrome->FilterActions())
        connect(action, &QAction::triggered, this, [this, mode = mode] { SetFilter(mode); });
    for (const auto& [column, action] : m_chrome->ArrangeActions())
        connect(action, &QAction::triggered, this, [this, column = column] { ArrangeBy(column); });
}

void CMainFrame::CreatePanes()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);

    m_treePane = new CDirectoryTreePane(m_doc, *m_tree, TreeMenu(), *m_splitter, this);
    connect(m_treePane, &CDirectoryTreePane::Activated, this, [this] { m_listActive = false; });
    connect(m_treePane, &CDirectoryTreePane::Changed, this, &CMainFrame::UpdateCommands);
    connect(m_treePane, &CDirectoryTreePane::TitleChanged, this, &QWidget::setWindowTitle);

    m_listPane = new CSessionListPane(*m_list, *m_sorted, ListMenu(), m_splitter);
    connect(m_listPane, &CSessionListPane::Activated, this, [this] { m_listActive = true; });
    connect(m_listPane, &CSessionListPane::Changed, this, &CMainFrame::UpdateCommands);
    connect(m_listPane, &CSessionListPane::ColumnClicked, this, &CMainFrame::ArrangeBy);
    connect(m_listPane, &CSessionListPane::RowOpened, this, &CMainFrame::OpenRow);
    ListView().addAction(OpenAction());
    for (QMenu* menu : {&ListMenu(), &TreeMenu()})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);

    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == &ListView() || now == &TreeView()) {
            const bool wasActive = m_listActive;
            m_listActive = now == &ListView();
            if (m_listActive != wasActive)
                ActivateList(m_listActive);
            UpdateCommands();
        }
    });

    // The menu text carries "DEL"; the key itself works in the panes only,
    // and only while the command is enabled. Alt+Enter likewise.
    for (QTreeView* pane : {&ListView(), &TreeView()}) {
        auto* deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), pane, nullptr, nullptr, Qt::WidgetShortcut);
        connect(deleteKey, &QShortcut::activated, DeleteAction(), &QAction::trigger);
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            auto* propertiesKey =
                new QShortcut(QKeySequence(Qt::ALT | key), pane, nullptr, nullptr, Qt::WidgetShortcut);
            connect(propertiesKey, &QShortcut::activated, CommandAction(ECommand::Properties), &QAction::trigger);
        }
    }

    m_splitter->addWidget(&TreeView());
    m_splitter->addWidget(m_listPane);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({200, 800});
    setCentralWidget(m_splitter);
    // Tab goes between the two panes; the search field is one Ctrl+F away.
    setTabOrder(&TreeView(), &ListView());
    UpdateCommands();
}

void CMainFrame::CreateTrayIcon()
{
    m_tray = new CTrayIcon(*this);
    setWindowIcon(m_tray->Icon().icon());
    connect(m_tray, &CTrayIcon::OpenRequested, this, &CMainFrame::ShowFromTray);
}

void CMainFrame::ActivateList(bool active)
{
    m_listPane->Activate(active);
}

QTreeView& CMainFrame::TreeView() const
{
    return m_treePane->View();
}

QTreeView& CMainFrame::ListView() const
{
    return m_listPane->View();
}

QLineEdit& CMainFrame::SearchField() const
{
    return m_listPane->SearchField();
}

QSystemTrayIcon& CMainFrame::TrayIcon() const
{
    return m_tray->Icon();
}

QMenu& CMainFrame::TrayMenu() const
{
    return m_tray->Menu();
}

CLockKeyWatch& CMainFrame::LockKeys() const
{
    return m_chrome->LockKeys();
}

QMenu& CMainFrame::ListMenu() const
{
    return m_chrome->ListMenu();
}

QMenu& CMainFrame::TreeMenu() const
{
    return m_chrome->TreeMenu();
}

QMenu& CMainFrame::ViewMenu() const
{
    return m_chrome->ViewMenu();
}

QAction* CMainFrame::CommandAction(ECommand command) const
{
    return m_chrome->CommandAction(command);
}

QAction* CMainFrame::ExitAction() const
{
    return m_chrome->ExitAction();
}

QAction* CMainFrame::HelpTopicsAction() const
{
    return m_chrome->HelpTopicsAction();
}

QAction* CMainFrame::WebsiteAction() const
{
    return m_chrome->WebsiteAction();
}

QAction* CMainFrame::AboutAction() const
{
    return m_chrome->AboutAction();
}

std::shared_ptr<CSDPObject> CMainFrame::TreeRecord() const
{
    return m_treePane->Record();
}

std::shared_ptr<CSDPObject> CMainFrame::FirstSelectedRecord() const
{
    return m_listPane->FirstSelectedRecord();
}

QAction* CMainFrame::ArrangeAction(int column) const
{
    return m_chrome->ArrangeAction(column);
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
    if (!m_listPane || !m_treePane)
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
        AutoStartAction()->setChecked(state.autoStartChecked);
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
    OpenRow(m_listPane->FirstSelectedRow());
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
        QAction* autoStart = AutoStartAction();
        const QSignalBlocker quiet(autoStart);
        autoStart->setChecked(!autoStart->isChecked());
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
    OpenRecord(m_listPane->RecordOfRow(index));
}

void CMainFrame::OpenRecord(const std::shared_ptr<CSDPObject>& record)
{
    if (!record)
        return;
    if (!record->links->children) {
        if (m_toolStarter)
            m_toolStarter->StartTools(record, -1, 0);
        return;
    }
    // A directory: its tree item is selected without a notice of its own
    // (the title stays), then the list shows it.
    m_treePane->SelectQuietly(*record);
    m_doc.Notify(CViewHint::Show(record));
}

QAction* CMainFrame::FilterAction(int mode) const
{
    return m_chrome->FilterAction(mode);
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
    const bool ascending = listrules::SortAscending(mode);
    m_listPane->ShowSortIndicator(column, ascending);
    // The active entry carries a hand pointing the way the list runs.
    m_chrome->ShowArrangeMark(column, ascending);
}

void CMainFrame::OnExit()
{
    if (m_prompter.Show("Selecting YES will quit the program selecting NO will make the program run in the background",
                        EPromptButtons::YesNo, EPromptIcon::Question) == EPromptAnswer::Yes)
        close();
    else
        HideToTray("MBone sessions");
}

void CMainFrame::HideToTray(const QString& tip)
{
    if (!trayAvailable || !trayAvailable())
        return;
    m_tray->Show(tip);
    hide();
}

void CMainFrame::ShowFromTray()
{
    m_tray->Hide();
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
    m_tray->Hide();
    if (!m_closed && onClose) {
        m_closed = true;
        onClose();
    }
    event->accept();
}
