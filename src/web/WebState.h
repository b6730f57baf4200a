#pragma once
#include "base/WireCounters.h"
#include "web/EventLog.h"
#include "web/WebSnapshot.h"

#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One media entry the program is watching (the Reception page or column),
// as /metrics shows it.
struct CWatchedStream {
    std::string group;
    uint16_t port = 0;
    std::string media;
    std::string state;
    uint64_t packets = 0;
    uint64_t lost = 0;
    // What its picture and sound show, where they are decoded.
    std::optional<bool> black;
    std::optional<bool> frozen;
    std::optional<bool> silent;
    std::optional<double> loudness; // short-term, LUFS
    // Whether packets and lost are counted (reception runs for it), not
    // only decoded.
    bool counted = true;

    bool operator==(const CWatchedStream&) const = default;
};

// What the main thread shares with the HTTP threads: the latest snapshot of
// the directory and the numbered changes. Handlers take the snapshot under
// the lock and read it without one.
class CWebState {
public:
    explicit CWebState(std::string epoch, size_t eventCapacity = 4096)
        : m_events(eventCapacity, std::move(epoch)), m_snapshot(std::make_shared<CWebSnapshot>()) {}

    WebSnapshotPtr Snapshot() const
    {
        std::lock_guard lock(m_lock);
        return m_snapshot;
    }
    void Publish(WebSnapshotPtr snapshot)
    {
        std::lock_guard lock(m_lock);
        m_snapshot = std::move(snapshot);
    }
    CEventLog& Events() { return m_events; }
    // The watched streams' latest figures, replaced whole once a second.
    void SetWatched(std::vector<CWatchedStream> streams)
    {
        std::lock_guard lock(m_lock);
        m_watched = std::move(streams);
    }
    std::vector<CWatchedStream> Watched() const
    {
        std::lock_guard lock(m_lock);
        return m_watched;
    }
    // The newest picture of each session whose picture is decoded, by its
    // id; replaced whole once a second.
    using Picture = std::shared_ptr<const std::vector<uint8_t>>;
    void SetPictures(std::map<std::string, Picture> pictures)
    {
        std::lock_guard lock(m_lock);
        m_pictures = std::move(pictures);
    }
    Picture PictureOf(const std::string& id) const
    {
        std::lock_guard lock(m_lock);
        auto it = m_pictures.find(id);
        return it == m_pictures.end() ? nullptr : it->second;
    }
    // What each decoded session's picture and sound show (a JSON array of
    // its entries), added to its document; replaced whole once a second.
    void SetLevels(std::map<std::string, QByteArray> levels)
    {
        std::lock_guard lock(m_lock);
        m_levels = std::move(levels);
    }
    QByteArray LevelsOf(const std::string& id) const
    {
        std::lock_guard lock(m_lock);
        auto it = m_levels.find(id);
        return it == m_levels.end() ? QByteArray() : it->second;
    }
    // The watch's own metrics text (watched sessions up, alarms active),
    // replaced whole once a second by `serve --watch`.
    void SetWatchMetrics(std::string text)
    {
        std::lock_guard lock(m_lock);
        m_watchMetrics = std::move(text);
    }
    std::string WatchMetrics() const
    {
        std::lock_guard lock(m_lock);
        return m_watchMetrics;
    }

    // Sessions someone looks at (their picture or a mosaic tile asked
    // for), so their pictures are decoded while nobody else does; each
    // stays looked at for kLookSeconds after the last request.
    static constexpr int kLookSeconds = 30;
    static constexpr size_t kMaxLooked = 256;
    void Look(const std::string& id)
    {
        std::lock_guard lock(m_lock);
        if (m_looked.size() < kMaxLooked || m_looked.count(id))
            m_looked[id] = std::chrono::steady_clock::now();
    }
    // The ids looked at within kLookSeconds; the older ones are forgotten.
    std::vector<std::string> Looked()
    {
        const auto since = std::chrono::steady_clock::now() - std::chrono::seconds(kLookSeconds);
        std::lock_guard lock(m_lock);
        std::vector<std::string> out;
        for (auto it = m_looked.begin(); it != m_looked.end();)
            if (it->second < since) {
                it = m_looked.erase(it);
            } else {
                out.push_back(it->first);
                ++it;
            }
        return out;
    }
    // The watch's alarms document (active alarms, then the log) and each
    // session's watch state ({"watched":...}), by id; replaced whole once a
    // second by the front end that watches. Empty: nobody watches here.
    void SetAlarms(QByteArray json, std::map<std::string, QByteArray> sessions)
    {
        std::lock_guard lock(m_lock);
        m_alarms = std::move(json);
        m_watchOf = std::move(sessions);
    }
    QByteArray Alarms() const
    {
        std::lock_guard lock(m_lock);
        return m_alarms;
    }
    QByteArray WatchOf(const std::string& id) const
    {
        std::lock_guard lock(m_lock);
        auto it = m_watchOf.find(id);
        return it == m_watchOf.end() ? QByteArray() : it->second;
    }
    // What a POST asks for, done on the main thread: the status and the
    // answer's JSON. Unset: the server takes no orders.
    struct CCommandResult {
        int status = 503;
        std::string body;
    };
    using Commands = std::function<CCommandResult(const std::string& path, const QJsonObject& body)>;
    void SetCommands(Commands commands)
    {
        std::lock_guard lock(m_lock);
        m_commands = std::move(commands);
    }
    Commands TheCommands() const
    {
        std::lock_guard lock(m_lock);
        return m_commands;
    }

    // Counted by the server, shown by /metrics.
    std::atomic<uint64_t> requests{0};
    std::atomic<uint64_t> refusedConnections{0};
    std::atomic<uint64_t> timedOutConnections{0};
    std::atomic<int> streamClients{0};
    std::atomic<uint64_t> publishes{0};
    // The access token in force (empty: none), for the playlist's links.
    std::string accessToken;
    // The directory's own counts; none in tests that have no runtime.
    const CWireCounters* wire = nullptr;

private:
    CEventLog m_events;
    mutable std::mutex m_lock;
    WebSnapshotPtr m_snapshot;
    std::vector<CWatchedStream> m_watched;
    std::map<std::string, Picture> m_pictures;
    std::map<std::string, QByteArray> m_levels;
    std::string m_watchMetrics;
    std::map<std::string, std::chrono::steady_clock::time_point> m_looked;
    QByteArray m_alarms;
    std::map<std::string, QByteArray> m_watchOf;
    Commands m_commands;
};
