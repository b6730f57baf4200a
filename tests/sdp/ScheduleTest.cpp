// Next start and period membership: the direct computation against the
// occurrence-by-occurrence rules, and the local-time period ends.
#include "ScheduleTestSupport.h"

#include "base/Random.h"
#include "sdp/Schedule.h"

#include <random>

namespace {

struct ModelEntry {
    int64_t start = 0, stop = 0; // Unix seconds, 0 = not given
    int64_t interval = 0, duration = 0;
    std::vector<int64_t> offsets;
};

// Steps through the occurrences one by one, as the rules are written.
struct SteppingModel {
    static constexpr int64_t kNoEnd = INT64_MAX / 4;

    template <class Visit>
    static bool Walk(const std::vector<ModelEntry>& entries, int64_t now, int64_t windowEnd, Visit&& visit,
                     int64_t* oneOffStart)
    {
        int64_t start = 0, stop = kNoEnd;
        for (const ModelEntry& e : entries) {
            if (e.start)
                start = e.start;
            if (e.stop)
                stop = e.stop;
            if (e.interval == 0) {
                if (oneOffStart) {
                    *oneOffStart = start;
                    return true;
                }
                if (start <= now && now <= stop)
                    return true;
                continue;
            }
            if (stop < start)
                continue;
            const int64_t n = (stop - start) / e.interval;
            for (int64_t k = 0; k <= n && start + k * e.interval <= std::max(now, windowEnd) + 1000 * e.interval;
                 ++k)
                for (int64_t o : e.offsets)
                    if (visit(start + k * e.interval + o, e.duration))
                        return true;
        }
        return false;
    }

    static int64_t NextStart(const std::vector<ModelEntry>& entries, int64_t now)
    {
        int64_t found = 0, oneOff = -1;
        const bool hit = Walk(entries, now, now, [&](int64_t s, int64_t d) {
            if (s + d < now)
                return false;
            found = s;
            return true;
        }, &oneOff);
        if (!hit)
            return 0;
        return oneOff >= 0 ? oneOff : found;
    }

    static bool InWindow(const std::vector<ModelEntry>& entries, int64_t now, int64_t end)
    {
        if (entries.empty())
            return true;
        return Walk(entries, now, end, [&](int64_t s, int64_t d) {
            const int64_t e = s + d;
            return (s <= now && e >= end) || (now <= s && s <= end) || (now <= e && e <= end);
        }, nullptr);
    }
};

std::string OffsetText(const std::vector<int64_t>& offsets)
{
    std::string text;
    for (int64_t o : offsets) {
        if (!text.empty())
            text += ' ';
        if (o != 0 && o % 3600 == 0)
            text += std::to_string(o / 3600) + "h";
        else if (o != 0 && o % 60 == 0)
            text += std::to_string(o / 60) + "m";
        else
            text += std::to_string(o);
    }
    return text;
}

std::vector<CSDPTime> ToTimes(const std::vector<ModelEntry>& entries)
{
    std::vector<CSDPTime> times;
    for (const ModelEntry& e : entries) {
        CSDPTime& t = times.emplace_back();
        t.start = e.start ? std::to_string(e.start + kNtpUnixOffset) : "0";
        t.stop = e.stop ? std::to_string(e.stop + kNtpUnixOffset) : "";
        if (e.interval || !e.offsets.empty()) {
            t.repeatInterval = std::to_string(e.interval);
            t.activeDuration = std::to_string(e.duration);
            t.offset = OffsetText(e.offsets);
        }
    }
    return times;
}

} // namespace

TEST_F(ScheduleTest, DirectComputationAgreesWithSteppingThroughOccurrences)
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
        ASSERT_EQ(NextStart(times, now), SteppingModel::NextStart(entries, now));
        ASSERT_EQ(IsInWindow(times, now, windowEnd), SteppingModel::InWindow(entries, now, windowEnd));
    }
}

