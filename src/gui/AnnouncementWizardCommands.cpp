#include "gui/AnnouncementWizardCommands.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/Text.h"
#include "base/ViewNotifier.h"
#include "directory/SessionStore.h"
#include "gui/MainFrame.h"
#include "gui/ViewerHold.h"

#include <QHostInfo>

#ifndef _WIN32
#include <netdb.h>
#include <pwd.h>
#include <unistd.h>
#endif

#include <cstring>

namespace {
constexpr const char* kSessionToolAttribute = "tool:Talmira by TalmiraSoft";
constexpr size_t kMaxLoginName = 127; // the name fits a 128-byte buffer

const Clock& ClockOf(CSessionStore& doc) { return doc.Ports().clock; }
} // namespace

std::string CurrentLoginName()
{
#ifndef _WIN32
    char buffer[1024];
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name &&
        *found->pw_name && std::strlen(found->pw_name) <= kMaxLoginName)
        return found->pw_name;
#endif
    const QByteArray name = qgetenv("USERNAME");
    if (!name.isEmpty() && static_cast<size_t>(name.size()) <= kMaxLoginName)
        return name.toStdString();
    return "-";
}

std::string OfficialHostName()
{
    const std::string host = QHostInfo::localHostName().toStdString();
#ifndef _WIN32
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* info = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &info) == 0 && info) {
        std::string official = info->ai_canonname ? info->ai_canonname : host;
        freeaddrinfo(info);
        return official;
    }
#endif
    return host;
}

CAnnouncementCommands::CAnnouncementCommands(const CWizardContext& context, QWidget* window)
    : QObject(window), loginName(&CurrentLoginName), hostName(&OfficialHostName), m_context(context),
      m_window(window)
{
}

void CAnnouncementCommands::Register(CMainFrame& window)
{
    using Target = CMainFrame::CCommandTarget;
    window.SetCommandHandler(ECommand::NewSession, [this](const Target& t) { NewSession(t.directory); });
    window.SetCommandHandler(ECommand::Edit, [this](const Target& t) { Edit(t.record); });
    if (m_context.folderAddressPage)
        window.SetCommandHandler(ECommand::NewFolder, [this](const Target& t) { NewFolder(t.directory); });
}

CAnnouncementWizard* CAnnouncementCommands::Open(CAnnouncementWizard* wizard)
{
    m_current = wizard;
    connect(wizard, &QDialog::finished, this, [this] { m_current = nullptr; });
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    wizard->setWindowModality(Qt::WindowModal);
    wizard->show();
    return wizard;
}

std::shared_ptr<CSDPObject> CAnnouncementCommands::MakeOwnRecord(const std::shared_ptr<CSDPObject>& directory,
                                                                  bool& scopePage)
{
    CSessionStore& doc = m_context.doc;
    auto record = CSDPObject::MakeWithoutText(doc.Environment(), hostName ? hostName() : std::string());
    const std::string login = loginName ? loginName() : std::string();
    record->originUser = login.empty() ? "-" : login;
    record->email = doc.userEmail;
    record->phone = doc.userPhone;
    record->own = 1;
    const CScopeDecision scope = DecideScope(directory, m_context.scopes);
    scopePage = scope.scopePage;
    if (!scope.scopePage && scope.ttl)
        record->announceTtl = *scope.ttl;
    record->parentDirectory = directory;
    return record;
}

CAnnouncementWizard* CAnnouncementCommands::NewSession(const std::shared_ptr<CSDPObject>& directory)
{
    if (m_current || (directory && directory->IsDeleting()))
        return nullptr;
    bool scopePage = false;
    auto record = MakeOwnRecord(directory, scopePage);
    auto* wizard = new CAnnouncementWizard(m_context, record, CAnnouncementWizard::EKind::Session, scopePage,
                                           nullptr, m_window);
    wizard->onDone = [this, record, directory](bool finished) {
        if (!finished)
            return; // the record goes with the wizard
        CSessionStore& doc = m_context.doc;
        record->attributes.push_back(kSessionToolAttribute);
        record->parentDirectory = directory;
        record->originVersion = NtpVersionNow(ClockOf(doc).Now());
        doc.AddSession(record, directory);
        doc.Notify(CViewHint::Show(directory));
        TellIfTooLong(*record);
    };
    return Open(wizard);
}

