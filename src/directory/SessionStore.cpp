#include "directory/SessionStore.h"

#include "base/Clock.h"
#include "base/FileIO.h"
#include "base/Prompter.h"
#include "base/SapNetwork.h"
#include "base/Text.h"
#include "base/ToolStarter.h"
#include "directory/AdminScope.h"
#include "directory/Archive.h"
#include "sap/SapAnnounce.h"
#include "sap/SapCodec.h"
#include "sdp/Schedule.h"

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>

namespace fs = std::filesystem;

namespace {
// A weak reference that was never set, as opposed to one whose target died.
bool IsUnset(const std::weak_ptr<CSDPObject>& w)
{
    const std::weak_ptr<CSDPObject> empty;
    return !w.owner_before(empty) && !empty.owner_before(w);
}

// What the views show of a record beside its name and information (which
// the refresh itself marks): a refresh that changes any of it is news.
struct CShownFields {
    std::vector<CSDPTime> times;
    std::vector<std::string> media;
    int type = 0;
    explicit CShownFields(const CSDPObject& r) : times(r.times), type(r.sessionType)
    {
        media.reserve(r.media.size());
        for (const CSDPMedia& m : r.media)
            media.push_back(m.media);
    }
    bool operator==(const CShownFields&) const = default;
};

} // namespace

class CSessionStore::CReset {
public:
    explicit CReset(CSessionStore& doc) : m_doc(doc)
    {
        if (m_doc.m_resets++ == 0 && m_doc.m_ports.views)
            m_doc.m_ports.views->BeginReset();
    }
    ~CReset()
    {
        if (m_doc.m_resets > 1) {
            --m_doc.m_resets;
            return;
        }
        m_doc.m_resets = 0;
        if (m_doc.m_ports.views) {
            m_doc.SendPendingHint();
            m_doc.m_ports.views->EndReset();
        }
    }
    CReset(const CReset&) = delete;
    CReset& operator=(const CReset&) = delete;
private:
    CSessionStore& m_doc;
};

int CTtlBands::BandOf(int ttl)
{
    // 1-15, 16-63, 64-127 and 129-255; asked for every record every second.
    static constexpr auto kBands = [] {
        std::array<int8_t, 256> bands{};
        for (int t = 0; t < 256; ++t)
            bands[t] = static_cast<int8_t>(t == 0 || t == 128 ? -1 : t <= 15 ? 0 : t <= 63 ? 1 : t <= 127 ? 2 : 3);
        return bands;
    }();
    return static_cast<unsigned>(ttl) < kBands.size() ? kBands[static_cast<unsigned>(ttl)] : -1;
}

CTtlBands CTtlBands::Count(const CSessionList& list)
{
    CTtlBands bands;
    for (const auto& record : list) {
        if (record->media.empty())
            continue;
        const int band = BandOf(record->media.front().ttl);
        if (band >= 0)
            ++bands.counts[band];
    }
    return bands;
}

CSessionStore::CSessionStore(const CStorePorts& ports)
    : m_ports(ports), m_prompts(ports.prompter), m_env{ports.clock, ports.random, ports.usedAddresses}
{
}

CSessionStore::~CSessionStore()
{
    // The views may be gone already: nothing is sent from here.
    ReleaseAll();
    CleanTmp();
}

void CSessionStore::CleanTmp()
{
    if (m_cleansTmpFolder && !installDirectory.empty())
        CleanTmpFolder(TmpFolder(), m_prompts);
}

ViewNotifier* CSessionStore::RowViews() const
{
    return m_resets ? nullptr : m_ports.views;
}

void CSessionStore::Notify(const CViewHint& hint)
{
    if (!m_ports.views)
        return;
    if (!m_walking && !m_resets) {
        m_ports.views->UpdateAllViews(hint);
        return;
    }
    // A directory to show (or the top level) also brings the rows up to
    // date, so it outranks -1; of two such hints the later one stands.
    if (!m_hintPending || hint.code != CViewHint::kListsChanged)
        m_pendingHint = hint;
    m_hintPending = true;
}

void CSessionStore::SendPendingHint()
{
    if (!m_hintPending || !m_ports.views || m_walking || m_resets)
        return;
    m_hintPending = false;
    const CViewHint hint = std::move(m_pendingHint);
    m_pendingHint = {};
    m_ports.views->UpdateAllViews(hint);
}

