#pragma once
#include <cstdint>
#include <string>
#include <span>
#include <vector>

class Clock;
class CSDPObject;
struct CSDPTime;

// The time filters of the session list, handed to IsInPeriod.
enum SchedulePeriod : int {
    kPeriodNow = 1,       // the present moment
    kPeriodToday = 2,     // until 23:59:59 today
    kPeriodThisWeek = 3,  // until the end of the month's current seven-day block
    kPeriodThisMonth = 4, // until 23:59:59 on the month's last day
};

// Start (Unix seconds) of the current or next occurrence; 0 for none.
// Repeating entries are solved directly, so the cost does not depend on how
// many occurrences lie between the session's start and `now`.
// `validUntil`, when given, receives the first time from which the answer
// may differ (it is the same for every time from `now` up to it).
int64_t NextStart(std::span<const CSDPTime> times, int64_t now, int64_t* validUntil = nullptr);
// Reads the record under its lock; 0 once the record's deletion has begun.
int64_t NextStart(CSDPObject& record, int64_t now);

// Last second of `period` as seen from `now`, in local time; `now` itself
// for kPeriodNow (and for any value that is not a period).
int64_t PeriodEnd(int period, int64_t now, const Clock& clock);
// Whether the session is active at some time in [now, windowEnd]. A record
// without time entries always is.
bool IsInWindow(std::span<const CSDPTime> times, int64_t now, int64_t windowEnd);
bool IsInPeriod(std::span<const CSDPTime> times, int period, int64_t now, const Clock& clock);
// The last second up to which IsInPeriod for kPeriodNow keeps the answer it
// gives at `now`, so that a caller asking every second need not ask again
// before then. May be earlier than the real change, never later.
int64_t NowAnswerHoldsUntil(std::span<const CSDPTime> times, int64_t now);
// Reads the record under its lock; false once the record's deletion has begun.
bool IsInPeriod(CSDPObject& record, int period, int64_t now, const Clock& clock);

// The schedule as worded on the "Schedule" page, and whether it runs now.
struct CScheduleDescription {
    std::string text;
    bool active = false;
};
CScheduleDescription DescribeSchedule(std::span<const CSDPTime> times, int64_t now, const Clock& clock);
CScheduleDescription DescribeSchedule(CSDPObject& record, int64_t now, const Clock& clock);
// "Active" or "Inactive".
const char* VerdictText(bool active);

// strftime-style formatting of a Unix time in local time, always with the
// English month and day names whatever the process locale says.
std::string FormatLocalTime(const Clock& clock, int64_t unixSeconds, const char* format);
