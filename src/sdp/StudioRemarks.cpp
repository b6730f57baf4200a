#include "sdp/StudioRemarks.h"

#include "sdp/SDPObject.h"
#include "sdp/StudioAttributes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

bool Is(const std::string& encoding, const char* name)
{
    return encoding.size() == std::char_traits<char>::length(name) &&
           std::equal(encoding.begin(), encoding.end(), name, [](char a, char b) { return (a | 0x20) == (b | 0x20); });
}

bool Pcm(const CStudioAttributes& a) { return Is(a.encoding, "L16") || Is(a.encoding, "L24"); }

bool Near(double a, double b) { return std::fabs(a - b) < 0.005; }

std::string Number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string Khz(int rate) { return Number(rate / 1000.0) + " kHz"; }

std::string Ms(double ms) { return ms < 1 ? Number(std::round(ms * 1000)) + " µs" : Number(ms) + " ms"; }

// An ST 2110 stream: a 2110 format, or PCM audio that gives a 2110 channel
// order or shares its session with 2110 streams.
bool Is2110(const CSDPObject& record, const CStudioAttributes& a)
{
    if (a.standard.starts_with("2110"))
        return true;
    if (!Pcm(a))
        return false;
    if (!a.channelOrder.empty())
        return true;
    for (const CSDPMedia& m : record.media)
        if (ReadStudioAttributes(record, m).standard.starts_with("2110"))
            return true;
    return false;
}

class CRemarks {
public:
    std::vector<CStudioRemark> list;
    void Add(const char* code, std::string text) { list.push_back({code, std::move(text)}); }

    void Aes67(const CStudioAttributes& a)
    {
        if (a.encoding.empty())
            Add("aes67-encoding", "AES67 7.1 (payload formats): no a=rtpmap names the encoding; AES67 streams are L16 or L24");
        else if (!Pcm(a))
            Add("aes67-encoding", "AES67 7.1 (payload formats): the encoding is " + a.encoding +
                                      "; AES67 streams are L16 or L24");
        if (a.rate == 44100 || a.rate == 96000)
            Add("aes67-rate", "AES67 7.1 (sampling rates): " + Khz(a.rate) +
                                  " is optional; 48 kHz is the rate every device takes");
        else if (a.rate > 0 && a.rate != 48000)
            Add("aes67-rate", "AES67 7.1 (sampling rates): " + Khz(a.rate) +
                                  " is not an AES67 rate (48 kHz; 44.1 and 96 kHz optional)");
        static constexpr double kTimes[] = {0.125, 0.25, 1.0 / 3, 1, 4};
        if (!a.ptimeMs)
            Add("aes67-ptime", "AES67 8 (stream description): no a=ptime gives the packet time");
        else if (std::none_of(std::begin(kTimes), std::end(kTimes), [&](double t) { return Near(*a.ptimeMs, t); }))
            Add("aes67-ptime", "AES67 7.2 (packet time): " + Ms(*a.ptimeMs) +
                                   " is not an AES67 packet time (1 ms; 125 µs, 250 µs, 333 µs, 4 ms optional)");
        if (a.ptimeMs && Near(*a.ptimeMs, 1) && a.channels > 8)
            Add("aes67-channels", "AES67 7.2 (packet time): " + std::to_string(a.channels) +
                                      " channels at 1 ms; every receiver takes 1 to 8");
        if (a.ptimeMs && Pcm(a) && a.rate > 0 && a.channels > 0) {
            const long bytes = std::lround(a.rate * *a.ptimeMs / 1000) * a.channels * (Is(a.encoding, "L16") ? 2 : 3);
            if (bytes > 1440)
                Add("aes67-payload", "AES67 7.2 (packet time): " + std::to_string(a.channels) + " channels at " +
                                         Ms(*a.ptimeMs) + " make " + std::to_string(bytes) +
                                         " bytes of audio a packet, over the 1440 a packet carries");
        }
        if (!a.referenceClock)
            Add("aes67-ts-refclk", "AES67 8 (stream description): no a=ts-refclk names the PTP clock");
        else if (!a.referenceClock->ptp)
            Add("aes67-ts-refclk", "AES67 8 (stream description): the reference clock is " + a.referenceClock->source +
                                       ", not PTP");
        if (!a.mediaClock)
            Add("aes67-mediaclk", "AES67 8 (stream description): no a=mediaclk gives the media clock");
        else if (a.mediaClock->mode != "direct")
            Add("aes67-mediaclk", "AES67 8 (stream description): the media clock is " + a.mediaClock->mode +
                                      ", not direct=OFFSET");
    }

