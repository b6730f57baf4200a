#include "directory/SessionListRules.h"

#include "base/Clock.h"
#include "base/Text.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

namespace listrules {

namespace {
struct CColumn {
    const char* title;
    int width;
};
constexpr CColumn kColumns[kColumnCount] = {
    {"Session", 200}, {"Info", 500}, {"Start", 200}, {"Type", 80}, {"Media", 100},
};
constexpr const char* kTypeWords[] = {"Test", "Broadcast", "Meeting", "Unknown",
                                      "H332", "Moderated", "Folder", "Admin Scope"};
constexpr int kTypeCount = static_cast<int>(std::size(kTypeWords));
// Ascending and descending mode of each column, in column order.
constexpr int kModes[kColumnCount][2] = {
    {kSortNameUp, kSortNameDown}, {kSortInfoUp, kSortInfoDown}, {kSortStartUp, kSortStartDown},
    {kSortTypeUp, kSortTypeDown}, {kSortMediaUp, kSortMediaDown},
};

int KnownType(int sessionType)
{
    return sessionType >= 0 && sessionType < kTypeCount ? sessionType : kTypeUnknown;
}

CSortKey TextKey(const std::string& text)
{
    CSortKey key{{0, 0, text.size()}, {}};
    // Big-endian, shorter texts padded with zero bytes: a text that ends
    // first orders first, as in the byte comparison.
    const auto byte = [&](size_t i) -> uint64_t {
        if (i >= text.size())
            return 0u;
        const auto c = static_cast<unsigned char>(text[i]);
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    };
    for (size_t i = 0; i < 8; ++i) {
        key.head.high = key.head.high << 8 | byte(i);
        key.head.low = key.head.low << 8 | byte(i + 8);
    }
    // The heads alone order a text of sixteen bytes or fewer.
    if (text.size() > 16)
        key.text = text::LowerAscii(text);
    return key;
}
} // namespace

const char* ColumnTitle(int column)
{
    return column >= 0 && column < kColumnCount ? kColumns[column].title : "";
}

int ColumnWidth(int column)
{
    return column >= 0 && column < kColumnCount ? kColumns[column].width : 0;
}

const char* TypeWord(int sessionType)
{
    return kTypeWords[KnownType(sessionType)];
}

std::string MediaText(const CSDPObject& record)
{
    // Made for every row that arrives: a session's few names are sorted on
    // the stack, and the text is made in one allocation at most.
    constexpr size_t kOnStack = 8;
    std::string_view onStack[kOnStack];
    std::vector<std::string_view> onHeap;
    std::span<std::string_view> names;
    if (record.media.size() <= kOnStack) {
        size_t count = 0;
        for (const CSDPMedia& m : record.media)
            onStack[count++] = m.media;
        names = {onStack, count};
    } else {
        for (const CSDPMedia& m : record.media)
            onHeap.push_back(m.media);
        names = onHeap;
    }
    std::sort(names.begin(), names.end());
    names = names.first(static_cast<size_t>(std::unique(names.begin(), names.end()) - names.begin()));
    size_t length = 0;
    for (std::string_view name : names)
        length += name.size() + 1;
    std::string text;
    text.reserve(length);
    for (std::string_view name : names) {
        text += name;
        text += ' ';
    }
    return text;
}

std::string StartText(int64_t nextStart, const Clock& clock)
{
    return nextStart == 0 ? std::string("Continually") : FormatLocalTime(clock, nextStart, "%I:%M:%S%p %a %b %d, %Y");
}

int IconIndex(int sessionType, bool autoStart)
{
    return KnownType(sessionType) + (autoStart ? kTypeCount : 0);
}

bool PassesFilter(CSDPObject& record, int filterMode, int64_t now, const Clock& clock)
{
    if (filterMode < kFilterCurrent || filterMode > kFilterThisMonth)
        return !record.IsDeleting();
    return IsInPeriod(record, filterMode, now, clock);
}

int ToggleSort(int currentMode, int column)
{
    if (column < 0 || column >= kColumnCount)
        return currentMode;
    const auto [up, down] = kModes[column];
    return currentMode == up ? down : up;
}

int SortColumn(int sortMode)
{
    for (int column = 0; column < kColumnCount; ++column)
        if (kModes[column][0] == sortMode || kModes[column][1] == sortMode)
            return column;
    return kColumnSession;
}

bool SortAscending(int sortMode)
{
    return std::none_of(std::begin(kModes), std::end(kModes), [&](const int(&modes)[2]) { return modes[1] == sortMode; });
}

std::optional<CRow> MakeRow(CSDPObject& record, int64_t now, const Clock& clock)
{
    CRecordLock lock(record);
    if (!lock.ok())
        return std::nullopt;
    CRow row;
    row.name = record.name;
    row.info = record.information;
    row.nextStart = NextStart(record.times, now);
    // Too long for one datagram, an own session is kept but never sent.
    row.start = record.own && !CSessionStore::SendSizeOf(record).Fits() ? CSessionStore::kNotAnnouncedText
                                                                         : StartText(row.nextStart, clock);
    row.sessionType = record.sessionType;
    row.type = TypeWord(record.sessionType);
    row.media = MediaText(record);
    row.icon = IconIndex(record.sessionType, record.startTools != 0);
    row.activeNow = IsInPeriod(record.times, kPeriodNow, now, clock);
    return row;
}

CSortKey SortKeyOf(const CRow& row, int sortMode)
{
    switch (SortColumn(sortMode)) {
    case kColumnInfo:
        return TextKey(row.info);
    case kColumnStart:
        return {{static_cast<uint32_t>(row.nextStart), 0, 0}, {}};
    case kColumnType:
        return TextKey(row.type);
    case kColumnMedia:
        return TextKey(row.media);
    default:
        return TextKey(row.name);
    }
}

int CompareHeads(const CSortHead& a, const CSortHead& b)
{
    if (a.high != b.high)
        return a.high < b.high ? -1 : 1;
    if (a.low != b.low)
        return a.low < b.low ? -1 : 1;
    // The same first bytes, zeros after the end of a shorter text: a text
    // of sixteen bytes or fewer is the start of the other one.
    if (a.length <= 16 || b.length <= 16)
        return a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
    return kNeedTexts;
}

int CompareKeys(const CSortKey& a, const CSortKey& b)
{
    return CompareKeys(a.head, a.text, b.head, b.text);
}

int CompareKeys(const CSortHead& a, std::string_view aText, const CSortHead& b, std::string_view bText)
{
    if (const int heads = CompareHeads(a, b); heads != kNeedTexts)
        return heads;
    const int c = aText.compare(bText); // char_traits<char> compares as unsigned bytes
    return c == 0 ? 0 : (c < 0 ? -1 : 1);
}

} // namespace listrules
