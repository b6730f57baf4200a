#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "reception/ReceptionFigures.h"

// Continuity counters of the MPEG transport stream packets found in a
// payload: per PID, the counter must step by one from one packet with
// payload to the next. Packets without payload keep the counter, a packet
// may be repeated once, a set discontinuity indicator forgives the step,
// and the null PID is not counted.
class CTsContinuity {
public:
    static constexpr size_t kPacketSize = 188;
    static constexpr uint16_t kNullPid = 0x1FFF;

    // Whether a payload looks like whole transport stream packets.
    static bool LooksLikeTs(const uint8_t* data, size_t size)
    {
        return size >= kPacketSize && size % kPacketSize == 0 && data[0] == 0x47;
    }

    // The packets of one payload; returns false (and counts nothing more)
    // at a packet without the sync byte or at a size that is not whole packets.
    bool Feed(const uint8_t* data, size_t size);

    uint64_t Packets() const { return m_packets; }
    uint64_t Errors() const { return m_errors; }
    uint64_t SyncErrors() const { return m_syncErrors; }
    // Every PID seen, in the order first seen.
    const std::vector<CPidFigures>& Pids() const { return m_pids; }

private:
    struct CPidState {
        uint8_t lastCounter = 0;
        bool haveCounter = false;
        bool repeated = false; // the last packet was the one allowed repeat
    };
    void FeedPacket(const uint8_t* p);

    uint64_t m_packets = 0;
    uint64_t m_errors = 0;
    uint64_t m_syncErrors = 0;
    std::vector<CPidFigures> m_pids;
    std::vector<CPidState> m_states;           // parallel to m_pids
    std::unique_ptr<uint16_t[]> m_slotOfPid;   // 8192 entries; 0 = not seen, else index + 1
};
