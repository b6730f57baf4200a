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

// The transport stream packets of an RTP stream in the order they were
// sent: continuity counters only mean something in that order. A packet
// ahead of a gap waits for the gap to fill, up to kHold packets; then the
// gap is taken as lost and checking goes on after it.
class CMediaStatistics::CTsInOrder {
public:
    static constexpr size_t kHold = 32;

    template <class Check>
    void Add(uint32_t generation, uint64_t ext, const uint8_t* data, size_t size, Check&& check)
    {
        if (!m_started || generation != m_generation) {
            Flush(check);
            m_started = true;
            m_generation = generation;
            m_next = ext;
        }
        if (ext < m_next)
            return; // too late: its gap was given up
        if (ext == m_next) {
            check(data, size);
            ++m_next;
            Drain(check);
            return;
        }
        auto at = std::lower_bound(m_held.begin(), m_held.end(), ext,
                                   [](const CHeld& h, uint64_t e) { return h.ext < e; });
        if (at != m_held.end() && at->ext == ext)
            return;
        m_held.insert(at, CHeld{ext, std::vector<uint8_t>(data, data + size)});
        if (m_held.size() > kHold) {
            m_next = m_held.front().ext;
            Drain(check);
        }
    }
    // Gives up every gap: what is held is checked in order.
    template <class Check>
    void Flush(Check&& check)
    {
        while (!m_held.empty()) {
            m_next = m_held.front().ext;
            Drain(check);
        }
    }
    bool Holding() const { return !m_held.empty(); }

private:
    struct CHeld {
        uint64_t ext;
        std::vector<uint8_t> bytes;
    };
    template <class Check>
    void Drain(Check&& check)
    {
        size_t taken = 0;
        while (taken < m_held.size() && m_held[taken].ext == m_next) {
            check(m_held[taken].bytes.data(), m_held[taken].bytes.size());
            ++m_next;
            ++taken;
        }
        m_held.erase(m_held.begin(), m_held.begin() + long(taken));
    }

    bool m_started = false;
    uint32_t m_generation = 0;
    uint64_t m_next = 0;
    std::vector<CHeld> m_held; // by extended number
};

CMediaStatistics::CMediaStatistics(const CMediaTarget& target, int64_t startNs) : m_target(target), m_startNs(startNs)
{
    m_lossSamples.push_back({startNs, 0, 0});
}

CMediaStatistics::~CMediaStatistics() = default;

CRtpSource& CMediaStatistics::SourceFor(uint32_t ssrc)
{
    for (size_t i = m_sources.size(); i-- > 0;) {
        if (m_sources[i]->Ssrc() != ssrc)
            continue;
        if (i + 1 != m_sources.size())
            std::rotate(m_sources.begin() + long(i), m_sources.begin() + long(i) + 1, m_sources.end());
        return *m_sources.back();
    }
    if (m_ssrcsSeen.size() < 64)
        m_ssrcsSeen.push_back(ssrc);
    if (m_sources.size() == kMaxSources) {
        // The longest idle source goes; its counts stay in the totals.
        const CRtpSource& old = *m_sources.front();
        m_retiredExpected += old.Expected();
        m_retiredReceived += old.Received();
        m_retiredDuplicates += old.Duplicates();
        m_retiredOutOfOrder += old.OutOfOrder();
        if (m_lastSource == &old)
            m_lastSource = nullptr;
        if (m_countedSource == &old)
            m_countedSource = nullptr;
        m_sources.erase(m_sources.begin());
    }
    m_sources.push_back(std::make_unique<CRtpSource>(ssrc));
    return *m_sources.back();
}

