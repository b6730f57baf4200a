#include "reception/DupMerge.h"

#include <bit>
#include <cstdlib>

namespace {
// Where the first epoch starts, and how far apart epochs lie: a place is
// never used by two epochs. Both are whole multiples of 2^16.
constexpr uint64_t kOrigin = uint64_t{1} << 40;
constexpr uint64_t kEpochGap = uint64_t{1} << 20;
} // namespace

CDupMerge::CDupMerge() : m_slots(kWindow) {}

CDupMerge::CEpoch* CDupMerge::EpochOf(uint32_t id)
{
    if (m_current.started && m_current.id == id)
        return &m_current;
    if (m_previous.started && m_previous.id == id)
        return &m_previous;
    return nullptr;
}

void CDupMerge::OpenEpoch(uint64_t place)
{
    if (m_previous.started) {
        m_retiredExpected += m_previous.Expected();
        m_retiredReceived += m_previous.received;
    }
    m_previous = m_current;
    m_current = CEpoch{};
    m_current.id = m_nextEpoch++;
    m_current.started = true;
    m_current.base = m_current.max = place;
}

void CDupMerge::Compare(bool same)
{
    m_comparisons = m_comparisons << 1 | (same ? 0u : 1u);
    ++m_compared;
}

bool CDupMerge::Aligned() const
{
    // Most of the recent comparisons must agree; one odd packet is not a verdict.
    const int looked = m_compared < 32 ? int(m_compared) : 32;
    const uint32_t mask = looked == 32 ? ~0u : (1u << looked) - 1;
    return std::popcount(m_comparisons & mask) * 2 <= looked;
}

void CDupMerge::Map(int leg, const CLegPacket& p)
{
    CLegMap& map = m_legs[leg];
    const CLegMap& other = m_legs[1 - leg];
    map.valid = true;
    map.generation = p.generation;
    map.ssrc = p.ssrc;
    if (m_current.started && other.valid && other.epoch == m_current.id) {
        // Both legs number the packets alike: the place nearest the newest
        // whose number is this packet's.
        const uint64_t place = m_current.max + int16_t(uint16_t(p.sequence - uint16_t(m_current.max)));
        const CSlot& slot = m_slots[place % kWindow];
        bool sameSender;
        if (slot.place == place && slot.known && p.timestampKnown)
            sameSender = slot.timestamp == p.timestamp || p.ssrc == other.ssrc;
        else
            sameSender = p.ssrc == other.ssrc
                         || std::abs(int64_t(int32_t(p.timestamp - m_current.maxTimestamp))) < (int64_t{1} << 22);
        if (sameSender) {
            map.epoch = m_current.id;
            map.offset = int64_t(place) - int64_t(p.extended);
            return;
        }
    }
    // The first packet, or the sender started again: a new stretch, where
    // places keep the packets' numbers in their low 16 bits.
    const uint64_t place = ((m_current.started ? m_current.max + kEpochGap : kOrigin) & ~uint64_t{0xFFFF}) + p.sequence;
    OpenEpoch(place);
    m_current.maxTimestamp = p.timestamp;
    map.epoch = m_current.id;
    map.offset = int64_t(place) - int64_t(p.extended);
}

void CDupMerge::Receive(int leg, const CLegPacket& p)
{
    if (!m_legs[leg].valid || m_legs[leg].generation != p.generation)
        Map(leg, p);
    CEpoch* epoch = EpochOf(m_legs[leg].epoch);
    if (!epoch)
        return; // a leg still sending what an older epoch numbered
    const uint64_t place = uint64_t(int64_t(p.extended) + m_legs[leg].offset);
    if (place + kWindow <= epoch->max)
        return; // too far behind to be told from a packet already counted
    if (place < epoch->base) {
        if (epoch->base - place >= kWindow)
            return;
        // The other leg began a little later in the numbering: the merge begins here.
        epoch->base = place;
    }
    CSlot& slot = m_slots[place % kWindow];
    const uint8_t bit = uint8_t(1u << leg);
    if (slot.place != place) {
        slot = CSlot{place, p.arrivalNs, p.timestamp, bit, p.timestampKnown};
        ++epoch->received;
    } else if (!(slot.legs & bit)) {
        slot.legs |= bit;
        if (slot.known && p.timestampKnown) {
            Compare(slot.timestamp == p.timestamp);
            const int64_t skew = leg == 1 ? p.arrivalNs - slot.arrivalNs : slot.arrivalNs - p.arrivalNs;
            m_skewNs = skew;
            if (std::llabs(skew) > std::llabs(m_maxSkewNs))
                m_maxSkewNs = skew;
        }
    }
    if (place > epoch->max) {
        epoch->max = place;
        epoch->maxTimestamp = p.timestamp;
    }
}

uint64_t CDupMerge::Expected() const
{
    return m_retiredExpected + m_previous.Expected() + m_current.Expected();
}

uint64_t CDupMerge::Received() const
{
    return m_retiredReceived + (m_previous.started ? m_previous.received : 0)
           + (m_current.started ? m_current.received : 0);
}
