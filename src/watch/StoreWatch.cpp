#include "watch/StoreWatch.h"

#include "directory/SessionStore.h"
#include "reception/ReceptionPlan.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

CStoreWatch::CStoreWatch(CSessionStore& store, CWatchList list, CWatchRunnerOptions options,
                         CWatchRunner::Events events, CWatchRunner::Messages messages)
    : m_store(store), m_list(std::move(list)), m_runner(std::move(options), std::move(events), std::move(messages))
{
    m_runner.Start();
}

void CStoreWatch::Scan(const CSessionList& list, bool watchedDirectory, int64_t nowMs)
{
    for (const auto& record : list) {
        if (record->IsDeleting())
            continue;
        const std::string key = WatchKey(*record);
        if (IsDirectoryType(record->sessionType)) {
            if (record->links->children)
                Scan(*record->links->children, watchedDirectory || m_list.WatchesDirectory(key), nowMs);
            continue;
        }
        if (!watchedDirectory && !m_list.Watches(key))
            continue;
        CSeen& seen = m_seen[key];
        seen.present = true;
        if (!m_runner.Watching(key))
            m_runner.Watch(key, std::string(record->name.View()), PlanReception(*record));
        // lastHeard is in seconds; the time between two announcements is the interval.
        if (record->lastHeard != seen.lastHeard) {
            if (seen.lastHeard > 0 && record->lastHeard > seen.lastHeard)
                seen.intervalMs = (record->lastHeard - seen.lastHeard) * 1000;
            seen.lastHeard = record->lastHeard;
            m_runner.Heard(key, nowMs, seen.intervalMs);
        }
    }
}

bool CStoreWatch::Remove(const std::string& key)
{
    if (!m_list.Remove(key))
        return false;
    m_seen.erase(key);
    m_runner.Unwatch(key);
    return true;
}

void CStoreWatch::Tick(int64_t nowMs)
{
    for (auto& [key, seen] : m_seen)
        seen.present = false;
    Scan(m_store.MainList(), false, nowMs);
    for (auto it = m_seen.begin(); it != m_seen.end();) {
        if (it->second.present) {
            ++it;
            continue;
        }
        // Gone from the store: timed out when it was not heard for the
        // store's timeout, else withdrawn by its announcer.
        const CSeen& seen = it->second;
        const bool timedOut = seen.intervalMs > 0
            && nowMs / 1000 - seen.lastHeard >= int64_t(CSessionStore::kTimeoutIntervals) * seen.intervalMs / 1000;
        if (timedOut)
            m_runner.Expired(it->first, nowMs);
        else
            m_runner.Deleted(it->first, nowMs);
        it = m_seen.erase(it);
    }
    m_runner.Tick(nowMs);
}
