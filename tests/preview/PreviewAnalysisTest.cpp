// The preview's analysis fed synthetic pictures and sound: black, freeze,
// silence, meters and loudness, thumbnails, formats, turns.
#include "preview/FrameAnalysers.h"
#include "preview/PreviewAnalysis.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace preview;

namespace {

CGrayPicture Flat(int level, int seed = 0)
{
    CGrayPicture p{kAnalysisWidth, kAnalysisHeight, std::vector<uint8_t>(size_t(kAnalysisWidth) * kAnalysisHeight, uint8_t(level))};
    for (size_t i = 0; seed && i < p.pixels.size(); i += 7)
        p.pixels[i] = uint8_t(level + (int(i) * seed) % 40); // moving detail
    return p;
}

struct AVFrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, AVFrameDeleter>;

// Interleaved float sound from a sample function, as a decoder gives it.
Frame Sound(int channels, int rate, int samples, const std::function<float(int channel, int index)>& value)
{
    Frame f(av_frame_alloc());
    f->format = AV_SAMPLE_FMT_FLT;
    f->sample_rate = rate;
    f->nb_samples = samples;
    av_channel_layout_default(&f->ch_layout, channels);
    EXPECT_EQ(av_frame_get_buffer(f.get(), 0), 0);
    auto* data = reinterpret_cast<float*>(f->data[0]);
    for (int i = 0; i < samples; ++i)
        for (int c = 0; c < channels; ++c)
            data[i * channels + c] = value(c, i);
    return f;
}

CStreamFormat Video(std::string codec, std::string profile, int width, int height, double rate, int interlaced = -1)
{
    return {std::move(codec), std::move(profile), width, height, rate, interlaced, 0, 0};
}

CStreamFormat Audio(std::string codec, int channels, int rate)
{
    return {std::move(codec), "", 0, 0, 0, -1, channels, rate};
}

float Sine(double amplitude, int index) { return float(amplitude * std::sin(2 * M_PI * 1000.0 * index / 48000.0)); }

} // namespace

TEST(PreviewAnalysisTest, BlackAndFreezeNeedTheirWholeTime)
{
    struct Row {
        const char* name;
        double seconds;                       // pictures at ten a second
        std::function<CGrayPicture(int)> at;  // the picture of step i
        bool black, frozen;
    } rows[] = {
        {"black for 2.1 s", 2.1, [](int) { return Flat(16); }, true, false},
        {"black for 1.8 s", 1.8, [](int) { return Flat(16); }, false, false},
        {"black broken by one picture", 3.0, [](int i) { return Flat(i == 15 ? 120 : 16); }, false, false},
        {"dark grey is not black", 3.0, [](int) { return Flat(40); }, false, false},
        {"a still picture for 5.2 s", 5.2, [](int) { return Flat(100, 3); }, false, true},
        {"a still picture for 4.8 s", 4.8, [](int) { return Flat(100, 3); }, false, false},
        {"motion", 7.0, [](int i) { return Flat(100, 1 + i % 5); }, false, false},
        {"a black still picture", 6.0, [](int) { return Flat(16); }, true, true},
    };
    for (const Row& row : rows) {
        CPictureWatch watch;
        for (int i = 0; i * 0.1 <= row.seconds + 1e-9; ++i)
            watch.Add(row.at(i), 100 + i * 0.1);
        EXPECT_EQ(watch.Black(), row.black) << row.name;
        EXPECT_EQ(watch.Frozen(), row.frozen) << row.name;
    }
    EXPECT_EQ(PictureDifference(Flat(10), CGrayPicture{2, 2, std::vector<uint8_t>(4, 10)}), 255) << "sizes differ";
}

