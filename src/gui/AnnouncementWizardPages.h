#pragma once
#include <QWizardPage>

#include <functional>
#include <string>

class CSDPObject;
class Prompter;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

// The pages of the "Announcement Wizard" that write the session's texts,
// contact, scope and type straight into the record. Each loads from the
// record when it is entered and stores into it when left forward.

// Record bytes shown in a field: UTF-8 when valid, else Latin-1.
QString FieldText(const std::string& bytes);
// A field's text as record bytes on one line: a line break inside an SDP
// value would end the line and break the description for every listener.
std::string OneLineBytes(const QString& text);

class CAnnouncementWizardSessionPage final : public QWizardPage {
    Q_OBJECT
public:
    // openUrl: starts the browser on a page; false when there is none.
    CAnnouncementWizardSessionPage(CSDPObject& record, Prompter& prompter, std::function<bool(const QString&)> openUrl,
                        QWidget* parent = nullptr);
    void initializePage() override;
    bool validatePage() override;

    QLineEdit& Title() const { return *m_title; }
    QPlainTextEdit& Description() const { return *m_description; }
    QLineEdit& Url() const { return *m_url; }
    QPushButton& TestUrl() const { return *m_testUrl; }

private:
    CSDPObject& m_record;
    Prompter& m_prompter;
    std::function<bool(const QString&)> m_openUrl;
    QLineEdit* m_title;
    QPlainTextEdit* m_description;
    QLineEdit* m_url;
    QPushButton* m_testUrl;
};

class CAnnouncementWizardContactPage final : public QWizardPage {
    Q_OBJECT
public:
    explicit CAnnouncementWizardContactPage(CSDPObject& record, QWidget* parent = nullptr);
    void initializePage() override;
    bool validatePage() override;

    QLineEdit& Name() const { return *m_name; }
    QLineEdit& Email() const { return *m_email; }
    QLineEdit& Phone() const { return *m_phone; }

private:
    CSDPObject& m_record;
    QLineEdit* m_name;
    QLineEdit* m_email;
    QLineEdit* m_phone;
};

class CAnnouncementWizardScopePage final : public QWizardPage {
    Q_OBJECT
public:
    enum EChoice { kSite, kRegion, kWorld, kOther };
    CAnnouncementWizardScopePage(CSDPObject& record, Prompter& prompter, QWidget* parent = nullptr);
    void initializePage() override;
    bool validatePage() override;

    QRadioButton& Choice(EChoice c) const { return *m_choices[c]; }
    QLineEdit& OtherTtl() const { return *m_other; }

private:
    void OnChoice(int choice);

    CSDPObject& m_record;
    Prompter& m_prompter;
    QButtonGroup* m_group;
    QRadioButton* m_choices[4];
    QLineEdit* m_other;
};

class CAnnouncementWizardTypePage final : public QWizardPage {
    Q_OBJECT
public:
    explicit CAnnouncementWizardTypePage(CSDPObject& record, QWidget* parent = nullptr);
    void initializePage() override;
    bool validatePage() override;

    QComboBox& Type() const { return *m_type; }
    QTreeWidget& Attributes() const { return *m_list; }
    QLineEdit& AttributeName() const { return *m_name; }
    QLineEdit& AttributeValue() const { return *m_value; }
    QPushButton& Add() const { return *m_add; }
    QPushButton& Delete() const { return *m_delete; }

private:
    void OnAdd();
    void OnDelete();
    void ShowAttributes();

    CSDPObject& m_record;
    QComboBox* m_type;
    QTreeWidget* m_list;
    QLineEdit* m_name;
    QLineEdit* m_value;
    QPushButton* m_add;
    QPushButton* m_delete;
};