void CMediaStatistics::FeedRtcp(const uint8_t* data, size_t size)
{
    ++m_rtcpPackets;
    // A compound packet: each part gives its length in 32-bit words less one.
    for (size_t at = 0; at + 4 <= size;) {
        const size_t length = (size_t(data[at + 2]) << 8 | data[at + 3]) * 4 + 4;
        if ((data[at] >> 6) != 2 || at + length > size)
            break;
        if (data[at + 1] == 200 && length >= 28) {
            const uint8_t* p = data + at;
            const uint32_t ssrc = uint32_t(p[4]) << 24 | uint32_t(p[5]) << 16 | uint32_t(p[6]) << 8 | p[7];
            const uint32_t sent = uint32_t(p[20]) << 24 | uint32_t(p[21]) << 16 | uint32_t(p[22]) << 8 | p[23];
            uint64_t received = 0;
            for (const auto& source : m_sources)
                if (source->Ssrc() == ssrc)
                    received = source->Received();
            if (m_senderReports == 0 || ssrc != m_reportSsrc) {
                m_reportSsrc = ssrc;
                m_firstReportCount = sent;
                m_firstReportReceived = received;
            }
            m_lastReportCount = sent;
            m_lastReportReceived = received;
            ++m_senderReports;
        }
        at += length;
    }
}

void CMediaStatistics::Feed(const uint8_t* data, size_t size, const CArrival& arrival, CRtpSeen* seen)
{
    ++m_packets;
    m_bytes += size;
    if (m_firstPacketNs < 0)
        m_firstPacketNs = arrival.monotonicNs;
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
        return;
    }
    if (IsMultiplexedRtcp(data, size)) {
        FeedRtcp(data, size);
        return;
    }
    CRtpHeader header;
    if (ParseRtpHeader(data, size, header) != ERtpParse::Ok) {
        ++m_malformed;
        return;
    }
    const int pt = header.payloadType;
    if (!m_typeSeen[size_t(pt)]) {
        m_typeSeen[size_t(pt)] = true;
        m_typesSeen.push_back(pt);
    }
    if (std::find(m_target.announcedTypes.begin(), m_target.announcedTypes.end(), pt)
        == m_target.announcedTypes.end())
        m_lastUnannouncedNs = arrival.monotonicNs;
    const uint32_t rate = m_target.clockRates[size_t(pt)];
    if (rate)
        m_lastClockRate = rate;
    CRtpSource& source = SourceFor(header.ssrc);
    if (m_lastSource && m_lastSource != &source) {
        // Another source took over; one coming back starts its jitter afresh.
        ++m_ssrcChanges;
        source.ResetJitter();
    }
    const CRtpSource::EVerdict verdict =
        source.Receive(header.sequence, header.timestamp, ToTimestampUnits(arrival.wallNs, rate), rate);
    uint64_t counted[CRtpSource::kMinSequential];
    const size_t count = source.CountedNow(counted);
    if (verdict != CRtpSource::EVerdict::Ignored)
        m_lastSource = &source;
    if (count == 0)
        return;
    if (m_countedSource != &source || m_countedEpoch != source.Epoch())
        ++m_generation;
    m_countedSource = &source;
    m_countedEpoch = source.Epoch();
    if (m_target.transportStream[size_t(pt)]) {
        if (!m_tsOrder)
            m_tsOrder = std::make_unique<CTsInOrder>();
        m_tsOrder->Add(m_generation, counted[count - 1], data + header.payloadOffset, header.payloadSize,
                       [this](const uint8_t* d, size_t n) { FeedTransportStream(d, n); });
    }
    if (!seen)
        return;
    seen->count = count;
    for (size_t k = 0; k < count; ++k)
        seen->packets[k] = CLegPacket{m_generation, header.ssrc, uint16_t(counted[k]), header.timestamp,
                                      k + 1 == count, counted[k], arrival.monotonicNs};
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
        // Over the last 10 whole seconds, or the part of them since the first packet.
        const int64_t span = std::min<int64_t>(10, current);
        const int64_t endNs = m_startNs + current * kNsPerSecond;
        const int64_t fromNs = std::max(endNs - span * kNsPerSecond, m_firstPacketNs);
        double sum = 0;
        for (int64_t s = current - span; s < current; ++s)
            sum += double(BytesOfSecond(s)) * 8;
        if (m_firstPacketNs >= 0 && fromNs < endNs)
            f.bitRate10s = sum * double(kNsPerSecond) / double(endNs - fromNs);
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
        f.payloadMismatch = m_lastUnannouncedNs >= 0 && nowNs - m_lastUnannouncedNs < kJudgedOverNs;
        f.rtcpPackets = m_rtcpPackets;
        f.senderReports = m_senderReports;
        if (m_senderReports > 1) {
            f.reportedSent = uint32_t(m_lastReportCount - m_firstReportCount);
            f.receivedBetweenReports = m_lastReportReceived - m_firstReportReceived;
        }
        // The loss over the last 10 s, against the oldest sample not older than that.
        while (m_lossSamples.size() > 1 && nowNs - m_lossSamples[1].ns >= kJudgedOverNs)
            m_lossSamples.pop_front();
        const CLossSample& then = m_lossSamples.front();
        const uint64_t expected = f.expected - std::min(f.expected, then.expected);
        const uint64_t lost = f.lost - std::min(f.lost, then.lost);
        f.lossRate10s = expected ? double(lost) / double(expected) : 0;
        m_lossSamples.push_back({nowNs, f.expected, f.lost});
    }
    if (m_tsOrder && m_tsOrder->Holding() && nowNs - m_lastPacketNs >= kNsPerSecond / 2)
        m_tsOrder->Flush([this](const uint8_t* d, size_t n) { FeedTransportStream(d, n); });
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