TEST(PreviewAnalysisTest, MetersLoudnessAndSilence)
{
    struct Row {
        const char* name;
        int channels;
        double seconds;
        std::function<float(int, int)> value;
        double peak, rms, momentary; // channel 0; momentary NAN: not checked
        bool silent;
    } rows[] = {
        {"sine at -20 dBFS, stereo", 2, 1.0, [](int, int i) { return Sine(0.1, i); }, -20.0, -23.01, -20.0, false},
        {"sine at -20 dBFS, mono", 1, 1.0, [](int, int i) { return Sine(0.1, i); }, -20.0, -23.01, -23.0, false},
        // 5.1: the low-frequency channel does not count, the surrounds count 1.41 times.
        {"sine on all of 5.1", 6, 1.0, [](int, int i) { return Sine(0.1, i); }, -20.0, -23.01, -15.36, false},
        {"one channel loud, the other silent", 2, 1.0, [](int c, int i) { return c ? 0.0f : Sine(0.5, i); }, -6.02, -9.03,
         NAN, false},
        {"digital silence for 5.1 s", 2, 5.1, [](int, int) { return 0.0f; }, kFloorDbfs, kFloorDbfs, NAN, true},
        {"digital silence for 4.8 s", 2, 4.8, [](int, int) { return 0.0f; }, kFloorDbfs, kFloorDbfs, NAN, false},
        {"hiss at -61 dBFS for 5.2 s", 2, 5.2, [](int, int i) { return i % 2 ? 0.00089f : -0.00089f; }, -61.0, -61.0, NAN,
         true},
        {"hiss at -59 dBFS in one channel", 2, 5.2, [](int c, int i) { return c && i % 2 ? 0.00112f : 0.0f; }, kFloorDbfs,
         kFloorDbfs, NAN, false},
        {"not a number", 1, 1.0, [](int, int) { return NAN; }, kFloorDbfs, kFloorDbfs, NAN, false},
    };
    for (const Row& row : rows) {
        CAudioAnalyser analyser;
        CAudioSnapshot out;
        const int blocks = int(std::lround(row.seconds * 48000 / 960));
        for (int b = 0; b < blocks; ++b) {
            Frame f = Sound(row.channels, 48000, 960, [&](int c, int i) { return row.value(c, b * 960 + i); });
            ASSERT_EQ(analyser.Add(*f, out), "") << row.name;
        }
        ASSERT_EQ(out.peakDbfs.size(), size_t(row.channels)) << row.name;
        EXPECT_NEAR(out.peakDbfs[0], row.peak, 0.05) << row.name;
        EXPECT_NEAR(out.rmsDbfs[0], row.rms, 0.05) << row.name;
        if (!std::isnan(row.momentary)) {
            EXPECT_NEAR(out.momentaryLufs, row.momentary, 0.1) << row.name;
        }
        EXPECT_EQ(out.silent, row.silent) << row.name;
        EXPECT_FALSE(std::isnan(out.momentaryLufs) || std::isnan(out.truePeakDbtp)) << row.name;
        EXPECT_EQ(out.windows, blocks / 5) << row.name; // ten a second
    }
    Frame tooMany = Sound(1, 48000, 10, [](int, int) { return 0.0f; });
    av_channel_layout_uninit(&tooMany->ch_layout);
    av_channel_layout_default(&tooMany->ch_layout, kMaxChannels + 1);
    CAudioSnapshot out;
    EXPECT_NE(CAudioAnalyser().Add(*tooMany, out), "");
}

// A picture with a bright left half: the thumbnail is 320 wide after its
// aspect, bright on the left and dark on the right.
TEST(PreviewAnalysisTest, ThumbnailKeepsAspectAndPlaces)
{
    struct Row {
        int width, height, sarNum, sarDen, thumbHeight;
    } rows[] = {{1920, 1080, 1, 1, 180}, {720, 576, 16, 11, 176}, {640, 480, 1, 1, 240}};
    for (const Row& row : rows) {
        Frame f(av_frame_alloc());
        f->format = AV_PIX_FMT_YUV420P;
        f->width = row.width;
        f->height = row.height;
        f->sample_aspect_ratio = {row.sarNum, row.sarDen};
        ASSERT_EQ(av_frame_get_buffer(f.get(), 0), 0);
        for (int y = 0; y < row.height; ++y)
            for (int x = 0; x < row.width; ++x)
                f->data[0][y * f->linesize[0] + x] = x < row.width / 2 ? 235 : 16;
        for (int p = 1; p < 3; ++p)
            for (int y = 0; y < row.height / 2; ++y)
                std::fill_n(f->data[p] + y * f->linesize[p], row.width / 2, 128);
        CVideoAnalyser analyser(CPreviewOptions{});
        auto jpeg = analyser.Thumbnail(*f);
        jpeg = analyser.Thumbnail(*f); // and the next one
        ASSERT_TRUE(jpeg && jpeg->size() > 100);
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        ASSERT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
        AVPacket* packet = av_packet_alloc();
        packet->data = const_cast<uint8_t*>(jpeg->data());
        packet->size = int(jpeg->size());
        Frame back(av_frame_alloc());
        ASSERT_EQ(avcodec_send_packet(ctx, packet), 0);
        ASSERT_EQ(avcodec_receive_frame(ctx, back.get()), 0);
        EXPECT_EQ(back->width, 320);
        EXPECT_EQ(back->height, row.thumbHeight);
        const int mid = back->height / 2 * back->linesize[0];
        EXPECT_GT(back->data[0][mid + 80], 240) << "left, full range white";
        EXPECT_LT(back->data[0][mid + 240], 15) << "right, full range black";
        av_packet_free(&packet);
        avcodec_free_context(&ctx);
    }
}