TEST_F(ScheduleTest, NextStartOfOneOffPermanentAndMissingEntries)
{
    const int64_t now = Local(2026, 3, 10, 12);
    EXPECT_EQ(NextStart({}, now), 0);
    EXPECT_EQ(NextStart({OneOff(0, 0)}, now), 0); // permanent: "Continually"
    // A one-off entry gives its start, whether it is still to come or over.
    EXPECT_EQ(NextStart({OneOff(now + kHour, now + 2 * kHour)}, now), now + kHour);
    EXPECT_EQ(NextStart({OneOff(now - 2 * kDay, now - kDay)}, now), now - 2 * kDay);
    // Only the first entry counts when it does not repeat.
    EXPECT_EQ(NextStart({OneOff(now + kHour, 0), OneOff(now + 5, 0)}, now), now + kHour);
    // Small values are taken as Unix seconds; unreadable ones as not given.
    CSDPTime unix;
    unix.start = "1000";
    EXPECT_EQ(NextStart({unix}, now), 1000);
    CSDPTime junk;
    junk.start = "soon";
    junk.stop = "-5";
    EXPECT_EQ(NextStart({junk}, now), 0);
}

TEST_F(ScheduleTest, NextStartOfRepeatsAtOccurrenceBoundaries)
{
    const int64_t start = Local(2026, 3, 2, 14, 0, 0);
    const std::vector<CSDPTime> weekly = {Repeat(start, 0, kWeek, 2 * kHour)};
    const int64_t third = start + 3 * kWeek;
    EXPECT_EQ(NextStart(weekly, start - kDay), start);     // not begun
    EXPECT_EQ(NextStart(weekly, third - 1), third);          // just before
    EXPECT_EQ(NextStart(weekly, third + kHour), third);      // running: its own start
    EXPECT_EQ(NextStart(weekly, third + 2 * kHour), third);  // the last second still counts
    EXPECT_EQ(NextStart(weekly, third + 2 * kHour + 1), third + kWeek);

    // A bounded repeat has occurrences up to the one that starts at its stop.
    const int64_t stop = start + 4 * kWeek;
    const std::vector<CSDPTime> bounded = {Repeat(start, stop, kWeek, 2 * kHour)};
    EXPECT_EQ(NextStart(bounded, stop - kDay), stop);
    EXPECT_EQ(NextStart(bounded, stop + kHour), stop);
    EXPECT_EQ(NextStart(bounded, stop + 3 * kHour), 0);
    // The next entry is asked once the first has nothing left.
    const int64_t later = Local(2026, 6, 1, 9);
    EXPECT_EQ(NextStart({bounded[0], OneOff(later, 0)}, stop + 3 * kHour), later);
}

TEST_F(ScheduleTest, NextStartVisitsOffsetsWithinEachOccurrenceInOrder)
{
    const int64_t start = Local(2026, 3, 2, 0, 0, 0);
    // Offsets 3h then 1h, one hour each. At 04:30 neither of today's has
    // time left; tomorrow's 03:00 comes first because its offset is listed
    // first, although tomorrow's 01:00 is earlier.
    const std::vector<CSDPTime> times = {Repeat(start, 0, kDay, kHour, "3h 1h")};
    EXPECT_EQ(NextStart(times, start + 2 * kHour + 30 * kMinute), start + 3 * kHour);
    EXPECT_EQ(NextStart(times, start + 4 * kHour + 30 * kMinute), start + kDay + 3 * kHour);
}

TEST_F(ScheduleTest, IntervalZeroAndStopBeforeStartAreHandled)
{
    const int64_t now = Local(2026, 3, 10, 12);
    // Interval 0 counts as not repeating.
    const std::vector<CSDPTime> zero = {Repeat(now - kHour, now + kHour, 0, kHour)};
    EXPECT_EQ(NextStart(zero, now), now - kHour);
    EXPECT_TRUE(IsInPeriod(zero, kPeriodNow, now, clock));
    const CScheduleDescription d = DescribeSchedule(zero, now, clock);
    EXPECT_EQ(d.text.rfind("From ", 0), 0u);
    EXPECT_TRUE(d.active);
    // A repeat whose stop lies before its start has no occurrences.
    const std::vector<CSDPTime> backwards = {Repeat(now - kHour, now - kDay, kHour, kHour)};
    EXPECT_EQ(NextStart(backwards, now), 0);
    EXPECT_FALSE(IsInPeriod(backwards, kPeriodThisMonth, now, clock));
}

