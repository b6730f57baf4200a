#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/RareFields.h"
#include "base/ShortText.h"
#include "base/Text.h"

class Clock;
class Random;
class CSDPObject;
class CSessionList;
class CUsedAddressList;

// Session types carried in `CSDPObject::sessionType`.
enum SessionType : int {
    kTypeTest = 0,
    kTypeBroadcast = 1,
    kTypeMeeting = 2,
    kTypeUnknown = 3,
    kTypeH332 = 4,
    kTypeModerated = 5,
    kTypeDirectory = 6,
    kTypeScopeDirectory = 7,
};

inline bool IsDirectoryType(int type) { return type == kTypeDirectory || type == kTypeScopeDirectory; }

struct CSDPTime {
    CShortText start;          // NTP seconds, decimal
    CShortText stop;           // "0" or empty: unbounded
    CShortText repeatInterval; // plain seconds
    CShortText activeDuration; // plain seconds
    CShortText offset;         // first offset, as written

    bool operator==(const CSDPTime&) const = default;
};

struct CPayload {
    int number = 0;
    CShortText name;
    bool operator==(const CPayload&) const = default;
};

// The fields of a media entry that most entries leave empty.
struct CSDPMediaExtras {
    // Kept in the cache, never in SDP text.
    CShortText spare;
    CShortText toolChoice;
    CShortText mediaLabel;
    CShortText protocolLabel;
    CShortText formatLabel;
    CShortText keyMethod;
    CShortText keyValue;
    CShortText bandwidthModifier;
    CShortText bandwidthValue;
    // Nearly always as here: a block is made only for other values.
    CShortText connectionNetworkType{"IN"};
    CShortText connectionAddressType{"IP4"};

    bool operator==(const CSDPMediaExtras&) const = default;
};

struct CSDPMedia {
    static constexpr int kMaxPayloads = 10;

    CShortText media{"Zever"};
    CShortText port;
    CShortText protocol;
    CShortText formatList;
    CShortTextList attributes;
    CRareFields<CSDPMediaExtras> extras;
    CShortText connectionAddress;
    CShortText information;
    CShortText address;
    int ttl = 127;
    int addressCount = 1;
    // How many of the formats are named payloads (PayloadsOf); 0 for an
    // entry read from the cache.
    int payloadCount = 0;

    // Two entries describe the same media when these five agree byte for byte.
    bool IsSameMedia(const CSDPMedia& other) const;
    bool operator==(const CSDPMedia&) const = default;
};

// The fields of a session record that most records leave empty.
struct CSDPExtras {
    CShortText bandwidthModifier;
    CShortText bandwidthValue;
    std::array<CShortText, 4> reserved;
    CShortText keyMethod;
    CShortText keyValue;

    bool operator==(const CSDPExtras&) const = default;
};

// A property sheet that shows a record registers itself here; the record
// tells it once when its deletion begins.
class CViewerWindow {
public:
    virtual ~CViewerWindow() = default;
    virtual void RecordExpired(CSDPObject& record) = 0;
};

// Opaque handle of the SAP receiver a directory record owns.
class CDirectoryReceiver {
public:
    virtual ~CDirectoryReceiver() = default;
};

// What ties a record to the directory tree, its SAP socket and an open
// window: set for directories and for records a property sheet shows.
struct CRecordLinks {
    uintptr_t treeItem = 0;
    std::shared_ptr<CSessionList> children;       // directories only
    std::shared_ptr<CDirectoryReceiver> directoryReceiver;
    CViewerWindow* viewerWindow = nullptr;
    uint32_t directoryGroup = 0;                  // network byte order
    uint16_t directoryPort = 0;
    uint8_t directoryTtl = 0;
};

// Things a record needs from the outside world when it is made.
struct CSdpEnvironment {
    const Clock& clock;
    Random& random;
    CUsedAddressList* usedAddresses = nullptr; // parser records media addresses here
};

class CSDPObject {
public:
    static constexpr int kLockTimeoutMs = 10000;
    static constexpr const char* kExpiredText = "The entry you are viewing just expired!";

    CSDPObject();
    ~CSDPObject();
    CSDPObject(const CSDPObject&) = delete;
    CSDPObject& operator=(const CSDPObject&) = delete;

    // A record with defaults only, as used before reading a text or a cache entry.
    static std::shared_ptr<CSDPObject> MakeEmpty(const CSdpEnvironment& env);
    // The start of a user's own session: origin filled from the clock and host.
    static std::shared_ptr<CSDPObject> MakeWithoutText(const CSdpEnvironment& env, const std::string& localHostName);
    // A random number other than 0, the tag every new record carries.
    static int DrawRandomTag(Random& random);
    // The parser (SdpParser.cpp).
    static std::shared_ptr<CSDPObject> FromText(std::string_view text, const CSdpEnvironment& env);

    // Locking. The file/line arguments only name the caller for diagnostics.
    // Refused (false) once deletion began, and when the wait times out.
    bool Lock(const char* file = nullptr, int line = 0);
    void Unlock();
    bool IsDeleting() const { return deleting.load(); }
    int LockCount() const
    {
        return m_lockDepth.load(std::memory_order_relaxed) + m_lockWaiters.load(std::memory_order_relaxed);
    }

