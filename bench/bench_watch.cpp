// 200 watched sessions of two groups each at their real rates (L24 audio,
// one packet a millisecond; a 5 Mbit/s transport stream, 470 packets a
// second): one second of their packets through the reception statistics
// alone, then through the whole watcher (the statistics, the alarm rules
// on every report, the minute's samples and the history's commit). The
// watcher may cost at most 1.2 times the statistics. Then a minute of
// reports with a commit asked for after each: the write transactions a
// second the history really makes.
#include "BenchRatio.h"

#include "reception/MediaStatistics.h"
#include "watch/AlarmEngine.h"
#include "watch/History.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

constexpr int kSessions = 200;
constexpr int kAudioRate = 1000;
constexpr int kVideoRate = 470;

CReceptionPlan Plan()
{
    CReceptionPlan plan;
    for (int i = 0; i < 2; ++i) {
        CMediaTarget t;
        t.mediaIndex = i;
        t.rtp = true;
        t.announcedTypes = {i == 0 ? 96 : 33};
        t.clockRates[size_t(t.announcedTypes[0])] = i == 0 ? 48000 : 90000;
        t.transportStream[33] = true;
        plan.media.push_back(t);
    }
    return plan;
}

// The sessions' statistics, fed one second of packets per call.
class CLoad {
public:
    CLoad()
    {
        for (int s = 0; s < kSessions; ++s)
            m_sessions.push_back(std::make_unique<CSessionStatistics>(Plan(), 0));
        m_audio.assign(12 + 288, 0);
        m_video.assign(12 + 7 * 188, 0);
        for (auto* p : {&m_audio, &m_video}) {
            (*p)[0] = 0x80;
            (*p)[11] = 1;
        }
        m_audio[1] = 96;
        m_video[1] = 33;
        for (int k = 0; k < 7; ++k) {
            m_video[12 + k * 188] = 0x47;
            m_video[12 + k * 188 + 3] = 0x10;
        }
    }
    // One second of packets for every session; the time after it.
    int64_t Second()
    {
        const int64_t start = m_nowNs;
        for (int n = 0; n < kAudioRate; ++n) {
            const int64_t at = start + int64_t(n) * 1'000'000;
            Stamp(m_audio, m_audioSeq++, 48);
            const bool video = n * kVideoRate / kAudioRate != (n + 1) * kVideoRate / kAudioRate;
            if (video) {
                Stamp(m_video, m_videoSeq, 1800);
                for (int k = 0; k < 7; ++k)
                    m_video[12 + k * 188 + 3] = uint8_t(0x10 | ((m_videoSeq * 7 + uint32_t(k)) & 0x0F));
                ++m_videoSeq;
            }
            for (auto& session : m_sessions) {
                session->Feed(0, m_audio.data(), m_audio.size(), CArrival{at, at, 0x0100007F, 5004});
                if (video)
                    session->Feed(1, m_video.data(), m_video.size(), CArrival{at, at, 0x0100007F, 5006});
            }
        }
        m_nowNs = start + 1'000'000'000;
        return m_nowNs;
    }
    CSessionStatistics& Session(int i) { return *m_sessions[size_t(i)]; }

private:
    static void Stamp(std::vector<uint8_t>& p, uint32_t n, uint32_t step)
    {
        p[2] = uint8_t(n >> 8);
        p[3] = uint8_t(n);
        const uint32_t ts = n * step;
        for (int i = 0; i < 4; ++i)
            p[size_t(4 + i)] = uint8_t(ts >> (24 - 8 * i));
    }
    std::vector<std::unique_ptr<CSessionStatistics>> m_sessions;
    std::vector<uint8_t> m_audio, m_video;
    uint32_t m_audioSeq = 0, m_videoSeq = 0;
    int64_t m_nowNs = 1'000'000'000;
};

std::string Scratch()
{
    return (std::filesystem::temp_directory_path() / ("talmira-bench-watch-" + std::to_string(getpid()) + ".db"))
        .string();
}

void RemoveScratch(const std::string& path)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path + suffix);
}

void BM_ReceptionAlone(benchmark::State& state)
{
    CLoad load;
    for (auto _ : state) {
        const int64_t now = load.Second();
        for (int s = 0; s < kSessions; ++s)
            benchmark::DoNotOptimize(load.Session(s).Figures(now).media.size());
    }
}
BENCHMARK(BM_ReceptionAlone)->Unit(benchmark::kMillisecond);

void BM_Watcher(benchmark::State& state)
{
    CLoad load;
    const std::string path = Scratch();
    {
        CHistory history(path, [](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); });
        history.Open();
        CAlarmEngine engine;
        std::vector<std::string> keys;
        for (int s = 0; s < kSessions; ++s)
            keys.push_back("watch " + std::to_string(s) + " 1 IN IP4 10.0.0.1");
        for (auto _ : state) {
            const int64_t now = load.Second();
            const int64_t nowMs = now / 1'000'000 + 1'800'000'000'000;
            for (int s = 0; s < kSessions; ++s) {
                const CSessionFigures figures = load.Session(s).Figures(now);
                for (const CAlarmEvent& e : engine.Figures(keys[size_t(s)], nowMs, figures))
                    history.Record(e);
                history.Sample(keys[size_t(s)], nowMs, !engine.InAlarm(keys[size_t(s)]));
            }
            for (const CAlarmEvent& e : engine.Tick(nowMs))
                history.Record(e);
            history.Flush(nowMs);
        }
    }
    RemoveScratch(path);
}
BENCHMARK(BM_Watcher)->Unit(benchmark::kMillisecond);

// A minute of reports, a commit asked for after each one.
void CountTransactions()
{
    const std::string path = Scratch();
    uint64_t transactions = 0;
    {
        CHistory history(path, [](const std::string&) {});
        history.Open();
        CAlarmEngine engine;
        CSessionFigures figures;
        figures.media.resize(2);
        const int64_t start = 1'800'000'000'000;
        for (int64_t ms = 0; ms < 60000; ms += 5) {
            const int s = int(ms / 5 % kSessions);
            figures.media[0].msSinceLastPacket = (ms / 10000) % 2 ? 5000 : 1; // silent every other 10 s
            const std::string key = "watch " + std::to_string(s);
            for (const CAlarmEvent& e : engine.Figures(key, start + ms, figures))
                history.Record(e);
            history.Sample(key, start + ms, !engine.InAlarm(key));
            history.Flush(start + ms);
        }
        transactions = history.WriteTransactions();
    }
    RemoveScratch(path);
    std::printf("\nhistory: %llu write transactions in 60 s of reports from %d sessions (%.2f a second; goal at most "
                "1): %s\n",
                (unsigned long long)transactions, kSessions, double(transactions) / 60,
                transactions <= 60 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    const int status =
        RunWithRatios(argc, argv, {{"BM_Watcher", "BM_ReceptionAlone", "watcher vs reception statistics alone", 1.2}});
    CountTransactions();
    return status;
}
