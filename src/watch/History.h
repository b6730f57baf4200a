#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "watch/WatchTypes.h"

struct sqlite3;

// The watch history in one SQLite file (WAL): every raise, clear and
// acknowledgement with its time and figures, one state sample a minute
// per watched session, and the webhook deliveries still owed. Writes are
// gathered and committed in one transaction at most once a second, so a
// crash loses at most the last second. A file that cannot be read as a
// database is moved aside and a new one started; a full disk is said once
// and the writes wait (bounded) while monitoring goes on.
class CHistory {
public:
    struct COptions {
        int64_t keepMs = int64_t(30) * 24 * 3600 * 1000; // samples and log rows older than this go
        int64_t maxBytes = int64_t(256) << 20;           // the oldest rows go beyond this size
        size_t maxPending = 100000;                       // writes kept while the disk is full
        int64_t commitIntervalMs = 1000;
    };
    using Messages = std::function<void(const std::string&)>;

    CHistory(std::string path, Messages messages, COptions options);
    CHistory(std::string path, Messages messages) : CHistory(std::move(path), std::move(messages), COptions{}) {}
    ~CHistory();
    CHistory(const CHistory&) = delete;
    CHistory& operator=(const CHistory&) = delete;

    // Opens (or creates) the file; false when no database can be had at all.
    bool Open();
    bool IsOpen() const { return m_db != nullptr; }

    struct CWebhook {
        int64_t id = 0;
        std::string url;
        std::string body;
    };

    void Record(const CAlarmEvent& event);
    // The session's state in the minute of `nowMs`; the last sample of a minute counts.
    void Sample(const std::string& session, int64_t nowMs, bool up);
    // Queues a delivery; its id orders the deliveries.
    CWebhook QueueWebhook(const std::string& url, const std::string& body);
    void Delivered(int64_t id);

    // Commits what was gathered when a second has passed since the last
    // commit (or `force`). Returns whether a transaction was written.
    bool Flush(int64_t nowMs, bool force = false);

    struct CLogRow {
        int64_t timeMs;
        std::string event;
        std::string alarm;
        std::string session;
        int media;
        uint64_t flaps;
        std::string figures;
    };
    std::vector<CLogRow> Log(size_t limit) const;
    // Share of the sampled minutes in [fromMs, toMs) the session was up; nothing without samples.
    std::optional<double> Availability(const std::string& session, int64_t fromMs, int64_t toMs) const;
    // `buckets` equal parts of the `spanMs` before nowMs, oldest first.
    std::vector<std::optional<double>> Bar(const std::string& session, int64_t nowMs, int64_t spanMs = 86400000,
                                           int buckets = 24) const;
    std::vector<CWebhook> PendingWebhooks() const;
    uint64_t WriteTransactions() const { return m_transactions; }
    size_t Pending() const { return m_pending.size(); }

private:
    struct CWrite {
        enum { Event, Sample, Webhook, Delivered } kind;
        CAlarmEvent event;
        std::string session;
        int64_t time = 0;
        bool up = false;
        CWebhook hook;
    };
    bool OpenFile(bool* damaged);
    void MoveAside();
    bool Execute(const char* sql) const;
    bool WriteAll();
    void Prune(int64_t nowMs);

    std::string m_path;
    Messages m_messages;
    COptions m_options;
    sqlite3* m_db = nullptr;
    std::vector<CWrite> m_pending;
    int64_t m_lastCommitMs = INT64_MIN / 2;
    int64_t m_lastPruneMs = INT64_MIN / 2;
    int64_t m_nextWebhook = 1;
    bool m_full = false;
    uint64_t m_transactions = 0;
};
