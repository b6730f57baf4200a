#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSDPObject;
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
// A scope directory's text parsed, as a scope directory (type 7) ready for
// AddSession.
std::shared_ptr<CSDPObject> ScopeDirectoryFrom(const std::string& text, const CSdpEnvironment& env);
// That text parsed, as a scope directory (type 7) ready for AddSession.
std::shared_ptr<CSDPObject> MakeScopeDirectory(const CAdminScopeEntry& scope, const std::string& sessionId,
                                               const CSdpEnvironment& env);

// The process's scope list, owned by the application and handed to the store
// and the settings pages. It knows nothing of the store: the commands that
// change scopes and their directories together live in ScopeDirectories.
class CAdminScopeList {
public:
    std::vector<CAdminScopeEntry>& Entries() { return m_entries; }
    const std::vector<CAdminScopeEntry>& Entries() const { return m_entries; }
    size_t Size() const { return m_entries.size(); }

    // The first scope named `directoryName` (an empty name names none).
    const CAdminScopeEntry* FindByDirectoryName(const std::string& directoryName) const;
    // The first scope with this SAP group (network byte order) and port.
    const CAdminScopeEntry* FindBySapGroup(uint32_t groupNetworkOrder, uint32_t port) const;

private:
    std::vector<CAdminScopeEntry> m_entries;
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

// Checks of the "Admin Scope Parameters" dialog beyond the plain ranges: the
// message to show, or nothing when the base address is a multicast address.
std::optional<std::string> CheckScopeBaseAddress(const std::string& dotted);
// Dialog ranges: port 1024..64536 (65535 refused as well), TTL 1..255,
// prefix length 0..32, name at most 128 characters.
bool IsScopePortAccepted(long long port);
