#include "web/WebHandlers.h"

#include "base/RequestHead.h"
#include "base/Text.h"
#include "directory/SessionListRules.h"
#include "web/WebState.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <optional>
#include <tuple>

namespace {
// How much of a long answer is made at a time.
constexpr size_t kPiece = 32 * 1024;
const char* const kSortWords[] = {"", "name", "info", "start", "type", "-name", "-info", "-start", "-type", "media", "-media"};
const char* const kFilterWords[] = {"", "current", "today", "week", "month", "all"};

std::string Param(const CWebRequest& r, const char* name)
{
    const auto it = r.params.find(name);
    return it == r.params.end() ? std::string() : it->second;
}

std::optional<size_t> Number(const std::string& text, size_t fallback, size_t max)
{
    if (text.empty())
        return fallback;
    const auto n = requesthead::ParseNumber(text, max);
    return n ? std::optional<size_t>(static_cast<size_t>(*n)) : std::nullopt;
}

bool EndsWith(const std::string& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A label value of the metrics text: backslash, quote and line end escaped.
std::string Label(const QString& text)
{
    return text::MetricLabel(text.toStdString());
}

std::string ReadResource(const char* path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}
} // namespace

CWebAssets CWebAssets::Embedded()
{
    return {ReadResource(":/web/index.html"), ReadResource(":/web/app.css"), ReadResource(":/web/app.js")};
}

CWebResponse WebError(int status, const std::string& message)
{
    CWebResponse r;
    r.status = status;
    r.body = QJsonDocument(QJsonObject{{"error", QString::fromStdString(message)}}).toJson(QJsonDocument::Compact).toStdString();
    return r;
}

std::string SafeHost(const std::string& host, const std::string& fallback)
{
    if (host.empty() || host.size() > 255)
        return fallback;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            return fallback;
    return host;
}

CWebHandlers::CWebHandlers(CWebState& state, CWebAssets assets) : m_state(state), m_assets(std::move(assets)) {}

std::optional<int> CWebHandlers::FilterMode(const std::string& word)
{
    for (int mode = 1; mode < int(std::size(kFilterWords)); ++mode)
        if (word == kFilterWords[mode])
            return mode;
    return std::nullopt;
}

std::optional<int> CWebHandlers::SortMode(const std::string& word)
{
    for (int mode = 1; mode < int(std::size(kSortWords)); ++mode)
        if (word == kSortWords[mode])
            return mode;
    return std::nullopt;
}

CWebResponse CWebHandlers::Handle(const CWebRequest& request) const
{
    ++m_state.requests;
    const std::string& path = request.path;
    const auto asset = [](const std::string& body, const char* type) {
        CWebResponse r;
        r.contentType = type;
        r.body = body;
        return r;
    };
    if (path == "/" || path == "/index.html")
        return asset(m_assets.html, "text/html; charset=utf-8");
    if (path == "/app.css")
        return asset(m_assets.css, "text/css; charset=utf-8");
    if (path == "/app.js")
        return asset(m_assets.js, "text/javascript; charset=utf-8");
    if (path == "/favicon.ico")
        return {204, "image/x-icon", {}, {}};
    if (path == "/metrics")
        return Metrics();
    if (path == "/api/v1/directories")
        return Directories();
    if (path == "/api/v1/columns")
        return Columns();
    if (path == "/api/v1/playlist.m3u")
        return Playlist(request);
    const std::string dirs = "/api/v1/directories/";
    if (path.starts_with(dirs) && EndsWith(path, "/sessions"))
        return Sessions(path.substr(dirs.size(), path.size() - dirs.size() - 9), request);
    const std::string sessions = "/api/v1/sessions/";
    if (path.starts_with(sessions)) {
        const std::string id = path.substr(sessions.size());
        if (EndsWith(id, ".sdp"))
            return Sdp(id.substr(0, id.size() - 4));
        if (EndsWith(id, "/picture.jpg"))
            return Picture(id.substr(0, id.size() - 12));
        return Session(id);
    }
    if (path.starts_with(dirs) && EndsWith(path, "/mosaic"))
        return Mosaic(path.substr(dirs.size(), path.size() - dirs.size() - 7), request);
    if (path == "/api/v1/alarms") {
        // Where nothing is watched the page says so; it is no error.
        const QByteArray alarms = m_state.Alarms();
        return {200, "application/json",
                alarms.isEmpty() ? std::string("{\"watching\":false,\"active\":[],\"log\":[]}") : alarms.toStdString(), {}};
    }
    return WebError(404, "no such resource");
}

std::string CWebHandlers::EventField() const
{
    // Read before the snapshot: the snapshot holds at least every change
    // up to this event, so a client resuming from it misses nothing.
    return "\"event\":\"" + m_state.Events().IdText(m_state.Events().LastId()) + "\",";
}

CWebResponse CWebHandlers::Columns() const
{
    QJsonArray columns;
    for (int c = 0; c < listrules::kColumnCount; ++c)
        columns.append(QJsonObject{{"title", QString::fromLatin1(listrules::ColumnTitle(c))},
                                   {"width", listrules::ColumnWidth(c)},
                                   {"sort", QString::fromLatin1(kSortWords[listrules::ToggleSort(0, c)])}});
    QJsonArray filters;
    for (int mode = 1; mode < int(std::size(kFilterWords)); ++mode)
        filters.append(QString::fromLatin1(kFilterWords[mode]));
    return {200, "application/json",
            QJsonDocument(QJsonObject{{"columns", columns}, {"filters", filters}}).toJson(QJsonDocument::Compact).toStdString(),
            {}};
}

CWebResponse CWebHandlers::Directories() const
{
    std::string body = "{" + EventField() + "\"directories\":[";
    const WebSnapshotPtr snap = m_state.Snapshot();
    bool first = true;
    for (const auto& d : snap->directories) {
        QJsonObject o{{"id", QString::fromStdString(d->id)},
                      {"parent", d->parentId.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(d->parentId))},
                      {"name", d->name},
                      {"heard", d->heard},
                      {"sessions", static_cast<qint64>(d->sessions.size())}};
        if (!first)
            body += ',';
        first = false;
        body += QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
    }
    body += "]}";
    return {200, "application/json", std::move(body), {}};
}

