#include "gui/ToolPickerDialog.h"

#include "base/Prompter.h"
#include "gui/ToolDialogs.h"
#include "tools/ToolLauncher.h"
#include "tools/ToolPicker.h"
#include "views/DisplayText.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kToolRole = Qt::UserRole;
constexpr int kGroupRole = Qt::UserRole;
// Where a context menu opened from the keyboard appears, from the list's corner.
constexpr int kKeyboardMenuOffset = 5;

QString PathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The 25 by 25 arrows of "Up" and "Down", in the button text's colour.
QIcon ArrowIcon(bool up, const QColor& colour)
{
    QPixmap pixmap(25, 25);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QPolygonF arrow = up ? QPolygonF{{12.5, 5}, {21, 14}, {16, 14}, {16, 20}, {9, 20}, {9, 14}, {4, 14}}
                               : QPolygonF{{12.5, 20}, {21, 11}, {16, 11}, {16, 5}, {9, 5}, {9, 11}, {4, 11}};
    painter.drawPolygon(arrow);
    return QIcon(pixmap);
}

QPushButton* ArrowButton(bool up, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    const QString name = up ? QStringLiteral("Up") : QStringLiteral("Down");
    button->setIcon(ArrowIcon(up, parent->palette().color(QPalette::ButtonText)));
    button->setIconSize(QSize(25, 25));
    button->setToolTip(name);
    button->setAccessibleName(name);
    return button;
}

QListWidget* ToolList(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setContextMenuPolicy(Qt::PreventContextMenu); // the dialog's filter opens it
    return list;
}

// "description of ...": the plug-in's words about its tool.
void ShowDescriptionDialog(const CToolEntry& tool, QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("description of ") + DisplayText(tool.name));
    auto* text = new QPlainTextEdit(QString::fromUtf8(ToolDescription(tool)), &dialog);
    text->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.resize(360, 180);
    dialog.exec();
}

} // namespace

