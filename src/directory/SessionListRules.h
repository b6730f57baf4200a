#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Clock;
class CSDPObject;

// What the session list shows and how it orders and filters its rows,
// without any widget: the desktop views and the command line share it.
namespace listrules {

enum EColumn : int { kColumnSession, kColumnInfo, kColumnStart, kColumnType, kColumnMedia, kColumnCount };
// Header text and initial width in pixels of a column.
const char* ColumnTitle(int column);
int ColumnWidth(int column);

// The time filters (the document's filter mode) and the orderings.
enum EFilterMode : int { kFilterCurrent = 1, kFilterToday, kFilterThisWeek, kFilterThisMonth, kFilterAll };
enum ESortMode : int {
    kSortNameUp = 1, kSortInfoUp, kSortStartUp, kSortTypeUp,
    kSortNameDown, kSortInfoDown, kSortStartDown, kSortTypeDown,
    kSortMediaUp, kSortMediaDown,
};

// "Test" ... "Admin Scope"; a type outside the table reads as "Unknown".
const char* TypeWord(int sessionType);
// The media names, sorted bytewise, each once and followed by a blank.
std::string MediaText(const CSDPObject& record);
// The Start cell of a next start (Unix seconds; 0 reads "Continually").
std::string StartText(int64_t nextStart, const Clock& clock);
// The row icon: the type's image, the alarm-clock variant (+8) when the
// session is marked for Auto Start.
int IconIndex(int sessionType, bool autoStart);

// Whether a record passes the filter: every record with All (or a mode
// outside the table), else IsInPeriod with the mode as the period. Takes the
// record's lock; false once its deletion has begun.
bool PassesFilter(CSDPObject& record, int filterMode, int64_t now, const Clock& clock);

// The sort mode after a header click or an Arrange Sessions command for a
// column: its ascending mode, or the other direction when it is active.
int ToggleSort(int currentMode, int column);
// The column a sort mode orders by, and whether it runs ascending.
int SortColumn(int sortMode);
bool SortAscending(int sortMode);

// One row as the list shows it, read once under the record's lock, so that
// sorting does not lock records or compute schedules again.
struct CRow {
    std::string name;
    std::string info;
    std::string start;
    std::string type;
    std::string media;
    int64_t nextStart = 0;
    int sessionType = 0;
    int icon = 0;
    bool activeNow = false; // drawn normally; inactive rows are greyed

    bool operator==(const CRow&) const = default;
};
// The row of a record; none when its lock is refused (deletion has begun).
std::optional<CRow> MakeRow(CSDPObject& record, int64_t now, const Clock& clock);

// A row's key for one sort mode's column, made once per row, so that sorting
// many rows compares short keys rather than lowering texts again and again.
// CompareKeys orders two keys as the list orders their rows for the
// ascending mode of that column: by the column's text, ASCII case ignored,
// byte by byte, or by the next start as an unsigned 32-bit number
// ("Continually", 0, first).
//
// A key's head holds the first sixteen bytes of the text (or the start) as
// two numbers that order as they do, and the text's length: most
// comparisons end on the heads without reading the texts.
struct CSortHead {
    uint64_t high = 0;
    uint64_t low = 0;
    size_t length = 0;
};
struct CSortKey {
    CSortHead head;
    std::string text; // the column's text lowered, kept only when longer than sixteen bytes
};
CSortKey SortKeyOf(const CRow& row, int sortMode);
int CompareKeys(const CSortKey& a, const CSortKey& b);
// The same from a key's head and text kept apart.
int CompareKeys(const CSortHead& a, std::string_view aText, const CSortHead& b, std::string_view bText);
// CompareKeys on the heads alone; kNeedTexts when only the texts can tell
// (both longer than sixteen bytes, and those agree).
constexpr int kNeedTexts = 2;
int CompareHeads(const CSortHead& a, const CSortHead& b);

// The order the list shows two rows in, given how their keys compare: a
// descending mode reverses the comparison, and rows whose keys are equal
// keep the list's order (their positions), so they never swap.
template <class Position>
bool ShownBefore(int compared, Position a, Position b, int sortMode)
{
    if (compared != 0)
        return SortAscending(sortMode) ? compared < 0 : compared > 0;
    return a < b;
}

// Orders list positions as ShownBefore orders their rows (rowOf gives a
// position's row), with each row's key made once: a sort of many rows then
// compares bytes, not texts folded anew at every comparison.
template <class Position, class RowOf>
void SortPositions(std::vector<Position>& positions, int sortMode, RowOf rowOf)
{
    std::vector<std::pair<CSortKey, Position>> keyed;
    keyed.reserve(positions.size());
    for (const Position position : positions)
        keyed.emplace_back(SortKeyOf(rowOf(position), sortMode), position);
    std::sort(keyed.begin(), keyed.end(), [sortMode](const auto& a, const auto& b) {
        return ShownBefore(CompareKeys(a.first, b.first), a.second, b.second, sortMode);
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        positions[i] = keyed[i].second;
}

} // namespace listrules
