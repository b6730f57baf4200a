#include "watch/WatchList.h"

#include "base/SettingsStore.h"
#include "base/Text.h"
#include "sdp/SDPObject.h"
#include "watch/Webhooks.h"

#include <algorithm>

namespace {
constexpr const char* kWatchKey = "Talmira/Watch";

bool AddTo(std::vector<std::string>& list, const std::string& key)
{
    if (key.empty() || list.size() >= CWatchList::kMaxEntries || std::find(list.begin(), list.end(), key) != list.end())
        return false;
    list.push_back(key);
    return true;
}

bool RemoveFrom(std::vector<std::string>& list, const std::string& key)
{
    return std::erase(list, key) > 0;
}

// A whole number within [min, max] kept in the settings, else `fallback`.
int64_t Setting(SettingsStore& settings, const char* name, int64_t fallback, int64_t min, int64_t max)
{
    const auto value = settings.ReadNumber(kWatchKey, name);
    return value && int64_t(*value) >= min && int64_t(*value) <= max ? int64_t(*value) : fallback;
}
} // namespace

std::string WatchKey(const CSDPObject& s)
{
    std::string key = std::string(s.originUser.View()) + ' ' + std::string(s.originSessionId.View()) + ' '
        + std::string(s.originNetworkType.View()) + ' ' + std::string(s.originAddressType.View()) + ' '
        + std::string(s.originAddress.View());
    if (CSDPObject::NamesNoHost(s.originAddress.View()) && !s.media.empty()) {
        const CSDPMedia& first = s.media.front();
        key += ' ' + std::string(first.address.View()) + '/' + std::string(first.port.View());
    }
    return key;
}

bool CWatchList::Watches(const std::string& key) const
{
    return std::find(m_sessions.begin(), m_sessions.end(), key) != m_sessions.end();
}

bool CWatchList::WatchesDirectory(const std::string& key) const
{
    return std::find(m_directories.begin(), m_directories.end(), key) != m_directories.end();
}

bool CWatchList::Add(const std::string& key) { return AddTo(m_sessions, key); }
bool CWatchList::Remove(const std::string& key) { return RemoveFrom(m_sessions, key); }
bool CWatchList::AddDirectory(const std::string& key) { return AddTo(m_directories, key); }
bool CWatchList::RemoveDirectory(const std::string& key) { return RemoveFrom(m_directories, key); }

bool CWatchList::Load(SettingsStore& settings)
{
    m_sessions.clear();
    m_directories.clear();
    if (!settings.OpenKey(kWatchKey))
        return false;
    const int64_t count = Setting(settings, "Entries", 0, 0, int64_t(kMaxEntries) * 2);
    for (int64_t i = 0; i < count; ++i) {
        const std::string entry = std::string(kWatchKey) + "/Entry" + std::to_string(i);
        if (auto session = settings.ReadText(entry, "Session"))
            AddTo(m_sessions, *session);
        else if (auto directory = settings.ReadText(entry, "Directory"))
            AddTo(m_directories, *directory);
    }
    return true;
}

bool CWatchList::Save(SettingsStore& settings) const
{
    // Entries are rewritten whole; thresholds beside them stay.
    if (!settings.CreateKey(kWatchKey))
        return false;
    const int64_t old = Setting(settings, "Entries", 0, 0, int64_t(kMaxEntries) * 2);
    for (int64_t i = 0; i < old; ++i)
        settings.DeleteKey(std::string(kWatchKey) + "/Entry" + std::to_string(i));
    uint32_t i = 0;
    bool ok = true;
    auto write = [&](const char* name, const std::string& value) {
        const std::string entry = std::string(kWatchKey) + "/Entry" + std::to_string(i++);
        ok = settings.CreateKey(entry) && settings.WriteText(entry, name, value) && ok;
    };
    for (const std::string& key : m_sessions)
        write("Session", key);
    for (const std::string& key : m_directories)
        write("Directory", key);
    return settings.WriteNumber(kWatchKey, "Entries", i) && ok;
}

