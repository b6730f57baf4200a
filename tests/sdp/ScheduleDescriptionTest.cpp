// The wording of the "Schedule" page and its Active/Inactive verdict.
#include "ScheduleTestSupport.h"

#include "sdp/Schedule.h"

namespace {

class DescriptionTest : public ScheduleTest {
protected:
    void SetUp() override
    {
        ScheduleTest::SetUp();
        monday = Local(2026, 3, 2, 14, 0, 0); // Monday March 2, 2026, 2 PM
    }
    CScheduleDescription Describe(const std::vector<CSDPTime>& times, int64_t now) const
    {
        return DescribeSchedule(times, now, clock);
    }
    int64_t monday = 0;
};

} // namespace

TEST_F(DescriptionTest, NoTimesAndPermanentSessions)
{
    const int64_t now = Local(2026, 3, 10, 12);
    const CScheduleDescription none = Describe({}, now);
    EXPECT_EQ(none.text, "No timing information available");
    EXPECT_FALSE(none.active);
    EXPECT_STREQ(VerdictText(none.active), "Inactive");

    const CScheduleDescription permanent = Describe({OneOff(0, 0)}, now);
    EXPECT_EQ(permanent.text, "Continually");
    EXPECT_TRUE(permanent.active);
    EXPECT_STREQ(VerdictText(permanent.active), "Active");

    // A start that is not an NTP time also reads as permanent.
    CSDPTime small;
    small.start = "1000";
    small.stop = "3982300000";
    EXPECT_EQ(Describe({small}, now).text, "Continually");
}

TEST_F(DescriptionTest, OneOffSessionsBeforeDuringAndAfter)
{
    const int64_t end = monday + 2 * kHour + 30 * kMinute;
    const std::string fromTill = "From 02:00PM Monday March 02, 2026 till 04:30PM Monday March 02, 2026\r\n";
    EXPECT_EQ(Describe({OneOff(monday, end)}, monday - 1).text, fromTill);
    EXPECT_FALSE(Describe({OneOff(monday, end)}, monday - 1).active); // not begun
    EXPECT_FALSE(Describe({OneOff(monday, end)}, monday).active);     // starts after this second
    EXPECT_TRUE(Describe({OneOff(monday, end)}, monday + 1).active);
    EXPECT_TRUE(Describe({OneOff(monday, end)}, end).active);
    const CScheduleDescription ended = Describe({OneOff(monday, end)}, monday + kDay);
    EXPECT_EQ(ended.text, fromTill);
    EXPECT_FALSE(ended.active);

    const CScheduleDescription open = Describe({OneOff(monday, 0)}, monday + 30 * kDay);
    EXPECT_EQ(open.text, "From 02:00PM Monday March 02, 2026\r\n");
    EXPECT_TRUE(open.active);
}

TEST_F(DescriptionTest, WeeklySessionIsActiveOnlyDuringItsTwoHours)
{
    const std::vector<CSDPTime> weekly = {Repeat(monday, 0, kWeek, 2 * kHour)};
    EXPECT_EQ(Describe(weekly, monday).text, "weekly at 02:00PM on Monday for 02 hour(s) from March 02, 2026\r\n");
    const int64_t fifth = monday + 4 * kWeek;
    EXPECT_FALSE(Describe(weekly, monday - kWeek).active);
    EXPECT_FALSE(Describe(weekly, fifth - 1).active);
    EXPECT_TRUE(Describe(weekly, fifth).active);
    EXPECT_TRUE(Describe(weekly, fifth + 2 * kHour - 1).active);
    EXPECT_FALSE(Describe(weekly, fifth + 2 * kHour).active);
    EXPECT_FALSE(Describe(weekly, fifth + 3 * kDay).active);
}

TEST_F(DescriptionTest, IntervalWordings)
{
    const struct {
        int64_t interval;
        const char* wording;
        bool daily;
    } cases[] = {
        {kDay, "daily ", true},
        {kWeek, "weekly ", false},
        {2 * kWeek, "bi-weekly ", false},
        {183 * kDay, "half yearly ", false},
        {365 * kDay, "yearly ", false},
        {3 * kDay, "every 3 days ", false},
        {8 * kDay, "every 8 days ", false},
        {36 * kHour, "daily & 12 hour(s) ", true},
        {kDay + kHour + kMinute + 1, "daily & 01 hour(s) 01 minute(s) 01 second(s) ", true},
        {2 * kDay + 2 * kHour + 5, "every 2 days & 02 hour(s) 05 second(s) ", false},
        {kHour, "& 01 hour(s) ", false},
        {90 * kMinute, "& 01 hour(s) 30 minute(s) ", false},
    };
    for (const auto& c : cases) {
        const std::string expected = std::string(c.wording) + "at 02:00PM " + (c.daily ? "" : "on Monday ")
            + "from March 02, 2026\r\n";
        EXPECT_EQ(Describe({Repeat(monday, 0, c.interval, 0)}, monday).text, expected) << c.interval;
    }
}

