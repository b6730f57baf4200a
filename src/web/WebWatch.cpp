#include "web/WebWatch.h"

#include "sdp/SDPObject.h"
#include "watch/StoreWatch.h"
#include "watch/WatchList.h"
#include "web/WebService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QJsonValue Ratio(const std::optional<double>& value)
{
    return value ? QJsonValue(std::round(*value * 10000) / 10000) : QJsonValue(QJsonValue::Null);
}

QJsonObject Parsed(const std::string& json)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

std::pair<int, std::string> Answer(int status, const QJsonObject& body)
{
    return {status, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()};
}

std::pair<int, std::string> Refusal(int status, const char* why)
{
    return Answer(status, QJsonObject{{"error", why}});
}

} // namespace

CWebWatch::CWebWatch(CWebService& web, CStoreWatch& watch, std::function<void()> listChanged)
    : m_web(web), m_watch(watch), m_listChanged(std::move(listChanged))
{
    m_web.SetCommands([this](const std::string& path, const QJsonObject& body) { return Order(path, body); });
}

CWebWatch::~CWebWatch()
{
    m_web.SetCommands({});
}

void CWebWatch::Publish(int64_t nowMs)
{
    CWatchRunner& runner = m_watch.Runner();
    std::map<std::string, CWatchRunner::CStatus> status;
    for (CWatchRunner::CStatus& s : runner.Status())
        status.emplace(s.key, std::move(s));
    // The records watched, and the web ids their alarms link to.
    std::map<std::string, std::string> idOf;
    std::map<const CSDPObject*, QByteArray> sessions;
    if (!status.empty())
        m_web.ForEachRecord([&](CSDPObject& record, const std::string& id) {
        if (IsDirectoryType(record.sessionType))
            return;
        const std::string key = WatchKey(record);
        auto it = status.find(key);
        if (it == status.end())
            return;
        idOf[key] = id;
        auto& [madeMs, bar] = m_bars[key];
        if (nowMs - madeMs >= 60000) {
            bar = runner.Bar(key, nowMs);
            madeMs = nowMs;
        }
        QJsonArray hours;
        for (const std::optional<double>& h : bar)
            hours.append(Ratio(h));
        const CWatchRunner::CStatus& s = it->second;
        sessions[&record] = QJsonDocument(QJsonObject{{"watched", true},
                                                      {"up", s.up},
                                                      {"waiting", s.waiting},
                                                      {"last_seen_ms", double(s.lastSeenMs)},
                                                      {"availability_24h", Ratio(s.availability24h)},
                                                      {"availability_7d", Ratio(s.availability7d)},
                                                      {"bar_24h", hours}})
                                .toJson(QJsonDocument::Compact);
    });
    std::erase_if(m_bars, [&](const auto& bar) { return !status.count(bar.first); });

    const auto named = [&](QJsonObject o, const std::string& key) {
        if (auto it = status.find(key); it != status.end())
            o["name"] = QString::fromStdString(it->second.name);
        if (auto it = idOf.find(key); it != idOf.end())
            o["id"] = QString::fromStdString(it->second);
        return o;
    };
    QJsonArray active;
    for (const CAlarmEngine::CActive& a : runner.Active()) {
        const CAlarmEvent raised{EAlarmEventKind::Raise, a.alarm, a.session, a.media, a.raisedMs, a.flaps, a.figures};
        QJsonObject o = named(Parsed(AlarmEventJson(raised)), a.session);
        o.remove("event");
        o["acknowledged"] = a.acknowledged;
        active.append(o);
    }
    QJsonArray log;
    const std::vector<CHistory::CLogRow> rows = runner.Log(kLogRows);
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) // newest first
        log.append(named(Parsed(row->figures), row->session));
    m_web.SetWatchMetrics(runner.MetricsText());
    m_web.SetAlarms(QJsonDocument(QJsonObject{{"watching", true}, {"active", active}, {"log", log}}).toJson(QJsonDocument::Compact), sessions);
}

std::pair<int, std::string> CWebWatch::Order(const std::string& path, const QJsonObject& body)
{
    const int64_t now = CWatchRunner::NowMs();
    CWatchRunner& runner = m_watch.Runner();
    if (path == "/api/v1/alarms/acknowledge") {
        if (body.value("all").toBool()) {
            runner.AcknowledgeAll(now);
            Publish(now);
            return Answer(200, {{"acknowledged", "all"}});
        }
        const std::optional<EAlarm> alarm = AlarmFromName(body.value("alarm").toString().toStdString());
        const std::string key = body.value("session").toString().toStdString();
        const QJsonValue media = body.value("media");
        if (key.empty() || !alarm || !media.isDouble() || media.toDouble() != std::floor(media.toDouble()))
            return Refusal(400, "acknowledge takes {\"all\":true} or an alarm's \"session\", \"alarm\" and \"media\"");
        for (const CAlarmEngine::CActive& a : runner.Active())
            if (a.session == key && a.alarm == *alarm && a.media == media.toInt()) {
                runner.Acknowledge(key, *alarm, a.media, now);
                Publish(now);
                return Answer(200, {{"acknowledged", 1}});
            }
        return Refusal(404, "no such active alarm");
    }
    // Watch / Stop Watching.
    const std::string id = body.value("session").toString().toStdString();
    const QJsonValue watch = body.value("watch");
    if (id.empty() || !watch.isBool())
        return Refusal(400, "watch takes a session's \"session\" id and \"watch\": true or false");
    std::string key;
    bool directory = false;
    m_web.ForEachRecord([&](CSDPObject& record, const std::string& recordId) {
        if (recordId == id) {
            directory = IsDirectoryType(record.sessionType);
            key = WatchKey(record);
        }
    });
    if (key.empty())
        return Refusal(404, "no such session");
    if (directory)
        return Refusal(400, "a directory is not watched as a session");
    const bool want = watch.toBool();
    if (want ? m_watch.Add(key) : m_watch.Remove(key))
        m_listChanged();
    m_watch.Tick(now);
    Publish(now);
    // What the watch does now says whether the order was carried out.
    if (runner.Watching(key) != want)
        return Refusal(409, want ? "the watch list is full" : "it is watched with its whole directory");
    return Answer(200, {{"watched", want}});
}
