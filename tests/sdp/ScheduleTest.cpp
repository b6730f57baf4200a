// When a session takes place: its next start, the list's periods and the
// wording of the "Schedule" page, in a fixed time zone with summer time.
#include "support/TestEnv.h"

#include "sdp/Schedule.h"
#include "support/TestZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iomanip>
#include <locale>
#include <sstream>
#include <ctime>
#include <random>

namespace {

constexpr int64_t kMinute = 60, kHour = 3600, kDay = 86400, kWeek = 7 * kDay;

std::string Ntp(int64_t unixSeconds) { return unixSeconds ? std::to_string(unixSeconds + kNtpUnixOffset) : "0"; }

CSDPTime OneOff(int64_t start, int64_t stop) { return {Ntp(start), Ntp(stop), "", "", ""}; }

CSDPTime Repeat(int64_t start, int64_t stop, int64_t interval, int64_t duration, std::string offset = "0")
{
    return {Ntp(start), Ntp(stop), std::to_string(interval), std::to_string(duration), std::move(offset)};
}

// Daily for an hour on March 3, 2025, then weekly from Monday June 30, 2025
// 12:00 UTC: the second entry leaves its stop out, so the first one's stop,
// long before June, is carried over to it.
const std::vector<CSDPTime> kMarchThenWeekly = {{"3949984800", "3949992000", "86400", "3600", "0"},
                                                {"3960273600", "0", "604800", "3600", "0"}};
constexpr int64_t kJune30 = 3960273600LL - kNtpUnixOffset;

const bool kZoneSet = UseTestZone();
const CManualClock kClock;

// Unix seconds of a local wall-clock time.
int64_t Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return kClock.FromLocalTime(LocalFields(year, month, day, hour, minute, second));
}

// --- Next start ---------------------------------------------------------------

constexpr int64_t S = 1772456400; // a Monday, 13:00 UTC
constexpr int64_t kSince1996 = 820454400;
const CSDPTime kWeekly = Repeat(S, 0, kWeek, 2 * kHour);
const CSDPTime kFourWeeks = Repeat(S, S + 4 * kWeek, kWeek, 2 * kHour);
const CSDPTime kTwiceDaily = Repeat(S, 0, kDay, kHour, "3h 1h");

const struct NextStartCase { const char* what; std::vector<CSDPTime> times; int64_t now, expected; } kNextStarts[] = {
    {"no entries", {}, S, 0}, {"permanent", {OneOff(0, 0)}, S, 0},
    {"the first one-off decides", {OneOff(S + kHour, 0), OneOff(S + 5, 0)}, S, S + kHour},
    {"small values are Unix seconds", {{"1000", "", "", "", ""}}, S, 1000},
    {"unreadable values are not given", {{"soon", "-5", "", "", ""}}, S, 0},
    // Around each end of an occurrence and of the series.
    {"just before the 4th", {kWeekly}, S + 3 * kWeek - 1, S + 3 * kWeek},
    {"4th in its last second", {kWeekly}, S + 3 * kWeek + 2 * kHour, S + 3 * kWeek},
    {"4th over", {kWeekly}, S + 3 * kWeek + 2 * kHour + 1, S + 4 * kWeek},
    {"the occurrence at the stop", {kFourWeeks}, S + 4 * kWeek - kDay, S + 4 * kWeek},
    {"bounded and over", {kFourWeeks}, S + 4 * kWeek + 3 * kHour, 0},
    // Offsets in text order within each occurrence: tomorrow's 3h is listed
    // before tomorrow's 1h, although it is later.
    {"offsets in text order", {kTwiceDaily}, S + 4 * kHour + 30 * kMinute, S + kDay + 3 * kHour},
    {"stop carried from March", kMarchThenWeekly, 1741602600, kJune30},
    // Solved at once, not by stepping through a billion occurrences.
    {"every second since 1996", {Repeat(kSince1996, 0, 1, 0)}, S, S},
    {"every second for 10 s", {Repeat(kSince1996, 0, 1, 10)}, S, S - 10},
    {"every 7 s, offset 3", {Repeat(kSince1996, 0, 7, 0, "3")}, kSince1996 + 7 * 1000000 + 4,
     kSince1996 + 7 * 1000001 + 3},
};

// The plain cases besides: the comparison with stepping through occurrences below.
TEST(Schedule, NextStart)
{
    for (const NextStartCase& c : kNextStarts)
        EXPECT_EQ(NextStart(c.times, c.now), c.expected) << c.what;
}

