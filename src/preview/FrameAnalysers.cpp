#include "preview/FrameAnalysers.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>

namespace preview {

namespace {

// Each decoder decodes on its own thread (one thread per decoder), so the
// library's last complaint on a thread is about that thread's stream.
thread_local std::string t_lastComplaint;
thread_local std::string t_sizeComplaint;

void KeepComplaint(void* context, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[256];
    int prefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &prefix);
    std::string text = line;
    // Our words around the library's: no context prefix, no advice.
    if (const size_t bracket = text.rfind("] "); text.starts_with("[") && bracket != std::string::npos)
        text.erase(0, bracket + 2);
    if (const size_t advice = text.find(", see "); advice != std::string::npos)
        text.erase(advice);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.starts_with("Picture size"))
        t_sizeComplaint = text;
    t_lastComplaint = std::move(text);
}

} // namespace

void QuietLibraries()
{
    static const bool once = [] {
        if (!getenv("TALMIRA_PREVIEW_LOG"))
            av_log_set_callback(&KeepComplaint);
        return true;
    }();
    (void)once;
}

std::string LibraryComplaint(bool clear)
{
    std::string text = !t_sizeComplaint.empty() ? t_sizeComplaint : t_lastComplaint;
    if (clear) {
        t_lastComplaint.clear();
        t_sizeComplaint.clear();
    }
    return text;
}

namespace {

// 60 dB over full scale: more is no sound but garbage.
constexpr float kMaxAmplitude = 1000.0f;

bool UsablePicture(const AVFrame& frame)
{
    return frame.width > 0 && frame.height > 0 && frame.data[0] &&
           av_pix_fmt_desc_get(AVPixelFormat(frame.format)) != nullptr &&
           sws_isSupportedInput(AVPixelFormat(frame.format));
}

// libebur128's place for a channel of this layout: the low-frequency
// channel does not count, the side and back channels count as surrounds.
int LoudnessChannel(const AVChannelLayout& layout, int index)
{
    switch (av_channel_layout_channel_from_index(&layout, unsigned(index))) {
    case AV_CHAN_FRONT_LEFT: return EBUR128_LEFT;
    case AV_CHAN_FRONT_RIGHT: return EBUR128_RIGHT;
    case AV_CHAN_FRONT_CENTER: return EBUR128_CENTER;
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2: return EBUR128_UNUSED;
    case AV_CHAN_BACK_LEFT:
    case AV_CHAN_SIDE_LEFT:
    case AV_CHAN_SURROUND_DIRECT_LEFT:
    case AV_CHAN_WIDE_LEFT: return EBUR128_LEFT_SURROUND;
    case AV_CHAN_BACK_RIGHT:
    case AV_CHAN_SIDE_RIGHT:
    case AV_CHAN_SURROUND_DIRECT_RIGHT:
    case AV_CHAN_WIDE_RIGHT: return EBUR128_RIGHT_SURROUND;
    default: return EBUR128_CENTER; // full weight
    }
}

} // namespace

CVideoAnalyser::~CVideoAnalyser()
{
    sws_freeContext(m_graySws);
    sws_freeContext(m_thumbSws);
    avcodec_free_context(&m_encoder);
    av_frame_free(&m_scaled);
}

