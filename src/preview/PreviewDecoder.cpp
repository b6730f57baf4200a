#include "preview/PreviewDecoder.h"

#include "preview/FrameAnalysers.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace preview {

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

std::string ErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// The SDP text read by the sdp demuxer from memory.
struct CMemoryReader {
    const std::string* text;
    size_t position = 0;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size)
{
    auto* reader = static_cast<CMemoryReader*>(opaque);
    const size_t left = reader->text->size() - reader->position;
    if (left == 0)
        return AVERROR_EOF;
    const size_t n = std::min(left, size_t(size));
    std::memcpy(buffer, reader->text->data() + reader->position, n);
    reader->position += n;
    return int(n);
}

struct CFormatCloser {
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    ~CFormatCloser()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

} // namespace

CPreviewDecoder::CPreviewDecoder(CPreviewSource source, CPreviewOptions options)
    : m_source(std::move(source)), m_options(options)
{
    QuietLibraries();
    static const bool network = [] { return avformat_network_init() == 0; }();
    (void)network;
    m_snapshot.video.received.codec.clear();
}

CPreviewDecoder::~CPreviewDecoder()
{
    Stop();
}

void CPreviewDecoder::Start()
{
    if (m_thread.joinable())
        return;
    m_stop = false;
    {
        std::lock_guard lock(m_mutex);
        m_turnStart = SteadySeconds();
    }
    m_thread = std::thread([this] { Run(); });
}

void CPreviewDecoder::Stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    m_snapshot.state = "waiting";
}

CPreviewSnapshot CPreviewDecoder::Snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

bool CPreviewDecoder::Done() const
{
    std::lock_guard lock(m_mutex);
    if (m_snapshot.video.present)
        return m_snapshot.video.pictureTime > m_turnStart;
    return m_snapshot.audio.windows >= 10 && m_snapshot.state == "decoding";
}

int CPreviewDecoder::Interrupt(void* self)
{
    auto* decoder = static_cast<CPreviewDecoder*>(self);
    return decoder->m_stop || SteadySeconds() > decoder->m_deadline ? 1 : 0;
}

void CPreviewDecoder::Publish(const std::string& state, const std::string& message)
{
    std::lock_guard lock(m_mutex);
    m_snapshot.state = state;
    m_snapshot.message = message;
}

void CPreviewDecoder::Run()
{
    if (!m_source.unusable.empty()) {
        Publish("failed", m_source.unusable);
        return;
    }
    while (!m_stop) {
        Publish("opening", Snapshot().message);
        const std::string why = Session();
        if (m_stop)
            break;
        Publish("failed", why);
        // Tried again after a pause: a sender may come back.
        std::unique_lock lock(m_wakeMutex);
        m_wake.wait_for(lock, std::chrono::seconds(2), [this] { return m_stop.load(); });
    }
}

