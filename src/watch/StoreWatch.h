#pragma once
#include <map>
#include <memory>
#include <string>

#include "watch/WatchList.h"
#include "watch/WatchRunner.h"

class CSessionStore;
class CSessionList;

// The watch over the directory (`serve --watch`, the desktop program): the
// sessions of the watch list (and of the directories watched whole)
// watched while the store hears them; their announcements, deletions and
// expiries fed to the alarm rules.
class CStoreWatch {
public:
    CStoreWatch(CSessionStore& store, CWatchList list, CWatchRunnerOptions options, CWatchRunner::Events events,
                CWatchRunner::Messages messages);
    // Once a second: follows the store, then the runner's time rules.
    void Tick(int64_t nowMs);
    CWatchRunner& Runner() { return m_runner; }
    const CWatchList& List() const { return m_list; }
    // Watch / Stop Watching a session (by its key); false when nothing changed.
    bool Add(const std::string& key) { return m_list.Add(key); }
    bool Remove(const std::string& key);

private:
    struct CSeen {
        int64_t lastHeard = 0;
        int64_t intervalMs = 0;
        bool present = false;
    };
    void Scan(const CSessionList& list, bool watchedDirectory, int64_t nowMs);

    CSessionStore& m_store;
    CWatchList m_list;
    CWatchRunner m_runner;
    std::map<std::string, CSeen> m_seen;
};
