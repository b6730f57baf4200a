#include "watch/AlarmEngine.h"

#include <algorithm>

namespace {

CAlarmFigures MediaFigures(const CMediaFigures& m, std::string detail = {})
{
    CAlarmFigures f;
    f.msSinceLastPacket = m.msSinceLastPacket;
    f.lossRate = m.lossRate10s;
    f.bitRate = m.bitRate1s;
    f.detail = std::move(detail);
    return f;
}

std::string TypeList(const std::vector<int>& types)
{
    std::string out;
    for (int type : types)
        out += (out.empty() ? "" : ", ") + std::to_string(type);
    return out;
}

const CMediaFigures* FindMedia(const CSessionFigures& figures, int index)
{
    for (const CMediaFigures& m : figures.media)
        if (m.mediaIndex == index)
            return &m;
    return nullptr;
}

} // namespace

void CAlarmEngine::Update(const std::string& key, EAlarm alarm, int media, bool condition, int64_t nowMs,
                          const CAlarmFigures& figures, std::vector<CAlarmEvent>& out)
{
    auto it = m_states.find({key, int(alarm), media});
    if (it == m_states.end()) {
        if (!condition)
            return;
        it = m_states.emplace(Key{key, int(alarm), media}, CState{}).first;
    }
    CState& s = it->second;
    s.condition = condition;
    auto emit = [&](EAlarmEventKind kind) {
        out.push_back({kind, alarm, key, media, nowMs, s.flaps, s.figures});
    };
    if (condition) {
        s.figures = figures;
        if (s.active)
            return;
        if (!s.everRaised || nowMs - s.lastRaiseMs >= m_thresholds.flapHoldMs) {
            s.active = true;
            s.held = false;
            s.acknowledged = false;
            s.everRaised = true;
            s.raisedMs = s.lastRaiseMs = nowMs;
            emit(EAlarmEventKind::Raise);
        } else if (!s.held) {
            s.held = true;
            ++s.flaps;
            emit(EAlarmEventKind::Held);
        }
        return;
    }
    s.held = false;
    if (s.active) {
        s.active = false;
        s.figures = figures;
        emit(EAlarmEventKind::Clear);
    }
}

std::optional<bool> CAlarmEngine::Silent(CSessionMemory& memory, const CMediaFigures& m, int64_t nowMs) const
{
    if (m.msSinceLastPacket >= 0)
        return m.msSinceLastPacket >= m_thresholds.silentMs;
    // Nothing heard since watching began (or resumed): not known until the
    // threshold has passed, then silent.
    CMediaMemory& media = memory.media[m.mediaIndex];
    if (media.firstSeenMs < 0)
        media.firstSeenMs = nowMs;
    if (nowMs - media.firstSeenMs < m_thresholds.silentMs)
        return std::nullopt;
    return true;
}

