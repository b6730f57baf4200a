#pragma once
#include <climits>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class Clock;
struct CSDPTime;

// What the "Session Schedule" page offers and how its choices become time
// entries, without any widget: the page only shows these lists and hands
// the selections back.

// How often a row of the page takes place.
enum EScheduleKind : int {
    kScheduleUnused = 0, // "N/A"
    kScheduleOnce = 1,
    kScheduleDaily = 2,
    kScheduleWeekly = 3,
    kScheduleTwoWeeks = 4,
    // Only for a session whose entry the items above cannot show: an item
    // of its own, named after what the entry says.
    kScheduleOther = 5,       // an interval of its own ("Every 2 days")
    kScheduleContinually = 6, // no start and no stop ("t=0 0")
};

constexpr int kScheduleRows = 3;

// One item of a duration or "Repeat for:" list: its text and the span it names.
struct CScheduleChoice {
    std::string text;
    int64_t seconds = 0;
    bool operator==(const CScheduleChoice&) const = default;
};

// The repetition items of a row (0, 1, 2): the first row has no "N/A".
std::vector<std::string> RepetitionItems(int row);
// The kind of the item at `position` of a row's list; -1 for no item.
int KindAtPosition(int row, int position);
// The position of a kind in a row's list; -1 when the row has no such item.
int PositionOfKind(int row, int kind);
// Seconds between two occurrences; 0 for Once and unused rows (and for
// kScheduleOther, whose row holds its own).
int64_t RepeatIntervalOf(int kind);
// The item of a row's list for an entry no other item shows:
// "Continually", or "Every 2 days" for an interval of its own.
std::string OwnRepetitionItem(int kind, int64_t interval);

// A row's "For" list. Every item lasts as long as its text says.
std::vector<CScheduleChoice> DurationChoices(int kind);
// The list with a duration no item has (a session announced elsewhere),
// named exactly ("1 hour 20 minutes") and put in its place by length.
std::vector<CScheduleChoice> WithDuration(std::vector<CScheduleChoice> choices, int64_t seconds);
// A repeating entry without a stop: it repeats for ever.
constexpr int64_t kRepeatWithoutEnd = INT64_MAX;
// The "Repeat for:" list with the span a session has: a span no item has
// is named in weeks when it is whole weeks ("10 weeks"), a series without
// a stop is "No end".
std::vector<CScheduleChoice> WithRepeatSpan(std::vector<CScheduleChoice> choices, int64_t seconds);
// The "Repeat for:" list for the coarsest kind among the rows in use;
// empty when none of them repeats.
std::vector<CScheduleChoice> RepeatForChoices(int coarsestKind);

// Which controls are enabled, from what the rows hold.
struct CScheduleEnabling {
    bool repetition[kScheduleRows] = {true, false, false};
    bool fields[kScheduleRows] = {true, false, false}; // date, time and duration
    bool inUse[kScheduleRows] = {false, false, false}; // the row makes a time entry
    int coarsestKind = kScheduleUnused;                // among the rows in use
    bool repeatFor = false;
};
// `firstRowSet`: the user has chosen row 1's repetition (or the record had
// times). A row the user cannot reach makes no time entry, whatever its
// list still shows.
CScheduleEnabling DecideScheduleEnabling(bool firstRowSet, const int (&kinds)[kScheduleRows]);

// One row as the page holds it.
struct CScheduleRow {
    int kind = kScheduleUnused;
    std::tm local{};         // date and time of day of the first occurrence (local)
    int64_t duration = 0;    // seconds
    int64_t interval = 0;    // kScheduleOther: seconds between occurrences
};
// The time entries of the rows in use, in row order. `repeatFor` is the
// span a repeating row goes on for, in seconds (kRepeatWithoutEnd: no stop).
std::vector<CSDPTime> ScheduleToTimes(const std::vector<CScheduleRow>& rows, int64_t repeatFor, const Clock& clock);

// A time entry shown on a row: the kind (-1 when no item of the list fits
// its interval), the start in Unix seconds, the duration and, for a
// repeating entry, the span from start to stop.
struct CScheduleRowValues {
    int kind = -1;
    int64_t start = 0;
    int64_t duration = 0;
    int64_t repeatFor = 0; // kRepeatWithoutEnd for a series without a stop
    int64_t interval = 0;  // for kScheduleOther
};
CScheduleRowValues RowFromTime(const CSDPTime& time);
// The position of the item naming `seconds` in a list; -1 when none does.
int PositionOfSeconds(const std::vector<CScheduleChoice>& choices, int64_t seconds);
