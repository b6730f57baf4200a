#include "gui/MediaPages.h"

#include "app/TalmiraRuntime.h"
#include "gui/AnnouncementWizard.h"
#include "base/Text.h"
#include "gui/MediaPagesAddress.h"
#include "tools/MediaRules.h"
#include "tools/Plugin.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(text::AsUtf8(s));
}

QLabel* Intro(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

// Plug-in texts that are not UTF-8 show as Latin-1; the pages find a choice
// again by its row, so the bytes stored are the file's own.
void FillList(QListWidget& list, const std::vector<std::string>& items)
{
    list.clear();
    for (const std::string& item : items)
        list.addItem(Q(item));
}

} // namespace

CMediaContext MediaContextOf(CTalmiraRuntime& runtime, Prompter& prompter)
{
    return {&runtime.Tools().plugins, &runtime.Settings().scopes, &runtime.UsedAddresses(), &runtime.TheRandom(),
            &runtime.TheClock(), &prompter};
}

// --- the list pages ---

CMediaChoicePage::CMediaChoicePage(CSDPMedia& entry, const CPluginTable& rules, const QString& title,
                                   const QString& text, const QString& group, QWidget* parent)
    : QWizardPage(parent), m_entry(entry), m_rules(rules)
{
    setTitle(title);
    auto* box = new QGroupBox(group, this);
    m_list = new QListWidget(box);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(m_list);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Intro(text, this));
    layout->addWidget(box);
}

void CMediaChoicePage::initializePage()
{
    const std::vector<std::string> items = Items();
    FillList(*m_list, items);
    const int row = Preselect(items);
    if (row >= 0)
        m_list->setCurrentRow(row);
    m_list->setFocus();
}

void CMediaChoicePage::StoreChoice()
{
    // An empty list leaves the entry as it was: nothing was chosen.
    const int row = m_list->currentRow();
    const std::vector<std::string> items = Items();
    if (row >= 0 && row < static_cast<int>(items.size()))
        Store(items[static_cast<size_t>(row)]);
}

bool CMediaChoicePage::validatePage()
{
    StoreChoice();
    return true;
}

void CMediaChoicePage::cleanupPage()
{
    StoreChoice();
}

CMediaWizardMediaPage::CMediaWizardMediaPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent)
    : CMediaChoicePage(entry, rules, "Select the media you want to use...",
                       "Please select the type of media you want to use in this session.", "Supported Media", parent)
{
}

std::vector<std::string> CMediaWizardMediaPage::Items() const
{
    return mediarules::MediaChoices(m_rules);
}

int CMediaWizardMediaPage::Preselect(const std::vector<std::string>& items) const
{
    return mediarules::MediaPreselect(items, m_entry);
}

void CMediaWizardMediaPage::Store(const std::string& chosen)
{
    mediarules::StoreMedia(m_entry, chosen);
}

CMediaWizardProtocolPage::CMediaWizardProtocolPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent)
    : CMediaChoicePage(entry, rules, "Select the protocol to be used...",
                       "Select the protocol you want to use for this media.", "Protocol", parent)
{
}

std::vector<std::string> CMediaWizardProtocolPage::Items() const
{
    return mediarules::ProtocolChoices(m_rules, m_entry);
}

int CMediaWizardProtocolPage::Preselect(const std::vector<std::string>& items) const
{
    return mediarules::ProtocolPreselect(items, m_entry);
}

void CMediaWizardProtocolPage::Store(const std::string& chosen)
{
    mediarules::StoreProtocol(m_rules, m_entry, chosen);
}

CMediaWizardFormatPage::CMediaWizardFormatPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent)
    : CMediaChoicePage(entry, rules, "Select the format for this medium",
                       "Select the format you want this media to use.", "Format", parent)
{
}

std::vector<std::string> CMediaWizardFormatPage::Items() const
{
    return mediarules::FormatChoices(m_rules, m_entry);
}