TEST(PreviewAnalysisTest, AnnouncedAgainstReceived)
{
    struct Row {
        CStreamFormat announced, received;
        std::vector<std::string> differences;
    } rows[] = {
        {Video(DecoderNameOf("H264"), "", 0, 0, 25), Video("h264", "High", 1920, 1080, 25, 0), {}},
        {Video(DecoderNameOf("h265"), "", 0, 0, 50), Video("h264", "", 0, 0, 25), {"codec", "frame_rate"}},
        {Audio(DecoderNameOf("L24"), 8, 48000), Audio("pcm_s24be", 6, 48000), {"channels"}},
        {Audio(DecoderNameOf("MPA"), 2, 90000), Audio("mp2", 2, 48000), {"sample_rate"}},
        {Video("", "", 1920, 1080, 29.97, 1), Video("hevc", "Main", 1920, 1080, 29.97, 0), {"interlaced"}},
        {Video(DecoderNameOf("MP2T"), "", 0, 0, 0), Video("mpeg2video", "", 0, 0, 0), {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FormatDifferences(row.announced, row.received), row.differences) << row.received.codec;
    EXPECT_EQ(DecoderNameOf("XYZ"), "");
}

TEST(PreviewAnalysisTest, OneMediaEntryOfTheText)
{
    const std::string sdp = "v=0\no=- 1 1 IN IP4 10.0.0.1\ns=Two\r\nc=IN IP4 239.1.1.1/8\nt=0 0\n"
                            "m=audio 5004 RTP/AVP 96\na=rtpmap:96 L24/48000/2\nm=video 5006 RTP/AVP 97\na=rtpmap:97 H264/90000\n";
    const std::string head = "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=Two\r\nc=IN IP4 239.1.1.1/8\r\nt=0 0\r\n";
    EXPECT_EQ(MediaSectionSdp(sdp, 0), head + "m=audio 5004 RTP/AVP 96\r\na=rtpmap:96 L24/48000/2\r\n");
    EXPECT_EQ(MediaSectionSdp(sdp, 1), head + "m=video 5006 RTP/AVP 97\r\na=rtpmap:97 H264/90000\r\n");
    EXPECT_EQ(MediaSectionSdp(sdp, 2), "");
    EXPECT_EQ(MediaSectionSdp("v=0\n", 0), "");
}

// Three streams and two decoders: each stream gets its turn, the one done
// early gives way after a second, none waits longer than a turn.
TEST(PreviewAnalysisTest, StreamsTakeTurns)
{
    CRoundRobin turns(2, 10);
    for (int id : {1, 2, 3})
        turns.Add(id);
    struct Step {
        double now;
        std::vector<int> done, stop, start;
    } steps[] = {
        {0, {}, {}, {1, 2}},
        {0.5, {1}, {}, {}},       // done, but not a second yet
        {1.5, {1}, {1}, {3}},     // done after a second: the waiting one starts
        {5, {}, {}, {}},
        {10, {}, {2}, {1}},       // a whole turn
        {11.5, {3}, {3}, {2}},
    };
    for (const Step& s : steps) {
        auto change = turns.Step(s.now, [&](int id) { return std::count(s.done.begin(), s.done.end(), id) > 0; });
        EXPECT_EQ(change.stop, s.stop) << s.now;
        EXPECT_EQ(change.start, s.start) << s.now;
    }
    turns.SetSlots(1);
    EXPECT_EQ(turns.Step(12, [](int) { return false; }).stop, std::vector<int>{2}) << "fewer decoders";
    turns.Remove(1);
    EXPECT_EQ(turns.Step(12.1, [](int) { return false; }).start, std::vector<int>{2});
}
