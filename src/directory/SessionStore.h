#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <climits>
#include <string>
#include <string_view>

#include "base/QueuedPrompter.h"
#include "base/ViewNotifier.h"
#include "base/WireCounters.h"
#include "directory/SourceSockets.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

class CAdminScopeList;
class CArchiveReader;
class CArchiveWriter;
class Clock;
class Prompter;
class ProgramExit;
class Random;
class SapNetwork;
class ToolStarter;
class CUsedAddressList;
enum class ESapAction;

// Everything the store talks to. Views and the tool starter may be absent.
struct CStorePorts {
    const Clock& clock;
    Random& random;
    Prompter& prompter;
    ProgramExit& exit;
    SapNetwork& network;
    ViewNotifier* views = nullptr;
    ToolStarter* tools = nullptr;
    CUsedAddressList* usedAddresses = nullptr;
};

// TTL bands of the announcement interval.
struct CTtlBands {
    static constexpr int kCount = 4;
    static constexpr int kLimits[kCount] = {2048, 1024, 1024, 200}; // bit/s
    int counts[kCount] = {0, 0, 0, 0};

    // The band of a TTL, -1 when it falls in none (0, 128, above 255).
    static int BandOf(int ttl);
    // Counts the records of a list that have media, by their first media's TTL.
    static CTtlBands Count(const CSessionList& list);
};

// The session store: the main list of directories and, below each, the
// sessions heard on its SAP address.
class CSessionStore {
public:
    static constexpr int kMinInterval = 300;     // seconds
    static constexpr int kTimeoutIntervals = 10;
    static constexpr size_t kMaxSessionFile = 64000;
    // The deepest directory (counting itself and every directory above it)
    // the store holds; the cache reader refuses anything deeper, so the
    // writer never writes a file the next start would delete as corrupt.
    static constexpr int kMaxDirectoryDepth = 200;
    // Sockets for directories announced by others. The TTL Scope, the scope
    // directories and the user's own folders always get theirs. At the
    // bound, the sources share them fairly (see Listen); a directory left
    // without one stays in the tree, unheard.
    static constexpr size_t kMaxAnnouncedDirectories = 100;
    // Far above any real directory; a larger file is neither read nor written.
    static constexpr size_t kMaxCacheFile = size_t{256} << 20;
    static constexpr const char* kCacheFileName = "Talmira.cache";
    static constexpr const char* kCorruptCacheText =
        "Warning Corrupt Cache File!\n I will remove the cache file, please restart program.";
    static constexpr const char* kTtlScopeText =
        "v=0\no=- 12345 3136895141 IN IP4 127.0.0.1\ns=TTL Scope\n"
        "i=Announcements where the scoping is done using the TTL field\nc=IN IP4 224.2.165.3/127\n"
        "m=directory 9875 SAP/SDP 14\nc=IN IP4 224.2.127.254/127";

    explicit CSessionStore(const CStorePorts& ports);
    // Deletes the plain files in the tmp folder below the install directory
    // (unless told to leave them).
    ~CSessionStore();
    CSessionStore(const CSessionStore&) = delete;
    CSessionStore& operator=(const CSessionStore&) = delete;

    // 1 when the record was appended to the directory's list (or the main
    // list), 0 when it refreshed the stored record of the same session or
    // was dropped (a directory that may not listen, see MayListen).
    int AddSession(std::shared_ptr<CSDPObject> record, const std::shared_ptr<CSDPObject>& directory);
    // 1 when the stored record of the same session (in the list of the
    // record's parent directory) was taken out, 0 when none matched. Takes
    // its own reference: the caller's may be the list slot it empties.
    int RemoveSession(std::shared_ptr<CSDPObject> record);
    // A deletion heard in a directory (the record made from its text, its
    // announcedFrom the datagram's originating source): removes the
    // sessions it covers (CSDPObject::DeletionCovers) that were last
    // announced from that source, or whose source is not known yet. The
    // user's own sessions are withdrawn by the user or their end alone.
    // Returns how many went.
    int RemoveHeard(const std::shared_ptr<CSDPObject>& deletion, const std::shared_ptr<CSDPObject>& directory);
    void AnnounceSession(CSDPObject& record, bool deletion);
    // A directory of the store now names another SAP group or port (its
    // announcement said so, or the user edited their folder): its socket
    // leaves the old group and joins the new one, where MayListen allows;
    // otherwise it stays without one. Its sessions stay with it.
    void MoveDirectory(const std::shared_ptr<CSDPObject>& directory, uint32_t groupNetworkOrder, uint16_t port,
                       uint8_t ttl);
    // The once-a-second walk over the main list: one batch for the views,
    // its messages held until it returns. A call while the walk runs (from a
    // nested event loop) does nothing.
    void CheckSessions();
    bool Walking() const { return m_walking; }
    // Off: the walk looks at every record every time, as a reference for
    // the skipping one.
    void SetWalkSkips(bool skips) { m_walkSkips = skips; }
    // An announcement whose SAP text (with this hash, see sap::TextHash) is
    // the one the stored session was last taken from: renews its last-heard
    // time and returns true, so the text need not be parsed. False when it
    // must go the long way (parsed, then AddSession).
    // `origin` is the datagram's originating source as text (empty: unknown).
    bool RefreshRepeat(std::string_view text, uint64_t hash, const std::shared_ptr<CSDPObject>& directory,
                       std::string_view origin = {});
    // A datagram a directory's socket decoded; its messages are held until
    // it returns.
    void OnSapMessage(ESapAction action, std::shared_ptr<CSDPObject> record,
                      const std::shared_ptr<CSDPObject>& directory);

