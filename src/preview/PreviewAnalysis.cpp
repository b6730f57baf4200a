#include "preview/PreviewAnalysis.h"

#include "base/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <type_traits>

namespace preview {

bool CHoldTimer::Update(bool condition, double now)
{
    if (!condition) {
        m_since = -1;
        m_active = false;
    } else {
        if (m_since < 0 || now < m_since)
            m_since = now;
        m_active = now - m_since >= m_hold;
    }
    return m_active;
}

double MeanLuma(const CGrayPicture& picture)
{
    if (picture.pixels.empty())
        return 0;
    uint64_t sum = 0;
    for (uint8_t p : picture.pixels)
        sum += p;
    return double(sum) / double(picture.pixels.size());
}

double PictureDifference(const CGrayPicture& a, const CGrayPicture& b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() || a.pixels.empty())
        return 255;
    uint64_t sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        sum += uint64_t(std::abs(int(a.pixels[i]) - int(b.pixels[i])));
    return double(sum) / double(a.pixels.size());
}

void CPictureWatch::Add(CGrayPicture picture, double now)
{
    m_luma = MeanLuma(picture);
    m_black.Update(m_luma < kBlackLuma, now);
    if (!m_previous.pixels.empty()) {
        m_difference = PictureDifference(m_previous, picture);
        m_frozen.Update(m_difference < kFreezeDifference, now);
    }
    m_previous = std::move(picture);
}

double ToDbfs(double amplitude)
{
    if (!(amplitude > 0)) // 0 and NaN
        return kFloorDbfs;
    return std::max(20.0 * std::log10(amplitude), kFloorDbfs);
}

CLevelMeter::CLevelMeter(int channels, int sampleRate)
    : m_channels(std::max(channels, 1))
    , m_sampleRate(std::max(sampleRate, 1))
    , m_windowFrames(size_t(std::max(m_sampleRate / 10, 1)))
    , m_peak(size_t(m_channels), 0.0f)
    , m_sumSquares(size_t(m_channels), 0.0)
    , m_peakDb(size_t(m_channels), kFloorDbfs)
    , m_rmsDb(size_t(m_channels), kFloorDbfs)
{
}

int CLevelMeter::Add(const float* samples, size_t frames)
{
    int ended = 0;
    const size_t channels = size_t(m_channels);
    for (size_t f = 0; f < frames; ++f) {
        const float* frame = samples + f * channels;
        for (size_t c = 0; c < channels; ++c) {
            float v = frame[c];
            if (!std::isfinite(v))
                v = 0;
            m_peak[c] = std::max(m_peak[c], std::fabs(v));
            m_sumSquares[c] += double(v) * double(v);
        }
        ++m_frames;
        if (++m_inWindow == m_windowFrames) {
            EndWindow();
            ++ended;
        }
    }
    return ended;
}

void CLevelMeter::EndWindow()
{
    bool quiet = true;
    for (size_t c = 0; c < m_peak.size(); ++c) {
        m_peakDb[c] = ToDbfs(m_peak[c]);
        m_rmsDb[c] = ToDbfs(std::sqrt(m_sumSquares[c] / double(m_inWindow)));
        quiet = quiet && m_peakDb[c] < kSilenceDbfs;
        m_peak[c] = 0;
        m_sumSquares[c] = 0;
    }
    m_inWindow = 0;
    ++m_windows;
    m_silence.Update(quiet, double(m_frames) / m_sampleRate);
}

std::string DecoderNameOf(std::string_view encodingName)
{
    static constexpr std::pair<const char*, const char*> kNames[] = {
        {"H264", "h264"}, {"H265", "hevc"}, {"MPV", "mpeg2video"}, {"MP2T", "mpegts"}, {"JPEG", "mjpeg"},
        {"jxsv", "jpegxs"}, {"VP8", "vp8"}, {"VP9", "vp9"}, {"AV1", "av1"}, {"raw", "rawvideo"},
        {"L16", "pcm_s16be"}, {"L24", "pcm_s24be"}, {"L8", "pcm_u8"}, {"PCMU", "pcm_mulaw"}, {"PCMA", "pcm_alaw"},
        {"MPA", "mp3"}, {"opus", "opus"}, {"MP4A-LATM", "aac_latm"}, {"mpeg4-generic", "aac"}, {"G722", "adpcm_g722"},
        {"AM824", "s302m"}};
    for (const auto& [rtp, decoder] : kNames)
        if (text::EqualsNoCase(encodingName, rtp))
            return decoder;
    return {};
}

namespace {

// MPEG audio: the announced "MPA" is layer 1, 2 or 3; any of them agrees.
bool SameCodec(const std::string& announced, const std::string& received)
{
    if (announced == received)
        return true;
    auto mpegAudio = [](const std::string& c) { return c == "mp1" || c == "mp2" || c == "mp3"; };
    auto aac = [](const std::string& c) { return c == "aac" || c == "aac_latm"; };
    return (mpegAudio(announced) && mpegAudio(received)) || (aac(announced) && aac(received));
}

} // namespace

std::vector<std::string> FormatDifferences(const CStreamFormat& announced, const CStreamFormat& received)
{
    std::vector<std::string> differences;
    auto known = [](const auto& a, const auto& b) { using T = std::decay_t<decltype(a)>; return a != T() && b != T(); };
    if (known(announced.codec, received.codec) && announced.codec != "mpegts" && !SameCodec(announced.codec, received.codec))
        differences.push_back("codec");
    if (known(announced.profile, received.profile) && !text::EqualsNoCase(announced.profile, received.profile))
        differences.push_back("profile");
    if (known(announced.width, received.width) && announced.width != received.width)
        differences.push_back("width");
    if (known(announced.height, received.height) && announced.height != received.height)
        differences.push_back("height");
    if (known(announced.frameRate, received.frameRate) &&
        std::fabs(announced.frameRate - received.frameRate) > 0.01 * announced.frameRate)
        differences.push_back("frame_rate");
    if (announced.interlaced >= 0 && received.interlaced >= 0 && announced.interlaced != received.interlaced)
        differences.push_back("interlaced");
    if (known(announced.channels, received.channels) && announced.channels != received.channels)
        differences.push_back("channels");
    if (known(announced.sampleRate, received.sampleRate) && announced.sampleRate != received.sampleRate)
        differences.push_back("sample_rate");
    return differences;
}

std::string MediaSectionSdp(std::string_view sdp, int index)
{
    std::string out;
    int media = -1;
    bool found = false;
    while (!sdp.empty()) {
        const size_t end = sdp.find('\n');
        std::string_view line = sdp.substr(0, end);
        sdp.remove_prefix(end == std::string_view::npos ? sdp.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("m="))
            ++media;
        if (media == index)
            found = true;
        if (media == -1 || media == index) {
            out.append(line);
            out.append("\r\n");
        }
    }
    return found ? out : std::string();
}

void CRoundRobin::Add(int id)
{
    if (!Running(id) && std::find(m_waiting.begin(), m_waiting.end(), id) == m_waiting.end())
        m_waiting.push_back(id);
}

void CRoundRobin::Remove(int id)
{
    std::erase_if(m_running, [id](const CTurn& t) { return t.id == id; });
    std::erase(m_waiting, id);
}

bool CRoundRobin::Running(int id) const
{
    return std::any_of(m_running.begin(), m_running.end(), [id](const CTurn& t) { return t.id == id; });
}

} // namespace preview
