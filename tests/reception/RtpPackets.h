#pragma once
// Builds the datagrams the reception tests feed.
#include <algorithm>
#include <cstdint>
#include <vector>

struct CTestRtp {
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0x11223344;
    uint8_t payloadType = 96;
    std::vector<uint8_t> payload = std::vector<uint8_t>(20, 0xAB);

    std::vector<uint8_t> Bytes() const
    {
        const uint8_t header[12] = {0x80, payloadType, uint8_t(sequence >> 8), uint8_t(sequence),
                                    uint8_t(timestamp >> 24), uint8_t(timestamp >> 16), uint8_t(timestamp >> 8),
                                    uint8_t(timestamp), uint8_t(ssrc >> 24), uint8_t(ssrc >> 16), uint8_t(ssrc >> 8),
                                    uint8_t(ssrc)};
        std::vector<uint8_t> p(12 + payload.size());
        std::copy(header, header + 12, p.begin());
        std::copy(payload.begin(), payload.end(), p.begin() + 12);
        return p;
    }
};

// One transport stream packet: PID, counter, adaptation field control
// (1 payload, 2 adaptation only, 3 both) and the discontinuity indicator.
inline std::vector<uint8_t> TsPacket(uint16_t pid, uint8_t counter, uint8_t control = 1, bool discontinuity = false)
{
    std::vector<uint8_t> p(188, 0xFF);
    p[0] = 0x47;
    p[1] = uint8_t(pid >> 8 & 0x1F);
    p[2] = uint8_t(pid);
    p[3] = uint8_t(control << 4 | (counter & 0x0F));
    if (control & 2) {
        p[4] = control == 2 ? 183 : 7;
        p[5] = discontinuity ? 0x80 : 0x00;
    }
    return p;
}
