#include "watch/WatchRunner.h"

#include "base/Text.h"

#include <algorithm>
#include <chrono>

namespace {
std::string Label(std::string_view text)
{
    return text::MetricLabel(text);
}
} // namespace

int64_t CWatchRunner::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

CWatchRunner::CWatchRunner(CWatchRunnerOptions options, Events events, Messages messages)
    : m_options(std::move(options)), m_events(std::move(events)), m_messages(std::move(messages)),
      m_engine(m_options.thresholds)
{
}

CWatchRunner::~CWatchRunner()
{
    // The receiver stops reporting first, then the deliveries end, then
    // the history takes its last commit.
    m_receiver.reset();
    m_sender.reset();
    std::lock_guard lock(m_mutex);
    if (m_history)
        m_history->Flush(NowMs(), true);
}

void CWatchRunner::Start()
{
    std::lock_guard lock(m_mutex);
    if (!m_options.database.empty()) {
        m_history = std::make_unique<CHistory>(m_options.database, m_messages);
        if (!m_history->Open())
            m_messages("Watching goes on without a history.");
    }
    StartSender();
    m_receiver = std::make_unique<CReceiver>(m_options.receiver, [this](const CSessionFigures& f) { OnFigures(f); });
}

void CWatchRunner::StartSender()
{
    if (m_options.webhooks.empty())
        return;
    m_sender = std::make_unique<CWebhookSender>(m_options.secret, PostHttp, [this](int64_t id) {
        std::lock_guard lock(m_mutex);
        if (m_history)
            m_history->Delivered(id);
    }, m_options.webhookPauses);
    if (m_history)
        for (const CHistory::CWebhook& hook : m_history->PendingWebhooks())
            if (std::find(m_options.webhooks.begin(), m_options.webhooks.end(), hook.url) != m_options.webhooks.end())
                m_sender->Queue(hook);
}

void CWatchRunner::SetThresholds(const CWatchThresholds& thresholds)
{
    std::lock_guard lock(m_mutex);
    m_options.thresholds = thresholds;
    m_engine.SetThresholds(thresholds);
}

void CWatchRunner::SetWebhooks(const std::vector<std::string>& urls, const std::string& secret)
{
    std::unique_ptr<CWebhookSender> old;
    {
        std::lock_guard lock(m_mutex);
        if (urls == m_options.webhooks && secret == m_options.secret)
            return;
        // Events from now on are queued in the history for the new
        // addresses; the new sender takes them from there.
        m_options.webhooks = urls;
        m_options.secret = secret;
        old = std::move(m_sender);
    }
    // Outside the lock: a delivery it is finishing takes the lock to say so.
    old.reset();
    std::lock_guard lock(m_mutex);
    if (m_receiver)
        StartSender();
}

void CWatchRunner::Analysis(const std::string& key, std::vector<CMediaAnalysis> analysis)
{
    std::lock_guard lock(m_mutex);
    if (!m_watched.count(key))
        return;
    if (analysis.empty())
        m_analysis.erase(key);
    else
        m_analysis[key] = std::move(analysis);
}

void CWatchRunner::Deliver(const std::vector<CAlarmEvent>& events)
{
    for (const CAlarmEvent& e : events) {
        auto it = m_watched.find(e.session);
        const std::string name = it == m_watched.end() ? std::string() : it->second.name;
        if (m_history)
            m_history->Record(e);
        if (e.kind == EAlarmEventKind::Raise || e.kind == EAlarmEventKind::Clear) {
            const std::string body = AlarmEventJson(e, name);
            for (const std::string& url : m_options.webhooks) {
                const CHistory::CWebhook hook =
                    m_history ? m_history->QueueWebhook(url, body) : CHistory::CWebhook{++m_unsavedDeliveries, url, body};
                if (m_sender)
                    m_sender->Queue(hook);
            }
        }
        m_events(e, name);
    }
}