bool CSessionStore::ShowsWithin(const CSDPObject& directory) const
{
    if (m_hintPending && m_pendingHint.code != CViewHint::kListsChanged) {
        // The list is about to show the pending hint's directory.
        for (auto shown = m_pendingHint.directory; shown; shown = shown->parentDirectory.lock())
            if (shown.get() == &directory)
                return true;
        return false;
    }
    if (!m_ports.views)
        return false;
    if (m_ports.views->IsListShowing(directory))
        return true;
    if (directory.links->children)
        for (const auto& child : *directory.links->children)
            if (IsDirectoryType(child->sessionType) && ShowsWithin(*child))
                return true;
    return false;
}

void CSessionStore::Changed(const std::shared_ptr<CSDPObject>& record)
{
    const auto directory = record->parentDirectory.lock();
    if (directory && !directory->links->children)
        return; // its directory was released: the record is on its way out
    if (ViewNotifier* views = RowViews()) {
        const long row = ListOf(directory).IndexOf(*record);
        if (row >= 0)
            views->RecordChanged(directory, static_cast<size_t>(row), record);
    }
    Notify(CViewHint::ListsChanged());
}

void CSessionStore::RecordShownChanged(const CSDPObject& record)
{
    const auto directory = record.parentDirectory.lock();
    if (directory && !directory->links->children)
        return;
    const CSessionList& list = ListOf(directory);
    if (const long row = list.IndexOf(record); row >= 0)
        Changed(list.At(static_cast<size_t>(row)));
}

CSessionList& CSessionStore::ListOf(const std::shared_ptr<CSDPObject>& directory)
{
    return directory ? *directory->links->children : m_mainList;
}

namespace {
// Directories announced by others, as opposed to the program's own scope
// directories and the user's folders.
bool IsAnnouncedDirectory(const CSDPObject& record)
{
    return record.sessionType == kTypeDirectory && !record.own;
}
} // namespace

bool CSessionStore::MayNest(const CSDPObject& directory, const std::shared_ptr<CSDPObject>& parent) const
{
    int depth = 1;
    for (auto above = parent; above; above = above->parentDirectory.lock()) {
        if (++depth > kMaxDirectoryDepth)
            return false;
        if (above->links->directoryGroup == directory.links->directoryGroup && above->links->directoryPort == directory.links->directoryPort
            && Ipv6DirectoryGroup(*above) == Ipv6DirectoryGroup(directory))
            return false;
    }
    return true;
}

bool CSessionStore::Listen(const std::shared_ptr<CSDPObject>& directory)
{
    if (directory->links->directoryReceiver)
        return true;
    if (IsAnnouncedDirectory(*directory) && m_announcedSockets.Size() >= kMaxAnnouncedDirectories
        && !FreeSocketFor(directory->announcedFrom))
        return false;
    OpenSocket(directory);
    return true;
}

bool CSessionStore::FreeSocketFor(uint64_t source)
{
    const std::shared_ptr<CSDPObject> oldest = m_announcedSockets.ToFreeFor(source);
    if (!oldest)
        return false;
    CloseSocket(*oldest);
    Changed(oldest); // its tree item shows that it is not heard any more
    return true;
}

bool CSessionStore::ListenAgain(const std::shared_ptr<CSDPObject>& directory, const std::shared_ptr<CSDPObject>& parent)
{
    if (!IsDirectoryType(directory->sessionType))
        return false;
    const CRecordLinks& links = *directory->links;
    return links.children && !links.directoryReceiver && MayNest(*directory, parent) && Listen(directory);
}

void CSessionStore::NoteSource(CSDPObject& record, uint64_t source)
{
    if (source == 0 || record.announcedFrom == source)
        return;
    record.announcedFrom = source;
    if (const CRecordLinks* links = record.links.IfSet())
        m_announcedSockets.Retarget(links->directoryReceiver.get(), source);
}

uint32_t CSessionStore::SecondGroupOf(const CSDPObject& directory) const
{
    // Scope directories, made now or read from the cache, by the scope whose
    // SAP group they listen on. The TTL Scope's group is already the global
    // scope's announcement address; announced directories name theirs.
    if (directory.sessionType != kTypeScopeDirectory || !m_scopes)
        return 0;
    const CAdminScopeEntry* scope = m_scopes->FindBySapGroup(directory.links->directoryGroup, directory.links->directoryPort);
    return scope ? scope->AnnouncementGroup() : 0;
}

