// When a session takes place: its next start, whether it falls into one of
// the list's periods, and the wording of the "Schedule" page.
#include "sdp/Schedule.h"

#include "base/Clock.h"
#include "base/Text.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <locale>
#include <span>
#include <sstream>
#include <utility>

namespace {

// Times, intervals and offsets are capped far beyond any real date (about 31
// million years) so that start + k * interval + offset never overflows.
constexpr int64_t kMaxSeconds = 1'000'000'000'000'000LL;
// "No end": above every capped time plus any interval and offset.
constexpr int64_t kNoEnd = 4 * kMaxSeconds;

// An unsigned decimal text; anything that does not read as one is 0.
int64_t ReadUnsigned(std::string_view s)
{
    return std::clamp<int64_t>(text::ToInt64(s), 0, kMaxSeconds);
}

// A start or stop text as Unix seconds: NTP values are shifted, smaller
// values are taken as they are; 0 means "not given".
int64_t ReadTime(std::string_view s)
{
    const int64_t v = ReadUnsigned(s);
    return v > kNtpUnixOffset ? v - kNtpUnixOffset : v;
}

// Unit letters as in "r=" lines: 1d, 2h, 30m, 10s; a bare number is seconds.
int64_t ReadDurationToken(std::string_view token)
{
    const int64_t factor = std::max<int64_t>(1, text::RepeatUnitSeconds(token));
    return std::min(ReadUnsigned(token), kMaxSeconds / factor) * factor;
}

// Calls fn(offsetSeconds) for each blank-separated offset, in order.
template <class Fn>
void ForEachOffset(std::string_view offsets, Fn&& fn)
{
    size_t i = 0;
    while (i < offsets.size()) {
        while (i < offsets.size() && offsets[i] == ' ')
            ++i;
        if (i >= offsets.size())
            break;
        size_t end = offsets.find(' ', i);
        if (end == std::string_view::npos)
            end = offsets.size();
        fn(ReadDurationToken(offsets.substr(i, end - i)));
        i = end;
    }
}

// Start and stop carry over from one time entry to the next when an entry
// leaves them out ("0" or empty).
struct CRunningBounds {
    int64_t start = 0;
    int64_t stop = kNoEnd;
    bool ownStop = false; // the current entry gave its stop itself

    void Take(const CSDPTime& t)
    {
        if (const int64_t s = ReadTime(t.start))
            start = s;
        const int64_t e = ReadTime(t.stop);
        ownStop = e != 0;
        if (ownStop)
            stop = e;
    }
};

// One offset's series of a repeating entry: occurrence k (0..last) starts at
// first + k * interval and lasts `duration`.
struct CSeries {
    int64_t first;
    int64_t interval; // > 0
    int64_t duration;
    int64_t last;

    // The smallest k whose occurrence has not ended by `now` (it may lie
    // beyond `last`).
    int64_t FirstNotEnded(int64_t now) const
    {
        const int64_t behind = now - duration - first;
        return behind <= 0 ? 0 : behind / interval + (behind % interval != 0);
    }
    int64_t Start(int64_t k) const { return first + k * interval; }
};

// Calls fn(series) for each offset of a repeating entry. An entry that gives
// a stop before its own start has no occurrences at all. A stop carried over
// from an earlier entry ends a later series only when it lies after that
// series' start: "weekly from June 30" after a series that ended in March
// has no end, as its description reads.
template <class Fn>
void ForEachSeries(const CSDPTime& t, const CRunningBounds& bounds, int64_t interval, Fn&& fn)
{
    const bool backwards = bounds.stop < bounds.start;
    if (backwards && bounds.ownStop)
        return;
    const int64_t last = backwards ? kNoEnd : (bounds.stop - bounds.start) / interval;
    const int64_t duration = ReadUnsigned(t.activeDuration);
    ForEachOffset(t.offset, [&](int64_t offset) { fn(CSeries{bounds.start + offset, interval, duration, last}); });
}

int64_t Clamp(int64_t now) { return std::clamp(now, -kMaxSeconds, kMaxSeconds); }

template <class WindowEnd>
bool IsInWindowImpl(std::span<const CSDPTime> times, int64_t now, WindowEnd&& windowEnd)
{
    now = Clamp(now);
    CRunningBounds bounds;
    for (const CSDPTime& t : times) {
        bounds.Take(t);
        const int64_t interval = ReadUnsigned(t.repeatInterval);
        if (interval == 0) {
            // Running now or starting before the window closes.
            if (now <= bounds.stop && (bounds.start <= now || bounds.start <= windowEnd()))
                return true;
            continue;
        }
        bool hit = false;
        ForEachSeries(t, bounds, interval, [&](const CSeries& series) {
            // The first occurrence still running at `now` is also the
            // earliest to start; it overlaps the window when it starts in time.
            const int64_t k = series.FirstNotEnded(now);
            if (!hit && k <= series.last && series.Start(k) <= windowEnd())
                hit = true;
        });
        if (hit)
            return true;
    }
    return times.empty();
}

int DaysInMonth(int year, int month0)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month0 == 1 && leap ? 29 : kDays[month0 % 12];
}

