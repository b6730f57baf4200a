#include "reception/RtpSource.h"

ERtpParse ParseRtpHeader(const uint8_t* data, size_t size, CRtpHeader& header)
{
    if (size < 12)
        return ERtpParse::Short;
    if ((data[0] >> 6) != 2)
        return ERtpParse::WrongVersion;
    size_t offset = 12 + size_t(data[0] & 0x0F) * 4;
    if (offset > size)
        return ERtpParse::HeaderPastEnd;
    if (data[0] & 0x10) {
        if (offset + 4 > size)
            return ERtpParse::HeaderPastEnd;
        const size_t words = size_t(data[offset + 2]) << 8 | data[offset + 3];
        offset += 4 + words * 4;
        if (offset > size)
            return ERtpParse::HeaderPastEnd;
    }
    size_t end = size;
    if (data[0] & 0x20) {
        const size_t padding = data[size - 1];
        // The count includes its own byte, so 0 is as wrong as too many.
        if (padding == 0 || padding > end - offset)
            return ERtpParse::PaddingPastEnd;
        end -= padding;
    }
    header.payloadType = data[1] & 0x7F;
    header.marker = data[1] & 0x80;
    header.sequence = uint16_t(data[2] << 8 | data[3]);
    header.timestamp = uint32_t(data[4]) << 24 | uint32_t(data[5]) << 16 | uint32_t(data[6]) << 8 | data[7];
    header.ssrc = uint32_t(data[8]) << 24 | uint32_t(data[9]) << 16 | uint32_t(data[10]) << 8 | data[11];
    header.payloadOffset = offset;
    header.payloadSize = end - offset;
    return ERtpParse::Ok;
}

CRtpSource::CRtpSource(uint32_t ssrc, uint16_t firstSequence) : m_ssrc(ssrc)
{
    InitSequence(firstSequence);
    m_maxSeq = uint16_t(firstSequence - 1);
    m_probation = kMinSequential;
}

void CRtpSource::InitSequence(uint16_t sequence)
{
    m_baseSeq = sequence;
    m_floor = sequence;
    m_maxSeq = sequence;
    m_badSeq = kSeqMod + 1;
    m_cycles = 0;
    m_received = 0;
    m_duplicates = 0;
    m_outOfOrder = 0;
    m_seen.Reset();
}

CRtpSource::EVerdict CRtpSource::Receive(uint16_t sequence, uint32_t timestamp, uint32_t arrival, bool haveClock)
{
    const uint16_t udelta = uint16_t(sequence - m_maxSeq);
    EVerdict verdict = EVerdict::New;
    if (m_probation) {
        // Packets must come in sequence before the source is believed.
        if (sequence == uint16_t(m_maxSeq + 1)) {
            --m_probation;
            m_maxSeq = sequence;
            if (m_probation == 0) {
                InitSequence(sequence);
                m_seen.Mark(m_baseSeq);
                ++m_received;
                if (haveClock)
                    UpdateJitter(timestamp, arrival);
                return EVerdict::New;
            }
        } else {
            m_probation = kMinSequential - 1;
            m_maxSeq = sequence;
        }
        if (haveClock)
            UpdateJitter(timestamp, arrival);
        return EVerdict::Probation;
    }
    uint64_t ext;
    if (udelta < kMaxDropout) {
        // In order, with a permissible gap.
        if (sequence < m_maxSeq)
            m_cycles += kSeqMod;
        m_maxSeq = sequence;
        ext = ExtendedMax();
    } else if (udelta <= kSeqMod - kMaxMisorder) {
        // A very large jump: believed only when the next packet follows it.
        if (uint32_t(sequence) != m_badSeq) {
            m_badSeq = (uint32_t(sequence) + 1) & (kSeqMod - 1);
            return EVerdict::Ignored;
        }
        const uint64_t keepCycles = m_cycles + kSeqMod;
        const uint64_t received = m_received, duplicates = m_duplicates, outOfOrder = m_outOfOrder;
        const uint64_t lostSoFar = Lost();
        InitSequence(sequence);
        // The counts so far stay; the base moves so that the loss so far stays too.
        m_cycles = keepCycles;
        m_received = received;
        m_duplicates = duplicates;
        m_outOfOrder = outOfOrder;
        m_baseSeq = ExtendedMax() - (received + lostSoFar);
        m_floor = ExtendedMax(); // nothing from before the restart is placed

        verdict = EVerdict::Restart;
        ext = ExtendedMax();
    } else {
        // Behind the highest: a duplicate or a late packet.
        const uint64_t back = uint16_t(m_maxSeq - sequence);
        const uint64_t max = ExtendedMax();
        if (back > max || max - back < m_floor)
            return EVerdict::Ignored; // from before the base or the restart
        ext = max - back;
        verdict = EVerdict::OutOfOrder;
    }
    switch (m_seen.Mark(ext)) {
    case CSequenceWindow::EMark::Duplicate:
        ++m_duplicates;
        return EVerdict::Duplicate;
    case CSequenceWindow::EMark::TooOld:
        return EVerdict::Ignored;
    case CSequenceWindow::EMark::New:
        break;
    }
    ++m_received;
    if (verdict == EVerdict::OutOfOrder)
        ++m_outOfOrder;
    if (haveClock)
        UpdateJitter(timestamp, arrival);
    return verdict;
}

void CRtpSource::UpdateJitter(uint32_t timestamp, uint32_t arrival)
{
    const int32_t transit = int32_t(arrival - timestamp);
    if (m_haveTransit) {
        int64_t d = int64_t(transit) - m_transit;
        if (d < 0)
            d = -d;
        m_jitter += (double(d) - m_jitter) / 16.0;
    }
    m_transit = transit;
    m_haveTransit = true;
}
