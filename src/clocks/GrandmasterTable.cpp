#include "clocks/GrandmasterTable.h"

#include "clocks/PtpAnnounce.h"
#include "sdp/SDPObject.h"

#include <algorithm>

int64_t GrandmasterExpiry(int logAnnounceInterval)
{
    // 0x7F is "not given" in the header; the default profile's interval is 2 s.
    if (logAnnounceInterval == 127)
        logAnnounceInterval = 1;
    const int log = std::clamp(logAnnounceInterval, -7, 4);
    const double interval = log >= 0 ? double(1 << log) : 1.0 / double(1 << -log);
    return std::clamp(int64_t(3 * interval), int64_t{10}, int64_t{48});
}

void CGrandmasterTable::Heard(const CPtpAnnounce& announce, const std::string& source, int64_t now)
{
    const auto key = std::make_tuple(announce.domain, ClockIdentityText(announce.grandmaster));
    auto found = m_entries.find(key);
    // A boundary clock passes its grandmaster's Announce on with one more
    // step: the nearest port that is still heard is the one kept.
    if (found != m_entries.end() && announce.stepsRemoved > found->second.stepsRemoved &&
        now - found->second.lastHeard < found->second.expiresAfter)
        return;
    if (found == m_entries.end() && m_entries.size() >= kMaxEntries) {
        auto oldest = std::min_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
            return a.second.lastHeard < b.second.lastHeard;
        });
        m_entries.erase(oldest);
    }
    CHeardGrandmaster& g = m_entries[key];
    g.gmid = std::get<1>(key);
    g.domain = announce.domain;
    g.priority1 = announce.priority1;
    g.priority2 = announce.priority2;
    g.clockClass = announce.clockClass;
    g.clockAccuracy = announce.clockAccuracy;
    g.offsetScaledLogVariance = announce.offsetScaledLogVariance;
    g.stepsRemoved = announce.stepsRemoved;
    g.timeSource = announce.timeSource;
    g.source = source;
    g.lastHeard = now;
    g.expiresAfter = GrandmasterExpiry(announce.logMessageInterval);
}

void CGrandmasterTable::Expire(int64_t now)
{
    std::erase_if(m_entries, [now](const auto& entry) {
        return now - entry.second.lastHeard > entry.second.expiresAfter;
    });
}

std::vector<CHeardGrandmaster> CGrandmasterTable::List() const
{
    std::vector<CHeardGrandmaster> list;
    list.reserve(m_entries.size());
    for (const auto& [key, g] : m_entries)
        list.push_back(g);
    return list;
}

CClockMatch MatchClock(const CPtpReference& reference, const std::vector<CHeardGrandmaster>& heard, bool listening)
{
    CClockMatch match;
    const bool announces = reference.version == "IEEE1588-2008" || reference.version == "IEEE1588-2019";
    if (!listening || !announces || reference.gmid.empty())
        return match;
    match.state = EClockState::NotOnNetwork;
    for (const CHeardGrandmaster& g : heard) {
        if (g.gmid != reference.gmid)
            continue;
        if (!reference.domain || *reference.domain == g.domain)
            return {EClockState::Heard, g.domain};
        match = {EClockState::HeardInOtherDomain, g.domain};
    }
    return match;
}

std::vector<CMediaPtpClock> MediaPtpClocks(const CSDPObject& record)
{
    std::vector<CMediaPtpClock> clocks;
    for (size_t i = 0; i < record.media.size(); ++i) {
        const auto reference = ReadStudioAttributes(record, record.media[i]).referenceClock;
        if (reference && reference->ptp)
            clocks.push_back({i, *reference->ptp});
    }
    return clocks;
}

std::string ClockStateText(const CClockMatch& match)
{
    switch (match.state) {
    case EClockState::Heard:
        return "clock heard";
    case EClockState::NotOnNetwork:
        return "clock not on this network";
    case EClockState::HeardInOtherDomain:
        return "clock heard in domain " + std::to_string(match.domain);
    case EClockState::Unknown:
        break;
    }
    return {};
}

const char* ClockStateKey(EClockState state)
{
    switch (state) {
    case EClockState::Heard:
        return "heard";
    case EClockState::NotOnNetwork:
        return "not_on_network";
    case EClockState::HeardInOtherDomain:
        return "other_domain";
    case EClockState::Unknown:
        break;
    }
    return "unknown";
}