void CSessionStore::OpenSocket(const std::shared_ptr<CSDPObject>& directory)
{
    const CRecordLinks& links = *directory->links;
    if (const auto group6 = Ipv6DirectoryGroup(*directory))
        directory->links.Edit().directoryReceiver = m_ports.network.OpenSAPSocket6(*group6, links.directoryPort,
                                                                                   links.directoryTtl, directory);
    else
        directory->links.Edit().directoryReceiver = m_ports.network.OpenSAPSocket(
            links.directoryGroup, links.directoryPort, links.directoryTtl, directory, SecondGroupOf(*directory));
    if (directory->links->directoryReceiver && IsAnnouncedDirectory(*directory))
        m_announcedSockets.Add(directory->links->directoryReceiver.get(), directory->announcedFrom, directory);
}

void CSessionStore::CloseSocket(CSDPObject& directory)
{
    CRecordLinks* const links = directory.links.IfSet();
    if (auto socket = links ? std::move(links->directoryReceiver) : nullptr) {
        m_announcedSockets.Remove(socket.get());
        m_ports.network.CloseSocket(*socket);
    }
}

void CSessionStore::MoveDirectory(const std::shared_ptr<CSDPObject>& directory, uint32_t groupNetworkOrder,
                                 uint16_t port, uint8_t ttl)
{
    if (!directory || !IsDirectoryType(directory->sessionType))
        return;
    // Sends set their own TTL: a new one needs no new socket.
    directory->links.Edit().directoryTtl = ttl;
    if (directory->links->directoryGroup == groupNetworkOrder && directory->links->directoryPort == port)
        return;
    directory->links.Edit().directoryGroup = groupNetworkOrder;
    directory->links.Edit().directoryPort = port;
    // Released or on its way out: it has no socket to move.
    if (!directory->links->children || directory->IsDeleting())
        return;
    CloseSocket(*directory);
    FollowMove(directory);
}

void CSessionStore::FollowMove(const std::shared_ptr<CSDPObject>& directory)
{
    if (!MayNest(*directory, directory->parentDirectory.lock()))
        CloseSocket(*directory);
    else
        Listen(directory);
    for (const auto& child : *directory->links->children)
        if (IsDirectoryType(child->sessionType) && child->links->children)
            FollowMove(child);
}

int CSessionStore::AddSession(std::shared_ptr<CSDPObject> record, const std::shared_ptr<CSDPObject>& directory)
{
    // A directory already removed (a datagram still queued for its socket)
    // takes nothing more: the record is dropped.
    if (directory && (!directory->links->children || directory->IsDeleting()))
        return 0;
    CSessionList& list = ListOf(directory);
    record->parentDirectory = directory;
    if (auto stored = list.Find(*record)) {
        // Only directories own a child list and a socket: a session heard
        // again as the other kind is a new entry in place of the old one.
        // The user's own records keep what they are, as on any refresh.
        if (stored->own) {
            // What we sent, heard back on this host, changes nothing; a
            // repeat from elsewhere (or made here) only moves the last-heard time.
            if (record->announcedFrom == 0 || record->announcedFrom != stored->announcedFrom)
                RefreshUnchanged(*stored);
            return 0;
        }
        // The same text again: only the last-heard time moves.
        if (record->sourceHash != 0 && record->sourceHash == stored->sourceHash) {
            RefreshUnchanged(*stored);
            NoteSource(*stored, record->announcedFrom);
            if (ListenAgain(stored, directory))
                Changed(stored);
            return 0;
        }
        if (IsDirectoryType(stored->sessionType) == IsDirectoryType(record->sessionType)) {
            // Most repeats change nothing: those stay silent.
            const CShownFields before(*stored);
            CRecordLock lock(*stored);
            if (!lock.ok())
                return 0;
            stored->changed = 0;
            const auto group6 = IsDirectoryType(stored->sessionType) ? Ipv6DirectoryGroup(*stored) : std::nullopt;
            stored->TakeFrom(*record, m_ports.clock.Now());
            stored->sourceHash = record->sourceHash;
            NoteSource(*stored, record->announcedFrom);
            if (IsDirectoryType(stored->sessionType)) {
                const bool heard = stored->links->directoryReceiver != nullptr;
                MoveDirectory(stored, record->links->directoryGroup, record->links->directoryPort, record->links->directoryTtl);
                // An IPv6 group lives in the media: a new one needs a new socket too.
                if (group6 != Ipv6DirectoryGroup(*stored) && stored->links->children && !stored->IsDeleting()) {
                    CloseSocket(*stored);
                    FollowMove(stored);
                }
                ListenAgain(stored, directory);
                if (heard != (stored->links->directoryReceiver != nullptr))
                    stored->changed = 1;
            }
            stored->walkNext = 0; // its times may have changed
            if (stored->changed || CShownFields(*stored) != before) {
                stored->changed = 1;
                Changed(stored);
            }
            return 0;
        }
        RemoveSession(stored);
    }
    if (IsDirectoryType(record->sessionType)) {
        if (!MayNest(*record, directory))
            return 0;
        record->links.Edit().children = std::make_shared<CSessionList>();
        Listen(record); // beyond the bound it is listed, unheard
    }
    const size_t row = list.Size();
    ViewNotifier* views = RowViews();
    if (views)
        views->RecordAboutToBeAdded(directory, row, record);
    list.Append(record);
    if (views)
        views->RecordAdded(directory, row, record);
    Notify(CViewHint::ListsChanged());
    if (record->own)
        AnnounceSession(*record, false);
    return 1;
}

