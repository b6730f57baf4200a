#pragma once
// The analysis of decoded pictures and sound, apart from the decoding: small
// pure pieces driven with times in seconds, so they can be fed synthetic
// frames.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace preview {

// Mean luma (8-bit, video range: black is 16) under which a picture is black.
constexpr double kBlackLuma = 32.0;
constexpr double kBlackSeconds = 2.0;
// Mean absolute luma difference of successive pictures under which they are
// the same picture.
constexpr double kFreezeDifference = 0.5;
constexpr double kFreezeSeconds = 5.0;
constexpr double kSilenceDbfs = -60.0;
constexpr double kSilenceSeconds = 5.0;
// Levels are given down to this; digital silence reads as this too.
constexpr double kFloorDbfs = -120.0;
// The small grey picture the analysis looks at.
constexpr int kAnalysisWidth = 128;
constexpr int kAnalysisHeight = 72;

// True once a condition has held without a break for `hold` seconds.
class CHoldTimer {
public:
    explicit CHoldTimer(double hold) : m_hold(hold) {}
    bool Update(bool condition, double now);
    bool Active() const { return m_active; }
    void Reset() { m_since = -1; m_active = false; }

private:
    double m_hold;
    double m_since = -1; // when the condition began; < 0 while it does not hold
    bool m_active = false;
};

struct CGrayPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width * height, rows packed
};

double MeanLuma(const CGrayPicture& picture);
// Mean absolute difference per pixel; pictures of different sizes differ by 255.
double PictureDifference(const CGrayPicture& a, const CGrayPicture& b);

// Black and freeze over the analysis pictures of one stream.
class CPictureWatch {
public:
    void Add(CGrayPicture picture, double now);
    bool Black() const { return m_black.Active(); }
    bool Frozen() const { return m_frozen.Active(); }
    double Luma() const { return m_luma; }
    double Difference() const { return m_difference; }

private:
    CHoldTimer m_black{kBlackSeconds};
    CHoldTimer m_frozen{kFreezeSeconds};
    CGrayPicture m_previous;
    double m_luma = 0;
    double m_difference = -1; // < 0 before the second picture
};

double ToDbfs(double amplitude);

// Peak and RMS per channel over windows of a tenth of a second, and silence
// (every channel's peak under kSilenceDbfs for kSilenceSeconds of sound).
// Time is the sound's own: samples counted at the sample rate.
class CLevelMeter {
public:
    CLevelMeter(int channels, int sampleRate);
    // Interleaved samples, full scale 1.0; returns how many windows ended.
    int Add(const float* samples, size_t frames);
    int Channels() const { return m_channels; }
    const std::vector<double>& PeakDbfs() const { return m_peakDb; }
    const std::vector<double>& RmsDbfs() const { return m_rmsDb; }
    bool Silent() const { return m_silence.Active(); }
    long long Windows() const { return m_windows; }

private:
    void EndWindow();

    int m_channels;
    int m_sampleRate;
    size_t m_windowFrames;
    size_t m_inWindow = 0;
    long long m_frames = 0;
    long long m_windows = 0;
    std::vector<float> m_peak;
    std::vector<double> m_sumSquares;
    std::vector<double> m_peakDb;
    std::vector<double> m_rmsDb;
    CHoldTimer m_silence{kSilenceSeconds};
};

// What a stream carries, as announced or as received; unknown fields are
// empty or 0 (interlaced: -1).
struct CStreamFormat {
    std::string codec; // the decoder's name ("h264", "pcm_s24be", ...)
    std::string profile;
    int width = 0;
    int height = 0;
    double frameRate = 0;
    int interlaced = -1;
    int channels = 0;
    int sampleRate = 0;
};

// The decoder's name for an RTP encoding name ("H264" -> "h264", "L24" ->
// "pcm_s24be"); empty when we know none.
std::string DecoderNameOf(std::string_view encodingName);
// The fields known on both sides that disagree ("codec", "width", ...).
std::vector<std::string> FormatDifferences(const CStreamFormat& announced, const CStreamFormat& received);

// The session part of an SDP text and the lines of its media entry `index`
// (0-based), CRLF line ends; empty when there is no such entry.
std::string MediaSectionSdp(std::string_view sdp, int index);

// Whose turn it is among more watched streams than decoders: a stream keeps
// its decoder for `slice` seconds while others wait, or less once it is done
// (it has a fresh picture) after a second at least.
class CRoundRobin {
public:
    CRoundRobin(int count, double slice) : m_slots(count < 1 ? 1 : count), m_slice(slice) {}
    void SetSlots(int count) { m_slots = count < 1 ? 1 : count; }
    void Add(int id);
    void Remove(int id);
    struct CChange {
        std::vector<int> stop;
        std::vector<int> start;
    };
    template <typename Done> CChange Step(double now, Done done);
    bool Running(int id) const;

private:
    struct CTurn {
        int id;
        double since;
    };
    int m_slots;
    double m_slice;
    std::vector<CTurn> m_running;
    std::vector<int> m_waiting;
};

template <typename Done> CRoundRobin::CChange CRoundRobin::Step(double now, Done done)
{
    CChange change;
    // Fewer slots than before: the newest turns wait again first.
    while (int(m_running.size()) > m_slots) {
        change.stop.push_back(m_running.back().id);
        m_waiting.insert(m_waiting.begin(), m_running.back().id);
        m_running.pop_back();
    }
    // As many turns end as streams wait, oldest first.
    size_t waiting = m_waiting.size();
    for (size_t i = 0; i < m_running.size() && waiting > 0;) {
        const double held = now - m_running[i].since;
        if (held >= m_slice || (held >= 1.0 && done(m_running[i].id))) {
            change.stop.push_back(m_running[i].id);
            m_waiting.push_back(m_running[i].id);
            m_running.erase(m_running.begin() + std::ptrdiff_t(i));
            --waiting;
        } else {
            ++i;
        }
    }
    while (int(m_running.size()) < m_slots && !m_waiting.empty()) {
        m_running.push_back({m_waiting.front(), now});
        change.start.push_back(m_waiting.front());
        m_waiting.erase(m_waiting.begin());
    }
    return change;
}

} // namespace preview