    // Two records describe the same session when their origins agree in
    // everything but the version (user, id, network type, address type,
    // address). An origin address that names no host (a loopback or
    // unspecified address, "localhost") is shared by every stream such a
    // sender announces: the first media destination (address and port)
    // then tells its sessions apart, except where one of the two is the
    // program's own (own flag or scope directory).
    bool IsSameSession(const CSDPObject& other) const;
    // The origin alone, without the version.
    bool HasSameOrigin(const CSDPObject& other) const;
    // Whether a deletion with this record's text withdraws `stored`: its
    // identity, or, for a deletion that gives no media to tell host-less
    // senders apart, its origin alone.
    bool DeletionCovers(const CSDPObject& stored) const;
    // Whether an origin address says nothing about which host sent it.
    static bool NamesNoHost(std::string_view address);
    void UpdateFrom(CSDPObject& newer, int64_t now);
    // The same for a `newer` that is thrown away next: its texts, lists and
    // their blocks are taken over rather than copied, and it is left
    // holding this record's old ones.
    void TakeFrom(CSDPObject& newer, int64_t now);
    // The record as SDP text, CRLF line ends in the standard line order (SdpWriter.cpp).
    void WriteSdp(std::string& out);
    // Marks the record as being deleted and tells its viewer window. The
    // memory goes when the last holder lets go of its reference.
    void DeleteLater();

    // Hold the longer texts and the lists of a fresh record (parser,
    // cache); declared before the fields so that they go after them.
    CShortTextPool textPool;
    CShortTextPool listPool;
    // Once the record is filled: gives back the pool's unused room.
    void TrimTextPool();

    // --- the stored fields, mostly in the order of the stored form (the few
    // the walk and every repeat read are further down, beside the lock; the
    // numbers sit together to leave no holes) ---
    CShortText originUser;
    CShortText originSessionId;
    CShortText originVersion;
    CShortText originNetworkType;
    CShortText originAddressType;
    CShortText originAddress;
    CShortText name;
    CShortText information;
    CShortText uri;
    CShortText email;
    CShortText phone;
    CShortText connectionNetworkType;
    CShortText connectionAddressType;
    CShortText connectionAddress;
    CSlimList<CSDPTime> times;
    CShortTextList attributes;
    CRareFields<CSDPExtras> extras;
    int version = 0;
    int randomTag = 0;
    int scopeMode = 0;
    int announceTtl = 0;
    std::weak_ptr<CSDPObject> parentDirectory;
    CRareFields<CRecordLinks> links;
    int64_t cachedNextStart = 0;

    // --- read by the walk every second and by every repeat ---
    CSlimList<CSDPMedia> media;
    int sourceLength = 0;
    int sessionType = kTypeUnknown;
    int64_t lastHeard = 0;
    // Hash of the SAP text the fields were last taken from (0: unknown), so
    // that an unchanged repeat needs neither parsing nor copying.
    uint64_t sourceHash = 0;
    // The originating source (sap::OriginKey) of the datagram the record was
    // last announced with, or that we last sent it with; 0 when not known
    // (made here and not sent yet, or read from the cache). Kept in memory
    // only: a deletion must come from there.
    uint64_t announcedFrom = 0;
    // The walk's bookkeeping: nothing about the record can change before
    // `walkNext` (0: look now) unless its interval or inputs change.
    int64_t walkNext = 0;
    int64_t walkLastHeard = 0;
    int walkInterval = 0;
    int startTools = 0;
    int changed = 1;
    uint8_t own = 0;

private:
    // The record lock, re-entrant for its owner: a free lock is one
    // compare-and-swap; a busy one is waited for with short sleeps until
    // the timeout. Holds are counted by the owner alone; waiters count
    // themselves, so that LockCount() sees both.
    std::atomic<uint32_t> m_lockOwner{0};   // the owning thread's token, 0 when free
    std::atomic<int> m_lockWaiters{0};
    std::atomic<uint16_t> m_lockDepth{0};
    std::atomic<bool> deleting{false};
};

// Holds a record's lock for a scope; `ok()` says whether it was granted.
class CRecordLock {
public:
    explicit CRecordLock(CSDPObject& r, const char* file = __builtin_FILE(), int line = __builtin_LINE())
        : m_record(r), m_ok(r.Lock(file, line)) {}
    ~CRecordLock() { if (m_ok) m_record.Unlock(); }
    CRecordLock(const CRecordLock&) = delete;
    CRecordLock& operator=(const CRecordLock&) = delete;
    bool ok() const { return m_ok; }
private:
    CSDPObject& m_record;
    bool m_ok;
};

// The address type of a media entry's connection: its own c= line's, else
// the session's.
std::string_view ConnectionAddressTypeOf(const CSDPObject& record, const CSDPMedia& media);
// Whether that type is IP6.
bool IsIpv6Media(const CSDPObject& record, const CSDPMedia& media);
// The IPv6 group a directory record listens on (its "directory" media entry
// with an IP6 connection naming a multicast address); nothing for IPv4.
std::optional<text::CIpv6Address> Ipv6DirectoryGroup(const CSDPObject& directory);