CChangePathDialog::CChangePathDialog(const QString& path, QWidget* parent)
    : QDialog(parent), m_field(new QLineEdit(path, this))
{
    setWindowTitle(QStringLiteral("Change Path"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_field);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
    m_field->selectAll();
    m_field->setFocus();
}

QString CChangePathDialog::Path() const { return m_field->text(); }

CToolPickerDialog::CToolPickerDialog(CToolData& tools, Prompter& prompter, ToolDialogs& dialogs, QWidget* parent,
                                     ExecutableLocator locate)
    : QDialog(parent), m_tools(tools), m_prompter(prompter), m_dialogs(dialogs), m_locate(std::move(locate)),
      m_groups(new QTreeWidget(this)), m_available(ToolList(this)), m_selected(ToolList(this)),
      m_add(new QPushButton(QStringLiteral(">>"), this)), m_remove(new QPushButton(QStringLiteral("<<"), this)),
      m_up(ArrowButton(true, this)), m_down(ArrowButton(false, this)),
      m_path(new QPushButton(QStringLiteral("Find Tool..."), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this)),
      m_groupMenu(new QMenu(this)), m_toolMenu(new QMenu(this))
{
    setWindowTitle(QStringLiteral("Tool Picker"));
    searchNewPlugins = [this](const CMediaListEntry& group) {
        return m_dialogs.SearchOnlinePlugin(group.media, group.protocol, group.format);
    };

    m_groups->setColumnCount(3);
    m_groups->setHeaderLabels({QStringLiteral("Media"), QStringLiteral("Protocol"), QStringLiteral("Format")});
    m_groups->setRootIsDecorated(false);
    m_groups->setAllColumnsShowFocus(true);
    m_groups->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_groups->setSelectionMode(QAbstractItemView::SingleSelection);
    m_groups->setContextMenuPolicy(Qt::PreventContextMenu);
    QHeaderView* header = m_groups->header();
    header->setSectionsMovable(true);
    // The first widths, never narrower than the column's title; the format
    // names take what is left.
    const int widths[] = {50, 50, 80};
    for (int column = 0; column < 3; ++column)
        header->resizeSection(column, std::max(widths[column], header->sectionSizeHint(column)));
    header->setStretchLastSection(true);

    auto* groupSide = new QVBoxLayout;
    groupSide->addWidget(new QLabel(QStringLiteral("Supported Media and Formats"), this));
    groupSide->addWidget(m_groups, 1);

    auto* availableSide = new QVBoxLayout;
    availableSide->addWidget(new QLabel(QStringLiteral("Available Tools:"), this));
    availableSide->addWidget(m_available, 1);

    auto* moves = new QVBoxLayout;
    moves->addStretch(1);
    for (QPushButton* button : {m_add, m_remove, m_up, m_down}) {
        button->setAutoDefault(false);
        moves->addWidget(button);
    }
    moves->addStretch(1);

    auto* selectedSide = new QVBoxLayout;
    selectedSide->addWidget(new QLabel(QStringLiteral("Selected Tools:"), this));
    selectedSide->addWidget(m_selected, 1);

    auto* lists = new QHBoxLayout;
    lists->addLayout(groupSide, 3);
    lists->addLayout(availableSide, 2);
    lists->addLayout(moves);
    lists->addLayout(selectedSide, 2);

    m_ok->setDefault(true);
    m_path->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_path);
    bottom->addStretch(1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(bottom);
    resize(720, 340);

    // The keyboard walks the dialog as it reads: groups, the two tool lists
    // with the buttons between them, then the bottom row.
    setTabOrder(m_groups, m_available);
    setTabOrder(m_available, m_add);
    setTabOrder(m_add, m_remove);
    setTabOrder(m_remove, m_up);
    setTabOrder(m_up, m_down);
    setTabOrder(m_down, m_selected);
    setTabOrder(m_selected, m_path);
    setTabOrder(m_path, m_ok);
    setTabOrder(m_ok, m_cancel);

    connect(m_groupMenu->addAction(QStringLiteral("new?")), &QAction::triggered, this,
            &CToolPickerDialog::SearchNewPlugins);
    connect(m_toolMenu->addAction(QStringLiteral("Description")), &QAction::triggered, this,
            &CToolPickerDialog::ShowDescription);
    for (QWidget* widget : {static_cast<QWidget*>(m_groups), static_cast<QWidget*>(m_available),
                            static_cast<QWidget*>(m_selected)}) {
        widget->installEventFilter(this);
        static_cast<QAbstractScrollArea*>(widget)->viewport()->installEventFilter(this);
    }

    connect(m_groups, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!m_filling)
            FillTools();
    });
    for (QListWidget* list : {m_available, m_selected})
        connect(list, &QListWidget::itemSelectionChanged, this, [this, list] {
            if (m_filling || list->selectedItems().isEmpty())
                return;
            m_lastList = list;
            ShowPathButtonFor(*list);
        });
    connect(m_add, &QPushButton::clicked, this, &CToolPickerDialog::OnAdd);
    connect(m_remove, &QPushButton::clicked, this, &CToolPickerDialog::OnRemove);
    connect(m_up, &QPushButton::clicked, this, [this] { OnMove(true); });
    connect(m_down, &QPushButton::clicked, this, [this] { OnMove(false); });
    connect(m_path, &QPushButton::clicked, this, &CToolPickerDialog::OnPathButton);
    connect(m_ok, &QPushButton::clicked, this, &CToolPickerDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CToolPickerDialog::reject);

    m_path->setEnabled(false);
    FillGroups();
    m_groups->setFocus();
}

CMediaListEntry* CToolPickerDialog::CurrentGroup() const
{
    const QList<QTreeWidgetItem*> picked = m_groups->selectedItems();
    if (picked.isEmpty())
        return nullptr;
    const auto at = picked.first()->data(0, kGroupRole).toULongLong();
    // The registry may have been rebuilt behind a dialog this one opened.
    return at < m_tools.registry.groups.size() ? &m_tools.registry.groups[at] : nullptr;
}

int CToolPickerDialog::SelectedTool(const QListWidget& list) const
{
    const CMediaListEntry* group = CurrentGroup();
    const QList<QListWidgetItem*> picked = list.selectedItems();
    if (!group || picked.isEmpty())
        return -1;
    const int at = picked.first()->data(kToolRole).toInt();
    return at >= 0 && static_cast<size_t>(at) < group->tools.size() ? at : -1;
}

