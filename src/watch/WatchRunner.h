#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "reception/Receiver.h"
#include "watch/AlarmEngine.h"
#include "watch/History.h"
#include "watch/Webhooks.h"

struct CWatchRunnerOptions {
    std::string database;             // empty: no history
    std::vector<std::string> webhooks; // addresses checked with WebhookUrlProblem
    std::string secret;               // signs the webhooks when not empty
    CWebhookSender::COptions webhookPauses; // between the tries of a receiver that is down
    CReceiverOptions receiver;
    CWatchThresholds thresholds;
};

// The watcher as the front ends run it: receives the watched sessions,
// feeds their figures to the alarm rules, writes the history and queues
// the webhooks. Every method may be called from any thread; the events
// callback runs under the watcher's lock, on the receiver's thread or the
// caller's.
class CWatchRunner {
public:
    using Events = std::function<void(const CAlarmEvent& event, const std::string& name)>;
    using Messages = std::function<void(const std::string&)>;

    CWatchRunner(CWatchRunnerOptions options, Events events, Messages messages);
    ~CWatchRunner();
    CWatchRunner(const CWatchRunner&) = delete;
    CWatchRunner& operator=(const CWatchRunner&) = delete;

    // Opens the history and sends what the last run left owed.
    void Start();
    void Watch(const std::string& key, const std::string& name, const CReceptionPlan& plan);
    void Unwatch(const std::string& key);
    bool Watching(const std::string& key) const;
    void Heard(const std::string& key, int64_t nowMs, int64_t intervalMs);
    void Deleted(const std::string& key, int64_t nowMs);
    void Expired(const std::string& key, int64_t nowMs);
    void Acknowledge(const std::string& key, EAlarm alarm, int media, int64_t nowMs);
    void AcknowledgeAll(int64_t nowMs);
    // New settings while watching: the rules judge by the thresholds from
    // the next report on; the webhooks go to the new addresses (what the
    // history still owes them included).
    void SetThresholds(const CWatchThresholds& thresholds);
    void SetWebhooks(const std::vector<std::string>& urls, const std::string& secret);
    // What the decoded picture and sound of the session show now, judged
    // with its next report; none: not decoded.
    void Analysis(const std::string& key, std::vector<CMediaAnalysis> analysis);
    // The newest `limit` rows of the history's log, oldest first.
    std::vector<CHistory::CLogRow> Log(size_t limit) const;
    // The session's availability in each hour of the last day, oldest first
    // (nothing where no minute was sampled); empty without a history.
    std::vector<std::optional<double>> Bar(const std::string& key, int64_t nowMs) const;
    // Once a second: the time rules, the minute's samples and the history's commit.
    void Tick(int64_t nowMs);

    struct CStatus {
        std::string key;
        std::string name;
        bool up = false;          // every media entry heard within the silence threshold
        int64_t lastSeenMs = -1;  // the latest packet of any media entry
        std::optional<double> availability24h;
        std::optional<double> availability7d;
        bool waiting = false;     // more groups are watched than may be joined: waits for its turn
    };
    std::vector<CStatus> Status() const;
    std::vector<CAlarmEngine::CActive> Active() const;
    // The Prometheus text of the watch: talmira_watch_up and talmira_alarm_active.
    std::string MetricsText() const;
    uint64_t WriteTransactions() const;
    size_t WebhooksWaiting() const { return m_sender ? m_sender->Waiting() : 0; }

    static int64_t NowMs();

private:
    struct CWatched {
        std::string name;
        CReceptionPlan plan;
        size_t groups = 1;
        int id = 0;               // the receiver's; 0 while waiting for a turn
        int64_t turnStartMs = 0;
        bool up = false;
        bool reported = false;    // a report came since the turn began
        int64_t lastSeenMs = -1;
        int64_t lastSampleMinute = -1;
        std::optional<double> day, week;
        int64_t availabilityAtMs = INT64_MIN / 2;
    };
    static constexpr int64_t kTurnMs = 10000;
    void Register(const std::string& key, int64_t nowMs);
    void Unregister(const std::string& key);
    void TakeTurns(int64_t nowMs);
    void Deliver(const std::vector<CAlarmEvent>& events);
    void StartSender();
    void OnFigures(const CSessionFigures& figures);

    CWatchRunnerOptions m_options;
    Events m_events;
    Messages m_messages;
    mutable std::recursive_mutex m_mutex;
    CAlarmEngine m_engine;
    std::unique_ptr<CHistory> m_history;
    std::map<std::string, CWatched> m_watched;
    std::map<int, std::string> m_byId;
    std::map<std::string, std::vector<CMediaAnalysis>> m_analysis;
    int64_t m_unsavedDeliveries = 0; // numbers the deliveries without a history
    std::deque<std::string> m_turn;    // received now, longest first
    std::deque<std::string> m_waiting; // waiting for their turn, next first
    size_t m_groupsInUse = 0;
    int64_t m_lastTurnMs = 0;
    std::unique_ptr<CWebhookSender> m_sender;
    std::unique_ptr<CReceiver> m_receiver;
};
