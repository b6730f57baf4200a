#include "gui/SettingsSheetPages.h"

#include "base/Prompter.h"
#include "directory/SessionStore.h"
#include "gui/FieldHints.h"
#include "gui/SettingsSheetDialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using settingsform::Text;
QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The names of the scopes other than the one at `except`.
std::vector<std::string> NamesBut(const CAdminScopeList& scopes, int except)
{
    std::vector<std::string> names;
    for (size_t i = 0; i < scopes.Size(); ++i)
        if (static_cast<int>(i) != except)
            names.push_back(scopes.Entries()[i].name);
    return names;
}
} // namespace

CPersonalPage::CPersonalPage(const std::string& name, const std::string& email, const std::string& phone,
                             QWidget* parent)
    : QWidget(parent), m_name(new QLineEdit(Q(name))), m_email(new QLineEdit(Q(email))),
      m_phone(new QLineEdit(Q(phone)))
{
    // What is stored is read back into 512-byte buffers: 170 characters
    // fit even when each takes three bytes.
    for (QLineEdit* field : {m_name, m_email, m_phone}) {
        field->setMaxLength(170);
        ShowLimitWhenFull(*field, QStringLiteral("At most 170 characters"));
    }
    auto* form = new QFormLayout(this);
    const std::pair<const char*, QLineEdit*> rows[] = {{"&Name:", m_name}, {"&E-mail:", m_email}, {"&Phone:", m_phone}};
    for (const auto& [label, field] : rows) {
        auto* text = new QLabel(label);
        text->setBuddy(field);
        form->addRow(text, field);
    }
}

bool CPersonalPage::Validate(Prompter& prompter)
{
    for (QLineEdit* field : {m_name, m_email, m_phone}) {
        if (field->text().isEmpty()) {
            prompter.Show("Please fill in ALL fields!", EPromptButtons::Ok, EPromptIcon::Warning);
            field->setFocus();
            return false;
        }
    }
    return true;
}

bool CPersonalPage::Complete() const
{
    return !m_name->text().isEmpty() && !m_email->text().isEmpty() && !m_phone->text().isEmpty();
}

std::string CPersonalPage::Name() const { return Text(*m_name); }
std::string CPersonalPage::Email() const { return Text(*m_email); }
std::string CPersonalPage::Phone() const { return Text(*m_phone); }

CListPage::CListPage(const QString& groupTitle, QWidget* parent)
    : QWidget(parent), runDialog([](QDialog& dialog) { return dialog.exec(); }), m_list(new QComboBox),
      m_add(new QPushButton("&Add...")), m_edit(new QPushButton("&Edit...")), m_delete(new QPushButton("&Delete..."))
{
    auto* group = new QGroupBox(groupTitle);
    auto* inside = new QVBoxLayout(group);
    m_list->setEditable(false);
    m_list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_list->setMinimumContentsLength(30);
    inside->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_edit, m_delete}) {
        b->setAutoDefault(false); // Enter confirms the sheet
        buttons->addWidget(b);
    }
    buttons->addStretch();
    inside->addLayout(buttons);
    inside->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
}

CSecurityPage::CSecurityPage(CEncryptionGroups& groups, Prompter& prompter, QWidget* parent)
    : CListPage("Encryption Groups", parent), m_groups(groups), m_prompter(prompter)
{
    Refill();
    if (List().count() == 0)
        List().addItem("No groups available");
    connect(&AddButton(), &QPushButton::clicked, this, &CSecurityPage::Add);
    connect(&EditButton(), &QPushButton::clicked, this, &CSecurityPage::Edit);
    connect(&DeleteButton(), &QPushButton::clicked, this, &CSecurityPage::Delete);
}

void CSecurityPage::Refill()
{
    List().clear();
    for (int i = 0; i < CEncryptionGroups::kCount; ++i)
        if (m_groups[i].InUse())
            List().addItem(Q(m_groups[i].name), i);
    List().setCurrentIndex(List().count() ? 0 : -1);
}

int CSecurityPage::SelectedEntry() const
{
    // Only group items carry their table index ("No groups available" does not).
    const QVariant entry = List().currentData();
    return entry.isValid() ? entry.toInt() : -1;
}

void CSecurityPage::Add()
{
    CEncryptionGroupDialog dialog(CEncryptionGroup{}, m_prompter, this);
    if (runDialog(dialog) != QDialog::Accepted)
        return;
    int free = 0;
    while (free < CEncryptionGroups::kCount && m_groups[free].InUse())
        ++free;
    if (free == CEncryptionGroups::kCount)
        m_prompter.Show("Unable to add group, please remove some unused groups", EPromptButtons::Ok,
                        EPromptIcon::Warning);
    else
        m_groups[free] = dialog.Group();
    Refill();
}

void CSecurityPage::Edit()
{
    const int entry = SelectedEntry();
    if (entry < 0)
        return;
    CEncryptionGroupDialog dialog(m_groups[entry], m_prompter, this);
    if (runDialog(dialog) != QDialog::Accepted)
        return;
    m_groups[entry] = dialog.Group();
    Refill();
}

void CSecurityPage::Delete()
{
    const int entry = SelectedEntry();
    if (entry < 0)
        return;
    // The old name and key stay until the entry is used again.
    m_groups[entry].id = 0;
    Refill();
}

CAdminScopePage::CAdminScopePage(CAdminScopeList& scopes, CSessionStore& doc, Prompter& prompter, QWidget* parent)
    : CListPage("Scopes", parent), m_scopes(scopes), m_doc(doc), m_prompter(prompter), m_before(scopes, doc)
{
    Refill();
    connect(&AddButton(), &QPushButton::clicked, this, &CAdminScopePage::Add);
    connect(&EditButton(), &QPushButton::clicked, this, &CAdminScopePage::Edit);
    connect(&DeleteButton(), &QPushButton::clicked, this, &CAdminScopePage::Delete);
}

void CAdminScopePage::Refill()
{
    List().clear();
    for (const CAdminScopeEntry& scope : m_scopes.Entries())
        List().addItem(Q(scope.name));
    List().setCurrentIndex(List().count() ? 0 : -1);
}

void CAdminScopePage::Add()
{
    CAdminScopeDialog dialog(nullptr, m_prompter, this, NamesBut(m_scopes, -1));
    if (runDialog(dialog) == QDialog::Accepted)
        AddScope(m_scopes, dialog.Scope(), m_doc);
    Refill();
}

void CAdminScopePage::Edit()
{
    const int selected = List().currentIndex();
    if (selected < 0 || static_cast<size_t>(selected) >= m_scopes.Size())
        return;
    const size_t index = static_cast<size_t>(selected);
    const CAdminScopeEntry old = m_scopes.Entries()[index];
    CAdminScopeDialog dialog(&old, m_prompter, this, NamesBut(m_scopes, selected));
    if (runDialog(dialog) == QDialog::Accepted)
        EditScope(m_scopes, index, dialog.Scope(), m_doc);
    Refill();
}

void CAdminScopePage::Delete()
{
    const int selected = List().currentIndex();
    if (selected < 0 || static_cast<size_t>(selected) >= m_scopes.Size()) {
        m_prompter.Show("Please select a scope entry", EPromptButtons::Ok, EPromptIcon::Warning);
        return;
    }
    DeleteScope(m_scopes, static_cast<size_t>(selected), m_doc);
    Refill();
}

void CAdminScopePage::Undo()
{
    m_before.Restore(m_scopes, m_doc);
    Refill();
}
