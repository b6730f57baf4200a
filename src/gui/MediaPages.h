#pragma once
#include "sdp/SDPObject.h"

#include <QWizard>
#include <QWizardPage>

#include <functional>
#include <string>
#include <vector>

class CAdminScopeList;
struct CWizardContext;
class CPluginTable;
class CTalmiraRuntime;
class CUsedAddressList;
class Clock;
class Prompter;
class Random;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTableWidget;
struct CPluginAttribute;

// What the media pages read besides the entry and its session: the loaded
// plug-in rules for the choices, and for the address page the scopes, the
// addresses in use, the random draws and the clock.
struct CMediaContext {
    const CPluginTable* plugins = nullptr;
    const CAdminScopeList* scopes = nullptr;
    CUsedAddressList* used = nullptr;
    Random* random = nullptr;
    const Clock* clock = nullptr;
    Prompter* prompter = nullptr;
};
CMediaContext MediaContextOf(CTalmiraRuntime& runtime, Prompter& prompter);

// Page ids of the "Media Wizard", in order.
enum EMediaPage : int { kPageMedia, kPageProtocol, kPageFormat, kPageTool, kPageAttributes, kPageAddress, kPageOverview };

// A page that offers one list of choices from the plug-in rules and writes
// the chosen one into the entry when the user goes on (or back).
class CMediaChoicePage : public QWizardPage {
    Q_OBJECT
public:
    CMediaChoicePage(CSDPMedia& entry, const CPluginTable& rules, const QString& title, const QString& text,
                     const QString& group, QWidget* parent = nullptr);
    QListWidget& Choices() const { return *m_list; }

    void initializePage() override;
    bool validatePage() override;
    void cleanupPage() override;

protected:
    virtual std::vector<std::string> Items() const = 0;
    virtual int Preselect(const std::vector<std::string>& items) const = 0;
    virtual void Store(const std::string& chosen) = 0;

    CSDPMedia& m_entry;
    const CPluginTable& m_rules;

private:
    void StoreChoice();
    QListWidget* m_list = nullptr;
};

class CMediaWizardMediaPage final : public CMediaChoicePage {
public:
    CMediaWizardMediaPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent = nullptr);
protected:
    std::vector<std::string> Items() const override;
    int Preselect(const std::vector<std::string>& items) const override;
    void Store(const std::string& chosen) override;
};

class CMediaWizardProtocolPage final : public CMediaChoicePage {
public:
    CMediaWizardProtocolPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent = nullptr);
protected:
    std::vector<std::string> Items() const override;
    int Preselect(const std::vector<std::string>& items) const override;
    void Store(const std::string& chosen) override;
};

class CMediaWizardFormatPage final : public CMediaChoicePage {
public:
    CMediaWizardFormatPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent = nullptr);
protected:
    std::vector<std::string> Items() const override;
    int Preselect(const std::vector<std::string>& items) const override;
    void Store(const std::string& chosen) override;
};

// Goes straight on to the address page when the chosen rule offers no
// attributes, so Back from there comes straight here too.
class CMediaWizardToolPage final : public CMediaChoicePage {
public:
    CMediaWizardToolPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent = nullptr);
    int nextId() const override;
protected:
    std::vector<std::string> Items() const override;
    int Preselect(const std::vector<std::string>& items) const override;
    void Store(const std::string& chosen) override;
};

// The attribute definitions of the chosen rule and format; a chosen value
// goes into the entry at once, a typed one when another name is chosen or
// the user goes on.
class CMediaWizardAttributesPage final : public QWizardPage {
    Q_OBJECT
public:
    CMediaWizardAttributesPage(CSDPMedia& entry, const CPluginTable& rules, QWidget* parent = nullptr);
    QListWidget& Names() const { return *m_names; }
    QListWidget& Values() const { return *m_values; }
    QLineEdit& Text() const { return *m_text; }

    void initializePage() override;
    bool validatePage() override;

private:
    void OnName(int row);
    void OnValue();
    void StoreText();

    CSDPMedia& m_entry;
    const CPluginTable& m_rules;
    std::vector<const CPluginAttribute*> m_definitions;
    const CPluginAttribute* m_current = nullptr;
    QListWidget* m_names = nullptr;
    QStackedWidget* m_place = nullptr;
    QListWidget* m_values = nullptr;
    QLineEdit* m_text = nullptr;
};

class CMediaWizardAddressPage;

class CMediaWizardOverviewPage final : public QWizardPage {
    Q_OBJECT
public:
    explicit CMediaWizardOverviewPage(CSDPMedia& entry, QWidget* parent = nullptr);
    void initializePage() override;
    QString Shown(const QString& label) const;

private:
    CSDPMedia& m_entry;
    std::vector<std::pair<QString, QLineEdit*>> m_fields;
};

// The seven pages over one media entry of `session`.
class CMediaWizard final : public QWizard {
    Q_OBJECT
public:
    CMediaWizard(CSDPMedia& entry, CSDPObject& session, const CMediaContext& context, QWidget* parent = nullptr);
};

// "Media present in session": the session's media in a table, and the
// buttons that add, edit and delete them through the Media Wizard. It is the
// last page of the announcement wizard.
class CAnnouncementWizardMediaPage final : public QWizardPage {
    Q_OBJECT
public:
    CAnnouncementWizardMediaPage(CSDPObject& session, const CMediaContext& context, QWidget* parent = nullptr);
    QTableWidget& Table() const { return *m_table; }
    QPushButton& AddButton() const { return *m_add; }
    QPushButton& EditButton() const { return *m_edit; }
    QPushButton& DeleteButton() const { return *m_delete; }

    // Runs the Media Wizard; true when it was finished. Tests drive it here.
    std::function<bool(CMediaWizard&)> runWizard;

    void initializePage() override;
    int nextId() const override { return -1; }

private:
    void Fill();
    void WriteRow(int row, const CSDPMedia& media);
    void OnAdd();
    void OnEdit();
    void OnDelete();

    CSDPObject& m_session;
    CMediaContext m_context;
    QTableWidget* m_table = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_edit = nullptr;
};

// What the announcement wizard calls to make its media page for a record.
std::function<QWizardPage*(CSDPObject&)> MediaListPageFactory(const CMediaContext& context);
// Gives the announcement wizard its media list page for sessions and the
// address page, in directory mode, that ends a folder's wizard.
void AttachMediaPages(CWizardContext& wizard, const CMediaContext& context);
