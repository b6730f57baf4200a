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

bool IsMultiplexedRtcp(const uint8_t* data, size_t size)
{
    return size >= 8 && (data[0] >> 6) == 2 && data[1] >= 200 && data[1] <= 204;
}

CRtpSource::CRtpSource(uint32_t ssrc) : m_ssrc(ssrc) {}

void CRtpSource::InitSequence(uint16_t sequence)
{
    m_baseSeq = sequence;
    m_floor = sequence;
    m_maxSeq = sequence;
    m_badSeq = kSeqMod + 1;
    m_cycles = 0;
    m_received = 0;
    m_seen.Reset();
}

CRtpSource::EVerdict CRtpSource::Probe(uint16_t sequence)
{
    int have = kMinSequential - m_probation;
    for (int k = 0; k < have; ++k) {
        if (m_probe[k] == sequence)
            return EVerdict::Probation; // a copy proves nothing
        const int16_t apart = int16_t(uint16_t(sequence - m_probe[k]));
        if (apart > int16_t(kMaxMisorder) || apart < -int16_t(kMaxMisorder)) {
            // Too far from what came before: probation starts again here.
            m_probation = kMinSequential;
            have = 0;
            break;
        }
    }
    m_probe[have] = sequence;
    if (--m_probation)
        return EVerdict::Probation;
    uint16_t low = m_probe[0], high = m_probe[0];
    for (uint16_t s : m_probe) {
        if (int16_t(uint16_t(s - low)) < 0)
            low = s;
        if (int16_t(uint16_t(s - high)) > 0)
            high = s;
    }
    InitSequence(low);
    for (uint16_t s : m_probe) {
        m_counted[m_countedNow++] = m_baseSeq + uint16_t(s - low);
        m_seen.Mark(m_counted[m_countedNow - 1]);
        ++m_received;
    }
    if (high < low)
        m_cycles += kSeqMod;
    m_maxSeq = high;
    return EVerdict::New;
}

bool CRtpSource::JumpKeepsTime(uint32_t timestamp, uint32_t arrival, uint32_t clockRate) const
{
    if (clockRate == 0)
        return false;
    const int64_t elapsed = int32_t(arrival - m_lastArrival);
    const int64_t advanced = int32_t(timestamp - m_lastTimestamp);
    if (elapsed <= 0 || advanced < 0)
        return false;
    // Senders stamp capture times: a frame's packets share one, so allow a
    // tenth of a second besides a quarter of the gap.
    const int64_t slack = elapsed / 4 + clockRate / 10;
    return advanced - elapsed <= slack && elapsed - advanced <= slack;
}

CRtpSource::EVerdict CRtpSource::Receive(uint16_t sequence, uint32_t timestamp, uint32_t arrival, uint32_t clockRate)
{
    m_countedNow = 0;
    if (m_probation) {
        if (clockRate)
            UpdateJitter(timestamp, arrival);
        const EVerdict verdict = Probe(sequence);
        if (verdict == EVerdict::New) {
            m_lastTimestamp = timestamp;
            m_lastArrival = arrival;
        }
        return verdict;
    }
    const uint16_t udelta = uint16_t(sequence - m_maxSeq);
    const uint64_t max = ExtendedMax();
    EVerdict verdict = EVerdict::New;
    uint64_t ext;
    if (udelta < kMaxDropout && udelta != 0) {
        // In order, with a permissible gap.
        if (sequence < m_maxSeq)
            m_cycles += kSeqMod;
        m_maxSeq = sequence;
        ext = ExtendedMax();
        m_badSeq = kSeqMod + 1;
        m_lastTimestamp = timestamp;
        m_lastArrival = arrival;
    } else if (const uint64_t back = uint16_t(m_maxSeq - sequence);
               back < CSequenceWindow::kSize && back <= max - m_floor) {
        // Behind the highest and still in the window: a duplicate or a late packet.
        ext = max - back;
        verdict = EVerdict::OutOfOrder;
    } else if (back < kMaxMisorder) {
        return EVerdict::Ignored; // from before the base or a restart
    } else if (uint32_t(sequence) != m_badSeq) {
        // A very large jump: believed only when the next packet follows it.
        m_badSeq = (uint32_t(sequence) + 1) & (kSeqMod - 1);
        return EVerdict::Ignored;
    } else if (udelta < kSeqMod / 2 && JumpKeepsTime(timestamp, arrival, clockRate)) {
        // The same stream after a long gap: what was not heard is lost. The
        // packet before this one, which opened the jump, arrived too.
        if (sequence < m_maxSeq)
            m_cycles += kSeqMod;
        m_maxSeq = sequence;
        ext = ExtendedMax();
        m_seen.Mark(ext - 1);
        ++m_received;
        m_counted[m_countedNow++] = ext - 1;
        m_badSeq = kSeqMod + 1;
        m_lastTimestamp = timestamp;
        m_lastArrival = arrival;
    } else {
        // The sender started again: the new sequence is counted from the
        // packet that opened the jump; the old one's counts are kept apart.
        m_priorExpected += max - m_baseSeq + 1;
        m_priorReceived += m_received;
        InitSequence(uint16_t(sequence - 1));
        m_seen.Mark(m_baseSeq);
        ++m_received;
        m_counted[m_countedNow++] = m_baseSeq;
        if (sequence == 0)
            m_cycles += kSeqMod;
        m_maxSeq = sequence;
        ext = ExtendedMax();
        ++m_epoch;
        m_lastTimestamp = timestamp;
        m_lastArrival = arrival;
        m_haveTransit = false;
        verdict = EVerdict::Restart;
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
    m_counted[m_countedNow++] = ext;
    if (verdict == EVerdict::OutOfOrder)
        ++m_outOfOrder;
    if (clockRate)
        UpdateJitter(timestamp, arrival);
    return verdict;
}

void CRtpSource::UpdateJitter(uint32_t timestamp, uint32_t arrival)
{
    // Transit times are taken modulo 2^32, and so is their difference: a
    // difference across the wrap is small, as it really is.
    const uint32_t transit = arrival - timestamp;
    if (m_haveTransit) {
        const int32_t d = int32_t(transit - m_transit);
        const double magnitude = d < 0 ? -double(d) : double(d);
        m_jitter += (magnitude - m_jitter) / 16.0;
    }
    m_transit = transit;
    m_haveTransit = true;
}