int CMediaWizardFormatPage::Preselect(const std::vector<std::string>& items) const
{
    return mediarules::FormatPreselect(items, m_entry);
}

void CMediaWizardFormatPage::Store(const std::string& chosen)
{
    mediarules::StoreFormat(m_rules, m_entry, chosen);
}

CMediaWizardToolPage::CMediaWizardToolPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent)
    : CMediaChoicePage(entry, rules, "Select the tool you want to use for this media.",
                       "Select the tool you want to use to generate this media stream.", "Tools", parent)
{
}

std::vector<std::string> CMediaWizardToolPage::Items() const
{
    return mediarules::ToolChoices(m_rules, m_entry);
}

int CMediaWizardToolPage::Preselect(const std::vector<std::string>& items) const
{
    return mediarules::ToolPreselect(items, m_entry);
}

void CMediaWizardToolPage::Store(const std::string& chosen)
{
    m_entry.extras.Edit().toolChoice = chosen;
}

int CMediaWizardToolPage::nextId() const
{
    // The wizard asks after this page stored the tool: the attributes it
    // offers depend on it.
    return mediarules::AttributeChoices(m_rules, m_entry).empty() ? kPageAddress : kPageAttributes;
}

// --- attributes ---

CMediaWizardAttributesPage::CMediaWizardAttributesPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent)
    : QWizardPage(parent), m_entry(entry), m_rules(rules)
{
    setTitle("Select the attributes of this media.");
    auto* box = new QGroupBox("Attributes", this);
    m_names = new QListWidget(box);
    m_place = new QStackedWidget(box);
    m_values = new QListWidget(m_place);
    m_text = new QLineEdit(m_place);
    m_place->addWidget(m_values);
    auto* textPlace = new QWidget(m_place);
    auto* textLayout = new QVBoxLayout(textPlace);
    textLayout->setContentsMargins(0, 0, 0, 0);
    m_text->setParent(textPlace);
    textLayout->addWidget(m_text);
    textLayout->addStretch();
    m_place->addWidget(textPlace);
    auto* boxLayout = new QHBoxLayout(box);
    boxLayout->addWidget(m_names);
    boxLayout->addWidget(m_place);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    connect(m_names, &QListWidget::currentRowChanged, this, &CMediaWizardAttributesPage::OnName);
    connect(m_values, &QListWidget::itemSelectionChanged, this, &CMediaWizardAttributesPage::OnValue);
}

void CMediaWizardAttributesPage::initializePage()
{
    m_current = nullptr;
    m_definitions.clear();
    {
        const QSignalBlocker blockNames(m_names);
        const QSignalBlocker blockValues(m_values);
        m_names->clear();
        m_values->clear();
        m_text->clear();
        for (const auto& choice : mediarules::AttributeChoices(m_rules, m_entry)) {
            m_definitions.push_back(choice.definition);
            m_names->addItem(Q(choice.text));
        }
    }
    m_place->setCurrentIndex(0);
    m_names->setFocus();
    // Start on the first name, so its values show without a click.
    if (!m_definitions.empty())
        m_names->setCurrentRow(0);
}

void CMediaWizardAttributesPage::StoreText()
{
    if (m_current && mediarules::IsFreeText(*m_current))
        mediarules::StoreFreeText(m_entry, *m_current, m_text->text().toStdString());
}

