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

// Whether a datagram on an RTP port is RTCP sent there (RFC 5761): its
// second byte is a packet type 200..204 (with the marker bit, 72..76 as an
// RTP payload type, which no RTP sender may use there).
bool IsMultiplexedRtcp(const uint8_t* data, size_t size);

// Sequence and jitter bookkeeping of one synchronisation source: the
// extended sequence number with probation and resynchronisation in the
// manner of RFC 3550 (appendix A.1), duplicates and late packets told apart
// by a window of seen numbers, and the interarrival jitter of appendix A.8.
//
// Where it departs from the appendix, and why:
// - the packets that pass probation are counted, whatever their order
//   (a sender whose packets always arrive in swapped pairs is validated);
// - a packet far behind the highest is placed by the window of seen
//   numbers before it is taken for a jump (at 100,000 packets/s, 100 places
//   is one millisecond of reordering);
// - a confirmed jump whose timestamp moved with the wall clock is a gap in
//   one stream, counted as loss; any other confirmed jump is a restart of
//   the sender, whose new sequence is counted afresh (the old counts stay);
// - duplicates are kept out of the received count.
class CRtpSource {
public:
    static constexpr int kMinSequential = 2;
    static constexpr uint16_t kMaxDropout = 3000;
    static constexpr uint16_t kMaxMisorder = 100;
    static constexpr uint32_t kSeqMod = 1u << 16;

    enum class EVerdict { Probation, New, Duplicate, OutOfOrder, Restart, Ignored };

    explicit CRtpSource(uint32_t ssrc);

    // One packet; `arrival` is in timestamp units of `clockRate` Hz (0: no
    // clock known, so no jitter).
    EVerdict Receive(uint16_t sequence, uint32_t timestamp, uint32_t arrival, uint32_t clockRate);

    uint32_t Ssrc() const { return m_ssrc; }
    bool Validated() const { return m_probation == 0; }
    uint64_t Expected() const { return m_priorExpected + (m_probation ? 0 : ExtendedMax() - m_baseSeq + 1); }
    uint64_t Received() const { return m_priorReceived + m_received; }
    uint64_t Lost() const
    {
        const uint64_t expected = Expected();
        return expected > Received() ? expected - Received() : 0;
    }
    uint64_t Duplicates() const { return m_duplicates; }
    uint64_t OutOfOrder() const { return m_outOfOrder; }
    // In timestamp units.
    double Jitter() const { return m_jitter; }
    uint64_t ExtendedMax() const { return m_cycles + m_maxSeq; }
    // The extended numbers the last packet made count as received: itself,
    // and the one before it that probation or a jump held back.
    size_t CountedNow(uint64_t (&numbers)[kMinSequential]) const
    {
        for (size_t k = 0; k < m_countedNow; ++k)
            numbers[k] = m_counted[k];
        return m_countedNow;
    }
    // Goes up by one each time the sequence restarts.
    uint32_t Epoch() const { return m_epoch; }
    // Starts the jitter afresh: the source was silent while another sent.
    void ResetJitter()
    {
        m_haveTransit = false;
        m_jitter = 0;
    }

private:
    EVerdict Probe(uint16_t sequence);
    void InitSequence(uint16_t sequence);
    bool JumpKeepsTime(uint32_t timestamp, uint32_t arrival, uint32_t clockRate) const;
    void UpdateJitter(uint32_t timestamp, uint32_t arrival);

    uint32_t m_ssrc;
    uint16_t m_maxSeq = 0;
    uint64_t m_cycles = 0;
    uint64_t m_baseSeq = 0;
    uint64_t m_floor = 0; // the lowest extended number a late packet may have
    uint32_t m_badSeq = kSeqMod + 1;
    int m_probation = kMinSequential;
    uint16_t m_probe[kMinSequential] = {}; // the numbers on probation
    uint64_t m_received = 0;
    uint64_t m_priorExpected = 0, m_priorReceived = 0; // of sequences before a restart
    uint64_t m_duplicates = 0;
    uint64_t m_outOfOrder = 0;
    uint64_t m_counted[kMinSequential] = {};
    size_t m_countedNow = 0;
    uint32_t m_epoch = 0;
    CSequenceWindow m_seen;

    // The newest in-order packet's timestamp and arrival: a jump is a gap
    // when the timestamp kept pace with the arrivals across it.
    uint32_t m_lastTimestamp = 0, m_lastArrival = 0;
    bool m_haveTransit = false;
    uint32_t m_transit = 0;
    double m_jitter = 0;
};
