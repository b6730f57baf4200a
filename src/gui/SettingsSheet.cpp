#include "gui/SettingsSheet.h"

#include "app/Settings.h"
#include "base/Prompter.h"
#include "directory/SessionStore.h"
#include "gui/SettingsSheetMonitoring.h"
#include "gui/SettingsSheetPages.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>


CSettingsSheet::CSettingsSheet(CSessionStore& doc, CAppSettings& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_settings(settings), m_prompter(prompter), m_groupsBefore(settings.groups),
      m_pages(new QTabWidget), m_personal(new CPersonalPage(doc.userName, doc.userEmail, doc.userPhone)),
      m_security(new CSecurityPage(settings.groups, prompter)),
      m_scopes(new CAdminScopePage(settings.scopes, doc, prompter)),
      m_monitoring(new CMonitoringPage(OpenSettingsStore().get())),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel))
{
    setWindowTitle("Settings");
    // Every page's tab stays in sight.
    m_pages->tabBar()->setUsesScrollButtons(false);
    m_pages->tabBar()->setElideMode(Qt::ElideNone);
    m_pages->addTab(m_personal, "Personal Information");
    m_pages->addTab(m_security, "Security");
    m_pages->addTab(m_scopes, "Administrative Scopes");
    m_pages->addTab(m_monitoring, "Monitoring");
    connect(m_pages, &QTabWidget::currentChanged, this, &CSettingsSheet::OnPageChanged);
    // Ctrl+Tab turns the page wherever the focus is: a drop-down list (the
    // Security page's groups) would take the key as a letter to look for.
    for (const auto& [keys, step] : {std::pair{QKeySequence::NextChild, 1}, {QKeySequence::PreviousChild, -1}}) {
        new QShortcut(keys, this, [this, step = step] {
            m_pages->setCurrentIndex((m_pages->currentIndex() + step + m_pages->count()) % m_pages->count());
        });
    }
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSettingsSheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(m_buttons);
    m_personal->NameField().setFocus();
}

void CSettingsSheet::OnPageChanged(int page)
{
    if (m_turningBack)
        return;
    // The personal page is left only complete.
    if (m_page == 0 && page != 0 && !m_personal->Complete()) {
        m_turningBack = true;
        m_pages->setCurrentIndex(0);
        m_turningBack = false;
        m_personal->Validate(m_prompter); // says why, on the page shown again
        return;
    }
    m_page = page;
}

void CSettingsSheet::accept()
{
    if (m_pages->currentIndex() == 0 && !m_personal->Validate(m_prompter))
        return;
    QWidget* wrong = nullptr;
    if (const QString problem = m_monitoring->Problem(&wrong); !problem.isEmpty()) {
        m_pages->setCurrentWidget(m_monitoring);
        m_prompter.Show(problem.toStdString(), EPromptButtons::Ok, EPromptIcon::Warning);
        wrong->setFocus();
        return;
    }
    // Another page is showing: the personal one was complete when left.
    m_doc.userName = m_settings.name = m_personal->Name();
    m_doc.userEmail = m_settings.email = m_personal->Email();
    m_doc.userPhone = m_settings.phone = m_personal->Phone();
    const auto store = OpenSettingsStore();
    WriteSettings(*store, m_prompter, m_settings);
    if (!m_monitoring->Save(*store))
        m_prompter.Show("The monitoring settings could not be written.", EPromptButtons::Ok, EPromptIcon::Warning);
    QDialog::accept();
}

void CSettingsSheet::reject()
{
    m_settings.groups = m_groupsBefore;
    m_scopes->Undo();
    QDialog::reject();
}

void RunSettings(CSessionStore& doc, CAppSettings& settings, Prompter& prompter, QWidget* parent,
                 const std::function<int(CSettingsSheet&)>& run)
{
    CSettingsSheet sheet(doc, settings, prompter, parent);
    if (run)
        run(sheet);
    else
        sheet.exec();
}

bool AskForMissingPersonalInfo(CSessionStore& doc, CAppSettings& settings, Prompter& prompter, QWidget* parent,
                               const std::function<int(CSettingsSheet&)>& run, const std::function<bool()>& goOn)
{
    if (!doc.userName.empty() && !doc.userPhone.empty() && !doc.userEmail.empty())
        return false;
    prompter.Show("Please fill in your personal information\nIt is used by some application and is needed to make "
                  "announcements.");
    if (!goOn || goOn())
        RunSettings(doc, settings, prompter, parent, run);
    return true;
}