void CWatchRunner::OnFigures(const CSessionFigures& figures)
{
    const int64_t now = NowMs();
    std::lock_guard lock(m_mutex);
    auto id = m_byId.find(figures.watchId);
    if (id == m_byId.end())
        return;
    CWatched& w = m_watched[id->second];
    bool up = !figures.media.empty();
    for (const CMediaFigures& m : figures.media) {
        if (m.msSinceLastPacket >= 0)
            w.lastSeenMs = std::max(w.lastSeenMs, now - m.msSinceLastPacket);
        up = up && m.msSinceLastPacket >= 0 && m.msSinceLastPacket < m_engine.Thresholds().silentMs;
    }
    w.up = up;
    w.reported = true;
    auto analysis = m_analysis.find(id->second);
    Deliver(m_engine.Figures(id->second, now, figures,
                             analysis == m_analysis.end() ? std::vector<CMediaAnalysis>{} : analysis->second));
}

void CWatchRunner::Watch(const std::string& key, const std::string& name, const CReceptionPlan& plan)
{
    std::lock_guard lock(m_mutex);
    if (m_watched.count(key) || !m_receiver)
        return;
    CWatched& w = m_watched[key];
    w.name = name;
    w.plan = plan;
    w.groups = std::max<size_t>(1, plan.media.size());
    if (m_groupsInUse + w.groups <= m_options.receiver.maxGroups || m_turn.empty())
        Register(key, NowMs());
    else
        m_waiting.push_back(key);
}

void CWatchRunner::Register(const std::string& key, int64_t nowMs)
{
    CWatched& w = m_watched[key];
    w.id = m_receiver->Watch(w.plan);
    w.turnStartMs = nowMs;
    w.reported = false;
    m_byId[w.id] = key;
    m_groupsInUse += w.groups;
    m_turn.push_back(key);
    m_engine.Resume(key);
}

void CWatchRunner::Unregister(const std::string& key)
{
    CWatched& w = m_watched[key];
    m_receiver->Unwatch(w.id);
    m_byId.erase(w.id);
    w.id = 0;
    m_groupsInUse -= w.groups;
    std::erase(m_turn, key);
}

void CWatchRunner::TakeTurns(int64_t nowMs)
{
    // More groups watched than may be joined: every turn the longest
    // received make room for those waiting, which are received next.
    if (m_waiting.empty() || nowMs - m_lastTurnMs < kTurnMs)
        return;
    m_lastTurnMs = nowMs;
    std::vector<std::string> done;
    while (!m_waiting.empty()) {
        const std::string next = m_waiting.front();
        const size_t need = m_watched[next].groups;
        while (m_groupsInUse + need > m_options.receiver.maxGroups && !m_turn.empty()
               && m_watched[m_turn.front()].turnStartMs < nowMs) {
            done.push_back(m_turn.front());
            Unregister(m_turn.front());
        }
        if (m_groupsInUse + need > m_options.receiver.maxGroups && !m_turn.empty())
            break;
        m_waiting.pop_front();
        Register(next, nowMs);
    }
    m_waiting.insert(m_waiting.end(), done.begin(), done.end());
}

void CWatchRunner::Unwatch(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    auto it = m_watched.find(key);
    if (it == m_watched.end())
        return;
    if (it->second.id != 0)
        Unregister(key);
    std::erase(m_waiting, key);
    m_watched.erase(key);
    m_analysis.erase(key);
    m_engine.Forget(key);
}

bool CWatchRunner::Watching(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    return m_watched.count(key) > 0;
}

void CWatchRunner::Heard(const std::string& key, int64_t nowMs, int64_t intervalMs)
{
    std::lock_guard lock(m_mutex);
    Deliver(m_engine.Heard(key, nowMs, intervalMs));
}

void CWatchRunner::Deleted(const std::string& key, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    Deliver(m_engine.Deleted(key, nowMs));
}

void CWatchRunner::Expired(const std::string& key, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    Deliver(m_engine.Expired(key, nowMs));
}

void CWatchRunner::Acknowledge(const std::string& key, EAlarm alarm, int media, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    Deliver(m_engine.Acknowledge(key, alarm, media, nowMs));
}

std::vector<CHistory::CLogRow> CWatchRunner::Log(size_t limit) const
{
    std::lock_guard lock(m_mutex);
    return m_history ? m_history->Log(limit) : std::vector<CHistory::CLogRow>{};
}

void CWatchRunner::AcknowledgeAll(int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    Deliver(m_engine.AcknowledgeAll(nowMs));
}