void CToolPickerDialog::FillGroups()
{
    m_filling = true;
    m_groups->clear();
    const auto& groups = m_tools.registry.groups;
    for (size_t i = 0; i < groups.size(); ++i) {
        const CMediaListEntry& g = groups[i];
        auto* item = new QTreeWidgetItem(m_groups, {DisplayText(g.media),
                                                    DisplayText(g.protocolName.empty() ? g.protocol : g.protocolName),
                                                    DisplayText(g.formatName.empty() ? g.format : g.formatName)});
        item->setData(0, kGroupRole, static_cast<qulonglong>(i));
    }
    // Wide enough that no format name is cut ("any (through the SDP file)").
    const QAbstractItemView& view = *m_groups; // the view's size hints are public there
    int width = 2 * m_groups->frameWidth() + m_groups->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < m_groups->columnCount(); ++column)
        width += std::max(m_groups->header()->sectionSize(column), view.sizeHintForColumn(column));
    m_groups->setMinimumWidth(width);
    m_filling = false;
    if (QTreeWidgetItem* first = m_groups->topLevelItem(0))
        m_groups->setCurrentItem(first);
    FillTools();
}

void CToolPickerDialog::FillTools(int keep)
{
    m_filling = true;
    m_available->clear();
    m_selected->clear();
    if (CMediaListEntry* group = CurrentGroup()) {
        const auto add = [&](QListWidget& list, size_t at) {
            CToolEntry& tool = group->tools[at];
            tool.executableFound = tool.plugin && ToolExecutableFound(*tool.plugin, m_locate) ? 1 : 0;
            auto* item = new QListWidgetItem(DisplayText(tool.name), &list);
            item->setData(kToolRole, static_cast<int>(at));
            if (!tool.executableFound)
                item->setForeground(Qt::red);
            if (static_cast<int>(at) == keep)
                list.setCurrentItem(item);
        };
        for (size_t at : AvailableTools(*group))
            add(*m_available, at);
        for (size_t at : SelectedTools(*group))
            add(*m_selected, at);
    }
    m_filling = false;
    if (keep >= 0)
        for (QListWidget* list : {m_available, m_selected})
            if (!list->selectedItems().isEmpty()) {
                m_lastList = list;
                ShowPathButtonFor(*list);
            }
}

void CToolPickerDialog::ShowPathButtonFor(const QListWidget& list)
{
    const int at = SelectedTool(list);
    if (at < 0)
        return;
    const bool found = CurrentGroup()->tools[static_cast<size_t>(at)].executableFound;
    m_path->setText(found ? QStringLiteral("Edit Path...") : QStringLiteral("Find Tool..."));
    m_path->setEnabled(true);
}

void CToolPickerDialog::OnAdd()
{
    CMediaListEntry* group = CurrentGroup();
    if (!group) {
        m_prompter.Show("Please select a media entry", EPromptButtons::OkCancel);
        return;
    }
    const int tool = SelectedTool(*m_available);
    if (tool < 0) {
        m_prompter.Show("Please select the tool you want to add!", EPromptButtons::OkCancel);
        return;
    }
    SelectTool(*group, static_cast<size_t>(tool));
    FillTools(tool);
}

void CToolPickerDialog::OnRemove()
{
    CMediaListEntry* group = CurrentGroup();
    if (!group) {
        m_prompter.Show("Please select a media entry", EPromptButtons::OkCancel);
        return;
    }
    const int tool = SelectedTool(*m_selected);
    if (tool < 0) {
        m_prompter.Show("Please select the tool you want to add!", EPromptButtons::OkCancel);
        return;
    }
    DeselectTool(*group, static_cast<size_t>(tool));
    FillTools(tool);
}

void CToolPickerDialog::OnMove(bool up)
{
    CMediaListEntry* group = CurrentGroup();
    const int tool = SelectedTool(*m_selected);
    if (!group || tool < 0)
        return;
    if (up)
        MoveToolUp(*group, static_cast<size_t>(tool));
    else
        MoveToolDown(*group, static_cast<size_t>(tool));
    FillTools(tool);
}

void CToolPickerDialog::OnPathButton()
{
    const int at = m_lastList ? SelectedTool(*m_lastList) : -1;
    if (at >= 0) {
        // A copy: the dialogs below run an event loop, and what the entry
        // points to must not change under them.
        const CToolEntry tool = CurrentGroup()->tools[static_cast<size_t>(at)];
        if (tool.plugin) {
            if (tool.executableFound)
                EditPath(tool);
            else
                FindTool(tool);
        }
        FillTools(at);
    }
    // The order edited so far is kept even when the picker is cancelled later.
    SaveToolOrder(m_tools.installDir, m_tools.registry, m_prompter);
}

void CToolPickerDialog::FindTool(const CToolEntry& tool)
{
    const std::string toolText = tool.plugin->tool;
    switch (m_dialogs.AskWhereToSearch()) {
    case ESearchWhere::FileSystem:
        if (const auto path = m_dialogs.FindToolOnDisk(toolText))
            SetToolPath(m_tools.plugins, tool, *path);
        break;
    case ESearchWhere::Online:
        m_dialogs.SearchOnlineTool(toolText);
        break;
    case ESearchWhere::Cancel:
        break;
    }
}