void CMediaWizardAttributesPage::OnName(int row)
{
    StoreText();
    m_current = row >= 0 && row < static_cast<int>(m_definitions.size()) ? m_definitions[size_t(row)] : nullptr;
    const QSignalBlocker block(m_values);
    m_values->clear();
    if (!m_current)
        return;
    mediarules::ApplyDefault(m_entry, *m_current);
    FillList(*m_values, mediarules::ValueChoices(*m_current));
    const std::string current = mediarules::CurrentValue(m_entry, *m_current);
    if (mediarules::IsFreeText(*m_current)) {
        m_text->setText(Q(current));
        m_place->setCurrentIndex(1);
        return;
    }
    m_place->setCurrentIndex(0);
    // Mark the value the entry carries without choosing it again; with none,
    // the keys start on the first value and Space chooses it.
    int carried = m_current->values.empty() && !current.empty() ? 0 : -1;
    for (size_t i = 0; i < m_current->values.size(); ++i)
        if (m_current->values[i].value == current)
            carried = static_cast<int>(i);
    if (carried >= 0)
        m_values->setCurrentRow(carried);
    else if (m_values->count() > 0)
        m_values->selectionModel()->setCurrentIndex(m_values->model()->index(0, 0), QItemSelectionModel::NoUpdate);
}

void CMediaWizardAttributesPage::OnValue()
{
    const QList<QListWidgetItem*> chosen = m_values->selectedItems();
    if (!m_current || chosen.isEmpty())
        return;
    const int row = m_values->row(chosen.front());
    const std::vector<std::string> items = mediarules::ValueChoices(*m_current);
    if (row < static_cast<int>(items.size()))
        mediarules::ChooseValue(m_entry, *m_current, items[static_cast<size_t>(row)]);
}

bool CMediaWizardAttributesPage::validatePage()
{
    StoreText();
    return true;
}

// --- overview ---

CMediaWizardOverviewPage::CMediaWizardOverviewPage(CSDPMedia& entry, QWidget* parent)
    : QWizardPage(parent), m_entry(entry)
{
    setFinalPage(true);
    auto* form = new QFormLayout;
    for (const char* label : {"Media:", "Protocol:", "Format:", "Tool:", "Attributes:"}) {
        auto* field = new QLineEdit(this);
        field->setReadOnly(true);
        form->addRow(label, field);
        m_fields.emplace_back(label, field);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Intro("You selected the following for this media. If you are happy with this selection, press "
                            "the finish button to add this media to the list of media for thiis session. You can "
                            "modify this information by going back in this wizard.",
                            this));
    layout->addLayout(form);
    layout->addStretch();
}

void CMediaWizardOverviewPage::initializePage()
{
    const std::string values[] = {m_entry.media, m_entry.extras->protocolLabel, m_entry.extras->formatLabel, m_entry.extras->toolChoice,
                                  mediarules::JoinAttributes(m_entry, "; ")};
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i].second->setText(Q(values[i]));
}

QString CMediaWizardOverviewPage::Shown(const QString& label) const
{
    for (const auto& [name, field] : m_fields)
        if (name == label)
            return field->text();
    return {};
}

// --- the wizard ---

CMediaWizard::CMediaWizard(CSDPMedia& entry, CSDPObject& session, const CMediaContext& context, QWidget* parent)
    : QWizard(parent)
{
    setWindowTitle("Media Wizard");
    setOption(QWizard::NoBackButtonOnStartPage);
    const CPluginTable& rules = *context.plugins;
    setPage(kPageMedia, new CMediaWizardMediaPage(entry, rules));
    setPage(kPageProtocol, new CMediaWizardProtocolPage(entry, rules));
    setPage(kPageFormat, new CMediaWizardFormatPage(entry, rules));
    setPage(kPageTool, new CMediaWizardToolPage(entry, rules));
    setPage(kPageAttributes, new CMediaWizardAttributesPage(entry, rules));
    setPage(kPageAddress, new CMediaWizardAddressPage(entry, session, context, false));
    setPage(kPageOverview, new CMediaWizardOverviewPage(entry));
}

// --- the media list page ---

