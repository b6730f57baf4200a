#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "reception/ReceptionFigures.h"
#include "watch/WatchTypes.h"

// The alarm rules and states of the watched sessions. Pure: fed with the
// reception figures, the analysis of pictures and sound and the session's
// announcement events, each with its time; answers with the events those
// cause. An alarm is raised when its rule holds and cleared when it no
// longer does; one that fires again within the flap hold of its last
// raise is held (not raised, counted) until the hold ends with the rule
// still holding.
class CAlarmEngine {
public:
    explicit CAlarmEngine(CWatchThresholds thresholds = {}) : m_thresholds(thresholds) {}

    void SetThresholds(const CWatchThresholds& thresholds) { m_thresholds = thresholds; }
    const CWatchThresholds& Thresholds() const { return m_thresholds; }

    // One report of the receiver for the session `key`.
    std::vector<CAlarmEvent> Figures(const std::string& key, int64_t nowMs, const CSessionFigures& figures,
                                     const std::vector<CMediaAnalysis>& analysis = {});
    // An announcement of the session was heard; `intervalMs` is the time
    // between its announcements (0: not known yet).
    std::vector<CAlarmEvent> Heard(const std::string& key, int64_t nowMs, int64_t intervalMs);
    std::vector<CAlarmEvent> Deleted(const std::string& key, int64_t nowMs);
    std::vector<CAlarmEvent> Expired(const std::string& key, int64_t nowMs);
    // The rules that depend on time alone (announcements stopped, holds that
    // ended); called about once a second.
    std::vector<CAlarmEvent> Tick(int64_t nowMs);

    // Acknowledges one active alarm (media -1 for a session alarm), or all.
    std::vector<CAlarmEvent> Acknowledge(const std::string& key, EAlarm alarm, int media, int64_t nowMs);
    std::vector<CAlarmEvent> AcknowledgeAll(int64_t nowMs);
    // The session is received again after a pause (its turn came): what
    // was heard before it does not count as silence now.
    void Resume(const std::string& key);
    // Stops watching the session: its alarms go without events.
    void Forget(const std::string& key);

    struct CActive {
        std::string session;
        EAlarm alarm;
        int media;
        int64_t raisedMs;
        bool acknowledged;
        uint64_t flaps;
        CAlarmFigures figures;
    };
    std::vector<CActive> Active() const;
    // Whether any rule of the session holds (raised or held): down for the
    // availability samples.
    bool InAlarm(const std::string& key) const;

private:
    using Key = std::tuple<std::string, int, int>; // session, alarm, media
    struct CState {
        bool active = false;
        bool held = false;
        bool acknowledged = false;
        bool condition = false;
        int64_t raisedMs = 0;
        int64_t lastRaiseMs = 0;
        bool everRaised = false;
        uint64_t flaps = 0;
        CAlarmFigures figures;
    };
    static constexpr int64_t kReceptionLossWindowMs = 10000;
    struct CPairSample {
        int64_t timeMs;
        uint64_t expected;
        uint64_t lost;
    };
    struct CMediaMemory {
        int64_t firstSeenMs = -1;
        std::vector<int> knownTypes;
        int64_t typeChangedMs = -1;
        std::deque<CPairSample> loss; // over a window other than reception's
    };
    struct CSessionMemory {
        std::map<int, CMediaMemory> media;
        std::map<std::pair<int, int>, std::deque<CPairSample>> pairs;
        int64_t lastHeardMs = -1;
        int64_t intervalMs = 0;
        bool deleted = false;
        bool expired = false;
    };

    void Update(const std::string& key, EAlarm alarm, int media, bool condition, int64_t nowMs,
                const CAlarmFigures& figures, std::vector<CAlarmEvent>& out);
    void Announcements(const std::string& key, CSessionMemory& memory, int64_t nowMs, std::vector<CAlarmEvent>& out);
    // Nothing while it cannot be known yet.
    std::optional<bool> Silent(CSessionMemory& memory, const CMediaFigures& m, int64_t nowMs) const;

    CWatchThresholds m_thresholds;
    std::map<Key, CState> m_states;
    std::map<std::string, CSessionMemory> m_sessions;
};