// The list's filter, sort, search, offset and limit of a request; an
// answer when one of them is wrong.
static std::optional<CWebResponse> ReadQuery(const CWebRequest& request, CWebQuery& query, size_t maxLimit)
{
    const std::string filter = Param(request, "filter"), sort = Param(request, "sort");
    if (!filter.empty()) {
        const auto mode = CWebHandlers::FilterMode(filter);
        if (!mode)
            return WebError(400, "filter is one of current, today, week, month, all");
        query.filterMode = *mode;
    }
    if (!sort.empty()) {
        const auto mode = CWebHandlers::SortMode(sort);
        if (!mode)
            return WebError(400, "sort is name, info, start, type or media, with a leading - for descending");
        query.sortMode = *mode;
    }
    const std::string search = Param(request, "search");
    query.search = QString::fromUtf8(search.data(), static_cast<qsizetype>(std::min<size_t>(search.size(), 4 * CWebHandlers::kMaxSearch + 4)));
    if (query.search.size() > CWebHandlers::kMaxSearch)
        return WebError(400, "search text too long (at most 200 characters)");
    const auto offset = Number(Param(request, "offset"), 0, SIZE_MAX / 4);
    const auto limit = Number(Param(request, "limit"), std::min<size_t>(200, maxLimit), maxLimit);
    if (!offset || !limit)
        return WebError(400, "offset and limit are numbers (limit at most " + std::to_string(maxLimit) + ")");
    query.deadline = request.deadline;
    query.offset = *offset;
    query.limit = *limit;
    return std::nullopt;
}

