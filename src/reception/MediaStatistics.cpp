#include "reception/MediaStatistics.h"

#include "base/Text.h"

#include <algorithm>

namespace {
constexpr int64_t kNsPerSecond = 1'000'000'000;

// A wall time in units of a clock of `rate` Hz, modulo 2^32 like an RTP timestamp.
uint32_t ToTimestampUnits(int64_t ns, uint32_t rate)
{
    const uint64_t t = ns < 0 ? 0 : uint64_t(ns);
    return uint32_t((t / kNsPerSecond) * rate + (t % kNsPerSecond) * rate / kNsPerSecond);
}
} // namespace

const char* ReceptionStateName(EReceptionState state)
{
    switch (state) {
    case EReceptionState::Receiving: return "receiving";
    case EReceptionState::Impaired: return "impaired";
    case EReceptionState::Silent: return "silent";
    case EReceptionState::NotWatched: return "not watched";
    }
    return "";
}

CMediaStatistics::CMediaStatistics(const CMediaTarget& target, int64_t startNs) : m_target(target), m_startNs(startNs)
{
    m_lossSamples.push_back({startNs, 0, 0});
}

CRtpSource& CMediaStatistics::SourceFor(uint32_t ssrc, uint16_t sequence)
{
    for (size_t i = m_sources.size(); i-- > 0;) {
        if (m_sources[i]->Ssrc() != ssrc)
            continue;
        if (i + 1 != m_sources.size())
            std::rotate(m_sources.begin() + long(i), m_sources.begin() + long(i) + 1, m_sources.end());
        return *m_sources.back();
    }
    if (!m_ssrcsSeen.empty())
        ++m_ssrcChanges;
    if (m_ssrcsSeen.size() < 64)
        m_ssrcsSeen.push_back(ssrc);
    if (m_sources.size() == kMaxSources) {
        // The longest idle source goes; its counts stay in the totals.
        const CRtpSource& old = *m_sources.front();
        m_retiredExpected += old.Expected();
        m_retiredReceived += old.Received();
        m_retiredDuplicates += old.Duplicates();
        m_retiredOutOfOrder += old.OutOfOrder();
        m_sources.erase(m_sources.begin());
    }
    m_sources.push_back(std::make_unique<CRtpSource>(ssrc, sequence));
    return *m_sources.back();
}

CMediaStatistics::CRtpSeen CMediaStatistics::Feed(const uint8_t* data, size_t size, const CArrival& arrival)
{
    ++m_packets;
    m_bytes += size;
    m_lastPacketNs = arrival.monotonicNs;
    AddBytes((arrival.monotonicNs - m_startNs) / kNsPerSecond, size);
    if (m_senders.size() < kMaxSenders) {
        CSender sender{arrival.address, arrival.port};
        if (arrival.address6) {
            sender.address = 0;
            sender.ipv6 = true;
            sender.address6 = *arrival.address6;
        }
        if (std::find(m_senders.begin(), m_senders.end(), sender) == m_senders.end())
            m_senders.push_back(sender);
    }
    if (!m_target.rtp) {
        if (CTsContinuity::LooksLikeTs(data, size))
            FeedTransportStream(data, size);
        return {};
    }
    CRtpHeader header;
    if (ParseRtpHeader(data, size, header) != ERtpParse::Ok) {
        ++m_malformed;
        return {};
    }
    const int pt = header.payloadType;
    if (!m_typeSeen[size_t(pt)]) {
        m_typeSeen[size_t(pt)] = true;
        m_typesSeen.push_back(pt);
        if (std::find(m_target.announcedTypes.begin(), m_target.announcedTypes.end(), pt)
            == m_target.announcedTypes.end())
            m_mismatch = true;
    }
    const uint32_t rate = m_target.clockRates[size_t(pt)];
    if (rate)
        m_lastClockRate = rate;
    CRtpSource& source = SourceFor(header.ssrc, header.sequence);
    const CRtpSource::EVerdict verdict =
        source.Receive(header.sequence, header.timestamp, ToTimestampUnits(arrival.wallNs, rate), rate != 0);
    if (m_target.transportStream[size_t(pt)] && verdict != CRtpSource::EVerdict::Duplicate)
        FeedTransportStream(data + header.payloadOffset, header.payloadSize);
    const bool counted = verdict != CRtpSource::EVerdict::Ignored;
    return {counted, header.sequence};
}

void CMediaStatistics::FeedTransportStream(const uint8_t* data, size_t size)
{
    if (!m_ts)
        m_ts = std::make_unique<CTsContinuity>();
    if (!m_ts->Feed(data, size))
        ++m_malformed;
}

void CMediaStatistics::AddBytes(int64_t second, size_t bytes)
{
    if (second < 0)
        second = 0;
    CSecond& slot = m_seconds[size_t(second) % m_seconds.size()];
    if (slot.second != second)
        slot = {second, 0};
    slot.bytes += bytes;
}

uint64_t CMediaStatistics::BytesOfSecond(int64_t second) const
{
    const CSecond& slot = m_seconds[size_t(second) % m_seconds.size()];
    return slot.second == second ? slot.bytes : 0;
}