    void Level(const CStudioAttributes& a)
    {
        if (!a.ptimeMs || a.rate <= 0 || a.channels <= 0 || !Level2110_30(a.rate, *a.ptimeMs, a.channels).empty())
            return;
        Add("st2110-30-level", "ST 2110-30 (conformance levels): " + std::to_string(a.channels) + " channels at " +
                                   Khz(a.rate) + " and " + Ms(*a.ptimeMs) +
                                   " fit no level (A: 48 kHz, 1 ms, 1 to 8 channels; B adds 125 µs with 1 to 8; "
                                   "C adds 125 µs with 1 to 64; AX, BX, CX add 96 kHz: 1 ms with 1 to 4, 125 µs "
                                   "with 1 to 8 in BX and 1 to 32 in CX)");
    }

    void Video(const CStudioAttributes& a)
    {
        if (a.standard == "2110-20") {
            // Required ones that are absent, not those told as malformed.
            std::string missing;
            const std::pair<const char*, bool> required[] = {
                {"sampling", a.sampling.empty()}, {"depth", a.depth.empty()},       {"width", a.width == 0},
                {"height", a.height == 0},        {"exactframerate", a.exactFrameRate.empty()},
                {"colorimetry", a.colorimetry.empty()}, {"PM", a.packingMode.empty()}, {"SSN", a.ssn.empty()}};
            for (const auto& [key, absent] : required) {
                const std::string told = "\": " + std::string(key) + ": ";
                if (absent && std::none_of(a.problems.begin(), a.problems.end(),
                                           [&](const std::string& p) { return p.find(told) != std::string::npos; }))
                    missing += (missing.empty() ? "" : ", ") + std::string(key);
            }
            if (!missing.empty())
                Add("st2110-20-parameters", "ST 2110-20 7.2 (required parameters): the a=fmtp lacks " + missing);
        }
        if (a.senderType.empty())
            Add("st2110-21-sender-type", "ST 2110-21 (sender types): no TP= in the a=fmtp names the sender type "
                                         "(2110TPN, 2110TPNL or 2110TPW)");
    }

    void System(const CStudioAttributes& a)
    {
        if (!a.referenceClock)
            Add("st2110-10-ts-refclk", "ST 2110-10 (SDP): no a=ts-refclk names the stream's reference clock");
        else if (!a.referenceClockOfMedia)
            Add("st2110-10-ts-refclk", "ST 2110-10 (SDP): a=ts-refclk is given at session level only; each "
                                       "stream gives it in its own media description");
        if (!a.mediaClock || a.mediaClock->mode != "direct" || a.mediaClock->offset != 0u)
            Add("st2110-10-mediaclk", "ST 2110-10 (SDP): the media clock is not a=mediaclk:direct=0 (RTP time "
                                      "stamps count from the PTP epoch)");
    }
};

} // namespace

bool IsStudioStream(const CSDPMedia& media, const CStudioAttributes& a)
{
    if (media.protocol.View().find("RTP") == std::string_view::npos)
        return false;
    return (a.referenceClock && a.referenceClock->ptp) || a.mediaClock || !a.standard.empty() ||
           Is(a.encoding, "L24") || !a.channelOrder.empty();
}

std::string Level2110_30(int rate, double ptimeMs, int channels)
{
    struct CAllows {
        int rate;
        double ptime;
        int channels;
    };
    const CAllows a1{48000, 1, 8}, b{48000, 0.125, 8}, c{48000, 0.125, 64}, x1{96000, 1, 4};
    const std::pair<const char*, std::vector<CAllows>> levels[] = {
        {"A", {a1}},         {"AX", {a1, x1}},    {"B", {a1, b}},
        {"BX", {a1, b, x1, {96000, 0.125, 8}}}, {"C", {a1, c}}, {"CX", {a1, c, x1, {96000, 0.125, 32}}}};
    for (const auto& [level, allows] : levels)
        for (const CAllows& k : allows)
            if (k.rate == rate && Near(k.ptime, ptimeMs) && channels >= 1 && channels <= k.channels)
                return level;
    return {};
}

std::vector<CStudioRemark> StudioRemarks(const CSDPObject& record, const CSDPMedia& media, const CStudioAttributes& a)
{
    CRemarks r;
    if (!IsStudioStream(media, a))
        return {};
    const bool is2110 = Is2110(record, a);
    if (media.media == "audio" && a.standard != "2110-31")
        r.Aes67(a);
    if (is2110 && media.media == "audio" && Pcm(a))
        r.Level(a);
    if (a.standard == "2110-20" || a.standard == "2110-22")
        r.Video(a);
    if (is2110)
        r.System(a);
    return r.list;
}