// --- The direct computation against stepping through occurrences -------------

struct ModelEntry {
    int64_t start = 0, stop = 0; // Unix seconds, 0 = not given
    int64_t interval = 0, duration = 0;
    std::vector<int64_t> offsets;
};

// Steps through the occurrences one by one, as the rules are written; `visit`
// says whether an occurrence counts. A one-off entry ends the walk for the
// next start and counts for a window when it runs at some time in it.
template <class Visit>
bool Walk(const std::vector<ModelEntry>& entries, int64_t now, int64_t horizon, Visit&& visit, int64_t* oneOffStart)
{
    int64_t start = 0, stop = INT64_MAX / 4;
    for (const ModelEntry& e : entries) {
        start = e.start ? e.start : start;
        stop = e.stop ? e.stop : stop;
        if (e.interval == 0) {
            if (oneOffStart)
                return *oneOffStart = start, true;
            if (start <= horizon && now <= stop)
                return true;
            continue;
        }
        if (stop < start && e.stop)
            continue; // the entry's own stop lies before its start
        const int64_t n = stop < start ? INT64_MAX / 4 : (stop - start) / e.interval;
        for (int64_t k = 0; k <= n && start + k * e.interval <= horizon + 1000 * e.interval; ++k)
            for (int64_t o : e.offsets)
                if (visit(start + k * e.interval + o, start + k * e.interval + o + e.duration))
                    return true;
    }
    return false;
}

int64_t ModelNextStart(const std::vector<ModelEntry>& entries, int64_t now)
{
    int64_t found = 0, oneOff = -1;
    auto notEnded = [&](int64_t s, int64_t e) { return e >= now && (found = s, true); };
    const bool hit = Walk(entries, now, now, notEnded, &oneOff);
    return !hit ? 0 : oneOff >= 0 ? oneOff : found;
}

bool ModelInWindow(const std::vector<ModelEntry>& entries, int64_t now, int64_t end)
{
    return entries.empty() || Walk(entries, now, end, [&](int64_t s, int64_t e) {
        return (s <= now && e >= end) || (now <= s && s <= end) || (now <= e && e <= end);
    }, nullptr);
}

std::vector<CSDPTime> ToTimes(const std::vector<ModelEntry>& entries)
{
    std::vector<CSDPTime> times;
    for (const ModelEntry& e : entries) {
        CSDPTime& t = times.emplace_back(CSDPTime{Ntp(e.start), e.stop ? Ntp(e.stop) : "", "", "", ""});
        if (e.interval == 0)
            continue;
        t.repeatInterval = std::to_string(e.interval);
        t.activeDuration = std::to_string(e.duration);
        for (int64_t o : e.offsets) // with unit letters where they fit
            t.offset += (t.offset.empty() ? "" : " ")
                + (o != 0 && o % 3600 == 0 ? std::to_string(o / 3600) + "h"
                   : o != 0 && o % 60 == 0 ? std::to_string(o / 60) + "m" : std::to_string(o));
    }
    return times;
}

TEST(Schedule, DirectComputationAgreesWithSteppingThroughOccurrences)
{
    std::mt19937_64 gen(20261206);
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(gen); };
    const int64_t now = Local(2026, 3, 10, 12, 0, 0);
    const int64_t intervals[] = {0, 1, 7, 60, 3600, 5400, kDay, kWeek};
    for (int round = 0; round < 4000; ++round) {
        std::vector<ModelEntry> entries(static_cast<size_t>(pick(1, 3)));
        int64_t runningStart = 0;
        for (ModelEntry& e : entries) {
            e.interval = intervals[pick(0, 7)];
            const int64_t span = e.interval ? e.interval : kHour;
            // A start left out carries over; from 1970 only where the model
            // need not step through too many occurrences.
            const bool mayOmit = runningStart != 0 || e.interval == 0 || e.interval >= kDay;
            e.start = mayOmit && pick(0, 4) == 0 ? 0 : now + pick(-40, 5) * span + pick(-span, span);
            runningStart = e.start ? e.start : runningStart;
            e.stop = e.start == 0 || pick(0, 2) == 0 ? 0 : e.start + pick(-2, 40) * span;
            e.duration = pick(0, 3) == 0 ? 0 : pick(0, span * 3 / 2);
            for (int64_t i = pick(e.interval ? 1 : 0, 3); i > 0; --i)
                e.offsets.push_back(pick(0, 2) == 0 ? pick(0, 5) * kHour : pick(0, span * 6 / 5));
        }
        const int64_t windowEnd = now + (pick(0, 1) ? 0 : pick(0, 3 * kDay));
        const std::vector<CSDPTime> times = ToTimes(entries);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        ASSERT_EQ(NextStart(times, now), ModelNextStart(entries, now));
        ASSERT_EQ(IsInWindow(times, now, windowEnd), ModelInWindow(entries, now, windowEnd));
        // The present moment's answer (checked above) holds as long as promised.
        const int64_t holds = NowAnswerHoldsUntil(times, now);
        ASSERT_GE(holds, now);
        const bool onNow = IsInWindow(times, now, now);
        for (const int64_t later : {now + 1, holds - 1, holds, pick(now, std::min(holds, now + 40 * kWeek))}) {
            if (later >= now && later <= holds) {
                ASSERT_EQ(IsInWindow(times, later, later), onNow) << "at " << later - now << " s";
            }
        }
    }
}