CMediaFigures CMediaStatistics::Figures(int64_t nowNs)
{
    CMediaFigures f;
    f.mediaIndex = m_target.mediaIndex;
    f.media = m_target.media;
    f.group = m_target.address;
    f.port = m_target.port;
    f.mid = m_target.mid;
    f.packets = m_packets;
    f.bytes = m_bytes;
    f.malformed = m_malformed;
    f.kernelDrops = m_kernelDrops;
    const int64_t current = std::max<int64_t>(0, (nowNs - m_startNs) / kNsPerSecond);
    // Whole seconds only: the one under way would read low.
    const int64_t first = std::max<int64_t>(0, current - int64_t(kHistorySeconds));
    for (int64_t s = first; s < current; ++s)
        f.history.push_back(double(BytesOfSecond(s)) * 8);
    if (current > 0) {
        f.bitRate1s = f.history.back();
        const int64_t span = std::min<int64_t>(10, current);
        double sum = 0;
        for (int64_t s = current - span; s < current; ++s)
            sum += double(BytesOfSecond(s)) * 8;
        f.bitRate10s = sum / double(span);
    }
    if (m_lastPacketNs >= 0)
        f.msSinceLastPacket = std::max<int64_t>(0, (nowNs - m_lastPacketNs) / 1'000'000);
    for (const CSender& sender : m_senders)
        f.senders.push_back(sender.ipv6 ? "[" + text::Ipv6Text(sender.address6) + "]:" + std::to_string(sender.port)
                                        : text::DottedQuad(sender.address) + ":" + std::to_string(sender.port));

    f.rtp = m_target.rtp;
    f.announcedTypes = m_target.announcedTypes;
    if (m_target.rtp) {
        f.expected = m_retiredExpected;
        f.received = m_retiredReceived;
        f.duplicates = m_retiredDuplicates;
        f.outOfOrder = m_retiredOutOfOrder;
        for (const auto& source : m_sources) {
            f.expected += source->Expected();
            f.received += source->Received();
            f.duplicates += source->Duplicates();
            f.outOfOrder += source->OutOfOrder();
        }
        f.lost = f.expected > f.received ? f.expected - f.received : 0;
        if (!m_sources.empty() && m_lastClockRate)
            f.jitterMs = m_sources.back()->Jitter() * 1000.0 / m_lastClockRate;
        f.ssrcs = m_ssrcsSeen;
        f.ssrcChanges = m_ssrcChanges;
        f.payloadTypes = m_typesSeen;
        f.payloadMismatch = m_mismatch;
        // The loss over the last 10 s, against the oldest sample not older than that.
        while (m_lossSamples.size() > 1 && nowNs - m_lossSamples[1].ns >= 10 * kNsPerSecond)
            m_lossSamples.pop_front();
        const CLossSample& then = m_lossSamples.front();
        const uint64_t expected = f.expected - std::min(f.expected, then.expected);
        const uint64_t lost = f.lost - std::min(f.lost, then.lost);
        f.lossRate10s = expected ? double(lost) / double(expected) : 0;
        m_lossSamples.push_back({nowNs, f.expected, f.lost});
    }
    if (m_ts) {
        f.transportStream = true;
        f.tsPackets = m_ts->Packets();
        f.continuityErrors = m_ts->Errors();
        f.pids = m_ts->Pids();
    }
    const bool silent = nowNs - (m_lastPacketNs >= 0 ? m_lastPacketNs : m_startNs) >= kSilentAfterNs
                        || m_lastPacketNs < 0;
    if (silent)
        f.state = EReceptionState::Silent;
    else if (f.lossRate10s > kImpairedLoss || f.payloadMismatch)
        f.state = EReceptionState::Impaired;
    else
        f.state = EReceptionState::Receiving;
    return f;
}

void CDupMerge::Receive(uint16_t sequence)
{
    // Extended numbers start high so that a leg a little behind the first
    // packet is still placed.
    constexpr uint64_t kOrigin = uint64_t{1} << 32;
    if (!m_started) {
        m_started = true;
        m_base = m_max = kOrigin + sequence;
        m_seen.Mark(m_max);
        m_received = 1;
        return;
    }
    const int16_t delta = int16_t(uint16_t(sequence - uint16_t(m_max)));
    const uint64_t ext = uint64_t(int64_t(m_max) + delta);
    if (ext < m_base) {
        if (m_base - ext >= CSequenceWindow::kSize / 2)
            return;
        // The other leg started a little earlier: the merge starts there.
        m_base = ext;
    }
    if (m_seen.Mark(ext) == CSequenceWindow::EMark::New)
        ++m_received;
    m_max = std::max(m_max, ext);
}

CSessionStatistics::CSessionStatistics(const CReceptionPlan& plan, int64_t startNs) : m_plan(plan)
{
    for (const CMediaTarget& target : plan.media)
        m_media.push_back(std::make_unique<CMediaStatistics>(target, startNs));
    m_merges.resize(plan.pairs.size());
}

void CSessionStatistics::Feed(size_t mediaIndex, const uint8_t* data, size_t size, const CArrival& arrival)
{
    if (mediaIndex >= m_media.size())
        return;
    const CMediaStatistics::CRtpSeen seen = m_media[mediaIndex]->Feed(data, size, arrival);
    if (!seen.valid)
        return;
    for (size_t i = 0; i < m_plan.pairs.size(); ++i)
        if (m_plan.pairs[i].legA == int(mediaIndex) || m_plan.pairs[i].legB == int(mediaIndex))
            m_merges[i].Receive(seen.sequence);
}

CSessionFigures CSessionStatistics::Figures(int64_t nowNs)
{
    CSessionFigures figures;
    for (auto& media : m_media)
        figures.media.push_back(media->Figures(nowNs));
    for (size_t i = 0; i < m_plan.pairs.size(); ++i)
        figures.pairs.push_back({m_plan.pairs[i].legA, m_plan.pairs[i].legB, m_merges[i].Expected(),
                                 m_merges[i].Received(), m_merges[i].Lost()});
    return figures;
}
