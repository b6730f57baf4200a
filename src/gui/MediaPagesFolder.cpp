#include "gui/MediaPagesFolder.h"

#include "app/TalmiraRuntime.h"
#include "base/Text.h"
#include "directory/AdminScope.h"
#include "directory/Ostara32Doc.h"
#include "gui/MediaPagesAddress.h"

#include <QHostInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr int kFolderAddressPage = 100; // after whatever session pages come first

CSDPMedia DirectoryMedia()
{
    CSDPMedia entry;
    entry.media = "directory";
    entry.protocol = "SAP";
    entry.formatList = "SDP";
    return entry;
}

bool RunFolderWizard(const CFolderContext& context, CSDPObject& folder, CSDPMedia& entry, bool scopePage,
                     QWidget* window)
{
    QWizard wizard(window);
    wizard.setWindowTitle("Announcement Wizard");
    if (context.addSessionPages)
        context.addSessionPages(wizard, folder, scopePage);
    wizard.setPage(kFolderAddressPage, new CPropertyMWizAddress(entry, folder, context.media, true));
    return context.run ? context.run(wizard) : wizard.exec() == QDialog::Accepted;
}

} // namespace

std::string LoginName()
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name ||
        !*found->pw_name)
        return "-";
    return std::string(found->pw_name).substr(0, 127);
}

CFolderContext FolderContextOf(CTalmiraRuntime& runtime, Prompter& prompter)
{
    CFolderContext context;
    context.media = MediaContextOf(runtime, prompter);
    context.doc = &runtime.Doc();
    context.email = runtime.Settings().email;
    context.phone = runtime.Settings().phone;
    context.localHostName = QHostInfo::localHostName().toStdString();
    return context;
}

bool NewFolder(const CFolderContext& context, const std::shared_ptr<CSDPObject>& parent, QWidget* window)
{
    if (!parent)
        return false;
    COstara32Doc& doc = *context.doc;
    auto folder = CSDPObject::MakeWithoutText(doc.Environment(), context.localHostName);
    folder->originUser = LoginName();
    folder->email = context.email;
    folder->phone = context.phone;
    folder->own = 1;
    const bool scopePage = UnderTtlScope(parent);
    if (!scopePage)
        if (const auto directory = NearestScopeDirectory(parent))
            if (const CAdminScopeEntry* scope =
                    context.media.scopes ? context.media.scopes->FindByDirectoryName(directory->name) : nullptr)
                folder->announceTtl = scope->ttl;
    CSDPMedia entry = DirectoryMedia();
    folder->parentDirectory = parent;
    if (!RunFolderWizard(context, *folder, entry, scopePage, window))
        return false;
    folder->attributes.push_back(context.toolAttribute);
    folder->media.push_back(entry);
    folder->directoryGroup = text::ParseDottedQuad(entry.address);
    folder->directoryPort = static_cast<uint16_t>(text::ToInt64(entry.port));
    folder->directoryTtl = static_cast<uint8_t>(entry.ttl);
    folder->sessionType = kTypeDirectory;
    const int added = doc.AddSession(folder, parent);
    doc.Notify(CViewHint::Show(parent));
    return added == 1;
}

bool EditFolder(const CFolderContext& context, const std::shared_ptr<CSDPObject>& folder, QWidget* window)
{
    if (!folder || !folder->own)
        return false;
    const CRecordLock lock(*folder);
    if (!lock.ok())
        return false;
    if (folder->media.empty())
        folder->media.push_back(DirectoryMedia());
    if (!RunFolderWizard(context, *folder, folder->media.front(), UnderTtlScope(folder), window))
        return false;
    context.doc->Notify(CViewHint::ListsChanged());
    return true;
}
