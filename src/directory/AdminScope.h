#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSDPObject;
class COstara32Doc;
struct CSdpEnvironment;

// One administratively scoped multicast range the user listens to.
struct CAdminScopeEntry {
    static constexpr size_t kMaxName = 128;

    std::string name;
    uint8_t ttl = 0;
    uint32_t port = 0;          // below 65536
    uint32_t baseAddress = 0;   // network byte order
    uint32_t prefixLength = 0;  // 0..32

    bool operator==(const CAdminScopeEntry&) const = default;

    // The range's highest address minus one for prefixes of 16 or more, the
    // base address minus one for shorter ones. Network byte order.
    uint32_t SapGroup() const;
    // The range's highest address, where other announcers of the scope send
    // (0 when it is no multicast address or is the SAP group itself). The
    // scope's directory hears it beside its SAP group. Network byte order.
    uint32_t AnnouncementGroup() const;
};

// Session ids of the scope directories made at start-up count up from here;
// one added on the settings page gets kAddedScopeIdBase + the new scope count.
constexpr int kStartupScopeIdBase = 12358;
constexpr int kAddedScopeIdBase = 12345;

// The program's own SDP text of a scope directory.
std::string ScopeDirectoryText(const CAdminScopeEntry& scope, const std::string& sessionId);
// That text parsed, as a scope directory (type 7) ready for AddSession.
std::shared_ptr<CSDPObject> MakeScopeDirectory(const CAdminScopeEntry& scope, const std::string& sessionId,
                                               const CSdpEnvironment& env);

// The process's scope list, owned by the application and handed to the store
// and the settings pages.
class CAdminScopeList {
public:
    std::vector<CAdminScopeEntry>& Entries() { return m_entries; }
    const std::vector<CAdminScopeEntry>& Entries() const { return m_entries; }
    size_t Size() const { return m_entries.size(); }

    // The first scope named `directoryName` (an empty name names none).
    const CAdminScopeEntry* FindByDirectoryName(const std::string& directoryName) const;
    // The first scope with this SAP group (network byte order) and port.
    const CAdminScopeEntry* FindBySapGroup(uint32_t groupNetworkOrder, uint32_t port) const;

    // The page's commands on the store. Add appends the scope and adds its
    // directory; Edit refreshes the directory that bears the old name (when
    // there is one) in place; Delete removes that directory, then the scope.
    void AddScope(const CAdminScopeEntry& scope, COstara32Doc& doc);
    bool EditScope(size_t index, const CAdminScopeEntry& changed, COstara32Doc& doc);
    bool DeleteScope(size_t index, COstara32Doc& doc);

private:
    std::vector<CAdminScopeEntry> m_entries;
};

// The scope list and the top-level scope directories as they were, put back
// whole when the settings are cancelled. Directories are matched by session
// id, never by record: one deleted and made again is a new record.
class CScopeSnapshot {
public:
    CScopeSnapshot(const CAdminScopeList& scopes, COstara32Doc& doc);
    // Directories made since are removed, changed ones refreshed back in
    // place (same record and socket), removed ones added again.
    void Restore(CAdminScopeList& scopes, COstara32Doc& doc) const;

private:
    struct CDirectory {
        std::string id;
        std::string text;
        uint32_t group = 0;
        uint16_t port = 0;
        uint8_t ttl = 0;
    };
    std::vector<CAdminScopeEntry> m_scopes;
    std::vector<CDirectory> m_directories;
};

// The IPv6 SAP groups (RFC 2974), each heard as a scope directory of its own.
struct CIpv6SapScope {
    const char* name;
    const char* group;
    const char* sessionId;
    int scope;  // the scope nibble of the group, for the groups drawn in it
};
inline constexpr CIpv6SapScope kIpv6SapScopes[] = {
    {"IPv6 Link", "ff02::2:7ffe", "12302", 0x2},
    {"IPv6 Site", "ff05::2:7ffe", "12305", 0x5},
    {"IPv6 Organization", "ff08::2:7ffe", "12308", 0x8},
    {"IPv6 Global", "ff0e::2:7ffe", "12314", 0xE},
};
constexpr uint16_t kSapPort = 9875;
std::string Ipv6ScopeDirectoryText(const CIpv6SapScope& scope);
std::shared_ptr<CSDPObject> MakeIpv6ScopeDirectory(const CIpv6SapScope& scope, const CSdpEnvironment& env);
// The IPv6 SAP scope a directory record is, by its group; null for others.
const CIpv6SapScope* Ipv6SapScopeOf(const CSDPObject& directory);

// The first scope directory of the main list that bears this name.
std::shared_ptr<CSDPObject> FindScopeDirectory(COstara32Doc& doc, const std::string& name);

// Checks of the "Admin Scope Parameters" dialog beyond the plain ranges: the
// message to show, or nothing when the base address is a multicast address.
std::optional<std::string> CheckScopeBaseAddress(const std::string& dotted);
// Dialog ranges: port 1024..64536 (65535 refused as well), TTL 1..255,
// prefix length 0..32, name at most 128 characters.
bool IsScopePortAccepted(long long port);
