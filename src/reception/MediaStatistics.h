#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "reception/ReceptionFigures.h"
#include "reception/ReceptionPlan.h"
#include "reception/RtpSource.h"
#include "reception/TsContinuity.h"

// When and from where a datagram came. The monotonic time drives rates and
// silence; the wall time (the kernel's receive stamp where there is one)
// drives the jitter, which only needs differences.
struct CArrival {
    int64_t monotonicNs = 0;
    int64_t wallNs = 0;
    uint32_t address = 0; // network byte order
    uint16_t port = 0;    // host byte order
    // An IPv6 sender's address (then `address` is unused); read during Feed only.
    const text::CIpv6Address* address6 = nullptr;
};

// The statistics of one media entry, fed one datagram at a time.
class CMediaStatistics {
public:
    static constexpr int64_t kSilentAfterNs = 3'000'000'000;
    static constexpr double kImpairedLoss = 0.01;
    static constexpr size_t kMaxSources = 8;
    static constexpr size_t kMaxSenders = 8;
    static constexpr size_t kHistorySeconds = 60;

    CMediaStatistics(const CMediaTarget& target, int64_t startNs);

    // What a valid RTP packet carried, for the merge of a redundant pair.
    struct CRtpSeen {
        bool valid = false;
        uint16_t sequence = 0;
    };
    CRtpSeen Feed(const uint8_t* data, size_t size, const CArrival& arrival);
    void SetKernelDrops(uint64_t drops) { m_kernelDrops = drops; }
    // The figures at `nowNs` (monotonic); also remembers the loss counts
    // the 10 s loss rate is measured against.
    CMediaFigures Figures(int64_t nowNs);

private:
    CRtpSource& SourceFor(uint32_t ssrc, uint16_t sequence);
    void FeedTransportStream(const uint8_t* data, size_t size);
    void AddBytes(int64_t second, size_t bytes);
    uint64_t BytesOfSecond(int64_t second) const;

    CMediaTarget m_target;
    int64_t m_startNs;
    uint64_t m_packets = 0;
    uint64_t m_bytes = 0;
    uint64_t m_malformed = 0;
    uint64_t m_kernelDrops = 0;
    int64_t m_lastPacketNs = -1;
    struct CSender {
        uint32_t address = 0;
        uint16_t port = 0;
        bool ipv6 = false;
        text::CIpv6Address address6{};
        bool operator==(const CSender&) const = default;
    };
    std::vector<CSender> m_senders;

    std::vector<std::unique_ptr<CRtpSource>> m_sources; // most recent last
    std::vector<uint32_t> m_ssrcsSeen;
    uint64_t m_ssrcChanges = 0;
    uint64_t m_retiredExpected = 0, m_retiredReceived = 0, m_retiredDuplicates = 0, m_retiredOutOfOrder = 0;
    uint32_t m_lastClockRate = 0;
    std::array<bool, 128> m_typeSeen{};
    std::vector<int> m_typesSeen;
    bool m_mismatch = false;

    std::unique_ptr<CTsContinuity> m_ts;

    struct CSecond {
        int64_t second = -1;
        uint64_t bytes = 0;
    };
    std::array<CSecond, 64> m_seconds{};
    struct CLossSample {
        int64_t ns;
        uint64_t expected;
        uint64_t lost;
    };
    std::deque<CLossSample> m_lossSamples;
};

// The loss of a redundant pair after merging: a sequence number counts as
// received when either leg brought it. The legs may run apart by up to the
// window of seen numbers.
class CDupMerge {
public:
    void Receive(uint16_t sequence);
    uint64_t Expected() const { return m_started ? m_max - m_base + 1 : 0; }
    uint64_t Received() const { return m_received; }
    uint64_t Lost() const { return Expected() > m_received ? Expected() - m_received : 0; }

private:
    bool m_started = false;
    uint64_t m_base = 0, m_max = 0, m_received = 0;
    CSequenceWindow m_seen;
};

// Every media entry of one watched session, with its redundant pairs.
class CSessionStatistics {
public:
    CSessionStatistics(const CReceptionPlan& plan, int64_t startNs);
    void Feed(size_t mediaIndex, const uint8_t* data, size_t size, const CArrival& arrival);
    CMediaStatistics& Media(size_t index) { return *m_media[index]; }
    size_t MediaCount() const { return m_media.size(); }
    CSessionFigures Figures(int64_t nowNs);

private:
    CReceptionPlan m_plan;
    std::vector<std::unique_ptr<CMediaStatistics>> m_media;
    std::vector<CDupMerge> m_merges; // parallel to m_plan.pairs
};
