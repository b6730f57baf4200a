#pragma once
// Decoded frames to what a preview shows: the picture's thumbnail and
// black/freeze, the sound's meters and loudness.
#include "preview/PreviewTypes.h"

#include <ebur128.h>

#include <memory>
#include <string>
#include <vector>

struct AVFrame;
struct SwsContext;
struct SwrContext;
struct AVCodecContext;

namespace preview {
// The libraries say nothing on standard error: what goes wrong is told in
// the snapshots. Called by every analyser and decoder; once per process.
void QuietLibraries();
// What the libraries last complained of on this thread (a picture size over
// the limit first); `clear` forgets it.
std::string LibraryComplaint(bool clear = false);

class CVideoAnalyser {
public:
    explicit CVideoAnalyser(const CPreviewOptions& options) : m_options(options) { QuietLibraries(); }
    ~CVideoAnalyser();
    CVideoAnalyser(const CVideoAnalyser&) = delete;
    CVideoAnalyser& operator=(const CVideoAnalyser&) = delete;

    // One decoded picture at `now`; updates `out`. Returns an error in words
    // when the picture cannot be used.
    std::string Add(const AVFrame& frame, double now, CVideoSnapshot& out);

    // The picture scaled to `width` (height after its aspect) as a JPEG.
    std::shared_ptr<const std::vector<uint8_t>> Thumbnail(const AVFrame& frame);

private:
    CGrayPicture Gray(const AVFrame& frame);

    CPreviewOptions m_options;
    CPictureWatch m_watch;
    double m_lastThumbnail = -1;
    double m_lastAnalysis = -1;
    SwsContext* m_graySws = nullptr;
    SwsContext* m_thumbSws = nullptr;
    AVCodecContext* m_encoder = nullptr;
    AVFrame* m_scaled = nullptr;
    int64_t m_encoded = 0;
};

class CAudioAnalyser {
public:
    CAudioAnalyser() { QuietLibraries(); }
    ~CAudioAnalyser();
    CAudioAnalyser(const CAudioAnalyser&) = delete;
    CAudioAnalyser& operator=(const CAudioAnalyser&) = delete;

    // One decoded frame of sound; updates `out`. Returns an error in words
    // when the sound cannot be used.
    std::string Add(const AVFrame& frame, CAudioSnapshot& out, bool loudness = true);

private:
    std::string Reset(const AVFrame& frame, bool loudness);
    void Release();

    SwrContext* m_swr = nullptr;
    ebur128_state* m_loudness = nullptr;
    std::unique_ptr<CLevelMeter> m_meter;
    std::vector<float> m_samples;
    int m_format = -1;
    int m_rate = 0;
    int m_channels = 0;
    long long m_windowsSeen = 0;
};

constexpr int kMaxChannels = 64;

constexpr int kMaxSampleRate = 384000;

} // namespace preview
