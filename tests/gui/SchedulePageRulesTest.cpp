// What the "Session Schedule" page offers and the time entries its choices
// make, in a fixed time zone with summer time.
#include "gui/SchedulePageRules.h"

#include "base/Clock.h"
#include "sdp/SDPObject.h"
#include "support/TestZone.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

// Readable failures: the five texts of an entry.
void PrintTo(const CSDPTime& t, std::ostream* os)
{
    *os << '{' << t.start << ' ' << t.stop << ' ' << t.repeatInterval << ' ' << t.activeDuration << ' ' << t.offset << '}';
}

namespace {

constexpr int64_t kHour = 3600, kDay = 86400, kWeek = 7 * kDay;

const bool kZoneSet = UseTestZone();
const CManualClock kClock;

std::tm Local(int year, int month, int day, int hour, int minute) { return LocalFields(year, month, day, hour, minute); }

std::string Ntp(int64_t unixSeconds) { return std::to_string(unixSeconds + kNtpUnixOffset); }

// The span an item's text names ("30 minutes", "5 hour", "1 day", "9 days", "2 weeks").
int64_t SpanNamed(const std::string& text)
{
    std::istringstream in(text);
    int64_t count = 0;
    std::string unit;
    in >> count >> unit;
    if (unit.rfind("minute", 0) == 0)
        return count * 60;
    if (unit == "hour")
        return count * kHour;
    if (unit.rfind("day", 0) == 0)
        return count * kDay;
    return unit.rfind("week", 0) == 0 ? count * kWeek : -1;
}

TEST(SchedulePageRulesTest, ListsOfferTheirItemsAndEachLastsWhatItsTextSays)
{
    const struct {
        int kind;
        size_t durations;
        const char* last;
    } lists[] = {{kScheduleDaily, 25, "1 day"},
                 {kScheduleWeekly, 31, "1 week"},
                 {kScheduleTwoWeeks, 38, "2 weeks"},
                 {kScheduleOnce, 40, "4 weeks"}};
    for (const auto& l : lists) {
        SCOPED_TRACE(l.kind);
        const auto items = DurationChoices(l.kind);
        ASSERT_EQ(items.size(), l.durations);
        EXPECT_EQ(items.front(), (CScheduleChoice{"30 minutes", 1800}));
        EXPECT_EQ(items[23].text, "23 hour");
        EXPECT_EQ(items.back().text, l.last);
        // Past "1 week" too: "8 days" is eight days, not two weeks.
        for (const CScheduleChoice& c : items)
            EXPECT_EQ(c.seconds, SpanNamed(c.text)) << c.text;
    }
    EXPECT_TRUE(DurationChoices(kScheduleUnused).empty());

    const auto daily = RepeatForChoices(kScheduleDaily);
    ASSERT_EQ(daily.size(), 9u);
    EXPECT_EQ(std::tuple(daily[0], daily[5], daily[8]),
              std::tuple(CScheduleChoice{"2 days", 2 * kDay}, CScheduleChoice{"1 week", kWeek}, CScheduleChoice{"4 weeks", 4 * kWeek}));
    EXPECT_EQ(RepeatForChoices(kScheduleWeekly),
              (std::vector<CScheduleChoice>{{"2 weeks", 2 * kWeek}, {"3 weeks", 3 * kWeek}, {"4 weeks", 4 * kWeek}}));
    EXPECT_EQ(RepeatForChoices(kScheduleTwoWeeks), (std::vector<CScheduleChoice>{{"4 weeks", 4 * kWeek}}));
    EXPECT_TRUE(RepeatForChoices(kScheduleOnce).empty());

    EXPECT_EQ(RepetitionItems(0), (std::vector<std::string>{"Once", "Daily", "Weekly", "Every Two Weeks"}));
    EXPECT_EQ(RepetitionItems(2).front(), "N/A");
    EXPECT_EQ(std::tuple(KindAtPosition(0, 0), KindAtPosition(1, 0), KindAtPosition(1, -1)),
              std::tuple(kScheduleOnce, kScheduleUnused, -1));
}

TEST(SchedulePageRulesTest, ADurationNoItemHasIsKeptAsAnItemOfItsOwn)
{
    const auto once = DurationChoices(kScheduleOnce);
    EXPECT_TRUE(WithDuration(once, 3600) == once && WithDuration(once, 0) == once);
    EXPECT_TRUE(WithDuration({}, 4800).empty()) << "an unused row has no list";
    for (const auto& [seconds, name, after] :
         {std::tuple(4800, "1 hour 20 minutes", "1 hour"), std::tuple(600, "10 minutes", ""),
          std::tuple(90061, "1 day 1 hour 1 minute 1 second", "1 day"), std::tuple(3 * 86400 + 7200, "3 days 2 hours", "3 days")}) {
        const auto items = WithDuration(once, seconds);
        const int at = PositionOfSeconds(items, seconds);
        ASSERT_GE(at, 0) << name;
        EXPECT_EQ(std::tuple(items[static_cast<size_t>(at)].text, at == 0 ? "" : items[static_cast<size_t>(at) - 1].text, items.size()),
                  std::tuple(name, after, once.size() + 1));
    }
}

TEST(SchedulePageRulesTest, EnablingFollowsTheRowsInUse)
{
    const struct {
        const char* what;
        bool firstRowSet;
        int kinds[kScheduleRows];
        bool lists[kScheduleRows], fields[kScheduleRows];
        int coarsest;
        bool repeatFor;
    } cases[] = {
        {"fresh page", false, {1, 0, 0}, {true, false, false}, {true, false, false}, 1, false},
        {"row 1 chosen", true, {1, 0, 0}, {true, true, false}, {true, false, false}, 1, false},
        {"weekly and every two weeks", true, {3, 4, 0}, {true, true, true}, {true, true, false}, 4, true},
        {"row 2 back to N/A leaves row 3 out", true, {1, 0, 2}, {true, true, false}, {true, false, false}, 1, false},
        {"once everywhere", true, {1, 1, 1}, {true, true, true}, {true, true, true}, 1, false},
        {"daily in row 3", true, {1, 1, 2}, {true, true, true}, {true, true, true}, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CScheduleEnabling e = DecideScheduleEnabling(c.firstRowSet, c.kinds);
        for (int row = 0; row < kScheduleRows; ++row)
            EXPECT_EQ(std::pair(e.repetition[row], e.fields[row]), std::pair(c.lists[row], c.fields[row])) << row;
        EXPECT_EQ(std::pair(e.coarsestKind, e.repeatFor), std::pair(c.coarsest, c.repeatFor));
    }
}

TEST(SchedulePageRulesTest, RowsBecomeTimeEntriesAndReadBack)
{
    ASSERT_TRUE(kZoneSet);
    const int64_t june3 = 1748973600; // Tuesday, June 3, 2025, 20:00 in Brussels
    const struct {
        const char* what;
        std::vector<CScheduleRow> rows;
        int64_t repeatFor;
        std::vector<CSDPTime> times;
    } cases[] = {
        {"once for 30 minutes", {{kScheduleOnce, Local(2025, 6, 3, 20, 0), 1800}}, 0,
         {{Ntp(june3), Ntp(june3 + 1800), "", "", ""}}},
        {"daily for 2 hours during a week", {{kScheduleDaily, Local(2025, 6, 3, 20, 0), 2 * kHour}}, kWeek,
         {{Ntp(june3), Ntp(june3 + kWeek), "86400", "7200", "0"}}},
        {"weekly beside every two weeks",
         {{kScheduleWeekly, Local(2025, 6, 3, 20, 0), kHour}, {kScheduleTwoWeeks, Local(2025, 6, 4, 20, 0), 9 * kDay}},
         4 * kWeek,
         {{Ntp(june3), Ntp(june3 + 4 * kWeek), "604800", "3600", "0"},
          {Ntp(june3 + kDay), Ntp(june3 + kDay + 4 * kWeek), "1209600", "777600", "0"}}},
        {"every two days without end", {{kScheduleOther, Local(2025, 6, 3, 20, 0), kHour, 2 * kDay}}, kRepeatWithoutEnd,
         {{Ntp(june3), "0", "172800", "3600", "0"}}},
        {"an unused row makes nothing", {{kScheduleOnce, Local(2025, 6, 3, 20, 0), kHour}, {kScheduleUnused, {}, 0}}, 0,
         {{Ntp(june3), Ntp(june3 + kHour), "", "", ""}}},
        // Summer time begins at 2:00 that day: 20:00 is 18:00 UTC.
        {"the day the clocks change", {{kScheduleOnce, Local(2024, 3, 31, 20, 0), kHour}}, 0,
         {{Ntp(1711908000), Ntp(1711908000 + kHour), "", "", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto times = ScheduleToTimes(c.rows, c.repeatFor, kClock);
        ASSERT_EQ(times, c.times);
        // Shown again on the page, each entry gives back its row.
        for (size_t i = 0; i < times.size(); ++i) {
            const CScheduleRowValues back = RowFromTime(times[i]);
            EXPECT_EQ(std::tuple(back.kind, back.duration, back.repeatFor),
                      std::tuple(c.rows[i].kind, c.rows[i].duration, c.rows[i].kind == kScheduleOnce ? 0 : c.repeatFor));
            EXPECT_GE(PositionOfSeconds(DurationChoices(back.kind), back.duration), 0);
        }
    }

    const struct {
        const char* interval;
        int kind;
    } intervals[] = {{"", kScheduleOnce},           {"0", kScheduleOnce},      {"86400", kScheduleDaily},
                     {"259200", kScheduleOther},    {"604800", kScheduleWeekly}, {"1209600", kScheduleTwoWeeks},
                     {"15811200", kScheduleOther /* 183 days */}, {"31536000", kScheduleOther /* 365 days */},
                     {"3600", kScheduleOther}, {"1w", -1}};
    for (const auto& i : intervals)
        EXPECT_EQ(RowFromTime({Ntp(june3), "0", i.interval, "3600", "0"}).kind, i.kind) << i.interval;
}

} // namespace
