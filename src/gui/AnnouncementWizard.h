#pragma once
#include "sdp/SDPObject.h"

#include <QWizard>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CAdminScopeList;
class CSessionStore;
class Prompter;

// What the announcement wizards need from the program.
struct CWizardContext {
    CWizardContext(CSessionStore& d, Prompter& p, const CAdminScopeList* s = nullptr) : doc(d), prompter(p), scopes(s) {}
    CSessionStore& doc;
    Prompter& prompter;
    const CAdminScopeList* scopes = nullptr;
    // Starts the browser on a page; false when there is none. None: the
    // desktop's browser.
    std::function<bool(const QString&)> openUrl;
    // The page listing the session's media, the last of a session's wizard.
    // None: the "Type of Session" page ends it.
    std::function<QWizardPage*(CSDPObject& session)> mediaPage;
    // The address and port page that ends a folder's wizard, bound to the
    // folder's directory media entry. None: folders cannot be made.
    std::function<QWizardPage*(CSDPMedia& entry, CSDPObject& folder)> folderAddressPage;
    // Named in the announcement tool attribute of new folders; empty: the vendor's name.
    std::string vendorHost;
};

// From a directory up through its parents: the Scope page is shown below
// the "TTL Scope"; elsewhere the administrative scope named like the first
// scope directory met gives the TTL (none when there is no such scope).
struct CScopeDecision {
    bool scopePage = false;
    std::optional<int> ttl;
};
CScopeDecision DecideScope(const std::shared_ptr<CSDPObject>& directory, const CAdminScopeList* scopes);

// The fields the wizard pages write. An edit works on a copy of the stored
// record, so peers, the list and the cache never see a half-edited session
// and Cancel leaves the record exactly as it was.
struct CWizardFields {
    std::string originUser, name, information, uri, email, phone;
    std::vector<CSDPTime> times;
    int scopeMode = 0, announceTtl = 0, sessionType = kTypeUnknown;
    std::vector<std::string> attributes;
    std::vector<CSDPMedia> media;

    static CWizardFields Of(const CSDPObject& record);
    void ApplyTo(CSDPObject& record) const;
};

// The "Announcement Wizard" over one record: the session and contact pages,
// the schedule, the Scope page when asked for, then the type and the media
// of a session, or the address page of a folder.
class CAnnouncementWizard final : public QWizard, public CViewerWindow {
    Q_OBJECT
public:
    enum EPageId { kSessionPage, kContactPage, kSchedulePage, kScopePage, kTypePage, kMediaPage, kAddressPage };
    enum class EKind { Session, Folder };

    // A folder's wizard ends with the address page bound to `folderEntry`.
    CAnnouncementWizard(CWizardContext& context, std::shared_ptr<CSDPObject> record, EKind kind, bool scopePage,
                        CSDPMedia* folderEntry, QWidget* parent = nullptr);
    ~CAnnouncementWizard() override;

    CSDPObject& Record() const { return *m_record; }
    EKind Kind() const { return m_kind; }
    // Runs once when the wizard closes: finished or cancelled.
    std::function<void(bool finished)> onDone;
    // Held until the wizard goes (the stored record of an edit).
    std::shared_ptr<void> hold;

    // The stored record went away: the user is told, the wizard cancels.
    void RecordExpired(CSDPObject& record) override;

private:
    CWizardContext& m_context;
    std::shared_ptr<CSDPObject> m_record;
    EKind m_kind;
};

// The time now as SDP's origin version: NTP seconds, unsigned decimal.
std::string NtpVersionNow(int64_t unixNow);