CAnnouncementWizard* CAnnouncementCommands::NewFolder(const std::shared_ptr<CSDPObject>& parent)
{
    if (m_current || !parent || parent->IsDeleting() || !m_context.folderAddressPage)
        return nullptr;
    bool scopePage = false;
    auto record = MakeOwnRecord(parent, scopePage);
    auto entry = std::make_shared<CSDPMedia>();
    entry->media = "directory";
    entry->protocol = "SAP";
    entry->formatList = "SDP";
    auto* wizard = new CAnnouncementWizard(m_context, record, CAnnouncementWizard::EKind::Folder, scopePage,
                                           entry.get(), m_window);
    wizard->hold = entry;
    wizard->onDone = [this, record, parent, entry](bool finished) {
        if (!finished)
            return;
        CSessionStore& doc = m_context.doc;
        const std::string by = m_context.vendorHost.empty() ? "TalmiraSoft" : m_context.vendorHost;
        record->attributes.push_back("tool:Talmira by " + by);
        record->media.push_back(*entry);
        // An IPv6 folder listens on the group its entry names; it has no IPv4 one.
        record->links.Edit().directoryGroup = Ipv6DirectoryGroup(*record) ? 0 : text::ParseDottedQuad(entry->address);
        record->links.Edit().directoryPort = static_cast<uint16_t>(text::ToInt32(entry->port));
        record->links.Edit().directoryTtl = static_cast<uint8_t>(entry->ttl);
        record->sessionType = kTypeDirectory;
        doc.AddSession(record, parent);
        doc.Notify(CViewHint::Show(parent));
        TellIfTooLong(*record);
    };
    return Open(wizard);
}

CAnnouncementWizard* CAnnouncementCommands::Edit(const std::shared_ptr<CSDPObject>& record)
{
    if (m_current || !record || !record->own)
        return nullptr;
    const bool folder = record->sessionType == kTypeDirectory;
    if (folder && !m_context.folderAddressPage)
        return nullptr;
    auto hold = std::make_shared<CViewerHold>(record);
    if (!hold->ok())
        return nullptr;
    // The pages work on a copy; the stored record changes only on Finish.
    CSessionStore& doc = m_context.doc;
    auto copy = CSDPObject::MakeEmpty(doc.Environment());
    CWizardFields::Of(*record).ApplyTo(*copy);
    copy->own = 1;
    copy->parentDirectory = record->parentDirectory;
    if (folder && copy->media.empty()) {
        CSDPMedia entry;
        entry.media = "directory";
        entry.protocol = "SAP";
        entry.formatList = "SDP";
        copy->media.push_back(entry);
    }
    const bool scopePage = DecideScope(record->parentDirectory.lock(), m_context.scopes).scopePage;
    auto* wizard = new CAnnouncementWizard(
        m_context, copy, folder ? CAnnouncementWizard::EKind::Folder : CAnnouncementWizard::EKind::Session, scopePage,
        folder ? &copy->media.front() : nullptr, m_window);
    hold->Seat(*wizard);
    wizard->hold = hold;
    wizard->onDone = [this, record, copy, hold = hold.get(), folder](bool finished) {
        hold->Unseat();
        if (!finished || record->IsDeleting())
            return;
        CWizardFields::Of(*copy).ApplyTo(*record);
        if (folder && !record->media.empty()) {
            // A folder given another address listens there from now on.
            const CSDPMedia& entry = record->media.front();
            m_context.doc.MoveDirectory(record, text::ParseDottedQuad(entry.address),
                                        static_cast<uint16_t>(text::ToInt32(entry.port)),
                                        static_cast<uint8_t>(entry.ttl));
        }
        record->originVersion = NtpVersionNow(ClockOf(m_context.doc).Now());
        m_context.doc.AnnounceSession(*record, false);
        Changed(record);
        TellIfTooLong(*record);
    };
    return Open(wizard);
}

void CAnnouncementCommands::TellIfTooLong(CSDPObject& record)
{
    const CSessionStore::CSendSize send = CSessionStore::SendSizeOf(record);
    if (send.Fits())
        return;
    m_context.prompter.Show("\"" + std::string(record.name) + "\" is not announced: its announcement is "
                                + std::to_string(send.size) + " bytes long, and at most " + std::to_string(send.limit)
                                + " bytes can be sent.\nIt stays in the list; shorten its texts with Edit.. to announce it.",
                            EPromptButtons::Ok, EPromptIcon::Warning);
}

void CAnnouncementCommands::Changed(const std::shared_ptr<CSDPObject>& record)
{
    CSessionStore& doc = m_context.doc;
    const auto directory = record->parentDirectory.lock();
    if (ViewNotifier* views = doc.Ports().views; views && (!directory || directory->links->children)) {
        const long row = doc.ListOf(directory).IndexOf(*record);
        if (row >= 0)
            views->RecordChanged(directory, static_cast<size_t>(row), record);
    }
    doc.Notify(CViewHint::ListsChanged());
}