std::string TwoDigits(int64_t v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

// The interval wording: "weekly ", "daily & 12 hour(s) ", "every 3 days "...
// Returns whether the entry counts as daily (its times need no weekday).
bool AppendInterval(std::string& out, int64_t interval)
{
    const int64_t days = interval / 86400;
    bool daily = false;
    if (days > 0) {
        switch (days) {
        case 183: out += "half yearly "; break;
        case 7: out += "weekly "; break;
        case 14: out += "bi-weekly "; break;
        case 365: out += "yearly "; break;
        default:
            if (days <= 1) {
                out += "daily ";
                daily = true;
            } else {
                out += "every " + std::to_string(days) + " days ";
            }
        }
    }
    if (interval / 3600 != days * 24) {
        out += "& " + TwoDigits(interval / 3600 % 24) + " hour(s) ";
        if (interval / 60 != (interval / 3600) * 60)
            out += TwoDigits(interval / 60 % 60) + " minute(s) ";
        if (interval % 60 != 0)
            out += TwoDigits(interval % 60) + " second(s) ";
    }
    return daily;
}

void AppendDuration(std::string& out, int64_t duration)
{
    if (duration == 0)
        return;
    out += "for ";
    const int64_t days = duration / 86400;
    if (days / 7 != 0) {
        out += std::to_string(days / 7) + " week(s) ";
        if (days % 7 != 0)
            out += "and ";
    }
    if (days % 7 != 0)
        out += std::to_string(days % 7) + " day(s) ";
    if (duration / 3600 != days * 24)
        out += TwoDigits(duration / 3600 % 24) + " hour(s) ";
    if (duration / 60 != (duration / 3600) * 60)
        out += TwoDigits(duration / 60 % 60) + " minute(s) ";
    if (duration % 60 != 0)
        out += TwoDigits(duration % 60) + " second(s) ";
}

// Whether `now` lies inside one of the series' occurrences (start included,
// end excluded).
bool RunsAt(const CSeries& series, int64_t now)
{
    if (now < series.first)
        return false;
    const int64_t latestStart = series.Start((now - series.first) / series.interval);
    return now < latestStart + series.duration;
}

constexpr const char* kLongFormat = "%I:%M%p %A %B %d, %Y";
constexpr const char* kDateFormat = "%B %d, %Y";

// One time entry's line (without its line end); returns the entry's verdict.
bool DescribeEntry(std::string& out, const CSDPTime& t, int64_t now, const Clock& clock)
{
    const int64_t start = ReadTime(t.start);
    bool active = now > start;
    const int64_t stopValue = ReadUnsigned(t.stop);
    const bool hasEnd = stopValue > kNtpUnixOffset;
    const int64_t stop = stopValue - kNtpUnixOffset;
    if (hasEnd && now > stop)
        active = false;

    const int64_t interval = ReadUnsigned(t.repeatInterval);
    if (interval == 0) {
        out += "From " + FormatLocalTime(clock, start, kLongFormat);
        if (hasEnd)
            out += " till " + FormatLocalTime(clock, stop, kLongFormat);
        return active;
    }

    const bool daily = AppendInterval(out, interval);
    const int64_t duration = ReadUnsigned(t.activeDuration);
    bool anyOffset = false, running = false;
    ForEachOffset(t.offset, [&](int64_t offset) {
        const int64_t at = start + offset;
        out += anyOffset ? "and " : "at ";
        out += FormatLocalTime(clock, at, "%I:%M%p ");
        if (!daily)
            out += FormatLocalTime(clock, at, "on %A ");
        anyOffset = true;
        running = running || RunsAt(CSeries{at, interval, duration, 0}, now);
    });
    if (anyOffset)
        active = running && !(hasEnd && now > stop);
    AppendDuration(out, duration);
    out += "from " + FormatLocalTime(clock, start, kDateFormat);
    if (hasEnd)
        out += " till " + FormatLocalTime(clock, stop, kDateFormat);
    return active;
}

} // namespace

