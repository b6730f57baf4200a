// NextStart and IsInPeriod over 100,000 records with mixed schedules, against
// a loop that only reads the same records' time texts under their locks; and
// the cost of a session repeating every second since 1996 against one that
// began last week, which must be the same.
#include "BenchRatio.h"

#include "base/Clock.h"
#include "base/Text.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"

#include <ctime>
#include <memory>
#include <random>

namespace {

constexpr int kRecords = 100000;
constexpr int64_t kDay = 86400;
constexpr int64_t kNow = 1796551200;       // Sunday, December 6, 2026
constexpr int64_t kSince1996 = 820454400;  // January 1, 1996
constexpr int64_t kLastWeek = kNow - 7 * kDay;

std::string Ntp(int64_t unixSeconds) { return std::to_string(unixSeconds + kNtpUnixOffset); }

CSDPTime Entry(int64_t start, int64_t stop, int64_t interval = 0, int64_t duration = 0, const char* offset = "0")
{
    CSDPTime t;
    t.start = start ? Ntp(start) : "0";
    t.stop = stop ? Ntp(stop) : "0";
    if (interval) {
        t.repeatInterval = std::to_string(interval);
        t.activeDuration = std::to_string(duration);
        t.offset = offset;
    }
    return t;
}

using Records = std::vector<std::shared_ptr<CSDPObject>>;

Records MakeMixed()
{
    std::mt19937_64 rng(7);
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    Records records;
    for (int i = 0; i < kRecords; ++i) {
        auto r = std::make_shared<CSDPObject>();
        const int64_t past = kNow - pick(0, 30 * 365) * kDay - pick(0, kDay);
        switch (i % 10) {
        case 0:
        case 1: r->times = {Entry(kNow + pick(-60, 60) * kDay, kNow + pick(-59, 90) * kDay)}; break;
        case 2: r->times = {Entry(0, 0)}; break;
        case 3:
        case 4: r->times = {Entry(past, 0, 7 * kDay, 7200)}; break;
        case 5: r->times = {Entry(past, past + pick(1, 20000) * kDay, kDay, 3600)}; break;
        case 6: r->times = {Entry(kSince1996 + pick(0, kDay), 0, 1, pick(0, 5))}; break;
        case 7: r->times = {Entry(past, 0, 3600, 600, "0 30m")}; break;
        case 8: r->times = {Entry(past, past + 30 * kDay, kDay, 3600), Entry(0, 0, 183 * kDay, kDay)}; break;
        default: break; // no timing information
        }
        records.push_back(std::move(r));
    }
    return records;
}

// Every record repeats every second from `since` on, without an end.
Records MakePerSecond(int64_t since)
{
    Records records;
    for (int i = 0; i < kRecords; ++i) {
        auto r = std::make_shared<CSDPObject>();
        r->times = {Entry(since + i % 3600, 0, 1, i % 3)};
        records.push_back(std::move(r));
    }
    return records;
}

const Records& Mixed()
{
    static const Records records = MakeMixed();
    return records;
}
const Records& Since1996()
{
    static const Records records = MakePerSecond(kSince1996);
    return records;
}
const Records& SinceLastWeek()
{
    static const Records records = MakePerSecond(kLastWeek);
    return records;
}

const CManualClock& TheClock()
{
    static const CManualClock clock = [] {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        return CManualClock(kNow);
    }();
    return clock;
}

// The reference: lock each record and read its time texts as numbers.
void BM_ReadTimeTexts(benchmark::State& state)
{
    const Records& records = Mixed();
    for (auto _ : state) {
        int64_t sum = 0;
        for (const auto& r : records) {
            CRecordLock lock(*r);
            for (const CSDPTime& t : r->times)
                sum += text::ToInt64(t.start) + text::ToInt64(t.stop) + text::ToInt64(t.repeatInterval)
                    + text::ToInt64(t.activeDuration);
        }
        benchmark::DoNotOptimize(sum);
    }
    SetItemsPerIteration(state, kRecords);
}

void RunNextStart(benchmark::State& state, const Records& records)
{
    const int64_t now = TheClock().Now();
    for (auto _ : state) {
        int64_t sum = 0;
        for (const auto& r : records)
            sum += NextStart(*r, now);
        benchmark::DoNotOptimize(sum);
    }
    SetItemsPerIteration(state, kRecords);
}

void RunIsInPeriod(benchmark::State& state, const Records& records, int period)
{
    const Clock& clock = TheClock();
    const int64_t now = clock.Now();
    for (auto _ : state) {
        int count = 0;
        for (const auto& r : records)
            count += IsInPeriod(*r, period, now, clock);
        benchmark::DoNotOptimize(count);
    }
    SetItemsPerIteration(state, kRecords);
}

void BM_NextStart_Mixed(benchmark::State& s) { RunNextStart(s, Mixed()); }
void BM_IsInPeriod_Now_Mixed(benchmark::State& s) { RunIsInPeriod(s, Mixed(), kPeriodNow); }
void BM_IsInPeriod_Month_Mixed(benchmark::State& s) { RunIsInPeriod(s, Mixed(), kPeriodThisMonth); }
void BM_NextStart_PerSecond_Since1996(benchmark::State& s) { RunNextStart(s, Since1996()); }
void BM_NextStart_PerSecond_SinceLastWeek(benchmark::State& s) { RunNextStart(s, SinceLastWeek()); }
void BM_IsInPeriod_PerSecond_Since1996(benchmark::State& s) { RunIsInPeriod(s, Since1996(), kPeriodToday); }
void BM_IsInPeriod_PerSecond_SinceLastWeek(benchmark::State& s) { RunIsInPeriod(s, SinceLastWeek(), kPeriodToday); }

BENCHMARK(BM_ReadTimeTexts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NextStart_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsInPeriod_Now_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsInPeriod_Month_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NextStart_PerSecond_Since1996)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NextStart_PerSecond_SinceLastWeek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsInPeriod_PerSecond_Since1996)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsInPeriod_PerSecond_SinceLastWeek)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunWithRatios(
        argc, argv,
        {{"BM_NextStart_Mixed", "BM_ReadTimeTexts", "NextStart, mixed vs. reading the time texts", 0},
         {"BM_IsInPeriod_Now_Mixed", "BM_ReadTimeTexts", "IsInPeriod(now), mixed vs. reading the time texts", 0},
         {"BM_IsInPeriod_Month_Mixed", "BM_ReadTimeTexts", "IsInPeriod(month), mixed vs. reading the time texts", 0},
         {"BM_NextStart_PerSecond_Since1996", "BM_NextStart_PerSecond_SinceLastWeek",
          "NextStart, per second since 1996 vs. since last week", 1.5},
         {"BM_IsInPeriod_PerSecond_Since1996", "BM_IsInPeriod_PerSecond_SinceLastWeek",
          "IsInPeriod(today), per second since 1996 vs. last week", 1.5}});
}