// Not later than the change, and not much earlier either: a caller that
// asks again only then does no work in between.
TEST(Schedule, NowAnswerHoldsUntilItsNextChange)
{
    const int64_t t0 = Local(2026, 3, 10, 12, 0, 0);
    constexpr int64_t kNever = -1;
    const struct { std::vector<CSDPTime> times; int64_t now, holds; } cases[] = {
        {{}, t0, kNever}, {{OneOff(0, 0)}, t0, kNever}, {{OneOff(t0 + 100, t0 + 200)}, t0, t0 + 99},
        {{OneOff(t0 + 100, t0 + 200)}, t0 + 150, t0 + 200}, {{OneOff(t0 + 100, t0 + 200)}, t0 + 201, kNever},
        {{OneOff(t0 - 100, 0)}, t0, kNever},
        {{Repeat(t0, t0 + 10 * kDay, kDay, kHour)}, t0 + kDay + 10, t0 + kDay + kHour},
        {{Repeat(t0, t0 + 10 * kDay, kDay, kHour)}, t0 + kHour + 1, t0 + kDay - 1},
        {{Repeat(t0, t0 + 10 * kDay, kDay, kHour)}, t0 + 10 * kDay + kHour + 1, kNever},
        // The earliest change of several entries and offsets.
        {{OneOff(t0 + 500, t0 + 900), Repeat(t0, 0, kDay, kHour, "0 2h")}, t0 + 10, t0 + 500 - 1},
        {{OneOff(t0 - 500, t0 - 100), Repeat(t0, 0, kDay, kHour, "0 2h")}, t0 + kHour + 1, t0 + 2 * kHour - 1},
    };
    for (const auto& c : cases) {
        const int64_t holds = NowAnswerHoldsUntil(c.times, c.now);
        if (c.holds == kNever)
            EXPECT_GT(holds, c.now + 1000 * 365 * kDay) << c.now - t0;
        else
            EXPECT_EQ(holds, c.holds) << c.now - t0;
    }
}

// --- Periods ----------------------------------------------------------------

TEST(Schedule, PeriodEndsInLocalTime)
{
    const int64_t morning = Local(2026, 3, 10, 9, 15);
    EXPECT_EQ(PeriodEnd(kPeriodNow, morning, kClock), morning);
    EXPECT_EQ(PeriodEnd(kPeriodToday, morning, kClock), Local(2026, 3, 10, 23, 59, 59));
    // Seven-day blocks: day d ends its week on day (d / 7 + 1) * 7; from the
    // 28th the week ends with the month.
    const struct { int year, month, day, weekEnd, monthEnd; } days[] = {
        {2026, 4, 1, 7, 30}, {2026, 4, 6, 7, 30}, {2026, 4, 7, 14, 30}, {2026, 4, 13, 14, 30},
        {2026, 4, 14, 21, 30}, {2026, 4, 20, 21, 30}, {2026, 4, 21, 28, 30}, {2026, 4, 27, 28, 30},
        {2026, 4, 29, 30, 30}, {2026, 1, 28, 31, 31}, {2026, 1, 31, 31, 31}, {2024, 2, 28, 29, 29},
        {2024, 2, 29, 29, 29}, {2026, 2, 28, 28, 28}, {2000, 2, 28, 29, 29}, {2100, 2, 28, 28, 28},
        {2026, 12, 30, 31, 31}, {2026, 3, 10, 14, 31},
    };
    for (const auto& d : days) {
        SCOPED_TRACE(::testing::Message() << d.year << "-" << d.month << "-" << d.day);
        const int64_t at = Local(d.year, d.month, d.day, 8);
        EXPECT_EQ(PeriodEnd(kPeriodThisWeek, at, kClock), Local(d.year, d.month, d.weekEnd, 23, 59, 59));
        EXPECT_EQ(PeriodEnd(kPeriodThisMonth, at, kClock), Local(d.year, d.month, d.monthEnd, 23, 59, 59));
    }
    // Across the change to summer time the day is an hour shorter.
    const int64_t early = Local(2026, 3, 29, 0, 30);
    EXPECT_EQ(PeriodEnd(kPeriodToday, early, kClock) - early, 22 * kHour + 29 * kMinute + 59);
    // At the very last second the window is that instant.
    const int64_t lastSecond = Local(2026, 3, 10, 23, 59, 59);
    EXPECT_EQ(PeriodEnd(kPeriodToday, lastSecond, kClock), lastSecond);
}