CWatchThresholds LoadThresholds(SettingsStore& settings)
{
    CWatchThresholds t;
    t.silentMs = Setting(settings, "Silent ms", t.silentMs, 100, 3600000);
    t.lossRatio = double(Setting(settings, "Loss per million", int64_t(t.lossRatio * 1e6), 0, 1000000)) / 1e6;
    t.announcementIntervals = int(Setting(settings, "Announcement intervals", t.announcementIntervals, 1, 100));
    t.flapHoldMs = Setting(settings, "Flap hold ms", t.flapHoldMs, 0, 86400000);
    t.loudnessMin = -double(Setting(settings, "Loudness min -LUFS", int64_t(-t.loudnessMin), 0, 100));
    t.loudnessMax = -double(Setting(settings, "Loudness max -LUFS", int64_t(-t.loudnessMax), 0, 100));
    if (t.loudnessMin > t.loudnessMax)
        t.loudnessMin = t.loudnessMax;
    t.lossWindowMs = Setting(settings, "Loss window ms", t.lossWindowMs, 1000, 3600000);
    t.black = Setting(settings, "Black", 1, 0, 1) != 0;
    t.frozen = Setting(settings, "Frozen", 1, 0, 1) != 0;
    t.audioSilent = Setting(settings, "Audio silent", 1, 0, 1) != 0;
    return t;
}

bool SaveThresholds(SettingsStore& settings, const CWatchThresholds& t)
{
    return settings.CreateKey(kWatchKey) && settings.WriteNumber(kWatchKey, "Silent ms", uint32_t(t.silentMs))
        && settings.WriteNumber(kWatchKey, "Loss per million", uint32_t(t.lossRatio * 1e6 + 0.5))
        && settings.WriteNumber(kWatchKey, "Announcement intervals", uint32_t(t.announcementIntervals))
        && settings.WriteNumber(kWatchKey, "Flap hold ms", uint32_t(t.flapHoldMs))
        && settings.WriteNumber(kWatchKey, "Loudness min -LUFS", uint32_t(-t.loudnessMin))
        && settings.WriteNumber(kWatchKey, "Loudness max -LUFS", uint32_t(-t.loudnessMax))
        && settings.WriteNumber(kWatchKey, "Loss window ms", uint32_t(t.lossWindowMs))
        && settings.WriteNumber(kWatchKey, "Black", t.black) && settings.WriteNumber(kWatchKey, "Frozen", t.frozen)
        && settings.WriteNumber(kWatchKey, "Audio silent", t.audioSilent);
}

CWebhookSettings LoadWebhooks(SettingsStore& settings)
{
    CWebhookSettings out;
    const int64_t count = Setting(settings, "Webhooks", 0, 0, 64);
    for (int64_t i = 0; i < count; ++i) {
        const auto url = settings.ReadText(kWatchKey, "Webhook" + std::to_string(i));
        if (url && WebhookUrlProblem(*url).empty() && std::find(out.urls.begin(), out.urls.end(), *url) == out.urls.end())
            out.urls.push_back(*url);
    }
    out.secret = settings.ReadText(kWatchKey, "Webhook secret").value_or("");
    return out;
}

bool SaveWebhooks(SettingsStore& settings, const CWebhookSettings& webhooks)
{
    bool ok = settings.CreateKey(kWatchKey);
    const int64_t old = Setting(settings, "Webhooks", 0, 0, 64);
    // Addresses beyond the new count are emptied: they are not read again.
    for (int64_t i = 0; i < std::max<int64_t>(old, int64_t(webhooks.urls.size())); ++i)
        ok = settings.WriteText(kWatchKey, "Webhook" + std::to_string(i),
                                size_t(i) < webhooks.urls.size() ? webhooks.urls[size_t(i)] : std::string())
            && ok;
    return settings.WriteNumber(kWatchKey, "Webhooks", uint32_t(webhooks.urls.size()))
        && settings.WriteText(kWatchKey, "Webhook secret", webhooks.secret) && ok;
}