CAnnouncementWizardMediaPage::CAnnouncementWizardMediaPage(CSDPObject& session, const CMediaContext& context, QWidget* parent)
    : QWizardPage(parent), m_session(session), m_context(context)
{
    setTitle("Media present in session");
    setFinalPage(true);
    runWizard = [](CMediaWizard& wizard) { return wizard.exec() == QDialog::Accepted; };

    auto* box = new QGroupBox("Selected Media", this);
    m_table = new QTableWidget(0, 5, box);
    m_table->setHorizontalHeaderLabels({"Media", "Protocol", "Format", "Tool", "Attributes"});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    // 1000 and 2000 twips at the usual 96 dots per inch.
    const int column = 67;
    for (int c = 0; c < 4; ++c)
        m_table->setColumnWidth(c, column);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_add = new QPushButton("&Add...", box);
    m_delete = new QPushButton("&Delete...", box);
    m_edit = new QPushButton("&Edit...", box);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_edit);
    buttons->addStretch();
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(m_table);
    boxLayout->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Intro("Here you can indicate which media you want to be used in this session. Use the add "
                            "button to start a wisard who will guide you through the selection of a media.",
                            this));
    layout->addWidget(box);
    setTabOrder(m_table, m_add);
    setTabOrder(m_add, m_delete);
    setTabOrder(m_delete, m_edit);
    connect(m_add, &QPushButton::clicked, this, &CAnnouncementWizardMediaPage::OnAdd);
    connect(m_edit, &QPushButton::clicked, this, &CAnnouncementWizardMediaPage::OnEdit);
    connect(m_delete, &QPushButton::clicked, this, &CAnnouncementWizardMediaPage::OnDelete);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &CAnnouncementWizardMediaPage::OnEdit);
}

void CAnnouncementWizardMediaPage::initializePage()
{
    Fill();
}

void CAnnouncementWizardMediaPage::WriteRow(int row, const CSDPMedia& media)
{
    const std::string cells[] = {media.extras->mediaLabel, media.extras->protocolLabel, media.extras->formatLabel, media.extras->toolChoice,
                                 mediarules::JoinAttributes(media, " ")};
    for (int c = 0; c < 5; ++c)
        m_table->setItem(row, c, new QTableWidgetItem(Q(cells[c])));
}

void CAnnouncementWizardMediaPage::Fill()
{
    m_table->setRowCount(static_cast<int>(m_session.media.size()));
    for (size_t i = 0; i < m_session.media.size(); ++i)
        WriteRow(static_cast<int>(i), m_session.media[i]);
    // A tool's or format's name shows whole; the attributes take what is left.
    for (int c = 0; c < 4; ++c) {
        m_table->resizeColumnToContents(c);
        m_table->setColumnWidth(c, std::max(67, m_table->columnWidth(c)));
    }
}

void CAnnouncementWizardMediaPage::OnAdd()
{
    CSDPMedia entry;
    CMediaWizard wizard(entry, m_session, m_context, this);
    if (!runWizard(wizard))
        return;
    m_session.media.push_back(entry);
    Fill();
    m_table->selectRow(m_table->rowCount() - 1);
}

void CAnnouncementWizardMediaPage::OnEdit()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_session.media.size()))
        return;
    // The pages write into the entry itself: what was stored on pages the
    // user went on from stays even when the wizard is then cancelled.
    CMediaWizard wizard(m_session.media[static_cast<size_t>(row)], m_session, m_context, this);
    runWizard(wizard);
    Fill();
    m_table->selectRow(row);
}

void CAnnouncementWizardMediaPage::OnDelete()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_session.media.size()))
        return;
    m_session.media.erase(m_session.media.begin() + row);
    Fill();
    if (m_table->rowCount() > 0)
        m_table->selectRow(std::min(row, m_table->rowCount() - 1));
}

std::function<QWizardPage*(CSDPObject&)> MediaListPageFactory(const CMediaContext& context)
{
    return [context](CSDPObject& session) -> QWizardPage* { return new CAnnouncementWizardMediaPage(session, context); };
}

void AttachMediaPages(CWizardContext& wizard, const CMediaContext& context)
{
    wizard.mediaPage = MediaListPageFactory(context);
    wizard.folderAddressPage = [context](CSDPMedia& entry, CSDPObject& folder) -> QWizardPage* {
        return new CMediaWizardAddressPage(entry, folder, context, true);
    };
}