TEST(Schedule, Periods)
{
    const int64_t now = Local(2026, 3, 10, 12, 0, 0); // a Tuesday, in the block ending on the 14th
    auto weekly = [](int64_t first) { return std::vector<CSDPTime>{Repeat(first, 0, kWeek, kHour)}; };
    const CSDPTime over = OneOff(now - 2 * kHour, now - kHour);
    const struct {
        const char* what;
        std::vector<CSDPTime> times;
        const char* in; // now, today, this week, this month: T in, - not
    } cases[] = {
        {"no timing: always shown", {}, "TTTT"}, {"later today", weekly(Local(2026, 2, 24, 20, 0)), "-TTT"},
        {"today's last second", weekly(Local(2026, 2, 24, 23, 59, 59)), "-TTT"},
        {"midnight", weekly(Local(2026, 2, 25, 0, 0, 0)), "--TT"},
        {"Sunday the 15th", weekly(Local(2026, 3, 1, 10, 0)), "---T"},
        {"running", weekly(Local(2026, 3, 3, 11, 30)), "TTTT"},
        {"last occurrence over", {Repeat(Local(2026, 1, 6, 20), Local(2026, 3, 3, 20), kWeek, kHour)}, "----"},
        {"one-off over", {over}, "----"}, {"one-off of one instant", {OneOff(now, now)}, "TTTT"},
        {"one-off later today", {OneOff(now + kHour, now + 2 * kHour)}, "-TTT"},
        {"any entry may match", {over, OneOff(now - kHour, now + kHour)}, "TTTT"},
    };
    for (const auto& c : cases)
        for (int p = kPeriodNow; p <= kPeriodThisMonth; ++p)
            EXPECT_EQ(IsInPeriod(c.times, p, now, kClock), c.in[p - 1] == 'T') << c.what << ", period " << p;
}

TEST(Schedule, RecordFormsReadUnderTheLockAndStopWhenDeleting)
{
    const int64_t now = Local(2026, 3, 10, 12);
    CTestEnv t;
    auto record = t.Parse("v=0\nt=3982300000 0\nr=1d 1h 0\n");
    EXPECT_EQ(NextStart(*record, now), 3982300000 - kNtpUnixOffset);
    EXPECT_EQ(DescribeSchedule(*record, now, kClock).text, DescribeSchedule(record->times, now, kClock).text);
    record->DeleteLater();
    EXPECT_EQ(NextStart(*record, now), 0);
    EXPECT_FALSE(IsInPeriod(*record, kPeriodThisMonth, now, kClock));
    EXPECT_EQ(DescribeSchedule(*record, now, kClock).text, "");
    EXPECT_EQ(record->LockCount(), 0);
}

// --- The "Schedule" page ------------------------------------------------------

