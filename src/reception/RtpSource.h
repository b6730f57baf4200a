#pragma once
#include <cstddef>
#include <cstdint>

#include "reception/SequenceWindow.h"

// The fixed RTP header fields the statistics use.
struct CRtpHeader {
    uint8_t payloadType = 0;
    bool marker = false;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    size_t payloadOffset = 0; // first payload byte
    size_t payloadSize = 0;   // without padding
};

enum class ERtpParse { Ok, Short, WrongVersion, HeaderPastEnd, PaddingPastEnd };

// Reads the header of an RTP packet; only `Ok` fills `header`.
ERtpParse ParseRtpHeader(const uint8_t* data, size_t size, CRtpHeader& header);

// Sequence and jitter bookkeeping of one synchronisation source: the
// extended sequence number, probation and resynchronisation of RFC 3550
// (appendix A.1), duplicates and late packets told apart by a window of
// seen numbers, and the interarrival jitter of appendix A.8.
class CRtpSource {
public:
    static constexpr int kMinSequential = 2;
    static constexpr uint16_t kMaxDropout = 3000;
    static constexpr uint16_t kMaxMisorder = 100;
    static constexpr uint32_t kSeqMod = 1u << 16;

    enum class EVerdict { Probation, New, Duplicate, OutOfOrder, Restart, Ignored };

    explicit CRtpSource(uint32_t ssrc, uint16_t firstSequence);

    // One packet; `arrival` is in timestamp units (0 clock rate: no jitter).
    EVerdict Receive(uint16_t sequence, uint32_t timestamp, uint32_t arrival, bool haveClock);

    uint32_t Ssrc() const { return m_ssrc; }
    bool Validated() const { return m_probation == 0; }
    uint64_t Expected() const { return m_probation ? 0 : ExtendedMax() - m_baseSeq + 1; }
    uint64_t Received() const { return m_received; }
    uint64_t Lost() const
    {
        const uint64_t expected = Expected();
        return expected > m_received ? expected - m_received : 0;
    }
    uint64_t Duplicates() const { return m_duplicates; }
    uint64_t OutOfOrder() const { return m_outOfOrder; }
    // In timestamp units.
    double Jitter() const { return m_jitter; }
    uint64_t ExtendedMax() const { return m_cycles + m_maxSeq; }

private:
    void InitSequence(uint16_t sequence);
    void UpdateJitter(uint32_t timestamp, uint32_t arrival);

    uint32_t m_ssrc;
    uint16_t m_maxSeq = 0;
    uint64_t m_cycles = 0;
    uint64_t m_baseSeq = 0;
    uint64_t m_floor = 0; // the lowest extended number a late packet may have
    uint32_t m_badSeq = kSeqMod + 1;
    int m_probation = kMinSequential;
    uint64_t m_received = 0;
    uint64_t m_duplicates = 0;
    uint64_t m_outOfOrder = 0;
    CSequenceWindow m_seen;

    bool m_haveTransit = false;
    int32_t m_transit = 0;
    double m_jitter = 0;
};