CWebResponse CWebHandlers::Sessions(const std::string& directoryId, const CWebRequest& request) const
{
    CWebQuery query;
    if (auto refused = ReadQuery(request, query, kMaxPage))
        return *refused;

    const std::string event = EventField();
    const WebSnapshotPtr snap = m_state.Snapshot();
    const CWebDirectory* dir = snap->Directory(directoryId);
    if (!dir)
        return WebError(404, "no such directory");
    CWebSnapshot::CPage page = snap->Query(*dir, query);
    if (page.late)
        return WebError(503, "the answer took too long");
    CWebResponse answer{200, "application/json",
                        "{" + event + "\"directory\":\"" + dir->id + "\",\"total\":" + std::to_string(page.total)
                            + ",\"offset\":" + std::to_string(query.offset) + ",\"sessions\":[",
                        {}};
    // The rows are written as the client takes them (the snapshot they
    // belong to lives as long as the answer), never gathered whole.
    answer.more = [snap, rows = std::move(page.rows), head = std::move(answer.body), i = size_t(0)](std::string& out) mutable {
        const size_t full = out.size() + kPiece;
        if (i == 0)
            out += head;
        for (; i < rows.size() && out.size() < full; ++i) {
            if (i)
                out += ',';
            out.append(rows[i]->rowJson.constData(), static_cast<size_t>(rows[i]->rowJson.size()));
        }
        if (i < rows.size())
            return true;
        out += "]}";
        return false;
    };
    answer.body.clear();
    return answer;
}

CWebResponse CWebHandlers::Session(const std::string& id) const
{
    const auto s = m_state.Snapshot()->Session(id);
    if (!s)
        return WebError(404, "no such session");
    const QByteArray levels = m_state.LevelsOf(id);
    QByteArray watch = m_state.WatchOf(id);
    // Where sessions are watched, the others can be.
    if (watch.isEmpty() && !s->isDirectory && !m_state.Alarms().isEmpty())
        watch = "{\"watched\":false}";
    if (!levels.isEmpty() || !watch.isEmpty()) {
        QJsonObject document = QJsonDocument::fromJson(s->detailJson).object();
        if (!levels.isEmpty())
            document["preview"] = QJsonDocument::fromJson(levels).array();
        if (!watch.isEmpty())
            document["watch"] = QJsonDocument::fromJson(watch).object();
        return {200, "application/json", QJsonDocument(document).toJson(QJsonDocument::Compact).toStdString(), {}};
    }
    return {200, "application/json", s->detailJson.toStdString(), {}};
}

CWebResponse CWebHandlers::Picture(const std::string& id) const
{
    const bool served = m_state.Snapshot()->Session(id) != nullptr;
    if (served)
        m_state.Look(id);
    const auto picture = m_state.PictureOf(id);
    if (!picture)
        return WebError(404, served ? "no picture of this session yet: it is decoded while someone looks at it"
                                    : "no such session");
    return {200, "image/jpeg", std::string(picture->begin(), picture->end()), {{"Cache-Control", "no-store"}}};
}

// A tile of the mosaic for each session in view: its row, and what its
// picture and sound show where they are decoded. Asking for tiles is
// looking at them: their sessions are decoded while they are asked for.
CWebResponse CWebHandlers::Mosaic(const std::string& directoryId, const CWebRequest& request) const
{
    CWebQuery query;
    if (auto refused = ReadQuery(request, query, kMaxTiles))
        return *refused;
    const WebSnapshotPtr snap = m_state.Snapshot();
    const CWebDirectory* dir = snap->Directory(directoryId);
    if (!dir)
        return WebError(404, "no such directory");
    const CWebSnapshot::CPage page = snap->Query(*dir, query);
    if (page.late)
        return WebError(503, "the answer took too long");
    std::string body = "{\"directory\":\"" + dir->id + "\",\"total\":" + std::to_string(page.total) + ",\"offset\":"
        + std::to_string(query.offset) + ",\"tiles\":[";
    for (size_t i = 0; i < page.rows.size(); ++i) {
        const CWebSession& s = *page.rows[i];
        if (!s.isDirectory)
            m_state.Look(s.id);
        const QByteArray preview = m_state.LevelsOf(s.id);
        body += std::string(i ? "," : "") + "{\"session\":" + s.rowJson.toStdString() + ",\"picture\":"
            + (m_state.PictureOf(s.id) ? "true" : "false") + ",\"preview\":"
            + (preview.isEmpty() ? std::string("[]") : preview.toStdString()) + "}";
    }
    return {200, "application/json", body + "]}", {}};
}