CSessionStatistics::CSessionStatistics(const CReceptionPlan& plan, int64_t startNs) : m_plan(plan)
{
    for (const CMediaTarget& target : plan.media)
        m_media.push_back(std::make_unique<CMediaStatistics>(target, startNs));
    m_inPair.assign(plan.media.size(), false);
    for (const CDupPair& pair : plan.pairs) {
        m_merges.push_back(std::make_unique<CDupMerge>());
        for (int leg : {pair.legA, pair.legB})
            if (leg >= 0 && size_t(leg) < m_inPair.size())
                m_inPair[size_t(leg)] = true;
    }
}

void CSessionStatistics::Feed(size_t mediaIndex, const uint8_t* data, size_t size, const CArrival& arrival)
{
    if (mediaIndex >= m_media.size())
        return;
    if (!m_inPair[mediaIndex]) {
        m_media[mediaIndex]->Feed(data, size, arrival);
        return;
    }
    CMediaStatistics::CRtpSeen seen;
    m_media[mediaIndex]->Feed(data, size, arrival, &seen);
    for (size_t i = 0; i < m_plan.pairs.size() && seen.count; ++i) {
        const CDupPair& pair = m_plan.pairs[i];
        if (pair.legA != int(mediaIndex) && pair.legB != int(mediaIndex))
            continue;
        for (size_t k = 0; k < seen.count; ++k)
            m_merges[i]->Receive(pair.legA == int(mediaIndex) ? 0 : 1, seen.packets[k]);
    }
}

CSessionFigures CSessionStatistics::Figures(int64_t nowNs)
{
    CSessionFigures figures;
    for (auto& media : m_media)
        figures.media.push_back(media->Figures(nowNs));
    for (size_t i = 0; i < m_plan.pairs.size(); ++i) {
        const CDupMerge& merge = *m_merges[i];
        CDupFigures pair;
        pair.legA = m_plan.pairs[i].legA;
        pair.legB = m_plan.pairs[i].legB;
        pair.aligned = merge.Aligned();
        if (pair.aligned) {
            pair.expected = merge.Expected();
            pair.received = merge.Received();
            pair.lost = merge.Lost();
            pair.skewMs = merge.SkewMs();
            pair.maxSkewMs = merge.MaxSkewMs();
        }
        figures.pairs.push_back(pair);
    }
    return figures;
}