std::vector<CAlarmEvent> CAlarmEngine::Figures(const std::string& key, int64_t nowMs, const CSessionFigures& figures,
                                               const std::vector<CMediaAnalysis>& analysis)
{
    std::vector<CAlarmEvent> out;
    CSessionMemory& memory = m_sessions[key];
    // The legs of an aligned redundant pair are judged together: one leg
    // down is redundancy lost, both down is the stream silent, and a loss
    // the other leg repairs is no loss.
    std::vector<int> pairLegs;
    for (const CDupFigures& pair : figures.pairs) {
        const CMediaFigures* a = FindMedia(figures, pair.legA);
        const CMediaFigures* b = FindMedia(figures, pair.legB);
        if (!a || !b || !pair.aligned || a->state == EReceptionState::NotWatched
            || b->state == EReceptionState::NotWatched)
            continue;
        pairLegs.push_back(pair.legA);
        pairLegs.push_back(pair.legB);
        const std::optional<bool> silentA = Silent(memory, *a, nowMs);
        const std::optional<bool> silentB = Silent(memory, *b, nowMs);
        if (silentA && silentB) {
            const CMediaFigures& down = *silentA ? *a : *b;
            Update(key, EAlarm::RedundancyLost, pair.legA, *silentA != *silentB, nowMs,
                   MediaFigures(down, "leg " + std::to_string(down.mediaIndex) + " silent"), out);
            Update(key, EAlarm::StreamSilent, pair.legA, *silentA && *silentB, nowMs,
                   MediaFigures(*a, "both legs silent"), out);
        }
        auto& window = memory.pairs[{pair.legA, pair.legB}];
        window.push_back({nowMs, pair.expected, pair.lost});
        // The base is the latest sample at least a window old.
        while (window.size() > 1 && window[1].timeMs <= nowMs - m_thresholds.lossWindowMs)
            window.pop_front();
        const uint64_t expected = pair.expected - window.front().expected;
        const uint64_t lost = pair.lost >= window.front().lost ? pair.lost - window.front().lost : 0;
        CAlarmFigures loss = MediaFigures(*a, "merged");
        loss.lossRate = expected ? double(lost) / double(expected) : 0;
        Update(key, EAlarm::Loss, pair.legA, loss.lossRate > m_thresholds.lossRatio, nowMs, loss, out);
    }
    for (const CMediaFigures& m : figures.media) {
        if (m.state == EReceptionState::NotWatched)
            continue; // waiting for its turn: nothing is known of it
        const bool leg = std::find(pairLegs.begin(), pairLegs.end(), m.mediaIndex) != pairLegs.end();
        if (!leg) {
            if (const std::optional<bool> silent = Silent(memory, m, nowMs))
                Update(key, EAlarm::StreamSilent, m.mediaIndex, *silent, nowMs, MediaFigures(m), out);
            CAlarmFigures loss = MediaFigures(m);
            if (m_thresholds.lossWindowMs != kReceptionLossWindowMs) {
                // Reception counts the last 10 s; another window is counted here from the totals.
                auto& window = memory.media[m.mediaIndex].loss;
                window.push_back({nowMs, m.expected, m.lost});
                while (window.size() > 1 && window[1].timeMs <= nowMs - m_thresholds.lossWindowMs)
                    window.pop_front();
                const uint64_t expected = m.expected - std::min(m.expected, window.front().expected);
                const uint64_t lost = m.lost - std::min(m.lost, window.front().lost);
                loss.lossRate = expected ? double(lost) / double(expected) : 0;
            }
            Update(key, EAlarm::Loss, m.mediaIndex, m.rtp && loss.lossRate > m_thresholds.lossRatio, nowMs, loss, out);
        }
        CMediaMemory& media = memory.media[m.mediaIndex];
        if (media.knownTypes.empty()) {
            media.knownTypes = m.payloadTypes;
        } else {
            for (int type : m.payloadTypes) {
                if (std::find(media.knownTypes.begin(), media.knownTypes.end(), type) == media.knownTypes.end()) {
                    media.knownTypes.push_back(type);
                    media.typeChangedMs = nowMs;
                }
            }
        }
        const bool changed = m.payloadMismatch
            || (media.typeChangedMs >= 0 && nowMs - media.typeChangedMs < m_thresholds.payloadHoldMs);
        Update(key, EAlarm::PayloadChanged, m.mediaIndex, changed, nowMs,
               MediaFigures(m, "payload types " + TypeList(m.payloadTypes)), out);
    }
    // What the decoded picture and sound show; a rule switched off holds no more.
    std::vector<std::pair<int, int>> judged; // alarm, media
    for (const CMediaAnalysis& a : analysis) {
        CAlarmFigures f;
        if (const CMediaFigures* m = FindMedia(figures, a.mediaIndex))
            f = MediaFigures(*m);
        const auto judge = [&](EAlarm alarm, bool condition) {
            Update(key, alarm, a.mediaIndex, condition, nowMs, f, out);
            judged.emplace_back(int(alarm), a.mediaIndex);
        };
        if (a.black)
            judge(EAlarm::PictureBlack, m_thresholds.black && *a.black);
        if (a.frozen)
            judge(EAlarm::PictureFrozen, m_thresholds.frozen && *a.frozen);
        if (a.audioSilent)
            judge(EAlarm::AudioSilent, m_thresholds.audioSilent && *a.audioSilent);
        if (a.loudness) {
            f.loudness = a.loudness;
            judge(EAlarm::Loudness, *a.loudness < m_thresholds.loudnessMin || *a.loudness > m_thresholds.loudnessMax);
        }
    }
    // A picture or sound no longer decoded (its page closed) is not known to
    // be wrong any more: its alarms clear, saying why, rather than stay
    // raised with nothing left to clear them.
    std::vector<Key> undecoded;
    for (auto it = m_states.lower_bound({key, 0, -2}); it != m_states.end() && std::get<0>(it->first) == key; ++it) {
        const auto alarm = EAlarm(std::get<1>(it->first));
        const bool fromAnalysis = alarm == EAlarm::PictureBlack || alarm == EAlarm::PictureFrozen
            || alarm == EAlarm::AudioSilent || alarm == EAlarm::Loudness;
        if (fromAnalysis && it->second.active
            && std::find(judged.begin(), judged.end(), std::pair(int(alarm), std::get<2>(it->first))) == judged.end())
            undecoded.push_back(it->first);
    }
    for (const Key& k : undecoded) {
        CAlarmFigures f;
        f.detail = "no longer decoded";
        Update(key, EAlarm(std::get<1>(k)), std::get<2>(k), false, nowMs, f, out);
    }
    return out;
}

