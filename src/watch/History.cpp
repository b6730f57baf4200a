#include "watch/History.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <utility>

namespace {

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS alarm_log(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,"
                                " event TEXT NOT NULL, alarm TEXT NOT NULL, session TEXT NOT NULL,"
                                " media INTEGER NOT NULL, flaps INTEGER NOT NULL, figures TEXT NOT NULL);"
                                "CREATE INDEX IF NOT EXISTS alarm_log_time ON alarm_log(time_ms);"
                                "CREATE TABLE IF NOT EXISTS samples(session TEXT NOT NULL, minute INTEGER NOT NULL,"
                                " up INTEGER NOT NULL, PRIMARY KEY(session, minute)) WITHOUT ROWID;"
                                "CREATE INDEX IF NOT EXISTS samples_minute ON samples(minute);"
                                "CREATE TABLE IF NOT EXISTS webhooks(id INTEGER PRIMARY KEY, url TEXT NOT NULL,"
                                " body TEXT NOT NULL);";

// A prepared statement closed when it goes.
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~CStatement() { sqlite3_finalize(m_stmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    CStatement& Bind(int i, int64_t value)
    {
        sqlite3_bind_int64(m_stmt, i, value);
        return *this;
    }
    CStatement& Bind(int i, const std::string& value)
    {
        sqlite3_bind_text(m_stmt, i, value.data(), int(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // Runs a statement that returns no rows; the result code.
    int Run()
    {
        const int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
    }
    bool Row() { return sqlite3_step(m_stmt) == SQLITE_ROW; }
    int64_t Int(int i) const { return sqlite3_column_int64(m_stmt, i); }
    std::string Text(int i) const
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
        return p ? std::string(p, size_t(sqlite3_column_bytes(m_stmt, i))) : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool IsDamage(int rc)
{
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

} // namespace

CHistory::CHistory(std::string path, Messages messages, COptions options)
    : m_path(std::move(path)), m_messages(std::move(messages)), m_options(options)
{
}

CHistory::~CHistory()
{
    if (m_db) {
        Flush(0, true);
        sqlite3_close(m_db);
    }
}

bool CHistory::Execute(const char* sql) const
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CHistory::OpenFile(bool* damaged)
{
    *damaged = false;
    struct stat st {};
    if (stat(m_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        m_messages("The history file " + m_path + " is not a regular file; no history is kept.");
        return false;
    }
    if (sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr)
        != SQLITE_OK) {
        m_messages("The history file " + m_path + " cannot be opened: " + sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    sqlite3_extended_result_codes(m_db, 1);
    auto fail = [&] {
        *damaged = IsDamage(sqlite3_errcode(m_db));
        if (!*damaged)
            m_messages("The history file " + m_path + " cannot be used: " + sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    };
    // WAL with normal syncing: a committed transaction survives the process
    // being killed; only a power cut can take the last ones.
    if (!Execute("PRAGMA journal_mode=WAL") || !Execute("PRAGMA synchronous=NORMAL"))
        return fail();
    {
        CStatement check(m_db, "PRAGMA quick_check");
        if (!check)
            return fail();
        if (!check.Row() || check.Text(0) != "ok") {
            *damaged = true;
            sqlite3_close(m_db);
            m_db = nullptr;
            return false;
        }
    }
    if (!Execute(kSchema))
        return fail();
    CStatement last(m_db, "SELECT coalesce(max(id), 0) FROM webhooks");
    if (last && last.Row())
        m_nextWebhook = last.Int(0) + 1;
    return true;
}

void CHistory::MoveAside()
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, ".damaged-%lld", (long long)time(nullptr));
    const std::string aside = m_path + stamp;
    std::rename(m_path.c_str(), aside.c_str());
    std::rename((m_path + "-wal").c_str(), (aside + "-wal").c_str());
    std::remove((m_path + "-shm").c_str());
    m_messages("The history file " + m_path + " was damaged; it was moved to " + aside + " and a new one started.");
}

bool CHistory::Open()
{
    bool damaged = false;
    if (OpenFile(&damaged))
        return true;
    if (!damaged)
        return false;
    MoveAside();
    return OpenFile(&damaged);
}

void CHistory::Record(const CAlarmEvent& event)
{
    CWrite w{CWrite::Event, event, {}, 0, false, {}};
    m_pending.push_back(std::move(w));
}

void CHistory::Sample(const std::string& session, int64_t nowMs, bool up)
{
    m_pending.push_back({CWrite::Sample, {}, session, nowMs / 60000, up, {}});
}

CHistory::CWebhook CHistory::QueueWebhook(const std::string& url, const std::string& body)
{
    CWebhook hook{m_nextWebhook++, url, body};
    m_pending.push_back({CWrite::Webhook, {}, {}, 0, false, hook});
    return hook;
}

void CHistory::Delivered(int64_t id)
{
    m_pending.push_back({CWrite::Delivered, {}, {}, id, false, {}});
}

bool CHistory::WriteAll()
{
    CStatement event(m_db, "INSERT INTO alarm_log(time_ms, event, alarm, session, media, flaps, figures)"
                           " VALUES(?, ?, ?, ?, ?, ?, ?)");
    CStatement sample(m_db, "INSERT OR REPLACE INTO samples(session, minute, up) VALUES(?, ?, ?)");
    CStatement hook(m_db, "INSERT OR REPLACE INTO webhooks(id, url, body) VALUES(?, ?, ?)");
    CStatement done(m_db, "DELETE FROM webhooks WHERE id = ?");
    if (!event || !sample || !hook || !done)
        return false;
    for (const CWrite& w : m_pending) {
        int rc = SQLITE_OK;
        switch (w.kind) {
        case CWrite::Event: {
            const CAlarmEvent& e = w.event;
            rc = event.Bind(1, e.timeMs)
                     .Bind(2, std::string(AlarmEventName(e.kind)))
                     .Bind(3, std::string(AlarmName(e.alarm)))
                     .Bind(4, e.session)
                     .Bind(5, e.media)
                     .Bind(6, int64_t(e.flaps))
                     .Bind(7, AlarmEventJson(e))
                     .Run();
            break;
        }
        case CWrite::Sample: rc = sample.Bind(1, w.session).Bind(2, w.time).Bind(3, w.up ? 1 : 0).Run(); break;
        case CWrite::Webhook: rc = hook.Bind(1, w.hook.id).Bind(2, w.hook.url).Bind(3, w.hook.body).Run(); break;
        case CWrite::Delivered: rc = done.Bind(1, w.time).Run(); break;
        }
        if (rc != SQLITE_OK)
            return false;
    }
    return true;
}

void CHistory::Prune(int64_t nowMs)
{
    if (nowMs - m_lastPruneMs < 3600000)
        return;
    m_lastPruneMs = nowMs;
    const int64_t cut = nowMs - m_options.keepMs;
    CStatement samples(m_db, "DELETE FROM samples WHERE minute < ?");
    CStatement log(m_db, "DELETE FROM alarm_log WHERE time_ms < ?");
    if (samples && log) {
        samples.Bind(1, cut / 60000).Run();
        log.Bind(1, cut).Run();
    }
    CStatement size(m_db, "SELECT (page_count - freelist_count) * page_size FROM pragma_page_count(),"
                          " pragma_freelist_count(), pragma_page_size()");
    if (size && size.Row() && size.Int(0) > m_options.maxBytes) {
        // Over the bound: the oldest tenth of each goes.
        Execute("DELETE FROM samples WHERE minute <= (SELECT minute FROM samples ORDER BY minute"
                " LIMIT 1 OFFSET (SELECT count(*) / 10 FROM samples))");
        Execute("DELETE FROM alarm_log WHERE id <= (SELECT id FROM alarm_log ORDER BY id"
                " LIMIT 1 OFFSET (SELECT count(*) / 10 FROM alarm_log))");
    }
}

bool CHistory::Flush(int64_t nowMs, bool force)
{
    if (m_pending.size() > m_options.maxPending)
        m_pending.erase(m_pending.begin(), m_pending.begin() + ptrdiff_t(m_pending.size() - m_options.maxPending));
    if (!m_db || m_pending.empty() || (!force && nowMs - m_lastCommitMs < m_options.commitIntervalMs))
        return false;
    m_lastCommitMs = nowMs;
    bool ok = Execute("BEGIN IMMEDIATE");
    if (ok) {
        ok = WriteAll();
        if (ok && nowMs > 0)
            Prune(nowMs);
        ok = ok && Execute("COMMIT");
    }
    ++m_transactions;
    if (!ok) {
        // Why, before the rollback: a commit that failed for want of space
        // has ended the transaction already, and the rollback's own error
        // would hide the full disk.
        const int rc = sqlite3_errcode(m_db) & 0xff;
        const std::string why = sqlite3_errmsg(m_db);
        if (!sqlite3_get_autocommit(m_db))
            Execute("ROLLBACK");
        if (!m_full)
            m_messages(rc == SQLITE_FULL ? "The disk is full: the watch history is not written; monitoring goes on."
                                         : "The watch history cannot be written (" + why + "); monitoring goes on.");
        m_full = true;
        return true;
    }
    if (m_full)
        m_messages("The watch history is written again.");
    m_full = false;
    m_pending.clear();
    return true;
}

std::vector<CHistory::CLogRow> CHistory::Log(size_t limit) const
{
    std::vector<CLogRow> rows;
    if (!m_db)
        return rows;
    CStatement q(m_db, "SELECT time_ms, event, alarm, substr(session, 1, 4096), media, flaps,"
                       " substr(figures, 1, 65536) FROM alarm_log ORDER BY id DESC LIMIT ?");
    q.Bind(1, int64_t(limit));
    while (q.Row())
        rows.push_back({q.Int(0), q.Text(1), q.Text(2), q.Text(3), int(q.Int(4)), uint64_t(q.Int(5)), q.Text(6)});
    return {rows.rbegin(), rows.rend()};
}

std::optional<double> CHistory::Availability(const std::string& session, int64_t fromMs, int64_t toMs) const
{
    if (!m_db)
        return std::nullopt;
    CStatement q(m_db, "SELECT count(*), coalesce(sum(up), 0) FROM samples WHERE session = ? AND minute >= ?"
                       " AND minute < ?");
    q.Bind(1, session).Bind(2, fromMs / 60000).Bind(3, (toMs + 59999) / 60000);
    if (!q.Row() || q.Int(0) == 0)
        return std::nullopt;
    return double(q.Int(1)) / double(q.Int(0));
}

std::vector<std::optional<double>> CHistory::Bar(const std::string& session, int64_t nowMs, int64_t spanMs,
                                                 int buckets) const
{
    std::vector<std::optional<double>> bar(size_t(buckets > 0 ? buckets : 0));
    if (!m_db || bar.empty() || spanMs <= 0)
        return bar;
    std::vector<int64_t> total(bar.size()), up(bar.size());
    const int64_t from = nowMs - spanMs;
    CStatement q(m_db, "SELECT minute, up FROM samples WHERE session = ? AND minute >= ? AND minute <= ?");
    q.Bind(1, session).Bind(2, from / 60000).Bind(3, nowMs / 60000);
    while (q.Row()) {
        const int64_t at = q.Int(0) * 60000 - from;
        if (at < 0)
            continue;
        const size_t i = std::min(bar.size() - 1, size_t(at * buckets / spanMs));
        ++total[i];
        up[i] += q.Int(1) != 0;
    }
    for (size_t i = 0; i < bar.size(); ++i)
        if (total[i])
            bar[i] = double(up[i]) / double(total[i]);
    return bar;
}

std::vector<CHistory::CWebhook> CHistory::PendingWebhooks() const
{
    std::vector<CWebhook> out;
    if (!m_db)
        return out;
    // Bounded: the file may not be one we wrote.
    CStatement q(m_db, "SELECT id, url, body FROM webhooks WHERE length(url) <= 2000 AND length(body) <= 65536"
                       " ORDER BY id LIMIT 20000");
    while (q.Row())
        out.push_back({q.Int(0), q.Text(1), q.Text(2)});
    return out;
}
