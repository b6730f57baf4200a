#include "gui/AnnouncementWizard.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "directory/AdminScope.h"
#include "directory/SessionStore.h"
#include "gui/AnnouncementWizardPages.h"
#include "gui/SchedulePage.h"
#include "gui/ViewerHold.h"

#include <QDesktopServices>
#include <QUrl>

CScopeDecision DecideScope(const std::shared_ptr<CSDPObject>& directory, const CAdminScopeList* scopes)
{
    CScopeDecision decision;
    const CSDPObject* firstScope = nullptr;
    for (auto d = directory; d; d = d->parentDirectory.lock()) {
        if (d->sessionType != kTypeScopeDirectory)
            continue;
        if (d->name == "TTL Scope") {
            decision.scopePage = true;
            return decision;
        }
        if (!firstScope)
            firstScope = d.get();
    }
    if (firstScope && scopes)
        for (const CAdminScopeEntry& scope : scopes->Entries())
            if (scope.name == firstScope->name) {
                decision.ttl = scope.ttl;
                break;
            }
    return decision;
}

CWizardFields CWizardFields::Of(const CSDPObject& r)
{
    return {r.originUser, r.name,      r.information, r.uri,         r.email,      r.phone,
            r.times,      r.scopeMode, r.announceTtl, r.sessionType, r.attributes, r.media};
}

void CWizardFields::ApplyTo(CSDPObject& r) const
{
    r.originUser = originUser;
    r.name = name;
    r.information = information;
    r.uri = uri;
    r.email = email;
    r.phone = phone;
    r.times = times;
    r.scopeMode = scopeMode;
    r.announceTtl = announceTtl;
    r.sessionType = sessionType;
    r.attributes = attributes;
    r.media = media;
}

std::string NtpVersionNow(int64_t unixNow)
{
    return std::to_string(static_cast<uint64_t>(unixNow + kNtpUnixOffset));
}

CAnnouncementWizard::CAnnouncementWizard(CWizardContext& context, std::shared_ptr<CSDPObject> record, EKind kind,
                                         bool scopePage, CSDPMedia* folderEntry, QWidget* parent)
    : QWizard(parent), m_context(context), m_record(std::move(record)), m_kind(kind)
{
    setWindowTitle("Announcement Wizard");
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    CSDPObject& r = *m_record;
    auto openUrl = m_context.openUrl ? m_context.openUrl
                                     : [](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); };
    setPage(kSessionPage, new CAnnouncementWizardSessionPage(r, m_context.prompter, openUrl));
    setPage(kContactPage, new CAnnouncementWizardContactPage(r));
    setPage(kSchedulePage, new CAnnouncementWizardSchedulePage(r, m_context.doc.Ports().clock));
    if (scopePage)
        setPage(kScopePage, new CAnnouncementWizardScopePage(r, m_context.prompter));
    if (kind == EKind::Session) {
        setPage(kTypePage, new CAnnouncementWizardTypePage(r));
        if (m_context.mediaPage)
            if (QWizardPage* media = m_context.mediaPage(r))
                setPage(kMediaPage, media);
    } else if (folderEntry && m_context.folderAddressPage) {
        if (QWizardPage* address = m_context.folderAddressPage(*folderEntry, r))
            setPage(kAddressPage, address);
    }
    connect(this, &QDialog::finished, this, [this](int result) {
        if (auto done = std::move(onDone)) {
            onDone = nullptr;
            done(result == QDialog::Accepted);
        }
    });
}

CAnnouncementWizard::~CAnnouncementWizard() = default;

void CAnnouncementWizard::RecordExpired(CSDPObject&)
{
    CloseOnExpiry(*this, m_context.prompter);
}
