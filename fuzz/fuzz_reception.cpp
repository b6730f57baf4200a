// Feeds datagrams to the reception statistics of a session with an RTP
// entry (dynamic and transport stream payloads), a raw UDP entry and a
// redundant pair. The input is split into datagrams by a leading length
// byte, and the figures are asked for after every few; the senders
// alternate between the two address families.
#include "reception/MediaStatistics.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CReceptionPlan plan = [] {
        CReceptionPlan p;
        for (int i = 0; i < 3; ++i) {
            CMediaTarget t;
            t.mediaIndex = i;
            t.rtp = i != 1;
            t.announcedTypes = {33, 96};
            t.clockRates[33] = 90000;
            t.clockRates[96] = 48000;
            t.transportStream[33] = true;
            p.media.push_back(t);
        }
        p.pairs.push_back({0, 2});
        return p;
    }();
    CSessionStatistics session(plan, 0);
    int64_t now = 0;
    size_t count = 0;
    while (size >= 2) {
        const size_t length = size_t(data[0]) * 8 + (data[1] & 7);
        const size_t media = data[1] >> 3 & 3;
        data += 2;
        size -= 2;
        const size_t take = length < size ? length : size;
        now += 7'000'000;
        // Every other datagram comes from an IPv6 sender.
        static const text::CIpv6Address six{0xFD, 0x78, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        session.Feed(media, data, take, CArrival{now, now * 3, 0x0100007F, 5004, count % 2 ? &six : nullptr});
        data += take;
        size -= take;
        if (++count % 16 == 0)
            (void)session.Figures(now);
    }
    const CSessionFigures figures = session.Figures(now + 1'000'000'000);
    for (const CMediaFigures& m : figures.media)
        if (m.lost > m.expected || m.received > m.expected || m.received + m.duplicates > m.packets)
            __builtin_trap();
    return 0;
}