    // Releases every record and socket (a reset for the views).
    void DeleteContents();
    // Empties the list of every top-level directory (closing the sockets of
    // the folders in them) without withdrawing own sessions; the top-level
    // directories keep listening. The views are reset and sent hint 0.
    void ClearCache();
    // Empties the store, then loads the session file, or (first time only)
    // the cache, the TTL Scope directory and the scope directories. False
    // after a corrupt cache (the exit port was told).
    bool OnNewDocument();
    // Writes the cache (not when started with a session file), then empties
    // the store. False when the cache could not be written.
    bool OnCloseDocument();

    // The cache file frame.
    bool LoadList(CArchiveReader& in, CSessionList& list, const std::shared_ptr<CSDPObject>& directory);
    void StoreList(CArchiveWriter& out, CSessionList& list, bool closeSockets = true);
    // The whole cache file into the main list: false (the reader tells
    // where and why) when a read fails, a record is unsound or bytes are left.
    bool ReadCache(CArchiveReader& in);
    // The corrupt-cache path included. A cache that exists but cannot be
    // read is reported and then left alone at exit.
    bool LoadCache();
    // Replaces the cache crash-safely; false when it could not be written.
    bool SaveCache();
    // The same without telling: what to show when it failed.
    std::optional<std::string> WriteCache();
    static std::string UnreadableCacheText(const std::string& path, const std::string& reason);

    // The interval at which a record of this list is announced, at least 300 s.
    static int AnnouncementInterval(const CSDPObject& record, const CTtlBands& bands);
    // The latest stop time of a record's time entries, in Unix seconds; 0 for none.
    static int64_t EndTime(const CSDPObject& record);

    CSessionList& MainList() { return m_mainList; }
    // The list a directory holds, the main list for none.
    CSessionList& ListOf(const std::shared_ptr<CSDPObject>& directory);
    const CSdpEnvironment& Environment() const { return m_env; }
    // Sends a hint to the views; in a walk or a reset only the strongest
    // one (a directory to show or the top level, else -1) goes at its end.
    void Notify(const CViewHint& hint);
    // A shown state of the record (its Auto Start mark) was changed outside
    // the store: the views draw it again.
    void RecordShownChanged(const CSDPObject& record);
    // The messages of the store; held while the walk or a socket handler
    // runs. Whatever the walk starts (tools) should show its messages here.
    Prompter& Prompts() { return m_prompts; }
    std::string CacheFilePath() const;
    std::string TmpFolder() const;
    const std::string& Title() const { return m_title; }
    void SetScopes(CAdminScopeList* scopes) { m_scopes = scopes; }
    // Whether the start adds the IPv6 SAP directories (the host has IPv6 on
    // the SAP interface and the user did not turn it off).
    void SetIpv6Scopes(bool on) { m_ipv6Scopes = on; }
    void SetSessionFile(std::string path) { m_sessionFile = std::move(path); m_sessionFileGiven = true; }
    bool StartedWithSessionFile() const { return m_sessionFileGiven; }
    // Without the cache the store neither reads nor writes it (a process that
    // only announces must not replace the listener's cache).
    void SetCacheEnabled(bool enabled) { m_cacheEnabled = enabled; }
    // The tmp folder belongs to the running instance: a store beside it
    // (announcing) leaves the session files of its tools alone.
    void SetCleansTmpFolder(bool cleans) { m_cleansTmpFolder = cleans; }
    // Empties tmp/ (its plain files) when it is this store's to empty. Every
    // way out does it, the ones that end the program at once included.
    void CleanTmp();
    const CStorePorts& Ports() const { return m_ports; }
    // The tool starter comes after the store: it shows its messages
    // through Prompts(), so they are held while the walk runs.
    void SetToolStarter(ToolStarter* tools) { m_ports.tools = tools; }
    // Open sockets of directories announced by others.
    size_t AnnouncedDirectorySockets() const { return m_announcedSockets.Size(); }
    // The TTL an own session goes out with when nothing set it: the largest
    // TTL its media give, else its directory's, else 15.
    static int AnnounceTtlOf(const CSDPObject& record, const CSDPObject* directory);
    // The size of the SDP text an own session goes out with, and the most
    // one announcement in its directory carries: a longer one is not sent.
    struct CSendSize {
        size_t size = 0;
        size_t limit = 0;
        bool Fits() const { return size <= limit; }
    };
    static CSendSize SendSizeOf(CSDPObject& record);
    static constexpr const char* kNotAnnouncedText = "Not announced: too long";