TEST(Schedule, DescriptionsAndVerdicts)
{
    const int64_t monday = Local(2026, 3, 2, 14, 0, 0), midnight = Local(2026, 3, 2, 0, 0, 0);
    const int64_t now = Local(2026, 3, 10, 12), fifth = monday + 4 * kWeek, stop = Local(2026, 4, 27, 16, 0, 0);
    const int64_t july = Local(2026, 7, 1, 14, 5, 0);
    const std::vector<CSDPTime> oneOff = {OneOff(monday, monday + 150 * kMinute)};
    const std::vector<CSDPTime> weekly = {Repeat(monday, 0, kWeek, 2 * kHour)};
    const std::vector<CSDPTime> bounded = {Repeat(monday, stop, kWeek, kHour, "1d")};
    const std::vector<CSDPTime> twice = {Repeat(midnight, 0, kDay, kHour, "0 12h")};
    const std::vector<CSDPTime> lateNight = {Repeat(midnight, 0, kDay, 3 * kHour, "23h")};
    const CSDPTime past = OneOff(monday, monday + kHour);
    const char* pastText = "From 02:00PM Monday March 02, 2026 till 03:00PM Monday March 02, 2026\r\n";
    const std::string fromTill = "From 02:00PM Monday March 02, 2026 till 04:30PM Monday March 02, 2026\r\n";
    constexpr bool F = false, T = true;
    const struct {
        std::vector<CSDPTime> times;
        std::string text;
        std::vector<std::pair<int64_t, bool>> verdicts; // active at these times?
    } cases[] = {
        {{}, "No timing information available", {{now, F}}}, {{OneOff(0, 0)}, "Continually", {{now, T}}},
        {{{"1000", "3982300000", "", "", ""}}, "Continually", {{now, T}}}, // not an NTP time
        // Active after the start's second, up to the end's.
        {oneOff, fromTill,
         {{monday - 1, F}, {monday, F}, {monday + 1, T}, {monday + 150 * kMinute, T}, {monday + kDay, F}}},
        {{OneOff(monday, 0)}, "From 02:00PM Monday March 02, 2026\r\n", {{monday + 30 * kDay, T}}},
        {{OneOff(july, 0)}, "From 02:05PM Wednesday July 01, 2026\r\n", {{july, F}}}, // summer time
        {{Repeat(now - kHour, now + kHour, 0, kHour)},
         "From 11:00AM Tuesday March 10, 2026 till 01:00PM Tuesday March 10, 2026\r\n", {{now, T}}},
        // Weekly for two hours: active only during them.
        {weekly, "weekly at 02:00PM on Monday for 02 hour(s) from March 02, 2026\r\n",
         {{monday, T}, {monday - kWeek, F}, {fifth - 1, F}, {fifth, T}, {fifth + 2 * kHour - 1, T},
          {fifth + 2 * kHour, F}, {fifth + 3 * kDay, F}}},
        // A bounded series, a day after its start; the Tuesday after its end,
        // at the hour it would run (summer time by then), is over.
        {bounded, "weekly at 02:00PM on Tuesday for 01 hour(s) from March 02, 2026 till April 27, 2026\r\n",
         {{monday, F}, {monday + kWeek + kDay + 10, T}, {monday + kWeek + 10, F}, {stop + kDay - kHour + 10, F}}},
        {{Repeat(monday, 0, kWeek, kHour, "1d")}, "weekly at 02:00PM on Tuesday for 01 hour(s) from March 02, 2026\r\n",
         {{stop + kDay - kHour + 10, T}}},
        // Any running offset counts.
        {twice, "daily at 12:00AM and 12:00PM for 01 hour(s) from March 02, 2026\r\n",
         {{midnight, T}, {midnight + 3 * kDay + 30 * kMinute, T}, {midnight + 3 * kDay + 12 * kHour + 1, T},
          {midnight + 3 * kDay + 2 * kHour, F}}},
        // An occurrence that runs over into the next interval still runs.
        {lateNight, "daily at 11:00PM for 03 hour(s) from March 02, 2026\r\n",
         {{midnight, F}, {Local(2026, 3, 5, 1, 0, 0), T}, {Local(2026, 3, 5, 3, 0, 0), F}}},
        {{Repeat(midnight, 0, kDay, kHour)}, "daily at 12:00AM for 01 hour(s) from March 02, 2026\r\n",
         {{midnight - kDay, F}}},
        // Several entries: one active entry makes the session active;
        // "Continually" replaces what came before.
        {{past, OneOff(now - kHour, now + kHour)},
         std::string(pastText) + "From 11:00AM Tuesday March 10, 2026 till 01:00PM Tuesday March 10, 2026\r\n",
         {{now, T}}},
        {{past, past}, std::string(pastText) + pastText, {{now, F}}}, {{past, OneOff(0, 0)}, "Continually", {{now, T}}},
        {{OneOff(0, 0), past}, std::string("Continually\r\n") + pastText, {{now, T}}},
        {kMarchThenWeekly,
         "daily at 11:00AM for 01 hour(s) from March 03, 2025 till March 03, 2025\r\n"
         "weekly at 02:00PM on Monday for 01 hour(s) from June 30, 2025\r\n",
         {{1741602600, F}}},
    };
    for (const auto& c : cases) {
        for (const auto& [at, active] : c.verdicts) {
            const CScheduleDescription d = DescribeSchedule(c.times, at, kClock);
            EXPECT_EQ(d.text, c.text) << "at " << at;
            EXPECT_EQ(d.active, active) << d.text << " at " << at;
        }
    }
    EXPECT_STREQ(VerdictText(true), "Active");
    EXPECT_STREQ(VerdictText(false), "Inactive");
    EXPECT_EQ(FormatLocalTime(kClock, Local(2026, 1, 1, 0, 0, 0), "%I:%M:%S%p %a %b %d, %Y"),
              "12:00:00AM Thu Jan 01, 2026");
}

