#pragma once
#include <QDialog>

#include "directory/AdminScope.h"
#include "sap/EncryptionGroups.h"

#include <string>
#include <vector>

class Prompter;
class QLineEdit;
class QFormLayout;

// Edits one encryption group: name, the key typed twice, and the id.
class CEncryptionGroupDialog final : public QDialog {
    Q_OBJECT
public:
    CEncryptionGroupDialog(const CEncryptionGroup& group, Prompter& prompter, QWidget* parent = nullptr);
    // Valid after the dialog was accepted.
    CEncryptionGroup Group() const { return m_result; }

    QLineEdit& NameField() const { return *m_name; }
    QLineEdit& KeyField() const { return *m_key; }
    QLineEdit& KeyAgainField() const { return *m_keyAgain; }
    QLineEdit& IdField() const { return *m_id; }

    void accept() override;

private:
    Prompter& m_prompter;
    QLineEdit* m_name;
    QLineEdit* m_key;
    QLineEdit* m_keyAgain;
    QLineEdit* m_id;
    CEncryptionGroup m_result;
};

// Edits one administrative scope. Empty fields for a new one.
class CAdminScopeDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kEmptyScopeNameText = "Please enter a name for this scope.";
    static constexpr const char* kTakenScopeNameText = "Another scope already has this name.";

    // `otherNames`: the names of the other scopes, which this one may not take
    // (a scope's directory is found by its name).
    CAdminScopeDialog(const CAdminScopeEntry* scope, Prompter& prompter, QWidget* parent = nullptr,
                      std::vector<std::string> otherNames = {});
    // Valid after the dialog was accepted.
    CAdminScopeEntry Scope() const { return m_result; }

    QLineEdit& NameField() const { return *m_name; }
    QLineEdit& BaseField() const { return *m_base; }
    QLineEdit& PrefixField() const { return *m_prefix; }
    QLineEdit& PortField() const { return *m_port; }
    QLineEdit& TtlField() const { return *m_ttl; }

    void accept() override;

private:
    Prompter& m_prompter;
    QLineEdit* m_name;
    QLineEdit* m_base;
    QLineEdit* m_prefix;
    QLineEdit* m_port;
    QLineEdit* m_ttl;
    std::vector<std::string> m_otherNames;
    CAdminScopeEntry m_result;
};

namespace settingsform {
// The message shown when a number field is empty or out of its range.
std::string RangeMessage(long long low, long long high);
// A field's text as UTF-8.
std::string Text(const QLineEdit& field);
// A row of `form`: `label` (its & marks the access key) naming `field`.
void AddRow(QFormLayout& form, const QString& label, QWidget* field);
}