int64_t NextStart(std::span<const CSDPTime> times, int64_t now, int64_t* validUntil)
{
    now = Clamp(now);
    // The answer stays the same until a series' current occurrence ends.
    int64_t until = kNoEnd;
    auto result = [&](int64_t start) {
        if (validUntil)
            *validUntil = until;
        return start;
    };
    CRunningBounds bounds;
    for (const CSDPTime& t : times) {
        bounds.Take(t);
        const int64_t interval = ReadUnsigned(t.repeatInterval);
        if (interval == 0)
            return result(bounds.start);
        // Occurrences are visited occurrence by occurrence, offsets in text
        // order within each: the answer is the offset whose first unfinished
        // occurrence has the smallest index, the earlier offset on a tie.
        int64_t bestK = -1, bestStart = 0;
        ForEachSeries(t, bounds, interval, [&](const CSeries& series) {
            const int64_t k = series.FirstNotEnded(now);
            if (k > series.last)
                return;
            until = std::min(until, series.Start(k) + series.duration + 1);
            if (bestK < 0 || k < bestK) {
                bestK = k;
                bestStart = series.Start(k);
            }
        });
        if (bestK >= 0)
            return result(bestStart);
    }
    return result(0);
}

int64_t NextStart(CSDPObject& record, int64_t now)
{
    CRecordLock lock(record);
    return lock.ok() ? NextStart(record.times, now) : 0;
}

int64_t PeriodEnd(int period, int64_t now, const Clock& clock)
{
    if (period != kPeriodToday && period != kPeriodThisWeek && period != kPeriodThisMonth)
        return now;
    std::tm local = clock.LocalTime(now);
    const int lastDay = DaysInMonth(local.tm_year + 1900, local.tm_mon);
    if (period == kPeriodThisWeek)
        local.tm_mday = std::min((local.tm_mday / 7 + 1) * 7, lastDay); // blocks end on the 7th, 14th, 21st, 28th
    else if (period == kPeriodThisMonth)
        local.tm_mday = lastDay;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    return std::max(clock.FromLocalTime(local), now);
}

bool IsInWindow(std::span<const CSDPTime> times, int64_t now, int64_t windowEnd)
{
    return IsInWindowImpl(times, now, [windowEnd] { return windowEnd; });
}

bool IsInPeriod(std::span<const CSDPTime> times, int period, int64_t now, const Clock& clock)
{
    // Only repeating entries look at the window's end: work it out (a local
    // time conversion) the first time one asks.
    int64_t end = 0;
    bool known = false;
    return IsInWindowImpl(times, now, [&] {
        if (!known) {
            end = PeriodEnd(period, now, clock);
            known = true;
        }
        return end;
    });
}

int64_t NowAnswerHoldsUntil(std::span<const CSDPTime> times, int64_t now)
{
    // The answer is an "or" over the entries and series below: it holds for
    // as long as every one of them keeps its own.
    now = Clamp(now);
    int64_t until = kNoEnd;
    CRunningBounds bounds;
    for (const CSDPTime& t : times) {
        bounds.Take(t);
        const int64_t interval = ReadUnsigned(t.repeatInterval);
        if (interval == 0) {
            if (now < bounds.start)
                until = std::min(until, bounds.start - 1);
            else if (now <= bounds.stop)
                until = std::min(until, bounds.stop);
            continue;
        }
        ForEachSeries(t, bounds, interval, [&](const CSeries& series) {
            const int64_t k = series.FirstNotEnded(now);
            if (k > series.last)
                return; // over for good
            const int64_t start = series.Start(k);
            until = std::min(until, start <= now ? start + series.duration : start - 1);
        });
    }
    return until;
}