void CSessionStore::RefreshUnchanged(CSDPObject& stored)
{
    CRecordLock lock(stored);
    if (!lock.ok())
        return;
    stored.changed = 0;
    stored.lastHeard = m_ports.clock.Now();
}

bool CSessionStore::RefreshRepeat(std::string_view text, uint64_t hash, const std::shared_ptr<CSDPObject>& directory,
                                 std::string_view origin)
{
    if (hash == 0)
        return false;
    if (directory && (!directory->links->children || directory->IsDeleting()))
        return true; // AddSession would drop it too
    const std::string_view id = sap::OriginSessionIdOf(text);
    if (id.empty())
        return false;
    // Equal hashes mean the stored fields came from this very text, so the
    // session the parser would find is the stored one.
    CSDPObject* const stored = ListOf(directory).PeekBySourceHash(id, hash);
    if (!stored || stored->own)
        return false;
    // A directory without a socket may get one now: the long way.
    if (IsDirectoryType(stored->sessionType) && !stored->links->directoryReceiver)
        return false;
    RefreshUnchanged(*stored);
    if (!origin.empty())
        NoteSource(*stored, sap::OriginKey(origin));
    return true;
}

int CSessionStore::RemoveSession(std::shared_ptr<CSDPObject> record)
{
    const auto directory = record->parentDirectory.lock();
    if (!directory && !IsUnset(record->parentDirectory))
        return 0; // its directory is gone already
    if (directory && (!directory->links->children || directory->IsDeleting()))
        return 0;
    CSessionList& list = ListOf(directory);
    // The walk passes the stored record itself: take exactly that one.
    long row = list.IndexOf(*record);
    std::shared_ptr<CSDPObject> stored = row >= 0 ? record : list.Find(*record);
    if (!stored)
        return 0;
    if (row < 0)
        row = list.IndexOf(*stored);
    const bool isDirectory = IsDirectoryType(stored->sessionType);
    // Asked while the directory is still in place: a list showing it or
    // anything below it goes to its parent.
    const bool shown = isDirectory && ShowsWithin(*stored);
    ViewNotifier* views = RowViews();
    if (views)
        views->RecordAboutToBeRemoved(directory, static_cast<size_t>(row), stored);
    list.Remove(*stored);
    if (views)
        views->RecordRemoved(directory, static_cast<size_t>(row), stored);
    if (stored->own)
        AnnounceSession(*stored, true);
    if (!isDirectory) {
        stored->DeleteLater();
        Notify(CViewHint::ListsChanged());
        return 1;
    }
    Notify(shown ? CViewHint::Show(directory) : CViewHint::ListsChanged());
    CloseSocket(*stored);
    ReleaseChildren(*stored);
    stored->DeleteLater();
    return 1;
}

int CSessionStore::RemoveHeard(const std::shared_ptr<CSDPObject>& deletion, const std::shared_ptr<CSDPObject>& directory)
{
    if (directory && (!directory->links->children || directory->IsDeleting()))
        return 0;
    std::vector<std::shared_ptr<CSDPObject>> covered;
    for (auto& stored : ListOf(directory).AllWithId(deletion->originSessionId))
        if (!stored->own && deletion->DeletionCovers(*stored)
            && (stored->announcedFrom == 0 || stored->announcedFrom == deletion->announcedFrom))
            covered.push_back(std::move(stored));
    int removed = 0;
    for (const auto& stored : covered)
        removed += RemoveSession(stored);
    return removed;
}

