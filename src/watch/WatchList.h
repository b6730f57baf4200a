#pragma once
#include <string>
#include <vector>

#include "watch/WatchTypes.h"

class CSDPObject;
class SettingsStore;

// The key a session is watched by: its identity as the store compares
// sessions (origin without the version; where the origin names no host,
// the first media destination too).
std::string WatchKey(const CSDPObject& session);

// The sessions watched, by key, and the directories watched whole (every
// session heard in them is watched too), kept in the settings below
// "Talmira/Watch".
class CWatchList {
public:
    static constexpr size_t kMaxEntries = 4096;

    bool Watches(const std::string& key) const;
    bool WatchesDirectory(const std::string& directoryKey) const;
    // False when it was there already or the list is full.
    bool Add(const std::string& key);
    bool Remove(const std::string& key);
    bool AddDirectory(const std::string& directoryKey);
    bool RemoveDirectory(const std::string& directoryKey);
    const std::vector<std::string>& Sessions() const { return m_sessions; }
    const std::vector<std::string>& Directories() const { return m_directories; }

    // Reads the list (entries beyond the bound, empty or repeated are
    // skipped); false when the settings hold none.
    bool Load(SettingsStore& settings);
    bool Save(SettingsStore& settings) const;

private:
    std::vector<std::string> m_sessions;
    std::vector<std::string> m_directories;
};

// The rules' thresholds from "Talmira/Watch" (defaults where missing or
// out of range), and back.
CWatchThresholds LoadThresholds(SettingsStore& settings);
bool SaveThresholds(SettingsStore& settings, const CWatchThresholds& thresholds);

// The webhook addresses and the secret that signs them, kept beside the
// thresholds (addresses that cannot be used are skipped).
struct CWebhookSettings {
    std::vector<std::string> urls;
    std::string secret;
};
CWebhookSettings LoadWebhooks(SettingsStore& settings);
bool SaveWebhooks(SettingsStore& settings, const CWebhookSettings& webhooks);
