#include "directory/AdminScope.h"

#include "base/Text.h"
#include "directory/Ostara32Doc.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>

uint32_t CAdminScopeEntry::SapGroup() const
{
    const uint32_t hostMask = prefixLength >= 16 && prefixLength <= 32
        ? static_cast<uint32_t>((uint64_t{1} << (32 - prefixLength)) - 1) : 0;
    return htonl((ntohl(baseAddress) | hostMask) - 1);
}

uint32_t CAdminScopeEntry::AnnouncementGroup() const
{
    if (prefixLength > 32)
        return 0;
    const uint32_t hostMask = static_cast<uint32_t>((uint64_t{1} << (32 - prefixLength)) - 1);
    const uint32_t highest = htonl(ntohl(baseAddress) | hostMask);
    const bool multicast = (ntohl(highest) >> 28) == 0xE;
    return multicast && highest != SapGroup() ? highest : 0;
}

std::string ScopeDirectoryText(const CAdminScopeEntry& scope, const std::string& sessionId)
{
    return "v=0\no=- " + sessionId + " 3136895141 IN IP4 127.0.0.1\ns=" + scope.name + "\ni=" + scope.name
        + "\nm=directory " + std::to_string(scope.port) + " SAP/SDP 14\nc=IN IP4 " + text::DottedQuad(scope.SapGroup())
        + "/" + std::to_string(scope.ttl);
}

namespace {
// The program's own text of a scope directory, parsed as one.
std::shared_ptr<CSDPObject> ScopeDirectoryFrom(const std::string& text, const CSdpEnvironment& env)
{
    auto record = CSDPObject::FromText(text, env);
    record->sessionType = kTypeScopeDirectory;
    return record;
}
} // namespace

std::shared_ptr<CSDPObject> MakeScopeDirectory(const CAdminScopeEntry& scope, const std::string& sessionId,
                                               const CSdpEnvironment& env)
{
    return ScopeDirectoryFrom(ScopeDirectoryText(scope, sessionId), env);
}

std::string Ipv6ScopeDirectoryText(const CIpv6SapScope& scope)
{
    // An IPv6 connection has no TTL: the group's scope bounds the sends.
    return std::string("v=0\no=- ") + scope.sessionId + " 3136895141 IN IP4 127.0.0.1\ns=" + scope.name + "\ni="
        + scope.name + "\nm=directory " + std::to_string(kSapPort) + " SAP/SDP 14\nc=IN IP6 " + scope.group;
}

std::shared_ptr<CSDPObject> MakeIpv6ScopeDirectory(const CIpv6SapScope& scope, const CSdpEnvironment& env)
{
    return ScopeDirectoryFrom(Ipv6ScopeDirectoryText(scope), env);
}

const CIpv6SapScope* Ipv6SapScopeOf(const CSDPObject& directory)
{
    const auto group = Ipv6DirectoryGroup(directory);
    for (const CIpv6SapScope& scope : kIpv6SapScopes)
        if (group && group == text::ParseIpv6(scope.group))
            return &scope;
    return nullptr;
}

const CAdminScopeEntry* CAdminScopeList::FindByDirectoryName(const std::string& directoryName) const
{
    // By the whole name: a prefix match gave the TTL Scope's page the values
    // of a scope named "" or "T".
    for (const CAdminScopeEntry& scope : m_entries)
        if (!scope.name.empty() && scope.name == directoryName)
            return &scope;
    return nullptr;
}

const CAdminScopeEntry* CAdminScopeList::FindBySapGroup(uint32_t groupNetworkOrder, uint32_t port) const
{
    for (const CAdminScopeEntry& scope : m_entries)
        if (scope.SapGroup() == groupNetworkOrder && scope.port == port)
            return &scope;
    return nullptr;
}

void CAdminScopeList::AddScope(const CAdminScopeEntry& scope, COstara32Doc& doc)
{
    m_entries.push_back(scope);
    const std::string id = std::to_string(kAddedScopeIdBase + static_cast<long long>(m_entries.size()));
    doc.AddSession(MakeScopeDirectory(scope, id, doc.Environment()), nullptr);
}

std::shared_ptr<CSDPObject> FindScopeDirectory(COstara32Doc& doc, const std::string& name)
{
    for (const auto& record : doc.MainList())
        if (record->sessionType == kTypeScopeDirectory && record->name == name)
            return record;
    return nullptr;
}

bool CAdminScopeList::EditScope(size_t index, const CAdminScopeEntry& changed, COstara32Doc& doc)
{
    if (index >= m_entries.size())
        return false;
    auto directory = FindScopeDirectory(doc, m_entries[index].name);
    m_entries[index] = changed;
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

bool CAdminScopeList::DeleteScope(size_t index, COstara32Doc& doc)
{
    if (index >= m_entries.size())
        return false;
    if (auto directory = FindScopeDirectory(doc, m_entries[index].name))
        doc.RemoveSession(directory);
    m_entries.erase(m_entries.begin() + static_cast<long>(index));
    return true;
}

namespace {
std::vector<std::shared_ptr<CSDPObject>> TopScopeDirectories(COstara32Doc& doc)
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

CScopeSnapshot::CScopeSnapshot(const CAdminScopeList& scopes, COstara32Doc& doc) : m_scopes(scopes.Entries())
{
    for (const auto& directory : TopScopeDirectories(doc))
        m_directories.push_back({directory->originSessionId, SdpOf(*directory), directory->links->directoryGroup,
                                 directory->links->directoryPort, directory->links->directoryTtl});
}

void CScopeSnapshot::Restore(CAdminScopeList& scopes, COstara32Doc& doc) const
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

std::optional<std::string> CheckScopeBaseAddress(const std::string& dotted)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, dotted.c_str(), &parsed) != 1)
        return std::string("The base address you entered doesn't look like an IP address");
    const uint32_t first = ntohl(parsed.s_addr) >> 24;
    if (first < 224 || first > 239)
        return std::string("Please enter a Multicast IP address");
    return std::nullopt;
}

bool IsScopePortAccepted(long long port)
{
    return port >= 1024 && port <= 64536;
}
