#pragma once
#include "gui/AnnouncementWizard.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class CMainFrame;

// New Session, New Folder and Edit: each opens the "Announcement Wizard"
// over the main window (modal to it, without a nested event loop) and acts
// when it closes. Finishing a new session or folder adds it to the store,
// which announces it at once; finishing an edit announces the session again
// with a new origin version.
class CAnnouncementCommands final : public QObject {
    Q_OBJECT
public:
    CAnnouncementCommands(const CWizardContext& context, QWidget* window);

    // The window's New Session, New Folder (only when the context has the
    // folder address page) and Edit commands call these from now on.
    void Register(CMainFrame& window);

    // The wizard opened, or null when the command does nothing (no
    // directory, a record not own or being deleted, a wizard already open).
    CAnnouncementWizard* NewSession(const std::shared_ptr<CSDPObject>& directory);
    CAnnouncementWizard* NewFolder(const std::shared_ptr<CSDPObject>& parent);
    CAnnouncementWizard* Edit(const std::shared_ptr<CSDPObject>& record);
    CAnnouncementWizard* Current() const { return m_current; }

    CWizardContext& Context() { return m_context; }
    // The user's login name and the official name of this host; tests replace them.
    std::function<std::string()> loginName;
    std::function<std::string()> hostName;

private:
    std::shared_ptr<CSDPObject> MakeOwnRecord(const std::shared_ptr<CSDPObject>& directory, bool& scopePage);
    CAnnouncementWizard* Open(CAnnouncementWizard* wizard);
    // The views show what an edit changed.
    void Changed(const std::shared_ptr<CSDPObject>& record);
    // Says so when the session is too long to be announced (it stays listed).
    void TellIfTooLong(CSDPObject& record);

    CWizardContext m_context;
    QWidget* m_window;
    QPointer<CAnnouncementWizard> m_current;
};

// The name the user logged on with; "-" when it cannot be read.
std::string CurrentLoginName();
// The resolver's official name for this machine's host name.
std::string OfficialHostName();