TEST_F(ScheduleTest, UnboundedPerSecondRepeatSince1996IsSolvedAtOnce)
{
    const int64_t since = Local(1996, 1, 1, 0, 0, 0);
    const int64_t now = Local(2026, 12, 6, 10, 0, 0);
    EXPECT_EQ(NextStart({Repeat(since, 0, 1, 0)}, now), now);
    EXPECT_EQ(NextStart({Repeat(since, 0, 1, 10)}, now), now - 10);
    EXPECT_TRUE(IsInPeriod({Repeat(since, 0, 1, 0)}, kPeriodNow, now, clock));
    EXPECT_EQ(NextStart({Repeat(since, 0, 7, 0, "3")}, since + 7 * 1000000 + 4), since + 7 * 1000001 + 3);
}

TEST_F(ScheduleTest, PeriodEndsInLocalTime)
{
    const int64_t morning = Local(2026, 3, 10, 9, 15);
    EXPECT_EQ(PeriodEnd(kPeriodNow, morning, clock), morning);
    EXPECT_EQ(PeriodEnd(kPeriodToday, morning, clock), Local(2026, 3, 10, 23, 59, 59));
    EXPECT_EQ(PeriodEnd(kPeriodThisMonth, morning, clock), Local(2026, 3, 31, 23, 59, 59));

    // Seven-day blocks: day d ends its week on day (d / 7 + 1) * 7.
    const struct { int day, weekEnd; } blocks[] = {{1, 7}, {6, 7}, {7, 14}, {13, 14}, {14, 21}, {20, 21}, {21, 28},
                                                   {27, 28}};
    for (const auto& b : blocks)
        EXPECT_EQ(PeriodEnd(kPeriodThisWeek, Local(2026, 4, b.day, 12), clock), Local(2026, 4, b.weekEnd, 23, 59, 59))
            << "day " << b.day;
    // From the 28th the week ends with the month.
    const struct { int year, month, day, last; } ends[] = {
        {2026, 1, 28, 31}, {2026, 1, 31, 31}, {2026, 4, 29, 30}, {2024, 2, 28, 29}, {2024, 2, 29, 29},
        {2026, 2, 28, 28}, {2000, 2, 28, 29}, {2100, 2, 28, 28}, {2026, 12, 30, 31},
    };
    for (const auto& e : ends) {
        const int64_t at = Local(e.year, e.month, e.day, 8);
        const int64_t last = Local(e.year, e.month, e.last, 23, 59, 59);
        EXPECT_EQ(PeriodEnd(kPeriodThisWeek, at, clock), last) << e.year << "-" << e.month << "-" << e.day;
        EXPECT_EQ(PeriodEnd(kPeriodThisMonth, at, clock), last) << e.year << "-" << e.month << "-" << e.day;
    }
    // Across the change to summer time the day is an hour shorter.
    EXPECT_EQ(PeriodEnd(kPeriodToday, Local(2026, 3, 29, 0, 30), clock) - Local(2026, 3, 29, 0, 30),
              23 * kHour + 29 * kMinute + 59 - kHour);
    // At the very last second the window is that instant.
    const int64_t lastSecond = Local(2026, 3, 10, 23, 59, 59);
    EXPECT_EQ(PeriodEnd(kPeriodToday, lastSecond, clock), lastSecond);
}

