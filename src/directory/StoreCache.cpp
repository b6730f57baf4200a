// The store's cache file: its path, reading it at start and writing it at
// the end, and the frame of its lists around the records (CacheRecord).
#include "directory/SessionStore.h"

#include "base/Clock.h"
#include "base/FileIO.h"
#include "base/ProgramExit.h"
#include "base/Prompter.h"
#include "directory/Archive.h"
#include "directory/CacheRecord.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

std::string CSessionStore::CacheFilePath() const
{
    return installDirectory.empty() ? std::string(kCacheFileName)
                                    : (fs::path(installDirectory) / kCacheFileName).string();
}

bool CSessionStore::LoadCache()
{
    const std::string path = CacheFilePath();
    const fileio::CReadResult file = fileio::ReadRegularFile(path, kMaxCacheFile);
    if (file.status == fileio::EReadStatus::Missing)
        return true; // no cache yet
    if (!file.Ok()) {
        // Unreadable is not absent: writing at exit would replace the
        // sessions it may hold with this run's only.
        m_cacheUnreadable = true;
        m_prompts.Show(UnreadableCacheText(path, file.Reason()), EPromptButtons::Ok, EPromptIcon::Warning);
        return true;
    }
    CArchiveReader in(file.bytes);
    if (!ReadCache(in)) {
        CorruptCache(path);
        return false;
    }
    Notify(CViewHint::ListsChanged());
    return true;
}

std::string CSessionStore::UnreadableCacheText(const std::string& path, const std::string& reason)
{
    return "The cache file " + path + " cannot be read (" + reason
        + ").\nIt is left as it is; the sessions of this run will not be saved.";
}

void CSessionStore::CorruptCache(const std::string& path)
{
    m_prompts.Show(kCorruptCacheText);
    std::error_code ec;
    fs::remove(path, ec);
    // The program ends at once, without the store's clean-up.
    CleanTmp();
    m_ports.exit.Exit(-1);
    // Only reached where the exit is observed (tests): leave an empty store.
    DeleteContents();
}

bool CSessionStore::LoadList(CArchiveReader& in, CSessionList& list, const std::shared_ptr<CSDPObject>& directory)
{
    // Deeper nesting than the store ever holds is no tree this program
    // wrote: treated as corrupt instead of exhausting the stack.
    int depth = 0;
    for (auto d = directory; d && depth <= kMaxDirectoryDepth; d = d->parentDirectory.lock())
        ++depth;
    if (depth > kMaxDirectoryDepth) {
        in.FailAt(in.Position(), "directories nested too deep");
        return false;
    }
    const int32_t count = in.ReadCount(cache::kMinRecordSize);
    if (in.Failed())
        return false;
    const int64_t now = m_ports.clock.Now();
    list.Reserve(list.Size() + static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        auto record = CSDPObject::MakeEmpty(m_env);
        record->scopeMode = 1120; // the default of a record made without text
        if (!cache::ReadRecord(in, *record, directory != nullptr))
            return false;
        // A cache written before the TTL was kept: an own session goes out
        // as its media say.
        if (record->announceTtl == 0)
            record->announceTtl = AnnounceTtlOf(*record, directory.get());
        record->lastHeard = now;
        record->parentDirectory = directory;
        list.Append(record);
        if (IsDirectoryType(record->sessionType)) {
            record->links.Edit().directoryGroup = in.ReadUInt32();
            record->links.Edit().directoryPort = in.ReadWord();
            record->links.Edit().directoryTtl = in.ReadByte();
            if (in.Failed())
                return false;
            record->links.Edit().children = std::make_shared<CSessionList>();
            if (!LoadList(in, *record->links->children, record))
                return false;
            // An older cache may hold directories the store would not take
            // now: read past them, keep neither them nor their sockets.
            if (!MayNest(*record, directory)) {
                list.Remove(*record);
                ReleaseChildren(*record);
                record->DeleteLater();
                continue;
            }
            Listen(record);
        }
    }
    return true;
}

void CSessionStore::StoreList(CArchiveWriter& out, CSessionList& list, bool closeSockets)
{
    out.WriteInt(static_cast<int32_t>(list.Size()));
    for (const auto& record : list) {
        cache::WriteRecord(out, *record);
        if (!IsDirectoryType(record->sessionType))
            continue;
        out.WriteUInt32(record->links->directoryGroup);
        out.WriteWord(record->links->directoryPort);
        out.WriteByte(record->links->directoryTtl);
        if (closeSockets)
            CloseSocket(*record);
        if (record->links->children)
            StoreList(out, *record->links->children, closeSockets);
        else
            out.WriteInt(0);
    }
}

bool CSessionStore::SaveCache()
{
    const auto failure = WriteCache();
    if (failure)
        m_prompts.Show(*failure);
    return !failure;
}

std::optional<std::string> CSessionStore::WriteCache()
{
    if (m_sessionFileGiven || !m_cacheEnabled || m_cacheUnreadable)
        return std::nullopt;
    CArchiveWriter archive;
    StoreList(archive, m_mainList);
    const std::string path = CacheFilePath();
    // A file the next start would refuse must not replace one it accepts.
    int error = EFBIG;
    // The old cache stays whole unless the new one is completely on disk.
    if (archive.Bytes().size() <= kMaxCacheFile && fileio::WriteFileAtomically(path, archive.Bytes(), &error)) {
        if (wireCounters)
            WireCount(&wireCounters->cacheWrites);
        return std::nullopt;
    }
    return "Unable to save the cache file " + path + ": " + (error ? std::strerror(error) : "cannot create a file there")
        + "\nNothing was saved; an existing cache file is left as it was.";
}
