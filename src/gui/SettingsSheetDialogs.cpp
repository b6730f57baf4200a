#include "gui/SettingsSheetDialogs.h"

#include "base/Prompter.h"
#include "base/Text.h"
#include "gui/FieldHints.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

using settingsform::AddRow;
using settingsform::Text;
// The settings file keeps these texts in byte buffers: the limit is in
// UTF-8 bytes, so a name of accented letters cannot come back cut.
class CUtf8Limit final : public QValidator {
public:
    CUtf8Limit(int maxBytes, QObject* parent) : QValidator(parent), m_maxBytes(maxBytes) {}
    State validate(QString& input, int&) const override
    {
        return input.toUtf8().size() <= m_maxBytes ? Acceptable : Invalid;
    }

private:
    int m_maxBytes;
};

QLineEdit* TextField(int maxBytes)
{
    auto* field = new QLineEdit;
    field->setMaxLength(maxBytes);
    field->setValidator(new CUtf8Limit(maxBytes, field));
    ShowLimitWhenFull(*field, QStringLiteral("At most %1 bytes (a letter with an accent takes two)").arg(maxBytes));
    return field;
}

// Digits only (a sign where negative numbers can be typed); the range is
// checked when the dialog is confirmed, so a wrong number is explained.
QLineEdit* NumberField(bool signedNumber)
{
    auto* field = new QLineEdit;
    field->setValidator(new QRegularExpressionValidator(
        QRegularExpression(signedNumber ? "-?[0-9]{0,10}" : "[0-9]{0,10}"), field));
    return field;
}

void Finish(QDialog& dialog, QFormLayout* form)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

// The number in the field when it lies in [low, high]; otherwise the range
// message is shown and the field gets the focus.
std::optional<long long> Number(QLineEdit& field, long long low, long long high, Prompter& prompter)
{
    bool ok = false;
    const long long value = field.text().toLongLong(&ok);
    if (ok && value >= low && value <= high)
        return value;
    prompter.Show(settingsform::RangeMessage(low, high), EPromptButtons::Ok, EPromptIcon::Warning);
    field.setFocus();
    field.selectAll();
    return std::nullopt;
}

bool Refuse(Prompter& prompter, const char* message, QLineEdit& field)
{
    prompter.Show(message, EPromptButtons::Ok, EPromptIcon::Warning);
    field.setFocus();
    field.selectAll();
    return false;
}
} // namespace

void settingsform::AddRow(QFormLayout& form, const QString& label, QWidget* field)
{
    auto* text = new QLabel(label);
    text->setBuddy(field);
    form.addRow(text, field);
}

std::string settingsform::Text(const QLineEdit& field)
{
    return field.text().toStdString();
}

std::string settingsform::RangeMessage(long long low, long long high)
{
    return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

CEncryptionGroupDialog::CEncryptionGroupDialog(const CEncryptionGroup& group, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_prompter(prompter)
{
    setWindowTitle("Encryption Group");
    const int maxText = static_cast<int>(CEncryptionGroups::kMaxText);
    m_name = TextField(maxText);
    m_key = TextField(maxText);
    m_keyAgain = TextField(maxText);
    m_key->setEchoMode(QLineEdit::Password);
    m_keyAgain->setEchoMode(QLineEdit::Password);
    m_id = NumberField(true);
    m_name->setText(QString::fromStdString(group.name));
    m_key->setText(QString::fromStdString(group.key));
    m_keyAgain->setText(QString::fromStdString(group.key));
    m_id->setText(QString::number(group.id));

    auto* form = new QFormLayout;
    AddRow(*form, "&Group name:", m_name);
    AddRow(*form, "&Key:", m_key);
    AddRow(*form, "&Re-Enter Key:", m_keyAgain);
    AddRow(*form, "&Id (>10000):", m_id);
    Finish(*this, form);
    m_result = group;
}

void CEncryptionGroupDialog::accept()
{
    const auto id = Number(*m_id, 10000, 2147483647, m_prompter);
    if (!id)
        return;
    if (m_key->text() != m_keyAgain->text())
        return void(Refuse(m_prompter, "Check that you entered twice the same key!", *m_keyAgain));
    // The message speaks of characters: at least 8 of them. The key is its
    // bytes, though (what is stored and what the DES key is made of), and the
    // file keeps 256 of them; the field takes no more as it is typed.
    const qsizetype keyCharacters = m_key->text().toUcs4().size();
    const qsizetype keyBytes = m_key->text().toUtf8().size();
    if (keyCharacters < 8 || keyBytes > 256)
        return void(Refuse(m_prompter, "Choose a key with length between 8 and 256.", *m_key));
    if (m_name->text().isEmpty())
        return void(Refuse(m_prompter, "Please provide a name for this group!", *m_name));
    m_result.name = Text(*m_name);
    m_result.key = Text(*m_key);
    m_result.id = static_cast<int32_t>(*id);
    QDialog::accept();
}

CAdminScopeDialog::CAdminScopeDialog(const CAdminScopeEntry* scope, Prompter& prompter, QWidget* parent,
                                     std::vector<std::string> otherNames)
    : QDialog(parent), m_prompter(prompter), m_otherNames(std::move(otherNames))
{
    setWindowTitle("Admin Scope Parameters");
    // The name is read back into a 128-byte buffer with its terminator: a
    // longer one would come back cut and no longer match its directory.
    m_name = TextField(static_cast<int>(CAdminScopeEntry::kMaxName) - 1);
    m_base = new QLineEdit;
    m_base->setMaxLength(15);
    m_prefix = NumberField(false);
    m_port = NumberField(false);
    m_ttl = NumberField(false);
    if (scope) {
        m_name->setText(QString::fromStdString(scope->name));
        m_base->setText(QString::fromStdString(text::DottedQuad(scope->baseAddress)));
        m_prefix->setText(QString::number(scope->prefixLength));
        m_port->setText(QString::number(scope->port));
        m_ttl->setText(QString::number(scope->ttl));
        m_result = *scope;
    }
    KeepCaptionWhole(*this);
    auto* form = new QFormLayout;
    AddRow(*form, "&Name:", m_name);
    AddRow(*form, "&Base Address:", m_base);
    AddRow(*form, "&Prefix Length:", m_prefix);
    AddRow(*form, "Po&rt:", m_port);
    AddRow(*form, "&TTL:", m_ttl);
    Finish(*this, form);
}

void CAdminScopeDialog::accept()
{
    // The plain range checks come first, then what the address must be.
    const auto port = Number(*m_port, 1024, 64536, m_prompter);
    if (!port)
        return;
    const auto prefix = Number(*m_prefix, 0, 32, m_prompter);
    if (!prefix)
        return;
    const auto ttl = Number(*m_ttl, 1, 255, m_prompter);
    if (!ttl)
        return;
    const std::string base = Text(*m_base);
    if (const auto problem = CheckScopeBaseAddress(base))
        return void(Refuse(m_prompter, problem->c_str(), *m_base));
    // A scope without a name would make a directory without one.
    if (m_name->text().trimmed().isEmpty())
        return void(Refuse(m_prompter, kEmptyScopeNameText, *m_name));
    if (std::find(m_otherNames.begin(), m_otherNames.end(), Text(*m_name)) != m_otherNames.end())
        return void(Refuse(m_prompter, kTakenScopeNameText, *m_name));
    m_result.name = Text(*m_name);
    m_result.baseAddress = text::ParseDottedQuad(base);
    m_result.prefixLength = static_cast<uint32_t>(*prefix);
    m_result.port = static_cast<uint32_t>(*port);
    m_result.ttl = static_cast<uint8_t>(*ttl);
    QDialog::accept();
}