TEST_F(DescriptionTest, DurationWordings)
{
    const struct {
        int64_t duration;
        const char* wording;
    } cases[] = {
        {0, ""},
        {45, "for 45 second(s) "},
        {90 * kMinute, "for 01 hour(s) 30 minute(s) "},
        {2 * kHour, "for 02 hour(s) "},
        {3 * kDay, "for 3 day(s) "},
        {9 * kDay, "for 1 week(s) and 2 day(s) "},
        {2 * kWeek, "for 2 week(s) "},
        {kDay + 30, "for 1 day(s) 30 second(s) "},
        {kDay + kHour + kMinute + 1, "for 1 day(s) 01 hour(s) 01 minute(s) 01 second(s) "},
        {kWeek + 5 * kMinute, "for 1 week(s) 05 minute(s) "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe({Repeat(monday, 0, kWeek, c.duration)}, monday).text,
                  std::string("weekly at 02:00PM on Monday ") + c.wording + "from March 02, 2026\r\n")
            << c.duration;
}

TEST_F(DescriptionTest, BoundedSeriesGivesItsDateRangeAndEnds)
{
    const int64_t stop = Local(2026, 4, 27, 16, 0, 0);
    const std::vector<CSDPTime> series = {Repeat(monday, stop, kWeek, kHour, "1d")};
    EXPECT_EQ(Describe(series, monday).text,
              "weekly at 02:00PM on Tuesday for 01 hour(s) from March 02, 2026 till April 27, 2026\r\n");
    EXPECT_TRUE(Describe(series, monday + kWeek + kDay + 10).active);
    EXPECT_FALSE(Describe(series, monday + kWeek + 10).active);
    // The Tuesday after the end, at the hour it would run (summer time by then).
    EXPECT_FALSE(Describe(series, stop + kDay - kHour + 10).active);
    EXPECT_TRUE(Describe({Repeat(monday, 0, kWeek, kHour, "1d")}, stop + kDay - kHour + 10).active);
}

TEST_F(DescriptionTest, OffsetsAreListedAndAnyRunningOffsetCounts)
{
    const int64_t midnight = Local(2026, 3, 2, 0, 0, 0);
    const std::vector<CSDPTime> twice = {Repeat(midnight, 0, kDay, kHour, "0 12h")};
    EXPECT_EQ(Describe(twice, midnight).text, "daily at 12:00AM and 12:00PM for 01 hour(s) from March 02, 2026\r\n");
    EXPECT_TRUE(Describe(twice, midnight + 3 * kDay + 30 * kMinute).active);  // the first offset runs
    EXPECT_TRUE(Describe(twice, midnight + 3 * kDay + 12 * kHour + 1).active); // the second one
    EXPECT_FALSE(Describe(twice, midnight + 3 * kDay + 2 * kHour).active);

    // An occurrence that runs over into the next interval is still running.
    const std::vector<CSDPTime> lateNight = {Repeat(midnight, 0, kDay, 3 * kHour, "23h")};
    EXPECT_EQ(Describe(lateNight, midnight).text, "daily at 11:00PM for 03 hour(s) from March 02, 2026\r\n");
    EXPECT_TRUE(Describe(lateNight, Local(2026, 3, 5, 1, 0, 0)).active);
    EXPECT_FALSE(Describe(lateNight, Local(2026, 3, 5, 3, 0, 0)).active);
    // Nothing runs before the first occurrence, a whole interval early included.
    EXPECT_FALSE(Describe({Repeat(midnight, 0, kDay, kHour)}, midnight - kDay).active);
}

TEST_F(DescriptionTest, SeveralEntriesAndContinuallyReplacingEarlierLines)
{
    const int64_t now = Local(2026, 3, 10, 12);
    const CSDPTime past = OneOff(monday, monday + kHour);
    const CSDPTime current = OneOff(now - kHour, now + kHour);
    const CScheduleDescription two = Describe({past, current}, now);
    EXPECT_EQ(two.text, "From 02:00PM Monday March 02, 2026 till 03:00PM Monday March 02, 2026\r\n"
                        "From 11:00AM Tuesday March 10, 2026 till 01:00PM Tuesday March 10, 2026\r\n");
    EXPECT_TRUE(two.active);
    EXPECT_FALSE(Describe({past, past}, now).active);

    EXPECT_EQ(Describe({past, OneOff(0, 0)}, now).text, "Continually");
    EXPECT_EQ(Describe({OneOff(0, 0), past}, now).text,
              "ContinuallyFrom 02:00PM Monday March 02, 2026 till 03:00PM Monday March 02, 2026\r\n");
}

TEST_F(DescriptionTest, TimesAreLocalWithSummerTime)
{
    const int64_t july = Local(2026, 7, 1, 14, 5, 0);
    EXPECT_EQ(Describe({OneOff(july, 0)}, july).text, "From 02:05PM Wednesday July 01, 2026\r\n");
    EXPECT_EQ(FormatLocalTime(clock, july, "%H:%M"), "14:05");
    EXPECT_EQ(FormatLocalTime(clock, Local(2026, 1, 1, 0, 0, 0), "%I:%M:%S%p %a %b %d, %Y"),
              "12:00:00AM Thu Jan 01, 2026");
}