void CSessionStore::ReleaseChildren(CSDPObject& directory)
{
    if (!directory.links->children)
        return;
    for (const auto& child : *directory.links->children) {
        // Scope directories nested by an old cache own sockets too.
        if (IsDirectoryType(child->sessionType)) {
            CloseSocket(*child);
            ReleaseChildren(*child);
        }
        child->DeleteLater();
    }
    directory.links->children->Clear();
}

void CSessionStore::AnnounceSession(CSDPObject& record, bool deletion)
{
    std::string text;
    record.WriteSdp(text);
    // A session outside every directory has no socket to go out on.
    const auto directory = record.parentDirectory.lock();
    CDirectoryReceiver* const socket = directory ? directory->links->directoryReceiver.get() : nullptr;
    // An IPv6 directory's socket sends with an IPv6 originating source.
    const auto source6 = socket ? m_ports.network.OriginatingSource6(*socket) : std::nullopt;
    const uint32_t source = socket && !source6 ? m_ports.network.OriginatingSource(*socket) : 0;
    auto datagram = source6 ? sap::BuildAnnouncement(text, deletion, *source6)
                            : sap::BuildAnnouncement(text, deletion, source);
    if (datagram && socket) {
        if (!m_ports.network.SetMulticastTtl(*socket, record.announceTtl))
            m_prompts.Show("Failed to adjust TTL!");
        if (!m_ports.network.SendDatagram(*socket, *datagram))
            m_prompts.Show("Failed to write to socket");
        // What the socket loops back to this host is then known as ours.
        if (source6)
            record.announcedFrom = sap::OriginKey(*source6);
        else if (source != 0)
            record.announcedFrom = sap::OriginKey(source);
    }
    record.lastHeard = m_ports.clock.Now();
    record.walkNext = 0; // an edit before the send may have changed its times
}

int CSessionStore::AnnouncementInterval(const CSDPObject& record, const CTtlBands& bands)
{
    const int ttl = record.media.empty() ? 127 : record.media.front().ttl;
    const int band = CTtlBands::BandOf(ttl);
    const int64_t value = band < 0 ? ttl
        : 8LL * bands.counts[band] * record.sourceLength / CTtlBands::kLimits[band];
    return static_cast<int>(std::clamp<int64_t>(value, kMinInterval, INT_MAX));
}

CSessionStore::CSendSize CSessionStore::SendSizeOf(CSDPObject& record)
{
    std::string text;
    record.WriteSdp(text);
    const auto directory = record.parentDirectory.lock();
    return {text.size(), sap::MaxAnnouncementText(directory && Ipv6DirectoryGroup(*directory))};
}

int CSessionStore::AnnounceTtlOf(const CSDPObject& record, const CSDPObject* directory)
{
    int ttl = 0;
    for (const CSDPMedia& m : record.media)
        if (m.ttl > 0 && m.ttl <= 255)
            ttl = std::max(ttl, m.ttl);
    if (ttl == 0 && directory && directory->links->directoryTtl != 0)
        ttl = directory->links->directoryTtl;
    return ttl ? ttl : 15;
}

int64_t CSessionStore::EndTime(const CSDPObject& record)
{
    int64_t end = 0;
    for (const CSDPTime& t : record.times) {
        if (t.stop == "0")
            continue;
        const int64_t ntp = text::ToInt64(t.stop);
        if (ntp == 0)
            continue;
        end = std::max(end, ntp - kNtpUnixOffset);
    }
    return end;
}

void CSessionStore::CheckSessions()
{
    if (m_walking)
        return;
    // Declared first: the held messages are shown once the walk is over.
    CQueuedPrompter::CHold hold(m_prompts);
    m_walking = true;
    if (m_ports.views)
        m_ports.views->BeginWalk();
    CheckSessions(m_mainList);
    m_lastWalk = m_ports.clock.Now();
    m_walking = false;
    if (m_ports.views) {
        SendPendingHint(); // inside a reset, the reset sends it
        m_ports.views->EndWalk();
    }
}

