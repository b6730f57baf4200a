#pragma once
#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The changes the page follows, numbered: the main thread appends, each
// event-stream client reads from where it is. Only the last `capacity`
// events are kept, so memory stays bounded however slowly a client reads;
// a client that fell further behind (or comes from another run of the
// server, whose ids carry another epoch) is told to reload instead.
class CEventLog {
public:
    struct CEvent {
        uint64_t id = 0;
        const char* type = "";
        QByteArray data; // one line of JSON
    };
    explicit CEventLog(size_t capacity, std::string epoch);

    const std::string& Epoch() const { return m_epoch; }
    // The id text of an event ("EPOCH-N").
    std::string IdText(uint64_t id) const;
    // The position a resuming client asked for with Last-Event-ID: the
    // number after which it continues; none when the text is not one of
    // ours (empty, another epoch, malformed).
    std::optional<uint64_t> ParseId(const std::string& text) const;

    void Append(const char* type, QByteArray data);
    uint64_t LastId() const;

    struct CRead {
        std::vector<CEvent> events;
        bool lost = false;   // events after `after` are gone: reload
        bool closed = false; // the log is shut
    };
    // The events after `after` (at most `max`), waiting up to `wait` for one.
    CRead ReadAfter(uint64_t after, size_t max, std::chrono::milliseconds wait);
    // Wakes every reader for good (the server stops).
    void Close();
    // Wakes every reader once, with nothing new: a stream whose client
    // left finds out on its next write.
    void Nudge();

private:
    const size_t m_capacity;
    const std::string m_epoch;
    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<CEvent> m_events;
    uint64_t m_last = 0;
    uint64_t m_nudges = 0;
    bool m_closed = false;
};
