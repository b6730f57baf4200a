#pragma once
#include "base/WireCounters.h"
#include "web/EventLog.h"
#include "web/WebSnapshot.h"

#include <atomic>
#include <cstdint>
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
};
