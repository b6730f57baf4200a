#pragma once
#include <cstdint>
#include <optional>
#include <vector>

// One packet a leg of a redundant pair counted: where it stands in the
// leg's own extended sequence, and what identifies it across the legs.
struct CLegPacket {
    uint32_t generation = 0; // changes when the leg's source changes or restarts
    uint32_t ssrc = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    bool timestampKnown = true; // false for a packet counted late (held back by probation or a jump)
    uint64_t extended = 0;   // in the leg's own source state
    int64_t arrivalNs = 0;   // monotonic
};

// The loss of a redundant pair after merging: a packet counts as received
// when either leg brought it. Each leg is placed by its own extended
// sequence; its place in the merge is worked out again whenever its source
// changes or restarts. Both legs carry the same sequence number and
// timestamp for the same packet, so the legs' packets at one place are
// compared: when they differ, the legs are not aligned and no merged
// figure is given. The legs may run up to kWindow packets apart.
class CDupMerge {
public:
    static constexpr uint64_t kWindow = 32768; // 273 ms at 120,000 packets/s

    CDupMerge();
    void Receive(int leg, const CLegPacket& packet);

    uint64_t Expected() const;
    uint64_t Received() const;
    uint64_t Lost() const
    {
        const uint64_t expected = Expected(), received = Received();
        return expected > received ? expected - received : 0;
    }
    // Whether the legs' packets at the same place agree (true until compared).
    bool Aligned() const;
    // Leg B's arrival less leg A's for the same packet: the last one measured
    // and the largest in size; empty until a packet came on both.
    std::optional<double> SkewMs() const { return m_skewNs ? std::optional<double>(*m_skewNs / 1e6) : std::nullopt; }
    std::optional<double> MaxSkewMs() const
    {
        return m_skewNs ? std::optional<double>(m_maxSkewNs / 1e6) : std::nullopt;
    }

private:
    // A stretch of the sender's numbering; a restart of the sender opens another.
    struct CEpoch {
        uint32_t id = 0;
        bool started = false;
        uint64_t base = 0, max = 0, received = 0;
        uint32_t maxTimestamp = 0;
        uint64_t Expected() const { return started ? max - base + 1 : 0; }
    };
    struct CLegMap {
        bool valid = false;
        uint32_t generation = 0;
        uint32_t epoch = 0;
        uint32_t ssrc = 0;
        int64_t offset = 0; // place in the merge less the leg's extended number
    };
    struct CSlot {
        uint64_t place = UINT64_MAX;
        int64_t arrivalNs = 0;
        uint32_t timestamp = 0;
        uint8_t legs = 0;
        bool known = false; // the timestamp is the packet's own
    };

    void Map(int leg, const CLegPacket& packet);
    CEpoch* EpochOf(uint32_t id);
    void OpenEpoch(uint64_t place);
    void Compare(bool same);

    std::vector<CSlot> m_slots;
    CEpoch m_current, m_previous;
    uint32_t m_nextEpoch = 1;
    uint64_t m_retiredExpected = 0, m_retiredReceived = 0;
    CLegMap m_legs[2];
    uint32_t m_comparisons = 0; // the last 32 comparisons, 1 for a disagreement
    uint32_t m_compared = 0;
    std::optional<int64_t> m_skewNs;
    int64_t m_maxSkewNs = 0;
};
