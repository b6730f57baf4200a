#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "reception/DupMerge.h"
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
    static constexpr int64_t kJudgedOverNs = 10'000'000'000; // loss and payload types
    static constexpr double kImpairedLoss = 0.01;
    static constexpr size_t kMaxSources = 8;
    static constexpr size_t kMaxSenders = 8;
    static constexpr size_t kHistorySeconds = 60;

    CMediaStatistics(const CMediaTarget& target, int64_t startNs);
    ~CMediaStatistics();

    // The packets one datagram made count, for the merge of a redundant pair.
    struct CRtpSeen {
        size_t count = 0; // 0: none (not RTP, malformed, a copy, on probation, RTCP)
        CLegPacket packets[CRtpSource::kMinSequential];
    };
    // `seen`, when given (a leg of a redundant pair), learns the packets counted.
    void Feed(const uint8_t* data, size_t size, const CArrival& arrival, CRtpSeen* seen = nullptr);
    void SetKernelDrops(uint64_t drops) { m_kernelDrops = drops; }
    // The figures at `nowNs` (monotonic); also remembers the loss counts
    // the 10 s loss rate is measured against.
    CMediaFigures Figures(int64_t nowNs);

private:
    class CTsInOrder;

    CRtpSource& SourceFor(uint32_t ssrc);
    void FeedRtcp(const uint8_t* data, size_t size);
    void FeedTransportStream(const uint8_t* data, size_t size);
    void AddBytes(int64_t second, size_t bytes);
    uint64_t BytesOfSecond(int64_t second) const;

    CMediaTarget m_target;
    int64_t m_startNs;
    uint64_t m_packets = 0;
    uint64_t m_bytes = 0;
    uint64_t m_malformed = 0;
    uint64_t m_kernelDrops = 0;
    int64_t m_firstPacketNs = -1;
    int64_t m_lastPacketNs = -1;
    struct CSender {
        uint32_t address = 0;
        uint16_t port = 0;
        bool ipv6 = false;
        text::CIpv6Address address6{};
        // The IPv6 address is compared only where it is one: this runs for every datagram.
        bool operator==(const CSender& o) const
        {
            return address == o.address && port == o.port && ipv6 == o.ipv6 && (!ipv6 || address6 == o.address6);
        }
    };
    std::vector<CSender> m_senders;

    std::vector<std::unique_ptr<CRtpSource>> m_sources; // most recent last
    std::vector<uint32_t> m_ssrcsSeen;
    uint64_t m_ssrcChanges = 0;
    const CRtpSource* m_lastSource = nullptr; // of the last packet taken
    // The source of the last packet counted, and its epoch then: a change
    // of either starts a new generation for the merge and the stream's order.
    const CRtpSource* m_countedSource = nullptr;
    uint32_t m_countedEpoch = 0;
    uint32_t m_generation = 0;
    uint64_t m_retiredExpected = 0, m_retiredReceived = 0, m_retiredDuplicates = 0, m_retiredOutOfOrder = 0;
    uint32_t m_lastClockRate = 0;
    std::array<bool, 128> m_typeSeen{};
    std::vector<int> m_typesSeen;
    int64_t m_lastUnannouncedNs = -1; // the last packet of a type not announced

    // What the sender reports say (RTCP on the RTP port).
    uint64_t m_rtcpPackets = 0;
    uint64_t m_senderReports = 0;
    uint32_t m_reportSsrc = 0;
    uint32_t m_firstReportCount = 0, m_lastReportCount = 0;
    uint64_t m_firstReportReceived = 0, m_lastReportReceived = 0;

    std::unique_ptr<CTsContinuity> m_ts;
    std::unique_ptr<CTsInOrder> m_tsOrder;

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
    std::vector<std::unique_ptr<CDupMerge>> m_merges; // parallel to m_plan.pairs
    std::vector<bool> m_inPair;                        // per media entry
};
