#include "clocks/PtpAnnounce.h"

namespace {
constexpr size_t kHeaderSize = 34;
constexpr size_t kAnnounceSize = 64;  // header + body, before any TLV
constexpr int kAnnounce = 0xB;

uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

std::optional<CPtpAnnounce> Fail(EPtpReadError* error, EPtpReadError why)
{
    if (error)
        *error = why;
    return std::nullopt;
}
} // namespace

std::optional<CPtpAnnounce> ReadPtpAnnounce(const uint8_t* data, size_t size, EPtpReadError* error)
{
    if (error)
        *error = EPtpReadError::None;
    if (!data || size < kHeaderSize)
        return Fail(error, EPtpReadError::Truncated);
    if ((data[0] & 0x0F) != kAnnounce)
        return Fail(error, EPtpReadError::NotAnnounce);
    // Version 1 (IEEE 1588-2002) had no Announce; a later major version may
    // lay the message out differently.
    if ((data[1] & 0x0F) != 2)
        return Fail(error, EPtpReadError::WrongVersion);
    const size_t length = Read16(data + 2);
    if (size < kAnnounceSize)
        return Fail(error, EPtpReadError::Truncated);
    if (length < kAnnounceSize || length > size)
        return Fail(error, EPtpReadError::BadLength);

    CPtpAnnounce a;
    a.versionPtp = data[1] & 0x0F;
    a.minorVersionPtp = data[1] >> 4;
    a.domain = data[4];
    a.flags = Read16(data + 6);
    for (size_t i = 0; i < 8; ++i)
        a.sourceClock[i] = data[20 + i];
    a.sourcePort = Read16(data + 28);
    a.sequenceId = Read16(data + 30);
    a.logMessageInterval = int8_t(data[33]);
    const uint8_t* body = data + kHeaderSize;
    for (size_t i = 0; i < 6; ++i)
        a.originSeconds = a.originSeconds << 8 | body[i];
    a.originNanoseconds = uint32_t(Read16(body + 6)) << 16 | Read16(body + 8);
    a.currentUtcOffset = int16_t(Read16(body + 10));
    a.priority1 = body[13];
    a.clockClass = body[14];
    a.clockAccuracy = body[15];
    a.offsetScaledLogVariance = Read16(body + 16);
    a.priority2 = body[18];
    for (size_t i = 0; i < 8; ++i)
        a.grandmaster[i] = body[19 + i];
    a.stepsRemoved = Read16(body + 27);
    a.timeSource = body[29];
    return a;
}

std::string ClockIdentityText(const std::array<uint8_t, 8>& identity)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(23);
    for (size_t i = 0; i < identity.size(); ++i) {
        if (i)
            text += '-';
        text += kHex[identity[i] >> 4];
        text += kHex[identity[i] & 0xF];
    }
    return text;
}