void CSessionStore::CheckSessions(CSessionList& list)
{
    const CTtlBands bands = CTtlBands::Count(list);
    const int64_t now = m_ports.clock.Now();
    CSessionList::CCursor cursor(list);
    // Most records are skipped: they are looked at in place, and only a
    // record that needs a check is held by a reference of its own.
    while (const CSessionList::Record* slot = cursor.NextInPlace()) {
        if (!IsDirectoryType((*slot)->sessionType) && !NeedsCheck(**slot, bands, now))
            continue;
        CheckRecord(std::shared_ptr<CSDPObject>(*slot), bands, now);
    }
}

bool CSessionStore::NeedsCheck(const CSDPObject& r, const CTtlBands& bands, int64_t now) const
{
    // A later last-heard time only pushes time-out and re-announcement
    // further away; an earlier one, a changed interval, a clock that went
    // back or a pending Auto Start need a look now.
    return !m_walkSkips || now >= r.walkNext || r.startTools || now < m_lastWalk || r.lastHeard < r.walkLastHeard
        || AnnouncementInterval(r, bands) != r.walkInterval;
}

void CSessionStore::CheckRecord(const std::shared_ptr<CSDPObject>& record, const CTtlBands& bands, int64_t now)
{
    CSDPObject& r = *record;
    if (!r.Lock(__FILE__, __LINE__))
        return;
    if (IsDirectoryType(r.sessionType) && r.links->children)
        CheckSessions(*r.links->children);
    const int interval = AnnouncementInterval(r, bands);
    const int64_t end = EndTime(r);
    bool expired = false;
    if (end != 0 && end < now)
        expired = r.sessionType != kTypeScopeDirectory;
    else if (r.lastHeard + kTimeoutIntervals * int64_t{interval} < now)
        expired = r.sessionType != kTypeScopeDirectory && !r.own;

    if (expired) {
        RemoveSession(record);
        // Unlike a record handed to a deleting thread, ours is freed by the
        // last reference: a mutex must not be destroyed while held.
        r.Unlock();
        return;
    }
    if (r.own && r.lastHeard + interval <= now)
        AnnounceSession(r, false);
    if (r.startTools && IsInPeriod(r.times, kPeriodNow, now, m_ports.clock)) {
        if (m_ports.tools)
            m_ports.tools->StartTools(record, -1, 0);
        r.startTools = 0;
        Changed(record);
    }
    // The record is locked already: ask about its times directly.
    int64_t next = 0;
    const int64_t nextStart = NextStart(r.times, now, &next);
    if (nextStart != r.cachedNextStart) {
        r.cachedNextStart = nextStart;
        Changed(record);
    }
    // The first second at which this record can expire, be due for sending
    // or see its next start move.
    if (r.sessionType != kTypeScopeDirectory) {
        if (end != 0)
            next = std::min(next, end + 1);
        if (!r.own)
            next = std::min(next, r.lastHeard + kTimeoutIntervals * int64_t{interval} + 1);
    }
    if (r.own)
        next = std::min(next, r.lastHeard + interval);
    r.walkNext = std::max(next, now + 1);
    r.walkLastHeard = r.lastHeard;
    r.walkInterval = interval;
    r.Unlock();
}

void CSessionStore::OnSapMessage(ESapAction action, std::shared_ptr<CSDPObject> record,
                                const std::shared_ptr<CSDPObject>& directory)
{
    if (!record)
        return;
    CQueuedPrompter::CHold hold(m_prompts);
    if (action == ESapAction::Announce) {
        AddSession(std::move(record), directory);
    } else if (action == ESapAction::Delete) {
        RemoveHeard(record, directory);
    }
}

void CSessionStore::DeleteContents()
{
    CReset reset(*this);
    ReleaseAll();
    // The list may have shown a directory that is gone now.
    Notify(CViewHint::TopLevel());
}

void CSessionStore::ClearCache()
{
    CReset reset(*this);
    for (const auto& top : m_mainList) {
        // Folders below lose their sockets; own sessions go unannounced.
        ReleaseChildren(*top);
        if (CRecordLinks* links = top->links.IfSet())
            links->treeItem = 0;
    }
    Notify(CViewHint::TopLevel());
}

void CSessionStore::ReleaseAll()
{
    for (const auto& record : m_mainList) {
        CloseSocket(*record);
        ReleaseChildren(*record);
        if (CRecordLinks* links = record->links.IfSet())
            links->children.reset();
        record->DeleteLater();
    }
    m_mainList.Clear();
}