std::string CPreviewDecoder::Open(AVFormatContext*& format, void* reader, AVIOContext*& io)
{
    format = avformat_alloc_context();
    if (!format)
        return "out of memory";
    format->interrupt_callback = {&CPreviewDecoder::Interrupt, this};
    format->max_streams = 16;
    format->probesize = m_options.probeBytes;
    format->max_analyze_duration = int64_t(m_options.probeSeconds * AV_TIME_BASE);
    AVDictionary* options = nullptr;
    const bool sdp = m_source.url.empty();
    // The session's text is read from memory, so no file or other protocol
    // is opened for it; the media only over RTP and UDP.
    const AVInputFormat* input = av_find_input_format(sdp ? "sdp" : "mpegts");
    av_dict_set(&options, "protocol_whitelist", sdp ? "rtp,udp" : "udp", 0);
    if (sdp) {
        if (!m_source.interfaceAddress.empty())
            av_dict_set(&options, "localaddr", m_source.interfaceAddress.c_str(), 0);
        av_dict_set(&options, "reorder_queue_size", "64", 0);
        const int size = 4096;
        auto* buffer = static_cast<uint8_t*>(av_malloc(size));
        io = buffer ? avio_alloc_context(buffer, size, 0, reader, &ReadMemory, nullptr, nullptr) : nullptr;
        if (!io) {
            av_free(buffer);
            av_dict_free(&options);
            avformat_free_context(format);
            format = nullptr;
            return "out of memory";
        }
        format->pb = io;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    if (!input) {
        av_dict_free(&options);
        avformat_free_context(format);
        format = nullptr;
        return "the libraries on this system cannot read this kind of stream";
    }
    m_deadline = SteadySeconds() + m_options.openSeconds;
    // On failure the context is freed (and format set to null); the reader is ours.
    int result = avformat_open_input(&format, sdp ? "" : m_source.url.c_str(), input, &options);
    av_dict_free(&options);
    if (result < 0) {
        if (m_stop)
            return {};
        return SteadySeconds() > m_deadline ? "nothing could be read from the stream in time"
                                            : "the stream cannot be opened: " + ErrorText(result);
    }
    m_deadline = SteadySeconds() + m_options.openSeconds;
    result = avformat_find_stream_info(format, nullptr);
    if (result < 0 && !m_stop)
        return SteadySeconds() > m_deadline ? "nothing that can be decoded has arrived in " +
                                                  std::to_string(int(m_options.openSeconds)) + " s"
                                            : "what arrives cannot be read: " + ErrorText(result);
    return {};
}

std::string CPreviewDecoder::OpenDecoder(AVFormatContext* format, int stream, AVCodecContext*& decoder)
{
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return std::string("no decoder on this system for ") + avcodec_get_name(parameters->codec_id);
    if (parameters->width > m_options.maxWidth || parameters->height > m_options.maxHeight)
        return "pictures of " + std::to_string(parameters->width) + "x" + std::to_string(parameters->height) +
               " are over the limit of " + std::to_string(m_options.maxWidth) + "x" + std::to_string(m_options.maxHeight);
    decoder = avcodec_alloc_context3(codec);
    if (!decoder || avcodec_parameters_to_context(decoder, parameters) < 0)
        return "out of memory";
    decoder->thread_count = 1;
    decoder->pkt_timebase = format->streams[stream]->time_base;
    decoder->max_pixels = int64_t(m_options.maxWidth) * m_options.maxHeight;
    if (codec->type == AVMEDIA_TYPE_VIDEO && !m_options.everyFrame)
        decoder->skip_frame = AVDISCARD_NONKEY;
    const int result = avcodec_open2(decoder, codec, nullptr);
    if (result < 0)
        return std::string("the ") + codec->name + " decoder cannot start: " + ErrorText(result);
    return {};
}

std::string CPreviewDecoder::Session()
{
    CMemoryReader reader{&m_source.sdp};
    CFormatCloser av;
    std::string error = Open(av.format, &reader, av.io);
    if (!error.empty() || m_stop)
        return error;
    // A transport stream carries both, whatever its entry is called.
    const bool transportStream = !m_source.url.empty() || m_source.announced.codec == "mpegts";
    const int videoStream = m_options.pictures && (m_source.media != "audio" || transportStream)
                                ? av_find_best_stream(av.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    const int audioStream = m_options.levels && (m_source.media != "video" || transportStream)
                                ? av_find_best_stream(av.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    if (videoStream < 0 && audioStream < 0)
        return av.format->nb_streams == 0 ? "no stream was found in what arrives"
                                          : "what arrives holds no picture or sound this program can show";
    for (unsigned i = 0; i < av.format->nb_streams; ++i)
        av.format->streams[i]->discard = int(i) == videoStream || int(i) == audioStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    if (videoStream >= 0 && !(error = OpenDecoder(av.format, videoStream, av.video)).empty())
        return error;
    if (audioStream >= 0 && !(error = OpenDecoder(av.format, audioStream, av.audio)).empty())
        return error;
    av.packet = av_packet_alloc();
    av.frame = av_frame_alloc();
    if (!av.packet || !av.frame)
        return "out of memory";

    CVideoAnalyser pictures(m_options);
    CAudioAnalyser sound;
    {
        std::lock_guard lock(m_mutex);
        if (av.video) {
            const AVStream* stream = av.format->streams[videoStream];
            CStreamFormat& received = m_snapshot.video.received;
            received.codec = avcodec_get_name(av.video->codec_id);
            AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
            received.frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
            if (received.frameRate > 300) // a guess from timestamps that are not a picture rate
                received.frameRate = 0;
        }
        if (av.audio)
            m_snapshot.audio.received.codec = avcodec_get_name(av.audio->codec_id);
        m_snapshot.state = "decoding";
        m_snapshot.message.clear();
    }
    // Per stream: when something last came out of its decoder, and the last
    // error it gave since.
    struct CProgress {
        double lastOutput;
        int errors = 0;
        std::string error;
    };
    CProgress progress[2] = {{SteadySeconds(), 0, {}}, {SteadySeconds(), 0, {}}};
    const double quietLimit = std::max(12.0, m_options.refreshSeconds + 2);
    while (!m_stop) {
        m_deadline = SteadySeconds() + m_options.frameSeconds;
        const int read = av_read_frame(av.format, av.packet);
        if (read == AVERROR(EAGAIN))
            continue;
        if (read < 0) {
            if (m_stop)
                return {};
            if (SteadySeconds() > m_deadline)
                return "nothing that can be decoded has arrived for " + std::to_string(int(m_options.frameSeconds)) + " s";
            return "the stream ended: " + ErrorText(read);
        }
        const bool isVideo = av.packet->stream_index == videoStream;
        AVCodecContext* decoder = isVideo ? av.video : av.packet->stream_index == audioStream ? av.audio : nullptr;
        if (!decoder) {
            av_packet_unref(av.packet);
            continue;
        }
        CProgress& p = progress[isVideo ? 0 : 1];
        int result = avcodec_send_packet(decoder, av.packet);
        av_packet_unref(av.packet);
        if (result < 0 && result != AVERROR(EAGAIN)) {
            ++p.errors;
            p.error = ErrorText(result);
        }
        const double now = SteadySeconds();
        while ((result = avcodec_receive_frame(decoder, av.frame)) == 0) {
            std::string problem;
            {
                std::lock_guard lock(m_mutex);
                if (isVideo) {
                    problem = pictures.Add(*av.frame, now, m_snapshot.video);
                    CStreamFormat& received = m_snapshot.video.received;
                    if (const char* profile = avcodec_profile_name(decoder->codec_id, decoder->profile))
                        received.profile = profile;
                    m_snapshot.video.differences = FormatDifferences(m_source.announced, received);
                } else {
                    problem = sound.Add(*av.frame, m_snapshot.audio);
                    m_snapshot.audio.differences = FormatDifferences(m_source.announced, m_snapshot.audio.received);
                }
                if (problem.empty()) {
                    p.lastOutput = now;
                    p.errors = 0;
                    if (m_snapshot.message.rfind(isVideo ? "video: " : "audio: ", 0) == 0)
                        m_snapshot.message.clear();
                }
            }
            av_frame_unref(av.frame);
            if (!problem.empty()) {
                p.errors = 1000;
                p.error = problem;
            }
        }
        if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
            ++p.errors;
            p.error = ErrorText(result);
        }
        // A decoder that keeps refusing, or keeps silent while packets come.
        std::string message;
        if (p.errors >= 5) {
            const std::string complaint = LibraryComplaint();
            message = std::string(isVideo ? "video: " : "audio: ") + "the decoder refuses what arrives (" +
                      (complaint.empty() ? p.error : complaint) + ")";
        }
        else if (now - p.lastOutput > quietLimit)
            message = std::string(isVideo ? "video: packets arrive but no picture could be decoded for "
                                          : "audio: packets arrive but no sound could be decoded for ") +
                      std::to_string(int(now - p.lastOutput)) + " s";
        if (!message.empty()) {
            std::lock_guard lock(m_mutex);
            m_snapshot.message = message;
        }
    }
    return {};
}

} // namespace preview
