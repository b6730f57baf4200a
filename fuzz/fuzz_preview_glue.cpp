// Fuzzes the preview's own glue: what a session's text turns into for the
// decoders (never a protocol or a file name taken from the text), and the
// analysis over frames of any form the decoders may give.
#include "base/Clock.h"
#include "base/Random.h"
#include "preview/FrameAnalysers.h"
#include "preview/PreviewPlan.h"
#include "sdp/SDPObject.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void Plan(const uint8_t* data, size_t size)
{
    static CManualClock clock(1700000000);
    static CScriptedRandom random{3};
    CSdpEnvironment env{clock, random, nullptr};
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto session = CSDPObject::FromText(text, env);
    for (const preview::CPreviewSource& s : preview::PlanPreview(*session, text, "10.1.2.3")) {
        if (!s.url.empty() && (s.url.rfind("udp://", 0) != 0 || s.url.find_first_of(" \r\n/", 6) != std::string::npos))
            __builtin_trap();
        if (!s.sdp.empty() && s.sdp.rfind("m=", 0) == 0)
            __builtin_trap();
    }
}

// Fills a frame's planes from the input, wrapping around it.
void Fill(AVFrame* frame, const uint8_t* data, size_t size)
{
    for (int p = 0; p < AV_NUM_DATA_POINTERS && frame->buf[p]; ++p)
        for (size_t i = 0; i < frame->buf[p]->size; ++i)
            frame->buf[p]->data[i] = size ? data[i % size] : 0;
}

void Sound(const uint8_t* data, size_t size)
{
    if (size < 4)
        return;
    static const AVSampleFormat kFormats[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S32,  AV_SAMPLE_FMT_FLT,
                                              AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_DBL, AV_SAMPLE_FMT_U8P};
    static const int kRates[] = {8000, 44100, 48000, 96000, 0, 999999};
    AVFrame* frame = av_frame_alloc();
    frame->format = kFormats[data[0] % 6];
    frame->sample_rate = kRates[data[1] % 6];
    av_channel_layout_default(&frame->ch_layout, 1 + data[2] % 70);
    frame->nb_samples = 1 + data[3] * 8;
    preview::CAudioAnalyser analyser;
    preview::CAudioSnapshot out;
    if (av_frame_get_buffer(frame, 0) == 0) {
        for (int round = 0; round < 3; ++round) {
            Fill(frame, data + 4, size - 4);
            analyser.Add(*frame, out);
        }
        for (size_t c = 0; c < out.peakDbfs.size(); ++c)
            if (!std::isfinite(out.peakDbfs[c]) || !std::isfinite(out.rmsDbfs[c]) || out.rmsDbfs[c] > out.peakDbfs[c] + 1e-6)
                __builtin_trap();
        if (std::isnan(out.momentaryLufs) || std::isnan(out.truePeakDbtp))
            __builtin_trap();
    }
    av_frame_free(&frame);
}

void Picture(const uint8_t* data, size_t size)
{
    if (size < 4)
        return;
    static const AVPixelFormat kFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_NV12,
                                             AV_PIX_FMT_RGB24, AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUV444P};
    AVFrame* frame = av_frame_alloc();
    frame->format = kFormats[data[0] % 6];
    frame->width = 1 + data[1] % 96;
    frame->height = 1 + data[2] % 64;
    frame->sample_aspect_ratio = {data[3] % 4, 1 + data[3] / 64};
    preview::CPreviewOptions options;
    options.everyFrame = true;
    options.refreshSeconds = 0;
    preview::CVideoAnalyser analyser(options);
    preview::CVideoSnapshot out;
    if (av_frame_get_buffer(frame, 0) == 0) {
        for (int round = 0; round < 3; ++round) {
            Fill(frame, data + 4, size - 4);
            analyser.Add(*frame, round * 0.2, out);
        }
        if (out.analysed && (out.luma < 0 || out.luma > 255))
            __builtin_trap();
    }
    av_frame_free(&frame);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    switch (data[0] % 3) {
    case 0: Plan(data + 1, size - 1); break;
    case 1: Sound(data + 1, size - 1); break;
    default: Picture(data + 1, size - 1); break;
    }
    return 0;
}