void CWatchRunner::Tick(int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    TakeTurns(nowMs);
    Deliver(m_engine.Tick(nowMs));
    if (!m_history)
        return;
    for (auto& [key, w] : m_watched) {
        // No sample before the first report of a turn says how it is.
        if (w.reported && nowMs / 60000 != w.lastSampleMinute) {
            w.lastSampleMinute = nowMs / 60000;
            m_history->Sample(key, nowMs, w.up);
        }
        if (nowMs - w.availabilityAtMs >= 60000) {
            w.availabilityAtMs = nowMs;
            w.day = m_history->Availability(key, nowMs - 86400000, nowMs);
            w.week = m_history->Availability(key, nowMs - 7 * 86400000LL, nowMs);
        }
    }
    m_history->Flush(nowMs);
}

std::vector<CWatchRunner::CStatus> CWatchRunner::Status() const
{
    std::lock_guard lock(m_mutex);
    std::vector<CStatus> out;
    for (const auto& [key, w] : m_watched)
        out.push_back({key, w.name, w.up, w.lastSeenMs, w.day, w.week, w.id == 0});
    return out;
}

std::vector<CAlarmEngine::CActive> CWatchRunner::Active() const
{
    std::lock_guard lock(m_mutex);
    return m_engine.Active();
}

uint64_t CWatchRunner::WriteTransactions() const
{
    std::lock_guard lock(m_mutex);
    return m_history ? m_history->WriteTransactions() : 0;
}

std::string CWatchRunner::MetricsText() const
{
    std::lock_guard lock(m_mutex);
    std::string out = "# HELP talmira_watch_up Whether every media entry of a watched session is heard.\n"
                      "# TYPE talmira_watch_up gauge\n";
    for (const auto& [key, w] : m_watched)
        out += "talmira_watch_up{session=\"" + Label(key) + "\",name=\"" + Label(w.name) + "\"} " + (w.up ? "1" : "0")
            + "\n";
    out += "# HELP talmira_watch_last_seen_timestamp_seconds When a packet of a watched session last came.\n"
           "# TYPE talmira_watch_last_seen_timestamp_seconds gauge\n";
    for (const auto& [key, w] : m_watched)
        if (w.lastSeenMs >= 0)
            out += "talmira_watch_last_seen_timestamp_seconds{session=\"" + Label(key) + "\",name=\"" + Label(w.name)
                + "\"} " + std::to_string(w.lastSeenMs / 1000) + "\n";
    out += "# HELP talmira_watch_availability_ratio Share of the minutes a watched session was up.\n"
           "# TYPE talmira_watch_availability_ratio gauge\n";
    for (const auto& [key, w] : m_watched) {
        for (const auto& [window, value] : {std::pair("24h", w.day), std::pair("7d", w.week)})
            if (value)
                out += "talmira_watch_availability_ratio{session=\"" + Label(key) + "\",name=\"" + Label(w.name)
                    + "\",window=\"" + window + "\"} " + std::to_string(*value) + "\n";
    }
    out += "# HELP talmira_alarm_active Alarms raised and not cleared, by session, alarm and media entry.\n"
           "# TYPE talmira_alarm_active gauge\n";
    for (const CAlarmEngine::CActive& a : m_engine.Active()) {
        auto it = m_watched.find(a.session);
        out += "talmira_alarm_active{session=\"" + Label(a.session) + "\",name=\""
            + Label(it == m_watched.end() ? std::string() : it->second.name) + "\",alarm=\"" + AlarmName(a.alarm)
            + "\",media=\"" + std::to_string(a.media) + "\"} 1\n";
    }
    out += "# HELP talmira_alarm_acknowledged Active alarms someone acknowledged, by session, alarm and media entry.\n"
           "# TYPE talmira_alarm_acknowledged gauge\n";
    for (const CAlarmEngine::CActive& a : m_engine.Active())
        if (a.acknowledged)
            out += "talmira_alarm_acknowledged{session=\"" + Label(a.session) + "\",alarm=\"" + AlarmName(a.alarm)
                + "\",media=\"" + std::to_string(a.media) + "\"} 1\n";
    return out;
}

std::vector<std::optional<double>> CWatchRunner::Bar(const std::string& key, int64_t nowMs) const
{
    std::lock_guard lock(m_mutex);
    return m_history ? m_history->Bar(key, nowMs) : std::vector<std::optional<double>>();
}