bool CSessionStore::ReadCache(CArchiveReader& in)
{
    CReset reset(*this);
    if (!LoadList(in, m_mainList, nullptr))
        return false;
    if (!in.AtEnd()) {
        in.FailAt(in.Position(), "bytes after the main list");
        return false;
    }
    return true;
}

std::string CSessionStore::TmpFolder() const
{
    return (fs::path(installDirectory) / "tmp").string();
}

bool CSessionStore::OnNewDocument()
{
    CReset reset(*this);
    DeleteContents();
    if (m_sessionFileGiven) {
        LoadSessionFile();
    } else if (m_firstStart) {
        if (m_cacheEnabled && !LoadCache())
            return false;
        auto ttlScope = CSDPObject::FromText(kTtlScopeText, m_env);
        ttlScope->sessionType = kTypeScopeDirectory;
        AddSession(std::move(ttlScope), nullptr);
        if (m_scopes)
            AddScopeDirectories();
        AddIpv6ScopeDirectories();
        m_firstStart = 0;
    }
    m_title = "Default";
    return true;
}

void CSessionStore::AddScopeDirectories()
{
    // A scope added on the settings page came with another id than the one
    // its place gives now: its directory in the cache keeps that one, so
    // one directory stands for the scope, not two on one group.
    const auto& scopes = m_scopes->Entries();
    std::vector<std::string> ids(scopes.size());
    for (size_t i = 0; i < scopes.size(); ++i) {
        const auto cached = scopes[i].name.empty() ? nullptr : FindScopeDirectory(*this, scopes[i].name);
        if (cached && cached->originSessionId != "12345" && !Ipv6DirectoryGroup(*cached))
            ids[i] = cached->originSessionId;
    }
    long long next = kStartupScopeIdBase;
    for (size_t i = 0; i < scopes.size(); ++i, ++next) {
        // The place's own id, unless another scope keeps it.
        while (ids[i].empty() && std::find(ids.begin(), ids.end(), std::to_string(next)) != ids.end())
            ++next;
        AddSession(MakeScopeDirectory(scopes[i], ids[i].empty() ? std::to_string(next) : ids[i], m_env), nullptr);
    }
}

void CSessionStore::AddIpv6ScopeDirectories()
{
    for (const CIpv6SapScope& scope : kIpv6SapScopes) {
        auto directory = FindScopeDirectory(*this, scope.name);
        // One left in the cache by a run that had IPv6 goes with it.
        if (!m_ipv6Scopes) {
            if (directory && Ipv6DirectoryGroup(*directory))
                RemoveSession(directory);
            continue;
        }
        AddSession(MakeIpv6ScopeDirectory(scope, m_env), nullptr);
    }
}

bool CSessionStore::LoadSessionFile()
{
    const fileio::CReadResult file = fileio::ReadRegularFile(m_sessionFile, kMaxSessionFile, true);
    if (!file.Ok()) {
        m_prompts.Show("The session file " + m_sessionFile + " cannot be read (" + file.Reason() + ").",
                       EPromptButtons::Ok, EPromptIcon::Warning);
        return false;
    }
    // Shown on its own: no socket, no cache, no announcement.
    m_mainList.Append(CSDPObject::FromText(file.bytes, m_env));
    return true;
}

bool CSessionStore::OnCloseDocument()
{
    const auto failure = WriteCache();
    // The session files go with the cache's writing, failed or not: the
    // message may stay up until the program is killed.
    CleanTmp();
    if (failure)
        m_prompts.Show(*failure);
    DeleteContents();
    return !failure;
}

void CleanTmpFolder(const std::string& folder, Prompter& prompter)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return; // cannot be listed at all: nothing to say
    for (const fs::directory_iterator end; it != end;) {
        std::error_code entryError;
        if (!it->is_directory(entryError))
            fs::remove(it->path(), entryError);
        it.increment(ec);
        if (ec) {
            prompter.Show("Couldn't find next file.");
            return;
        }
    }
}

std::shared_ptr<CSDPObject> FindScopeDirectory(CSessionStore& doc, const std::string& name)
{
    for (const auto& record : doc.MainList())
        if (record->sessionType == kTypeScopeDirectory && record->name == name)
            return record;
    return nullptr;
}