CGrayPicture CVideoAnalyser::Gray(const AVFrame& frame)
{
    CGrayPicture gray;
    m_graySws = sws_getCachedContext(m_graySws, frame.width, frame.height, AVPixelFormat(frame.format), kAnalysisWidth,
                                     kAnalysisHeight, AV_PIX_FMT_GRAY8, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_graySws)
        return gray;
    gray.width = kAnalysisWidth;
    gray.height = kAnalysisHeight;
    gray.pixels.resize(size_t(kAnalysisWidth) * kAnalysisHeight);
    uint8_t* planes[4] = {gray.pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {kAnalysisWidth, 0, 0, 0};
    if (sws_scale(m_graySws, frame.data, frame.linesize, 0, frame.height, planes, strides) != kAnalysisHeight)
        return {};
    return gray;
}

std::shared_ptr<const std::vector<uint8_t>> CVideoAnalyser::Thumbnail(const AVFrame& frame)
{
    if (!UsablePicture(frame))
        return nullptr;
    const int width = std::clamp(m_options.thumbnailWidth, 16, 1920) & ~1;
    double aspect = double(frame.width) / frame.height;
    if (frame.sample_aspect_ratio.num > 0 && frame.sample_aspect_ratio.den > 0)
        aspect *= av_q2d(frame.sample_aspect_ratio);
    const int height = std::clamp(int(std::lround(width / aspect / 2)) * 2, 16, 1920);
    if (!m_encoder || m_encoder->width != width || m_encoder->height != height) {
        avcodec_free_context(&m_encoder);
        av_frame_free(&m_scaled);
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        if (!codec || !(m_encoder = avcodec_alloc_context3(codec)))
            return nullptr;
        m_encoder->width = width;
        m_encoder->height = height;
        m_encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
        m_encoder->time_base = {1, 25};
        m_encoder->flags |= AV_CODEC_FLAG_QSCALE;
        m_encoder->global_quality = FF_QP2LAMBDA * 4;
        m_encoder->thread_count = 1;
        m_scaled = av_frame_alloc();
        if (avcodec_open2(m_encoder, codec, nullptr) < 0 || !m_scaled) {
            avcodec_free_context(&m_encoder);
            return nullptr;
        }
        m_scaled->width = width;
        m_scaled->height = height;
        m_scaled->format = AV_PIX_FMT_YUVJ420P;
        if (av_frame_get_buffer(m_scaled, 0) < 0) {
            avcodec_free_context(&m_encoder);
            return nullptr;
        }
    }
    m_thumbSws = sws_getCachedContext(m_thumbSws, frame.width, frame.height, AVPixelFormat(frame.format), width, height,
                                      AV_PIX_FMT_YUVJ420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_thumbSws || av_frame_make_writable(m_scaled) < 0 ||
        sws_scale(m_thumbSws, frame.data, frame.linesize, 0, frame.height, m_scaled->data, m_scaled->linesize) != height)
        return nullptr;
    m_scaled->quality = m_encoder->global_quality;
    m_scaled->pts = m_encoded++; // the encoder wants them rising
    if (avcodec_send_frame(m_encoder, m_scaled) < 0)
        return nullptr;
    AVPacket* packet = av_packet_alloc();
    std::shared_ptr<std::vector<uint8_t>> jpeg;
    if (packet && avcodec_receive_packet(m_encoder, packet) == 0)
        jpeg = std::make_shared<std::vector<uint8_t>>(packet->data, packet->data + packet->size);
    av_packet_free(&packet);
    return jpeg;
}

std::string CVideoAnalyser::Add(const AVFrame& frame, double now, CVideoSnapshot& out)
{
    if (!UsablePicture(frame))
        return "the decoder gives pictures of a form that cannot be shown";
    if (frame.width > m_options.maxWidth || frame.height > m_options.maxHeight)
        return "pictures of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) + " are over the limit of " +
               std::to_string(m_options.maxWidth) + "x" + std::to_string(m_options.maxHeight);
    out.present = true;
    ++out.pictures;
    out.received.width = frame.width;
    out.received.height = frame.height;
    out.received.interlaced = frame.interlaced_frame ? 1 : 0;
    // Black and freeze at ten pictures a second at most.
    if (m_options.everyFrame && (m_lastAnalysis < 0 || now - m_lastAnalysis >= 0.1 || now < m_lastAnalysis)) {
        m_lastAnalysis = now;
        CGrayPicture gray = Gray(frame);
        if (!gray.pixels.empty()) {
            m_watch.Add(std::move(gray), now);
            out.analysed = true;
            out.black = m_watch.Black();
            out.frozen = m_watch.Frozen();
            out.luma = m_watch.Luma();
        }
    }
    if (m_options.pictures && (m_lastThumbnail < 0 || now - m_lastThumbnail >= m_options.refreshSeconds || now < m_lastThumbnail)) {
        if (auto jpeg = Thumbnail(frame)) {
            m_lastThumbnail = now;
            out.jpeg = std::move(jpeg);
            out.pictureTime = now;
        }
    }
    return {};
}

CAudioAnalyser::~CAudioAnalyser()
{
    Release();
}

void CAudioAnalyser::Release()
{
    swr_free(&m_swr);
    if (m_loudness)
        ebur128_destroy(&m_loudness);
    m_meter.reset();
}

std::string CAudioAnalyser::Reset(const AVFrame& frame, bool loudness)
{
    Release();
    const int channels = frame.ch_layout.nb_channels;
    if (channels < 1 || channels > kMaxChannels)
        return "sound of " + std::to_string(channels) + " channels cannot be measured";
    if (frame.sample_rate < 1000 || frame.sample_rate > kMaxSampleRate)
        return "sound at " + std::to_string(frame.sample_rate) + " Hz cannot be measured";
    AVChannelLayout layout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
        av_channel_layout_copy(&layout, &frame.ch_layout);
    else
        av_channel_layout_default(&layout, channels); // what the channels of an RTP entry are taken to be
    if (swr_alloc_set_opts2(&m_swr, &layout, AV_SAMPLE_FMT_FLT, frame.sample_rate, &layout,
                            AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr) < 0 ||
        swr_init(m_swr) < 0) {
        av_channel_layout_uninit(&layout);
        Release();
        return "the sound's sample format cannot be converted";
    }
    if (loudness) {
        m_loudness = ebur128_init(unsigned(channels), unsigned(frame.sample_rate),
                                  EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_TRUE_PEAK);
        for (int c = 0; m_loudness && c < channels; ++c)
            ebur128_set_channel(m_loudness, unsigned(c), LoudnessChannel(layout, c));
    }
    av_channel_layout_uninit(&layout);
    m_meter = std::make_unique<CLevelMeter>(channels, frame.sample_rate);
    m_format = frame.format;
    m_rate = frame.sample_rate;
    m_channels = channels;
    m_windowsSeen = 0;
    return {};
}

std::string CAudioAnalyser::Add(const AVFrame& frame, CAudioSnapshot& out, bool loudness)
{
    if (frame.nb_samples <= 0 || !frame.extended_data)
        return {};
    if (!m_meter || frame.format != m_format || frame.sample_rate != m_rate || frame.ch_layout.nb_channels != m_channels) {
        std::string error = Reset(frame, loudness);
        if (!error.empty())
            return error;
    }
    out.present = true;
    out.received.channels = m_channels;
    out.received.sampleRate = m_rate;
    const size_t frames = size_t(std::min(frame.nb_samples, m_rate)); // at most a second per frame
    m_samples.resize(frames * size_t(m_channels));
    uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(m_samples.data())};
    const int converted = swr_convert(m_swr, planes, int(frames), const_cast<const uint8_t**>(frame.extended_data), int(frames));
    if (converted <= 0)
        return {};
    // Float sound may hold anything: what is not a number, or is far beyond
    // full scale, would poison the loudness filters for good.
    for (float& v : m_samples)
        v = std::isfinite(v) ? std::clamp(v, -kMaxAmplitude, kMaxAmplitude) : 0.0f;
    const bool ended = m_meter->Add(m_samples.data(), size_t(converted)) > 0;
    if (m_loudness)
        ebur128_add_frames_float(m_loudness, m_samples.data(), size_t(converted));
    // The figures ten times a second: the short-term loudness sums its
    // whole 3 s window each time it is asked.
    if (!ended && m_windowsSeen > 0)
        return {};
    m_windowsSeen = m_meter->Windows();
    out.peakDbfs = m_meter->PeakDbfs();
    out.rmsDbfs = m_meter->RmsDbfs();
    out.silent = m_meter->Silent();
    out.windows = m_meter->Windows();
    if (m_loudness) {
        double value = 0;
        if (ebur128_loudness_momentary(m_loudness, &value) == EBUR128_SUCCESS && !std::isnan(value))
            out.momentaryLufs = std::max(value, kFloorDbfs);
        if (ebur128_loudness_shortterm(m_loudness, &value) == EBUR128_SUCCESS && !std::isnan(value))
            out.shortTermLufs = std::max(value, kFloorDbfs);
        double peak = 0;
        for (int c = 0; c < m_channels; ++c)
            if (ebur128_true_peak(m_loudness, unsigned(c), &value) == EBUR128_SUCCESS)
                peak = std::max(peak, value);
        out.truePeakDbtp = ToDbfs(peak);
    }
    return {};
}

} // namespace preview