CWebResponse CWebHandlers::Sdp(const std::string& id) const
{
    const auto s = m_state.Snapshot()->Session(id);
    if (!s)
        return WebError(404, "no such session");
    return {200, "application/sdp", s->sdp, {{"Content-Disposition", "attachment; filename=\"" + id + ".sdp\""}}};
}

CWebResponse CWebHandlers::Playlist(const CWebRequest& request) const
{
    const WebSnapshotPtr snap = m_state.Snapshot();
    const std::string base = "http://" + SafeHost(request.host, "127.0.0.1");
    const std::string only = Param(request, "session");
    // Players fetch the entries without the page's cookie.
    const std::string access = m_state.accessToken.empty() ? "" : "?token=" + m_state.accessToken;
    const auto entry = [base, access](std::string& body, const CWebSession& s) {
        // A title never breaks its line: the shown name has no line ends.
        body += "#EXTINF:-1," + s.title.toStdString() + "\n" + base + "/api/v1/sessions/" + s.id + ".sdp" + access + "\n";
    };
    CWebResponse answer{200, "audio/x-mpegurl", "#EXTM3U\n",
                        {{"Content-Disposition", "attachment; filename=\"" + (only.empty() ? std::string("talmira") : only) + ".m3u\""}}};
    if (!only.empty()) {
        const auto s = snap->Session(only);
        if (!s)
            return WebError(404, "no such session");
        entry(answer.body, *s);
        return answer;
    }
    // Every session: written as the client takes it, a piece at a time,
    // from the snapshot of the moment it was asked for.
    answer.body.clear();
    answer.more = [snap, entry, d = size_t(0), k = size_t(0), started = false](std::string& out) mutable {
        const size_t full = out.size() + kPiece;
        if (!started)
            out += "#EXTM3U\n";
        started = true;
        for (; d < snap->directories.size(); ++d, k = 0) {
            const auto& sessions = snap->directories[d]->sessions;
            for (; k < sessions.size(); ++k) {
                if (out.size() >= full)
                    return true;
                if (!sessions[k]->isDirectory)
                    entry(out, *sessions[k]);
            }
        }
        return false;
    };
    return answer;
}