// The directives the program writes itself against the C++ library's own
// writing in the classic locale, at every hour of a year (both summer time
// changes, noon and midnight, each month and weekday); a directive it does
// not write goes to the library.
TEST(Schedule, LocalTimeTextsAsTheLibraryWritesThem)
{
    const auto library = [](int64_t at, const char* format) {
        const std::tm local = kClock.LocalTime(at);
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << std::put_time(&local, format);
        return out.str();
    };
    const char* formats[] = {"%I:%M:%S%p %a %b %d, %Y", "%I:%M%p %A %B %d, %Y", "%B %d, %Y", "on %A ",
                             "%H:%M 100%% %j %Z", "%"};
    for (int64_t at = Local(2026, 1, 1, 0, 0, 7); at < Local(2027, 1, 1); at += kHour + kMinute)
        for (const char* format : formats)
            ASSERT_EQ(FormatLocalTime(kClock, at, format), library(at, format)) << format << " at " << at;
}

TEST(Schedule, IntervalAndDurationWordings)
{
    const int64_t monday = Local(2026, 3, 2, 14, 0, 0);
    const std::pair<int64_t, const char*> intervals[] = { // a daily one names no weekday
        {kDay, "daily at 02:00PM "}, {kWeek, "weekly at 02:00PM on Monday "},
        {2 * kWeek, "bi-weekly at 02:00PM on Monday "}, {183 * kDay, "half yearly at 02:00PM on Monday "},
        {365 * kDay, "yearly at 02:00PM on Monday "}, {3 * kDay, "every 3 days at 02:00PM on Monday "},
        {8 * kDay, "every 8 days at 02:00PM on Monday "}, {36 * kHour, "daily & 12 hour(s) at 02:00PM "},
        {kDay + kHour + kMinute + 1, "daily & 01 hour(s) 01 minute(s) 01 second(s) at 02:00PM "},
        {2 * kDay + 2 * kHour + 5, "every 2 days & 02 hour(s) 05 second(s) at 02:00PM on Monday "},
        {kHour, "& 01 hour(s) at 02:00PM on Monday "},
        {90 * kMinute, "& 01 hour(s) 30 minute(s) at 02:00PM on Monday "},
    };
    for (const auto& [interval, wording] : intervals)
        EXPECT_EQ(DescribeSchedule(std::vector{Repeat(monday, 0, interval, 0)}, monday, kClock).text,
                  std::string(wording) + "from March 02, 2026\r\n");
    const std::pair<int64_t, const char*> durations[] = {
        {0, ""}, {45, "for 45 second(s) "}, {90 * kMinute, "for 01 hour(s) 30 minute(s) "},
        {2 * kHour, "for 02 hour(s) "}, {3 * kDay, "for 3 day(s) "}, {9 * kDay, "for 1 week(s) and 2 day(s) "},
        {2 * kWeek, "for 2 week(s) "}, {kDay + 30, "for 1 day(s) 30 second(s) "},
        {kDay + kHour + kMinute + 1, "for 1 day(s) 01 hour(s) 01 minute(s) 01 second(s) "},
        {kWeek + 5 * kMinute, "for 1 week(s) 05 minute(s) "},
    };
    for (const auto& [duration, wording] : durations)
        EXPECT_EQ(DescribeSchedule(std::vector{Repeat(monday, 0, kWeek, duration)}, monday, kClock).text,
                  std::string("weekly at 02:00PM on Monday ") + wording + "from March 02, 2026\r\n");
}

} // namespace
