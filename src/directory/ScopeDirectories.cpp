#include "directory/ScopeDirectories.h"

#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

#include <algorithm>

void AddScope(CAdminScopeList& scopes, const CAdminScopeEntry& scope, CSessionStore& doc)
{
    scopes.Entries().push_back(scope);
    const std::string id = std::to_string(kAddedScopeIdBase + static_cast<long long>(scopes.Size()));
    doc.AddSession(MakeScopeDirectory(scope, id, doc.Environment()), nullptr);
}

bool EditScope(CAdminScopeList& scopes, size_t index, const CAdminScopeEntry& changed, CSessionStore& doc)
{
    auto& entries = scopes.Entries();
    if (index >= entries.size())
        return false;
    auto directory = FindScopeDirectory(doc, entries[index].name);
    entries[index] = changed;
    // Without a directory of the old name there is nothing to refresh; the
    // scope itself still changes (a new directory comes at the next start).
    if (!directory)
        return true;
    // The refresh tells the views when anything they show changed. The
    // socket stays on the group it joined until the next start.
    auto refreshed = MakeScopeDirectory(changed, directory->originSessionId, doc.Environment());
    refreshed->links.Edit().directoryGroup = directory->links->directoryGroup;
    refreshed->links.Edit().directoryPort = directory->links->directoryPort;
    doc.AddSession(std::move(refreshed), nullptr);
    return true;
}

bool DeleteScope(CAdminScopeList& scopes, size_t index, CSessionStore& doc)
{
    auto& entries = scopes.Entries();
    if (index >= entries.size())
        return false;
    if (auto directory = FindScopeDirectory(doc, entries[index].name))
        doc.RemoveSession(directory);
    entries.erase(entries.begin() + static_cast<long>(index));
    return true;
}

namespace {
std::vector<std::shared_ptr<CSDPObject>> TopScopeDirectories(CSessionStore& doc)
{
    std::vector<std::shared_ptr<CSDPObject>> all;
    for (const auto& record : doc.MainList())
        if (record->sessionType == kTypeScopeDirectory)
            all.push_back(record);
    return all;
}

std::string SdpOf(CSDPObject& record)
{
    std::string text;
    record.WriteSdp(text);
    return text;
}
} // namespace

CScopeSnapshot::CScopeSnapshot(const CAdminScopeList& scopes, CSessionStore& doc) : m_scopes(scopes.Entries())
{
    for (const auto& directory : TopScopeDirectories(doc))
        m_directories.push_back({directory->originSessionId, SdpOf(*directory), directory->links->directoryGroup,
                                 directory->links->directoryPort, directory->links->directoryTtl});
}

void CScopeSnapshot::Restore(CAdminScopeList& scopes, CSessionStore& doc) const
{
    scopes.Entries() = m_scopes;
    for (const auto& directory : TopScopeDirectories(doc)) {
        const bool before = std::any_of(m_directories.begin(), m_directories.end(),
                                        [&](const CDirectory& d) { return d.id == directory->originSessionId; });
        if (!before)
            doc.RemoveSession(directory);
    }
    for (const CDirectory& saved : m_directories) {
        const auto present = doc.MainList().FindById(saved.id);
        if (present && present->sessionType == kTypeScopeDirectory && SdpOf(*present) == saved.text
            && present->links->directoryGroup == saved.group && present->links->directoryPort == saved.port)
            continue;
        auto record = ScopeDirectoryFrom(saved.text, doc.Environment());
        // The socket it had: a refresh keeps the joined group, a directory
        // added again joins the one it was heard on.
        auto& links = record->links.Edit();
        links.directoryGroup = saved.group;
        links.directoryPort = saved.port;
        links.directoryTtl = saved.ttl;
        doc.AddSession(std::move(record), nullptr);
    }
}