CWebResponse CWebHandlers::Metrics() const
{
    const WebSnapshotPtr snap = m_state.Snapshot();
    std::string out;
    out += "# HELP talmira_sessions Sessions a directory lists.\n# TYPE talmira_sessions gauge\n";
    for (const auto& d : snap->directories)
        out += "talmira_sessions{directory=\"" + Label(d->name) + "\",id=\"" + d->id + "\"} "
            + std::to_string(d->sessions.size()) + "\n";
    // A counter's name ends in _total in every line of its family.
    const auto counter = [&](const char* base, const char* help, uint64_t value, const char* type = "counter") {
        const std::string name = std::string(base) + (std::string_view(type) == "counter" ? "_total" : "");
        out += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " " + std::to_string(value)
            + "\n";
    };
    counter("talmira_http_requests", "HTTP requests answered.", m_state.requests.load());
    counter("talmira_http_refused_connections", "Connections refused over the limits.", m_state.refusedConnections.load());
    counter("talmira_http_timed_out_connections", "Connections closed for being too slow.", m_state.timedOutConnections.load());
    counter("talmira_event_stream_clients", "Clients following the event stream.", static_cast<uint64_t>(m_state.streamClients.load()), "gauge");
    counter("talmira_events", "Session events published.", m_state.Events().LastId());
    counter("talmira_snapshots", "Snapshots of the directory published.", m_state.publishes.load());
    if (const CWireCounters* wire = m_state.wire) {
        counter("talmira_sap_datagrams", "SAP datagrams received on the directories' sockets.", wire->datagrams.load());
        counter("talmira_sap_dropped", "SAP datagrams dropped as malformed or unreadable.", wire->dropped.load());
        counter("talmira_sap_decrypted", "SAP datagrams decrypted.", wire->decrypted.load());
        counter("talmira_sap_inflated", "SAP datagrams inflated.", wire->inflated.load());
        counter("talmira_sap_announcements_sent", "SAP announcements and deletions sent.", wire->sent.load());
        counter("talmira_cache_writes", "Cache files written.", wire->cacheWrites.load());
    }
    // Streams being watched, one series per media entry.
    const std::vector<CWatchedStream> watched = m_state.Watched();
    const bool anyCounted = std::any_of(watched.begin(), watched.end(), [](const CWatchedStream& w) { return w.counted; });
    for (const auto& [base, help] : {std::pair("talmira_watched_packets_total", "Packets received by a watched stream."),
                                     std::pair("talmira_watched_lost_total", "RTP packets a watched stream lost.")}) {
        if (!anyCounted)
            break;
        out += std::string("# HELP ") + base + " " + help + "\n# TYPE " + base + " counter\n";
        for (const CWatchedStream& w : watched)
            if (w.counted)
                out += std::string(base) + "{group=\"" + Label(QString::fromStdString(w.group)) + "\",port=\""
                    + std::to_string(w.port) + "\",media=\"" + Label(QString::fromStdString(w.media)) + "\",state=\""
                    + Label(QString::fromStdString(w.state)) + "\"} "
                    + std::to_string(std::string_view(base) == "talmira_watched_lost_total" ? w.lost : w.packets) + "\n";
    }
    // What the decoded streams show: 1 or 0, and their loudness.
    using CShown = std::optional<double> (*)(const CWatchedStream&);
    const std::tuple<const char*, const char*, CShown> shown[] = {
        {"talmira_watched_black", "A watched stream's picture is black.",
         [](const CWatchedStream& w) { return w.black ? std::optional<double>(*w.black) : std::nullopt; }},
        {"talmira_watched_frozen", "A watched stream's picture is frozen.",
         [](const CWatchedStream& w) { return w.frozen ? std::optional<double>(*w.frozen) : std::nullopt; }},
        {"talmira_watched_silent", "A watched stream's sound is silent.",
         [](const CWatchedStream& w) { return w.silent ? std::optional<double>(*w.silent) : std::nullopt; }},
        {"talmira_watched_loudness_lufs", "A watched stream's short-term loudness (EBU R128).",
         [](const CWatchedStream& w) { return w.loudness; }}};
    for (const auto& [base, help, value] : shown) {
        bool headed = false;
        for (const CWatchedStream& w : watched) {
            const std::optional<double> v = value(w);
            if (!v)
                continue;
            if (!headed)
                out += std::string("# HELP ") + base + " " + help + "\n# TYPE " + base + " gauge\n";
            headed = true;
            out += std::string(base) + "{group=\"" + Label(QString::fromStdString(w.group)) + "\",port=\"" + std::to_string(w.port)
                + "\",media=\"" + Label(QString::fromStdString(w.media)) + "\"} " + QByteArray::number(*v).toStdString() + "\n";
        }
    }
    out += m_state.WatchMetrics();
    return {200, "text/plain; version=0.0.4; charset=utf-8", std::move(out), {}};
}

bool CWebHandlers::TakesOrders(const std::string& path)
{
    return path == "/api/v1/alarms/acknowledge" || path == "/api/v1/watch";
}

// Orders come from the page alone: JSON (which no form of another site can
// send without the browser asking first), from no other origin, within the
// access check every request passes. The main thread carries them out.
CWebResponse CWebHandlers::Post(const CWebRequest& request) const
{
    ++m_state.requests;
    if (!TakesOrders(request.path))
        return WebError(405, "only GET and HEAD here");
    if (!request.contentType.starts_with("application/json"))
        return WebError(415, "orders are JSON (Content-Type: application/json)");
    if (!request.origin.empty() && request.origin != "http://" + request.host)
        return WebError(403, "orders come from this server's own page");
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
    if (error.error != QJsonParseError::NoError || !json.isObject())
        return WebError(400, "the body is not a JSON object");
    const CWebState::Commands commands = m_state.TheCommands();
    if (!commands)
        return WebError(404, "nothing is watched here: the server runs without --watch");
    const CWebState::CCommandResult result = commands(request.path, json.object());
    return {result.status, "application/json", result.body, {}};
}
