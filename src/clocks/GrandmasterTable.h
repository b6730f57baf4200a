#pragma once
// The grandmasters heard on the network, per PTP domain, and whether the
// clock a stream names is among them.
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "sdp/StudioAttributes.h"

class CSDPObject;
struct CPtpAnnounce;

struct CHeardGrandmaster {
    std::string gmid;           // "00-1D-C1-FF-FE-12-34-56"
    int domain = 0;
    int priority1 = 0;
    int priority2 = 0;
    int clockClass = 0;
    int clockAccuracy = 0;
    int offsetScaledLogVariance = 0;
    int stepsRemoved = 0;
    int timeSource = 0;
    std::string source;         // the address the Announce came from
    int64_t lastHeard = 0;      // Unix seconds
    int64_t expiresAfter = 0;   // seconds without an Announce before it is forgotten
};

// A grandmaster is forgotten when three of its own announce intervals pass
// without a word (the receipt timeout PTP ports use to declare a master
// lost), but never sooner than 10 s, so that a few multicast datagrams lost
// on a busy link do not make it come and go, and never later than 48 s
// (three of the longest interval the profiles allow, 16 s).
int64_t GrandmasterExpiry(int logAnnounceInterval);

class CGrandmasterTable {
public:
    // At most this many grandmasters are kept: the table is filled from
    // datagrams anyone may send, so the one heard longest ago gives way.
    static constexpr size_t kMaxEntries = 256;

    void Heard(const CPtpAnnounce& announce, const std::string& source, int64_t now);
    // Forgets the grandmasters not heard for their expiry.
    void Expire(int64_t now);
    // Every grandmaster kept, by domain then identity.
    std::vector<CHeardGrandmaster> List() const;

private:
    std::map<std::tuple<int, std::string>, CHeardGrandmaster> m_entries;
};

// Whether the clock a stream names is on the network.
enum class EClockState {
    Unknown,            // nothing to tell: not listening, or a clock we cannot hear
    Heard,              // "clock heard"
    NotOnNetwork,       // "clock not on this network"
    HeardInOtherDomain, // "clock heard in domain N"
};

struct CClockMatch {
    EClockState state = EClockState::Unknown;
    int domain = -1;    // the domain it was heard in (Heard, HeardInOtherDomain)
};

// `listening`: the Announce port is open and has been for long enough to
// have heard every grandmaster there is. A reference without a domain
// matches the grandmaster in any domain. IEEE 1588-2002 clocks send no
// Announce and IEEE 802.1AS ones speak below IP: those stay Unknown.
CClockMatch MatchClock(const CPtpReference& reference, const std::vector<CHeardGrandmaster>& heard, bool listening);

// The PTP clock each media entry of `record` names (media level first).
struct CMediaPtpClock {
    size_t mediaIndex = 0;
    CPtpReference ptp;
};
std::vector<CMediaPtpClock> MediaPtpClocks(const CSDPObject& record);

// "clock heard", "clock not on this network", "clock heard in domain N";
// empty for Unknown.
std::string ClockStateText(const CClockMatch& match);
// "heard", "not_on_network", "other_domain", "unknown".
const char* ClockStateKey(EClockState state);
