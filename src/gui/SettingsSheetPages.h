#pragma once
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "directory/ScopeDirectories.h"
#include "sap/EncryptionGroups.h"

class CSessionStore;
class Prompter;
class QComboBox;
class QDialog;
class QLineEdit;
class QPushButton;

// How a page runs the dialog of one of its commands: modal by default;
// tests fill and confirm it without a modal loop.
using DialogRunner = std::function<int(QDialog&)>;

// "Personal Information": name, e-mail and phone, all required.
class CPersonalPage final : public QWidget {
    Q_OBJECT
public:
    CPersonalPage(const std::string& name, const std::string& email, const std::string& phone,
                  QWidget* parent = nullptr);
    // False, with the message shown and the first empty field focused, when
    // a field is empty.
    bool Validate(Prompter& prompter);
    bool Complete() const;

    std::string Name() const;
    std::string Email() const;
    std::string Phone() const;
    QLineEdit& NameField() const { return *m_name; }
    QLineEdit& EmailField() const { return *m_email; }
    QLineEdit& PhoneField() const { return *m_phone; }

private:
    QLineEdit* m_name;
    QLineEdit* m_email;
    QLineEdit* m_phone;
};

// A drop-down list with Add..., Edit... and Delete... below a group box.
class CListPage : public QWidget {
    Q_OBJECT
public:
    CListPage(const QString& groupTitle, QWidget* parent);
    QComboBox& List() const { return *m_list; }
    QPushButton& AddButton() const { return *m_add; }
    QPushButton& EditButton() const { return *m_edit; }
    QPushButton& DeleteButton() const { return *m_delete; }

    DialogRunner runDialog;

private:
    QComboBox* m_list;
    QPushButton* m_add;
    QPushButton* m_edit;
    QPushButton* m_delete;
};

// "Security": the encryption group table, changed at once.
class CSecurityPage final : public CListPage {
    Q_OBJECT
public:
    CSecurityPage(CEncryptionGroups& groups, Prompter& prompter, QWidget* parent = nullptr);

    void Add();
    void Edit();
    void Delete();

private:
    // The table index of the group the list's selection shows; -1 for none.
    int SelectedEntry() const;
    void Refill();

    CEncryptionGroups& m_groups;
    Prompter& m_prompter;
};

// "Administrative Scopes": the scope list and its directories, changed at
// once; Undo puts both back as they were when the page was made, whatever
// was added, edited and deleted in between.
class CAdminScopePage final : public CListPage {
    Q_OBJECT
public:
    CAdminScopePage(CAdminScopeList& scopes, CSessionStore& doc, Prompter& prompter, QWidget* parent = nullptr);

    void Add();
    void Edit();
    void Delete();
    void Undo();

private:
    void Refill();

    CAdminScopeList& m_scopes;
    CSessionStore& m_doc;
    Prompter& m_prompter;
    CScopeSnapshot m_before;
};
