#include "directory/AdminScope.h"

#include "base/Text.h"
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

std::shared_ptr<CSDPObject> ScopeDirectoryFrom(const std::string& text, const CSdpEnvironment& env)
{
    auto record = CSDPObject::FromText(text, env);
    record->sessionType = kTypeScopeDirectory;
    return record;
}

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
