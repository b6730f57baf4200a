#include "gui/SchedulePageRules.h"

#include "base/Clock.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr int64_t kHour = 3600, kDay = 86400, kWeek = 7 * kDay;

const char* const kRepetitions[] = {"N/A", "Once", "Daily", "Weekly", "Every Two Weeks"};

std::string Plural(int64_t count, const char* unit)
{
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

bool ReadSeconds(const std::string& text, int64_t& out)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

std::vector<std::string> RepetitionItems(int row)
{
    return {std::begin(kRepetitions) + (row == 0 ? 1 : 0), std::end(kRepetitions)};
}

int KindAtPosition(int row, int position)
{
    const int kind = row == 0 ? position + 1 : position;
    if (position < 0 || kind > kScheduleTwoWeeks)
        return -1;
    return kind;
}

int PositionOfKind(int row, int kind)
{
    if (kind < kScheduleUnused || kind > kScheduleTwoWeeks || (row == 0 && kind == kScheduleUnused))
        return -1;
    return row == 0 ? kind - 1 : kind;
}

int64_t RepeatIntervalOf(int kind)
{
    switch (kind) {
    case kScheduleDaily: return kDay;
    case kScheduleWeekly: return kWeek;
    case kScheduleTwoWeeks: return 2 * kWeek;
    default: return 0;
    }
}

std::string OwnRepetitionItem(int kind, int64_t interval)
{
    if (kind == kScheduleContinually)
        return "Continually";
    if (kind != kScheduleOther || interval <= 0)
        return {};
    const std::vector<CScheduleChoice> named = WithDuration({{"", 0}}, interval);
    return "Every " + named.back().text;
}

std::vector<CScheduleChoice> DurationChoices(int kind)
{
    std::vector<CScheduleChoice> out;
    if (kind == kScheduleOther)
        kind = kScheduleOnce; // every item up to four weeks
    if (kind < kScheduleOnce || kind > kScheduleTwoWeeks)
        return out;
    out.push_back({"30 minutes", 1800});
    for (int h = 1; h <= 23; ++h)
        out.push_back({std::to_string(h) + " hour", h * kHour});
    out.push_back({"1 day", kDay});
    if (kind == kScheduleDaily)
        return out;
    for (int d = 2; d <= 6; ++d)
        out.push_back({Plural(d, "day"), d * kDay});
    out.push_back({"1 week", kWeek});
    if (kind == kScheduleWeekly)
        return out;
    for (int d = 8; d <= 13; ++d)
        out.push_back({Plural(d, "day"), d * kDay});
    out.push_back({"2 weeks", 2 * kWeek});
    if (kind == kScheduleOnce)
        for (int w = 3; w <= 4; ++w)
            out.push_back({Plural(w, "week"), w * kWeek});
    return out;
}

std::vector<CScheduleChoice> WithDuration(std::vector<CScheduleChoice> choices, int64_t seconds)
{
    if (seconds <= 0 || choices.empty() || PositionOfSeconds(choices, seconds) >= 0)
        return choices;
    std::string name;
    int64_t left = seconds;
    for (const auto& [unit, size] : {std::pair("day", kDay), std::pair("hour", kHour), std::pair("minute", int64_t{60}),
                                     std::pair("second", int64_t{1})}) {
        if (left >= size) {
            name += (name.empty() ? "" : " ") + Plural(left / size, unit);
            left %= size;
        }
    }
    const auto at = std::find_if(choices.begin(), choices.end(),
                                 [seconds](const CScheduleChoice& c) { return c.seconds > seconds; });
    choices.insert(at, {name, seconds});
    return choices;
}

std::vector<CScheduleChoice> WithRepeatSpan(std::vector<CScheduleChoice> choices, int64_t seconds)
{
    if (choices.empty() || PositionOfSeconds(choices, seconds) >= 0)
        return choices;
    if (seconds == kRepeatWithoutEnd) {
        choices.push_back({"No end", seconds});
        return choices;
    }
    if (seconds <= 0 || seconds % kWeek != 0)
        return WithDuration(std::move(choices), seconds);
    const auto at = std::find_if(choices.begin(), choices.end(),
                                 [seconds](const CScheduleChoice& c) { return c.seconds > seconds; });
    choices.insert(at, {Plural(seconds / kWeek, "week"), seconds});
    return choices;
}

std::vector<CScheduleChoice> RepeatForChoices(int coarsestKind)
{
    std::vector<CScheduleChoice> out;
    switch (coarsestKind) {
    case kScheduleDaily:
        for (int d = 2; d <= 6; ++d)
            out.push_back({Plural(d, "day"), d * kDay});
        for (int w = 1; w <= 4; ++w)
            out.push_back({Plural(w, "week"), w * kWeek});
        break;
    case kScheduleWeekly:
        for (int w = 2; w <= 4; ++w)
            out.push_back({Plural(w, "week"), w * kWeek});
        break;
    case kScheduleTwoWeeks:
        out.push_back({"4 weeks", 4 * kWeek});
        break;
    default:
        break;
    }
    return out;
}

CScheduleEnabling DecideScheduleEnabling(bool firstRowSet, const int (&kinds)[kScheduleRows])
{
    CScheduleEnabling e;
    e.repetition[1] = firstRowSet;
    e.fields[1] = e.repetition[1] && kinds[1] > kScheduleUnused;
    e.repetition[2] = e.fields[1];
    e.fields[2] = e.repetition[2] && kinds[2] > kScheduleUnused;
    for (int row = 0; row < kScheduleRows; ++row) {
        e.inUse[row] = e.fields[row] && kinds[row] > kScheduleUnused;
        // An interval of its own gets the longest "Repeat for:" list; a
        // session on continually repeats nothing.
        const int listKind = kinds[row] == kScheduleOther ? kScheduleDaily
            : kinds[row] == kScheduleContinually         ? kScheduleOnce
                                                         : kinds[row];
        if (e.inUse[row])
            e.coarsestKind = std::max(e.coarsestKind, listKind);
    }
    e.repeatFor = e.coarsestKind >= kScheduleDaily;
    return e;
}

std::vector<CSDPTime> ScheduleToTimes(const std::vector<CScheduleRow>& rows, int64_t repeatFor, const Clock& clock)
{
    std::vector<CSDPTime> times;
    for (const CScheduleRow& row : rows) {
        if (row.kind <= kScheduleUnused || row.kind > kScheduleContinually)
            continue;
        if (row.kind == kScheduleContinually) {
            times.push_back({"0", "0", {}, {}, {}});
            continue;
        }
        // The wall-clock time the user picked, also on the days the clocks
        // change (midnight plus the hours would be an hour off there).
        const int64_t start = clock.FromLocalTime(row.local);
        const auto ntp = [](int64_t unixSeconds) { return std::to_string(static_cast<uint64_t>(unixSeconds + kNtpUnixOffset)); };
        if (row.kind == kScheduleOnce)
            times.push_back({ntp(start), ntp(start + row.duration), {}, {}, {}});
        else
            times.push_back({ntp(start), repeatFor == kRepeatWithoutEnd ? "0" : ntp(start + repeatFor),
                             std::to_string(row.kind == kScheduleOther ? row.interval : RepeatIntervalOf(row.kind)),
                             std::to_string(row.duration), std::string(1, '0')});
    }
    return times;
}

CScheduleRowValues RowFromTime(const CSDPTime& time)
{
    CScheduleRowValues v;
    int64_t start = 0, stop = 0;
    if (ReadSeconds(time.start, start) && start != 0)
        v.start = start - kNtpUnixOffset;
    const bool bounded = ReadSeconds(time.stop, stop) && stop != 0;
    int64_t interval = 0;
    const bool readable = ReadSeconds(time.repeatInterval, interval);
    if (time.repeatInterval.empty() || (readable && interval == 0)) {
        const bool permanent = ReadSeconds(time.start, start) && start == 0 && ReadSeconds(time.stop, stop) && stop == 0;
        v.kind = permanent ? kScheduleContinually : kScheduleOnce;
        if (bounded && v.start)
            v.duration = stop - kNtpUnixOffset - v.start;
        return v;
    }
    if (!readable)
        return v;
    if (interval == kDay)
        v.kind = kScheduleDaily;
    else if (interval == kWeek)
        v.kind = kScheduleWeekly;
    else if (interval == 2 * kWeek)
        v.kind = kScheduleTwoWeeks;
    else if (interval > 0) {
        v.kind = kScheduleOther;
        v.interval = interval;
    }
    ReadSeconds(time.activeDuration, v.duration);
    if (bounded && v.start)
        v.repeatFor = stop - kNtpUnixOffset - v.start;
    else if (!bounded && ReadSeconds(time.stop, stop))
        v.repeatFor = kRepeatWithoutEnd;
    return v;
}

int PositionOfSeconds(const std::vector<CScheduleChoice>& choices, int64_t seconds)
{
    const auto found = std::find_if(choices.begin(), choices.end(),
                                    [seconds](const CScheduleChoice& c) { return c.seconds == seconds; });
    return found == choices.end() ? -1 : static_cast<int>(found - choices.begin());
}
