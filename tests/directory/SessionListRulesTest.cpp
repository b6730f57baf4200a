#include "directory/SessionListRules.h"

#include "base/Text.h"
#include "sdp/Schedule.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace listrules;

namespace {

int64_t Local(int year, int month, int day, int hour, int minute, int second)
{
    return CManualClock().FromLocalTime(std::tm{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr});
}

TEST(SessionListRules, TypeWordsIconsStartAndMediaCells)
{
    // A type outside the table (a damaged cache) still has a word and an
    // image; the words themselves order the Type column (below).
    EXPECT_STREQ(TypeWord(8), "Unknown");
    EXPECT_EQ(std::tuple(IconIndex(-1, true), IconIndex(kTypeMeeting, false), IconIndex(kTypeDirectory, true)),
              std::tuple(11, 2, 14));

    CManualClock clock;
    EXPECT_EQ(StartText(0, clock), "Continually");
    EXPECT_EQ(StartText(Local(2026, 3, 2, 14, 5, 9), clock), "02:05:09PM Mon Mar 02, 2026");
    EXPECT_EQ(StartText(Local(2026, 12, 31, 0, 0, 0), clock), "12:00:00AM Thu Dec 31, 2026");

    // Media names sorted bytewise (case counts), each once, each with a blank.
    CTestEnv t;
    auto r = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=x\n");
    EXPECT_EQ(MediaText(*r), "");
    for (const char* name : {"video", "audio", "Video", "video"})
        r->media.emplace_back().media = name;
    EXPECT_EQ(MediaText(*r), "Video audio video ");
}

TEST(SessionListRules, HeaderToggle)
{
    // {current, column, next}
    const int cases[][3] = {
        {kSortNameDown, kColumnSession, kSortNameUp}, {kSortNameDown, kColumnType, kSortTypeUp},
        {kSortTypeDown, kColumnType, kSortTypeUp},    {kSortInfoUp, kColumnInfo, kSortInfoDown},
        {kSortStartUp, kColumnStart, kSortStartDown}, {kSortMediaDown, kColumnMedia, kSortMediaUp},
        {kSortTypeUp, kColumnSession, kSortNameUp},   {kSortNameUp, kColumnSession, kSortNameDown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToggleSort(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(std::make_pair(SortColumn(kSortMediaDown), SortAscending(kSortMediaDown)), std::make_pair(4, false));
}

CRow SortRow(std::string name, std::string info, int64_t next, int type, std::string media)
{
    return CRow{std::move(name), std::move(info), "", TypeWord(type), std::move(media), next, type};
}

// Each of the ten orderings over the same rows, by the names they come out in.
TEST(SessionListRules, TenOrderings)
{
    const std::vector<CRow> rows = {
        SortRow("beta", "Zulu", 3000000000LL, kTypeTest, "audio whiteboard "),
        SortRow("Alpha", "yankee", 0, kTypeScopeDirectory, "video "),
        SortRow("gamma", "X-ray", 2000, kTypeBroadcast, "audio video "),
    };
    const std::vector<std::pair<int, std::string>> cases = {
        {kSortNameUp, "Alpha beta gamma"},    {kSortNameDown, "gamma beta Alpha"},
        {kSortInfoUp, "gamma Alpha beta"},    {kSortInfoDown, "beta Alpha gamma"},
        // Unsigned 32-bit: a start after 2038 still sorts as later; 0 first.
        {kSortStartUp, "Alpha gamma beta"},   {kSortStartDown, "beta gamma Alpha"},
        // By the words: "Admin Scope", "Broadcast", "Test".
        {kSortTypeUp, "Alpha gamma beta"},    {kSortTypeDown, "beta gamma Alpha"},
        {kSortMediaUp, "gamma beta Alpha"},   {kSortMediaDown, "Alpha beta gamma"},
    };
    for (const auto& [mode, order] : cases) {
        std::vector<size_t> sorted = {0, 1, 2};
        SortPositions(sorted, mode, [&](size_t i) -> const CRow& { return rows[i]; });
        std::string names;
        for (size_t i : sorted)
            names += (names.empty() ? "" : " ") + rows[i].name;
        EXPECT_EQ(names, order) << "mode " << mode;
    }
}

// How the list orders two rows by a column, ascending, read straight from
// their texts: ASCII case ignored, byte by byte; starts as unsigned 32-bit.
int DirectOrder(const CRow& a, const CRow& b, int column)
{
    if (column == kColumnStart) {
        const auto s = static_cast<uint32_t>(a.nextStart), t = static_cast<uint32_t>(b.nextStart);
        return s == t ? 0 : (s < t ? -1 : 1);
    }
    const auto text = [column](const CRow& r) -> const std::string& {
        return column == kColumnInfo ? r.info : column == kColumnType ? r.type : column == kColumnMedia ? r.media : r.name;
    };
    const int c = text::CompareNoCase(text(a), text(b));
    return (c > 0) - (c < 0);
}

// Keys made once per row order like the rows' texts themselves, for every
// mode: case, bytes above 0x7F, prefixes (within and past the first sixteen
// bytes), equal texts and starts past 2038.
TEST(SessionListRules, SortKeysCompareLikeTheRows)
{
    const std::vector<CRow> rows = {
        SortRow("beta", "Zulu", 3000000000LL, kTypeTest, "audio whiteboard "),
        SortRow("Beta", "zulu", 3000000000LL, kTypeTest, "audio "),
        SortRow("Alpha", "yankee", 0, kTypeScopeDirectory, "video "),
        SortRow("alphabet", "", 2000, kTypeBroadcast, "audio video "),
        SortRow("\xe4lpha", "[x]", 4294967295LL, kTypeMeeting, ""),
        SortRow("_under", "\xc3\xa9t\xc3\xa9", 1, kTypeUnknown, "text "),
        SortRow("", "ZULU", 2000, 99, "audio "),
        SortRow("Seminar on session 2", "seminar", 5, kTypeTest, "audio video whiteboard "),
        SortRow("seminar on Session 10", "Seminar on", 5, kTypeTest, "audio video "),
        SortRow("seminar", "seminar\x7f", 5, kTypeTest, "audio video whiteboard text "),
        SortRow("SEMINAR ON SESSI", "Seminar on Sessi", 5, kTypeTest, "audio video whiteboard t"),
    };
    for (int mode = kSortNameUp; mode <= kSortMediaDown; ++mode) {
        for (size_t i = 0; i < rows.size(); ++i)
            for (size_t j = 0; j < rows.size(); ++j) {
                const CSortKey a = SortKeyOf(rows[i], mode), b = SortKeyOf(rows[j], mode);
                const int order = DirectOrder(rows[i], rows[j], SortColumn(mode));
                // The heads alone decide unless both texts are longer than sixteen bytes.
                const int heads = CompareHeads(a.head, b.head);
                EXPECT_EQ(std::tuple(CompareKeys(a, b), heads == kNeedTexts ? order : heads),
                          std::tuple(order, order)) << "mode " << mode << " rows " << i << " " << j;
                EXPECT_TRUE(heads != kNeedTexts || (a.head.length > 16 && b.head.length > 16));
            }
    }
}

// The time filters themselves are exercised through the list model; here
// the row of a repeating session, the end of a past one and deleted records.
TEST(SessionListRules, RowsAndFilters)
{
    CTestEnv t;
    const int64_t now = Local(2026, 3, 10, 12, 0, 0);
    t.clock.Set(now);
    auto ntp = [](int64_t unix) { return std::to_string(unix + kNtpUnixOffset); };
    // Weekly, next later today; ended yesterday; no times at all.
    auto later = t.Parse("v=0\no=- 1 1 IN IP4 h\ns=Later\ni=Info\nt=" + ntp(now + 3600 - 604800)
                         + " 0\nr=604800 3600 0\nm=video 1 RTP/AVP 31\nm=audio 2 RTP/AVP 0\n");
    auto past = t.Parse("v=0\no=- 2 1 IN IP4 h\ns=Past\nt=" + ntp(now - 90000) + " " + ntp(now - 86400) + "\n");
    auto always = t.Parse("v=0\no=- 3 1 IN IP4 h\ns=Always\n");
    later->startTools = 1;
    for (int mode : {int(kFilterCurrent), int(kFilterToday), int(kFilterThisMonth), int(kFilterAll), 0})
        EXPECT_EQ(std::tuple(PassesFilter(*later, mode, now, t.clock), PassesFilter(*past, mode, now, t.clock)),
                  std::tuple(mode != kFilterCurrent, mode == kFilterAll || mode == 0)) << "filter " << mode;

    const auto row = MakeRow(*later, now, t.clock);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name + "|" + row->info + "|" + row->start + "|" + row->type + "|" + row->media,
              "Later|Info|01:00:00PM Tue Mar 10, 2026|Unknown|audio video ");
    EXPECT_EQ(std::tuple(row->icon, row->activeNow), std::tuple(kTypeUnknown + 8, false));
    EXPECT_EQ(std::tuple(MakeRow(*always, now, t.clock)->start, MakeRow(*always, now, t.clock)->activeNow),
              std::tuple(std::string("Continually"), true));

    // A record being deleted has no row and passes no filter.
    past->DeleteLater();
    EXPECT_FALSE(MakeRow(*past, now, t.clock));
    EXPECT_FALSE(PassesFilter(*past, kFilterAll, now, t.clock));
}

} // namespace