bool IsInPeriod(CSDPObject& record, int period, int64_t now, const Clock& clock)
{
    CRecordLock lock(record);
    return lock.ok() && IsInPeriod(record.times, period, now, clock);
}

CScheduleDescription DescribeSchedule(std::span<const CSDPTime> times, int64_t now, const Clock& clock)
{
    CScheduleDescription result;
    if (times.empty()) {
        result.text = "No timing information available";
        return result;
    }
    bool continually = false;
    for (const CSDPTime& t : times) {
        bool active = true;
        if (ReadUnsigned(t.start) <= kNtpUnixOffset) {
            result.text = "Continually"; // replaces whatever earlier entries said
            continually = true;
        } else {
            // A later entry starts a line of its own.
            if (std::exchange(continually, false))
                result.text += "\r\n";
            active = DescribeEntry(result.text, t, now, clock);
            result.text += "\r\n";
        }
        result.active = result.active || active;
    }
    return result;
}

CScheduleDescription DescribeSchedule(CSDPObject& record, int64_t now, const Clock& clock)
{
    CRecordLock lock(record);
    return lock.ok() ? DescribeSchedule(record.times, now, clock) : CScheduleDescription{};
}

const char* VerdictText(bool active)
{
    return active ? "Active" : "Inactive";
}

namespace {
constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

// A field in two digits, or false when it is outside [low, high].
bool AppendTwoDigits(std::string& out, int value, int low, int high)
{
    if (value < low || value > high)
        return false;
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
    return true;
}

// A day or month name, whole or its first three letters.
template <size_t N>
bool AppendName(std::string& out, const char* const (&names)[N], int index, bool abbreviated)
{
    if (index < 0 || static_cast<size_t>(index) >= N)
        return false;
    out.append(names[index], abbreviated ? 3 : std::strlen(names[index]));
    return true;
}

// One directive as the classic locale writes it; false for a directive not
// written here or a field out of its range, which the stream then writes.
bool AppendField(std::string& out, char directive, const std::tm& t)
{
    switch (directive) {
    case 'I': // 12, 01, ... 11
        return t.tm_hour >= 0 && t.tm_hour <= 23 && AppendTwoDigits(out, (t.tm_hour + 11) % 12 + 1, 1, 12);
    case 'H':
        return AppendTwoDigits(out, t.tm_hour, 0, 23);
    case 'M':
        return AppendTwoDigits(out, t.tm_min, 0, 59);
    case 'S':
        return AppendTwoDigits(out, t.tm_sec, 0, 60);
    case 'd':
        return AppendTwoDigits(out, t.tm_mday, 1, 31);
    case 'p':
        if (t.tm_hour < 0 || t.tm_hour > 23)
            return false;
        out += t.tm_hour < 12 ? "AM" : "PM";
        return true;
    case 'a':
    case 'A':
        return AppendName(out, kDayNames, t.tm_wday, directive == 'a');
    case 'b':
    case 'B':
        return AppendName(out, kMonthNames, t.tm_mon, directive == 'b');
    case 'Y':
        if (t.tm_year < 1000 - 1900 || t.tm_year > 9999 - 1900)
            return false;
        out += std::to_string(t.tm_year + 1900);
        return true;
    case '%':
        out += '%';
        return true;
    default:
        return false;
    }
}
} // namespace

std::string FormatLocalTime(const Clock& clock, int64_t unixSeconds, const char* format)
{
    const std::tm local = clock.LocalTime(unixSeconds);
    // Every row with a start time has its cell written: the directives the
    // program uses are written here, a stream with the classic locale
    // (several times slower) writes anything else.
    std::string text;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        if (!AppendField(text, p[1], local)) {
            std::ostringstream out;
            out.imbue(std::locale::classic());
            out << std::put_time(&local, format);
            return out.str();
        }
        ++p;
    }
    return text;
}
