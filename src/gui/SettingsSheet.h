#pragma once
#include <QDialog>

#include <functional>

#include "sap/EncryptionGroups.h"

struct CAppSettings;
class CAdminScopePage;
class CMonitoringPage;
class CSessionStore;
class CPersonalPage;
class CSecurityPage;
class Prompter;
class QDialogButtonBox;
class QTabWidget;

// The "Settings" sheet: personal information, encryption groups,
// administrative scopes and monitoring. The group and scope pages change
// the running program at once; OK stores all four in the settings file
// (the program then takes the monitoring values), Cancel puts the groups,
// the scopes and their directories back as they were.
class CSettingsSheet final : public QDialog {
    Q_OBJECT
public:
    CSettingsSheet(CSessionStore& doc, CAppSettings& settings, Prompter& prompter, QWidget* parent = nullptr);

    QTabWidget& Pages() const { return *m_pages; }
    CPersonalPage& Personal() const { return *m_personal; }
    CSecurityPage& Security() const { return *m_security; }
    CAdminScopePage& Scopes() const { return *m_scopes; }
    CMonitoringPage& Monitoring() const { return *m_monitoring; }
    QDialogButtonBox& Buttons() const { return *m_buttons; }

    void accept() override;
    void reject() override;

private:
    void OnPageChanged(int page);

    CSessionStore& m_doc;
    CAppSettings& m_settings;
    Prompter& m_prompter;
    CEncryptionGroups m_groupsBefore;
    QTabWidget* m_pages;
    CPersonalPage* m_personal;
    CSecurityPage* m_security;
    CAdminScopePage* m_scopes;
    CMonitoringPage* m_monitoring;
    QDialogButtonBox* m_buttons;
    int m_page = 0;
    bool m_turningBack = false;
};

// The Settings command: runs the sheet modally (or through `run`, for tests).
void RunSettings(CSessionStore& doc, CAppSettings& settings, Prompter& prompter, QWidget* parent,
                 const std::function<int(CSettingsSheet&)>& run = {});

// Personal information is needed to announce: when part of it is missing,
// says so and runs the Settings command, unless `goOn` says no once the
// message is answered. True when it asked.
bool AskForMissingPersonalInfo(CSessionStore& doc, CAppSettings& settings, Prompter& prompter, QWidget* parent,
                               const std::function<int(CSettingsSheet&)>& run = {},
                               const std::function<bool()>& goOn = {});