void CAlarmEngine::Announcements(const std::string& key, CSessionMemory& memory, int64_t nowMs,
                                 std::vector<CAlarmEvent>& out)
{
    const bool stopped = memory.intervalMs > 0 && memory.lastHeardMs >= 0 && !memory.deleted && !memory.expired
        && nowMs - memory.lastHeardMs > int64_t(m_thresholds.announcementIntervals) * memory.intervalMs;
    CAlarmFigures f;
    f.detail = "last heard " + (memory.lastHeardMs >= 0 ? IsoTimeMs(memory.lastHeardMs) : std::string("never"));
    Update(key, EAlarm::AnnouncementsStopped, -1, stopped, nowMs, f, out);
    Update(key, EAlarm::SessionDeleted, -1, memory.deleted, nowMs, f, out);
    Update(key, EAlarm::SessionExpired, -1, memory.expired, nowMs, f, out);
}

std::vector<CAlarmEvent> CAlarmEngine::Heard(const std::string& key, int64_t nowMs, int64_t intervalMs)
{
    std::vector<CAlarmEvent> out;
    CSessionMemory& memory = m_sessions[key];
    memory.lastHeardMs = nowMs;
    if (intervalMs > 0)
        memory.intervalMs = intervalMs;
    memory.deleted = memory.expired = false;
    Announcements(key, memory, nowMs, out);
    return out;
}

std::vector<CAlarmEvent> CAlarmEngine::Deleted(const std::string& key, int64_t nowMs)
{
    std::vector<CAlarmEvent> out;
    CSessionMemory& memory = m_sessions[key];
    memory.deleted = true;
    Announcements(key, memory, nowMs, out);
    return out;
}

std::vector<CAlarmEvent> CAlarmEngine::Expired(const std::string& key, int64_t nowMs)
{
    std::vector<CAlarmEvent> out;
    CSessionMemory& memory = m_sessions[key];
    memory.expired = true;
    Announcements(key, memory, nowMs, out);
    return out;
}

std::vector<CAlarmEvent> CAlarmEngine::Tick(int64_t nowMs)
{
    std::vector<CAlarmEvent> out;
    for (auto& [key, memory] : m_sessions)
        Announcements(key, memory, nowMs, out);
    // A held alarm whose rule still holds is raised once its hold ends.
    for (auto& [k, s] : m_states) {
        if (s.held && s.condition && nowMs - s.lastRaiseMs >= m_thresholds.flapHoldMs)
            Update(std::get<0>(k), EAlarm(std::get<1>(k)), std::get<2>(k), true, nowMs, s.figures, out);
    }
    return out;
}

std::vector<CAlarmEvent> CAlarmEngine::Acknowledge(const std::string& key, EAlarm alarm, int media, int64_t nowMs)
{
    auto it = m_states.find({key, int(alarm), media});
    if (it == m_states.end() || !it->second.active || it->second.acknowledged)
        return {};
    it->second.acknowledged = true;
    return {{EAlarmEventKind::Acknowledge, alarm, key, media, nowMs, it->second.flaps, it->second.figures}};
}

std::vector<CAlarmEvent> CAlarmEngine::AcknowledgeAll(int64_t nowMs)
{
    std::vector<CAlarmEvent> out;
    for (auto& [k, s] : m_states) {
        if (s.active && !s.acknowledged) {
            s.acknowledged = true;
            out.push_back({EAlarmEventKind::Acknowledge, EAlarm(std::get<1>(k)), std::get<0>(k), std::get<2>(k), nowMs,
                           s.flaps, s.figures});
        }
    }
    return out;
}

void CAlarmEngine::Resume(const std::string& key)
{
    auto it = m_sessions.find(key);
    if (it == m_sessions.end())
        return;
    for (auto& [index, media] : it->second.media) {
        media.firstSeenMs = -1;
        media.loss.clear(); // a new turn counts from nothing
    }
    it->second.pairs.clear();
}

void CAlarmEngine::Forget(const std::string& key)
{
    m_sessions.erase(key);
    std::erase_if(m_states, [&](const auto& entry) { return std::get<0>(entry.first) == key; });
}

std::vector<CAlarmEngine::CActive> CAlarmEngine::Active() const
{
    std::vector<CActive> out;
    for (const auto& [k, s] : m_states)
        if (s.active)
            out.push_back({std::get<0>(k), EAlarm(std::get<1>(k)), std::get<2>(k), s.raisedMs, s.acknowledged, s.flaps,
                           s.figures});
    return out;
}

bool CAlarmEngine::InAlarm(const std::string& key) const
{
    for (auto it = m_states.lower_bound({key, 0, -2}); it != m_states.end() && std::get<0>(it->first) == key; ++it)
        if (it->second.active || it->second.held)
            return true;
    return false;
}