    // Settings the store keeps (read at start by the application).
    std::string userName;
    std::string userEmail;
    std::string userPhone;
    std::string interfaceAddress;
    std::string installDirectory;
    int filterMode = 0;
    // Counts the cache writes when set (the metrics).
    CWireCounters* wireCounters = nullptr;

private:
    // Whether a directory may listen in `parent`'s list: not when the tree
    // would grow deeper than the cache holds, not when it repeats the SAP
    // group and port of a directory above it (it would hear its own
    // announcement again and nest without end).
    bool MayNest(const CSDPObject& directory, const std::shared_ptr<CSDPObject>& parent) const;
    // Gives a directory that may nest its socket, within the bound for
    // announced ones: once it is reached, a directory whose source holds
    // fewer sockets than the source holding the most (by two or more) takes
    // the socket of that source's directory heard least recently. False when
    // it stays without one.
    bool Listen(const std::shared_ptr<CSDPObject>& directory);
    bool FreeSocketFor(uint64_t source);
    // A directory heard again that has no socket (left out by the bound) may
    // get one now; true when it did.
    bool ListenAgain(const std::shared_ptr<CSDPObject>& directory, const std::shared_ptr<CSDPObject>& parent);
    // The source a record was announced from changed: its socket counts for the new one.
    void NoteSource(CSDPObject& record, uint64_t source);
    // The group a directory's socket hears beside its own, 0 for none.
    uint32_t SecondGroupOf(const CSDPObject& directory) const;
    void OpenSocket(const std::shared_ptr<CSDPObject>& directory);
    // The directory of each configured scope, keeping the ids the cache has.
    void AddScopeDirectories();
    // Adds them when IPv6 is on; otherwise removes those a cache brought.
    void AddIpv6ScopeDirectories();
    void CloseSocket(CSDPObject& directory);
    // After a move: the directory and every one below it listen exactly
    // when MayListen allows (a directory below may repeat the new address).
    void FollowMove(const std::shared_ptr<CSDPObject>& directory);
    void ReleaseChildren(CSDPObject& directory);
    void CheckSessions(CSessionList& list);
    void CheckRecord(const std::shared_ptr<CSDPObject>& record, const CTtlBands& bands, int64_t now);
    bool NeedsCheck(const CSDPObject& record, const CTtlBands& bands, int64_t now) const;
    void RefreshUnchanged(CSDPObject& stored);
    // Whether the session list shows this directory or one below it; a
    // directory the walk already moved the list away from counts as shown
    // no more.
    bool ShowsWithin(const CSDPObject& directory) const;
    void Changed(const std::shared_ptr<CSDPObject>& record);
    // The views for row notices: none while the store is being reset.
    ViewNotifier* RowViews() const;
    void SendPendingHint();
    void ReleaseAll();
    // Holds back hints and row notices while the store is refilled.
    class CReset;
    bool LoadSessionFile();
    void CorruptCache(const std::string& path);

    CStorePorts m_ports;
    CQueuedPrompter m_prompts;
    CSdpEnvironment m_env;
    CSessionList m_mainList;
    CAdminScopeList* m_scopes = nullptr;
    bool m_ipv6Scopes = false;
    int m_firstStart = 1;
    std::string m_title;
    std::string m_sessionFile;
    bool m_sessionFileGiven = false;
    bool m_cacheEnabled = true;
    bool m_cleansTmpFolder = true;
    CSourceSockets m_announcedSockets;
    bool m_cacheUnreadable = false;
    bool m_walking = false;
    bool m_walkSkips = true;
    int64_t m_lastWalk = INT64_MIN;
    int m_resets = 0;
    // A hint held back until the walk or reset ends.
    bool m_hintPending = false;
    CViewHint m_pendingHint;
};

// Deletes every plain file in `folder`; subfolders stay. Shows "Couldn't
// find next file." when the listing breaks off with an error.
void CleanTmpFolder(const std::string& folder, Prompter& prompter);

// The first scope directory of the main list that bears this name.
std::shared_ptr<CSDPObject> FindScopeDirectory(CSessionStore& doc, const std::string& name);