void CToolPickerDialog::EditPath(const CToolEntry& tool)
{
    // The plug-in's found path is the stored one once matched, and it
    // follows an edit made since; the tool text when nothing is known.
    const std::string& known = !tool.plugin->foundPath.empty() ? tool.plugin->foundPath : tool.path;
    CChangePathDialog dialog(PathText(known.empty() ? tool.plugin->tool : known), this);
    if (dialog.exec() == QDialog::Accepted)
        SetToolPath(m_tools.plugins, tool, PathBytes(dialog.Path()));
}

void CToolPickerDialog::ShowDescription()
{
    const int at = m_lastList ? SelectedTool(*m_lastList) : -1;
    if (at < 0)
        return;
    const CToolEntry tool = CurrentGroup()->tools[static_cast<size_t>(at)];
    ShowDescriptionDialog(tool, this);
}

void CToolPickerDialog::SearchNewPlugins()
{
    const CMediaListEntry* current = CurrentGroup();
    if (!current)
        return;
    // A copy: the search runs its own event loop over the group's tool list.
    const CMediaListEntry group = *current;
    if (!searchNewPlugins || !searchNewPlugins(group))
        return;
    ClearPlugins(m_tools.plugins);
    if (m_tools.Load(m_prompter) == EPluginLoad::Fatal) {
        if (onFatal)
            onFatal();
        return;
    }
    m_lastList = nullptr;
    FillGroups();
    // Back to the group the search was for, where it still exists.
    for (int row = 0; row < m_groups->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_groups->topLevelItem(row);
        const auto& g = m_tools.registry.groups[item->data(0, kGroupRole).toULongLong()];
        if (g.media == group.media && g.protocol == group.protocol && g.format == group.format) {
            m_groups->setCurrentItem(item);
            break;
        }
    }
}

void CToolPickerDialog::PopupMenu(QMenu& menu, QWidget& list, const QPoint& globalAt)
{
    if (&list != m_groups)
        m_lastList = static_cast<QListWidget*>(&list);
    menu.popup(globalAt);
}

bool CToolPickerDialog::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* list = nullptr;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_groups),
                                    static_cast<QAbstractItemView*>(m_available),
                                    static_cast<QAbstractItemView*>(m_selected)})
        if (watched == view || watched == view->viewport())
            list = view;
    if (!list)
        return QDialog::eventFilter(watched, event);
    QMenu& menu = list == m_groups ? *m_groupMenu : *m_toolMenu;
    const QPoint keyboardAt = list->mapToGlobal(QPoint(kKeyboardMenuOffset, kKeyboardMenuOffset));
    switch (event->type()) {
    case QEvent::FocusIn:
        if (list != m_groups)
            m_lastList = static_cast<QListWidget*>(list);
        break;
    case QEvent::ContextMenu: {
        const auto* e = static_cast<QContextMenuEvent*>(event);
        PopupMenu(menu, *list, e->reason() == QContextMenuEvent::Keyboard ? keyboardAt : e->globalPos());
        return true;
    }
    case QEvent::KeyPress:
        // Shift+F10 is the menu key of keyboards without one.
        if (const auto* e = static_cast<QKeyEvent*>(event);
            e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
            PopupMenu(menu, *list, keyboardAt);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void CToolPickerDialog::accept()
{
    SaveToolOrder(m_tools.installDir, m_tools.registry, m_prompter);
    QDialog::accept();
}

void CToolPickerDialog::reject()
{
    // Everything since the last save is dropped: the file is the truth.
    ReadToolOrder(m_tools.installDir, m_tools.registry, m_prompter);
    SyncToolRegistry(m_tools.registry, m_tools.plugins);
    QDialog::reject();
}

void RunToolPicker(CToolData& tools, Prompter& prompter, CGuiToolDialogs& dialogs, QWidget* parent,
                   std::function<void()> onFatal)
{
    CToolPickerDialog picker(tools, prompter, dialogs, parent);
    picker.onFatal = std::move(onFatal);
    // The desktop's search leaves out offers no newer than the group's plug-ins.
    picker.searchNewPlugins = [&dialogs](const CMediaListEntry& group) {
        return dialogs.SearchOnlinePlugin(group.media, group.protocol, group.format, &group.tools);
    };
    picker.exec();
}