TEST_F(ScheduleTest, PeriodsOfRepeatingSessionsUseTheWindow)
{
    const int64_t now = Local(2026, 3, 10, 12, 0, 0); // a Tuesday, in the block ending on the 14th
    auto weeklyAt = [&](int64_t firstStart) { return std::vector<CSDPTime>{Repeat(firstStart, 0, kWeek, kHour)}; };
    // Later today: today, this week, this month, but not now.
    const auto tonight = weeklyAt(Local(2026, 2, 24, 20, 0));
    EXPECT_FALSE(IsInPeriod(tonight, kPeriodNow, now, clock));
    EXPECT_TRUE(IsInPeriod(tonight, kPeriodToday, now, clock));
    EXPECT_TRUE(IsInPeriod(tonight, kPeriodThisWeek, now, clock));
    // The last second of the day is still today; midnight is not.
    EXPECT_TRUE(IsInPeriod(weeklyAt(Local(2026, 2, 24, 23, 59, 59)), kPeriodToday, now, clock));
    const auto midnight = weeklyAt(Local(2026, 2, 25, 0, 0, 0));
    EXPECT_FALSE(IsInPeriod(midnight, kPeriodToday, now, clock));
    EXPECT_TRUE(IsInPeriod(midnight, kPeriodThisWeek, now, clock));
    // Sunday the 15th is past this block's end but within the month.
    const auto sunday = weeklyAt(Local(2026, 3, 1, 10, 0));
    EXPECT_FALSE(IsInPeriod(sunday, kPeriodThisWeek, now, clock));
    EXPECT_TRUE(IsInPeriod(sunday, kPeriodThisMonth, now, clock));
    // Running now, in every period; finished an hour ago, next on the 17th.
    const auto running = weeklyAt(Local(2026, 3, 3, 11, 30));
    for (int p = kPeriodNow; p <= kPeriodThisMonth; ++p)
        EXPECT_TRUE(IsInPeriod(running, p, now, clock)) << p;
    const auto over = weeklyAt(Local(2026, 3, 3, 10, 0));
    EXPECT_FALSE(IsInPeriod(over, kPeriodToday, now, clock));
    EXPECT_FALSE(IsInPeriod(over, kPeriodThisWeek, now, clock));
    EXPECT_TRUE(IsInPeriod(over, kPeriodThisMonth, now, clock));
    // A series whose last occurrence is over is in no period.
    EXPECT_FALSE(IsInPeriod({Repeat(Local(2026, 1, 6, 20), Local(2026, 3, 3, 20), kWeek, kHour)}, kPeriodThisMonth,
                            now, clock));
}

TEST_F(ScheduleTest, PeriodsOfOneOffAndPermanentSessions)
{
    const int64_t now = Local(2026, 3, 10, 12, 0, 0);
    EXPECT_TRUE(IsInPeriod({}, kPeriodNow, now, clock)); // no timing: always shown
    EXPECT_TRUE(IsInPeriod({OneOff(0, 0)}, kPeriodNow, now, clock));
    EXPECT_TRUE(IsInPeriod({OneOff(now - kHour, now + kHour)}, kPeriodNow, now, clock));
    EXPECT_TRUE(IsInPeriod({OneOff(now, now)}, kPeriodNow, now, clock));
    EXPECT_FALSE(IsInPeriod({OneOff(now - 2 * kHour, now - kHour)}, kPeriodThisMonth, now, clock));
    // One-off entries are judged at the present moment only.
    EXPECT_FALSE(IsInPeriod({OneOff(now + kHour, now + 2 * kHour)}, kPeriodToday, now, clock));
    // Any entry may match.
    EXPECT_TRUE(IsInPeriod({OneOff(now - 2 * kHour, now - kHour), OneOff(now - kHour, now + kHour)}, kPeriodNow, now,
                           clock));
}

TEST_F(ScheduleTest, RecordFormsReadUnderTheLockAndStopWhenDeleting)
{
    CManualClock at(Local(2026, 3, 10, 12));
    CScriptedRandom random{7};
    CSdpEnvironment env{at, random, nullptr};
    auto record = CSDPObject::FromText("v=0\nt=3982300000 0\nr=1d 1h 0\n", env);
    const int64_t now = at.Now();
    EXPECT_EQ(NextStart(*record, now), NextStart(record->times, now));
    EXPECT_NE(NextStart(*record, now), 0);
    EXPECT_EQ(DescribeSchedule(*record, now, clock).text, DescribeSchedule(record->times, now, clock).text);
    record->DeleteLater();
    EXPECT_EQ(NextStart(*record, now), 0);
    EXPECT_FALSE(IsInPeriod(*record, kPeriodThisMonth, now, clock));
    EXPECT_EQ(record->LockCount(), 0);
}
