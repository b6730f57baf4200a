// The preview's work against ffmpeg doing the same in the same run:
// thumbnails of H.264 1080p from keyframes only (ffmpeg -skip_frame nokey
// writing the same JPEG pictures), meters and EBU R128 loudness with true
// peak of 8-channel L24 sound at 48 kHz (ffmpeg's ebur128 filter), and the
// peak and RMS meters alone. Each reports the share of one core its live
// load takes: 16 streams with a picture every 10 s, 8 sound streams.
#include "BenchRatio.h"

#include "preview/FrameAnalysers.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace {

constexpr int kVideoSeconds = 20;
constexpr int kSoundSeconds = 10;
constexpr int kChannels = 8;

std::string Scratch(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

// Runs a program and returns the CPU seconds it used (user + system).
double ChildCpuSeconds(std::vector<std::string> argv)
{
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// 20 s of 1080p25 H.264 in MPEG-TS, a keyframe every 2 s, made once.
const std::string& VideoFile()
{
    static const std::string path = [] {
        const std::string p = Scratch("talmira_bench_preview_1080p.ts");
        if (!std::filesystem::exists(p))
            ChildCpuSeconds({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc2=size=1920x1080:rate=25:duration=" + std::to_string(kVideoSeconds), "-c:v",
                             "libx264", "-preset", "ultrafast", "-g", "50", "-pix_fmt", "yuv420p", "-f", "mpegts", p});
        return p;
    }();
    return path;
}

// 10 s of 8 channels at 48 kHz, 24 bits in 32 (what the L24 decoder gives), a tone each.
const std::string& SoundFile()
{
    static const std::string path = [] {
        const std::string p = Scratch("talmira_bench_preview_8ch.s32");
        std::ofstream out(p, std::ios::binary);
        for (int i = 0; i < 48000 * kSoundSeconds; ++i)
            for (int c = 0; c < kChannels; ++c) {
                const int32_t v = int32_t(0.1 * std::sin(2 * M_PI * (200 + 100 * c) * i / 48000.0) * 8388607) << 8;
                out.write(reinterpret_cast<const char*>(&v), 4);
            }
        return p;
    }();
    return path;
}

// Our thumbnails: keyframes only, one picture every 10 s of the stream.
int OurThumbnails()
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, VideoFile().c_str(), nullptr, nullptr) < 0)
        return 0;
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
    decoder->thread_count = 1;
    decoder->skip_frame = AVDISCARD_NONKEY;
    avcodec_open2(decoder, codec, nullptr);
    preview::CPreviewOptions options;
    preview::CVideoAnalyser analyser(options);
    preview::CVideoSnapshot out;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int thumbnails = 0;
    double last = -1;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0)
            while (avcodec_receive_frame(decoder, frame) == 0) {
                const double t = double(frame->best_effort_timestamp) * av_q2d(format->streams[stream]->time_base);
                analyser.Add(*frame, t, out);
                if (out.pictureTime != last) {
                    last = out.pictureTime;
                    ++thumbnails;
                }
                av_frame_unref(frame);
            }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return thumbnails;
}

void BM_Thumbnails(benchmark::State& state)
{
    VideoFile();
    int pictures = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        pictures = OurThumbnails();
        cpu += ThreadCpuSeconds() - start;
    }
    state.counters["items_per_iter"] = pictures;
    // 16 streams, each a picture every 10 s: 1.6 pictures a second.
    state.counters["pct_core_16_streams"] = 100 * cpu / double(state.iterations()) / std::max(pictures, 1) * 1.6;
}

void BM_FfmpegThumbnails(benchmark::State& state)
{
    VideoFile();
    const std::string out = Scratch("talmira_bench_preview_%02d.jpg");
    for (auto _ : state) {
        const double cpu = ChildCpuSeconds({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-threads",
                                            "1", "-skip_frame", "nokey", "-i", VideoFile(), "-vf",
                                            "select='isnan(prev_selected_t)+gte(t-prev_selected_t\\,10)',scale=320:-2",
                                            "-filter_threads", "1", "-vsync", "vfr", "-q:v", "4", "-threads", "1", out});
        state.SetIterationTime(cpu);
    }
    state.counters["items_per_iter"] = kVideoSeconds / 10;
}

std::vector<int32_t> Sound()
{
    std::vector<int32_t> samples(size_t(48000) * kSoundSeconds * kChannels);
    std::ifstream(SoundFile(), std::ios::binary).read(reinterpret_cast<char*>(samples.data()), std::streamsize(samples.size() * 4));
    return samples;
}

// Our meters and loudness (and true peak) over the sound in 5 ms frames, as L24 RTP gives them.
void BM_Levels(benchmark::State& state)
{
    const bool loudness = state.range(0) == 1;
    const std::vector<int32_t> samples = Sound();
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_S32;
    frame->sample_rate = 48000;
    frame->nb_samples = 240;
    av_channel_layout_default(&frame->ch_layout, kChannels);
    av_frame_get_buffer(frame, 0);
    double cpu = 0;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        preview::CAudioAnalyser analyser;
        preview::CAudioSnapshot out;
        for (size_t at = 0; at + 240 * kChannels <= samples.size(); at += 240 * kChannels) {
            std::copy_n(samples.data() + at, 240 * kChannels, reinterpret_cast<int32_t*>(frame->data[0]));
            analyser.Add(*frame, out, loudness);
        }
        benchmark::DoNotOptimize(out.shortTermLufs);
        cpu += ThreadCpuSeconds() - start;
    }
    av_frame_free(&frame);
    state.counters["items_per_iter"] = kSoundSeconds; // seconds of sound
    // Eight such streams, live.
    state.counters["pct_core_8_streams"] = 100 * cpu / double(state.iterations()) / kSoundSeconds * 8;
}

void BM_FfmpegLoudness(benchmark::State& state)
{
    SoundFile();
    for (auto _ : state) {
        const double cpu = ChildCpuSeconds({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "s32le", "-ar",
                                            "48000", "-ac", std::to_string(kChannels), "-i", SoundFile(), "-af",
                                            "ebur128=peak=true", "-f", "null", "-"});
        state.SetIterationTime(cpu);
    }
    state.counters["items_per_iter"] = kSoundSeconds;
}

BENCHMARK(BM_Thumbnails)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FfmpegThumbnails)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_Levels)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FfmpegLoudness)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    preview::QuietLibraries();
    return RunWithRatios(argc, argv,
                         {{"BM_Thumbnails/iterations:3", "BM_FfmpegThumbnails/iterations:3/manual_time", "thumbnails, keyframes only, vs ffmpeg -skip_frame nokey (CPU per picture)", 1.0, true},
                          {"BM_Levels/1/iterations:3", "BM_FfmpegLoudness/iterations:3/manual_time", "meters + loudness + true peak, 8 ch, vs ffmpeg ebur128 (CPU per second)", 1.0, true}});
}
