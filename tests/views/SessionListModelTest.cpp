#include "ModelFixture.h"
#include "views/SessionSearch.h"

#include <QSignalSpy>

namespace {

using ListTest = ModelTest;
constexpr int64_t kNow = 1700000000; // Tue Nov 14 2023, 23:13:20 in Brussels
constexpr int64_t kDay = 86400;

TEST_F(ListTest, RowsFollowAddsRefreshesAndRemovals)
{
    auto b = Add("b");
    auto a = Add(Timed("a", 0, 0, {"video", "audio", "video"}));
    auto dir = Folder("d", "239.1.1.1");
    auto x = Add("x", dir); // not in the shown directory
    EXPECT_EQ(Shown(), (Texts{"Dir d", "Session a", "Session b"}));
    EXPECT_EQ(std::tuple(Shown(listrules::kColumnMedia), Shown(listrules::kColumnStart), Shown(listrules::kColumnType)),
              std::tuple(Texts{"directory ", "audio video ", "audio "}, Texts(3, "Continually"), Texts{"Folder", "Unknown", "Unknown"}));
    EXPECT_EQ(list.index(list.RowOf(*b), listrules::kColumnMedia).data(Qt::ToolTipRole).toString(),
              "audio: PCMU 8 kHz, 1 ch");
    EXPECT_TRUE(list.RowOf(*a) == 1 && list.RecordAt(list.RowOf(*dir)) == dir && list.RowOf(*t.Parse(SessionText("b"))) == -1);

    // A refresh rewrites its row alone, the Media cell included.
    QSignalSpy changes(&list, &QAbstractItemModel::dataChanged);
    auto again = Timed("b", 0, 0, {"whiteboard", "audio"});
    again->name = "New b";
    Add(again);
    EXPECT_EQ(changes.size(), 0); // collected until the list applies them
    list.ApplyPending();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(std::pair(Shown(), Shown(listrules::kColumnMedia)[1]), std::pair(Texts{"Dir d", "New b", "Session a"}, std::string("audio whiteboard ")));
    // The Auto Start mark shows in the icon of a row that exists already.
    b->startTools = 1;
    list.RefreshRecord(*b);
    EXPECT_EQ(list.index(0, 0).data(CSessionListModel::kIconRole).toInt(), listrules::IconIndex(kTypeUnknown, true));

    doc.OnSapMessage(ESapAction::Delete, Timed("a", 0, 0), nullptr);
    doc.RemoveSession(x); // the notices of a directory not shown leave the rows be
    EXPECT_TRUE(Shown() == (Texts{"Dir d", "New b"}) && list.RowOf(*dir) == 1);
}

// Time moves sessions into their period and out of the store; the walk's
// changes reach the views at its end, one signal per changed row.
TEST_F(ListTest, WalkGreysExpiresAndSignalsPerRow)
{
    t.clock.Set(kNow);
    Add(Timed("early", kNow + 100, kNow + 200));
    Add(Timed("late", kNow + 150, kNow + 400));
    Add("always");
    // Daily for 140 s: on now, off from kNow + 131 until tomorrow.
    Add(Timed("daily", kNow - 10, kNow + 10 * kDay, {"audio"}, "r=1d 140 0\n"));
    const auto grey = [&] {
        return std::vector{Inactive("Session early"), Inactive("Session late"), Inactive("Session always"), Inactive("Session daily")};
    };
    EXPECT_EQ(grey(), (std::vector{true, true, false, false}));

    doc.CheckSessions();
    QSignalSpy changes(&list, &QAbstractItemModel::dataChanged);
    t.clock.Set(kNow + 120);
    doc.CheckSessions();
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(grey(), (std::vector{false, true, false, false}));

    changes.clear();
    t.clock.Set(kNow + 160);
    doc.CheckSessions();
    EXPECT_EQ(changes.size(), 2);
    EXPECT_EQ(grey(), (std::vector{false, false, false, true}));
    EXPECT_EQ(Shown(listrules::kColumnStart)[3], "11:15:50PM Tue Nov 14, 2023");

    changes.clear();
    t.clock.Set(kNow + 300);
    doc.CheckSessions();
    EXPECT_TRUE(Shown() == (Texts{"Session always", "Session daily", "Session late"}) && changes.empty());

    // A walk that finds every row steady reads none of them: a row that
    // arrives later and starts before any other row changes still counts.
    Add(Timed("soon", kNow + 310, kNow + 320));
    doc.CheckSessions();
    EXPECT_TRUE(Inactive("Session soon"));
    t.clock.Set(kNow + 315);
    doc.CheckSessions();
    EXPECT_FALSE(Inactive("Session soon"));
    t.clock.Set(kNow + 330);
    doc.CheckSessions();
    EXPECT_EQ(Shown(), (Texts{"Session always", "Session daily", "Session late"}));
}

TEST_F(ListTest, TimeFilterHidesAndRestoresRows)
{
    t.clock.Set(kNow);
    Add("always");
    Add(Timed("now", kNow - 100, kNow + 100));
    // Only repeating sessions look beyond the present moment.
    Add(Timed("soon", kNow + 600, kNow + 100 * kDay, {"audio"}, "r=1d 1h 0\n"));
    Add(Timed("later", kNow + 10 * kDay, kNow + 100 * kDay, {"audio"}, "r=7d 1h 0\n"));
    Add(Timed("far", kNow + 40 * kDay, kNow + 40 * kDay + 60));
    const struct {
        int mode;
        Texts shown;
    } cases[] = {
        {listrules::kFilterCurrent, {"Session always", "Session now"}},
        {listrules::kFilterToday, {"Session always", "Session now", "Session soon"}},
        {listrules::kFilterThisWeek, {"Session always", "Session now", "Session soon"}},
        {listrules::kFilterThisMonth, {"Session always", "Session later", "Session now", "Session soon"}},
        {listrules::kFilterAll, {"Session always", "Session far", "Session later", "Session now", "Session soon"}},
        {listrules::kFilterToday, {"Session always", "Session now", "Session soon"}},
    };
    for (const auto& c : cases) {
        list.SetFilterMode(c.mode);
        EXPECT_TRUE(doc.filterMode == c.mode && Shown() == c.shown) << c.mode;
    }
    // A filter set in the document by another view is applied on its hint.
    doc.filterMode = listrules::kFilterCurrent;
    doc.Notify(CViewHint::ListsChanged());
    EXPECT_EQ(Shown(), (Texts{"Session always", "Session now"}));
    // New rows meet the filter too.
    Add(Timed("future", kNow + 900, kNow + 1000));
    EXPECT_EQ(Shown(), (Texts{"Session always", "Session now"}));

    // The search text narrows the time filter's rows.
    list.SetFilterMode(listrules::kFilterAll);
    auto info = Timed("info", 0, 0);
    info->information = "Weekly LECTURE, École ΣΟΦΊΑ";
    Add(info);
    const struct {
        const char* search;
        Texts shown;
    } searches[] = {
        {"lecture", {"Session info"}},     // information, any case
        {"éCOLE σοφία", {"Session info"}}, // beyond ASCII too
        {"infoweekly", {}},                // not across two texts
        {"info\nweekly", {}},
        {"SESSION", {"Session always", "Session far", "Session future", "Session info", "Session later",
                     "Session now", "Session soon"}},
        {"SESSION F", {"Session far", "Session future"}}, // typing on keeps a part
        {"session fu", {"Session future"}},
        {"SESSION F", {"Session far", "Session future"}}, // and deleting brings rows back
        {"224.2.17", {"Session always", "Session far", "Session future", "Session info", "Session later",
                      "Session now", "Session soon"}}, // a media address
        {"nothing", {}},
        {"", {"Session always", "Session far", "Session future", "Session info", "Session later", "Session now",
              "Session soon"}},
    };
    for (const auto& c : searches) {
        sorted.SetSearchText(c.search);
        EXPECT_EQ(Shown(), c.shown) << c.search;
    }
    // An index kept from before the rows narrowed, or one of another model, maps to nothing.
    const QModelIndex stale = sorted.index(1, 0);
    sorted.SetSearchText("far");
    EXPECT_FALSE(sorted.mapToSource(stale).isValid() || sorted.mapToSource(list.index(0, 0)).isValid());
    list.SetFilterMode(listrules::kFilterCurrent);
    EXPECT_EQ(Shown(), Texts{});
}

TEST_F(ListTest, HeaderClicksToggleTheOrdering)
{
    Add(Timed("b", 0, 0, {"video"}));
    Add(Timed("a", 0, 0, {"whiteboard"}));
    Add(Timed("c", 0, 0, {"audio"}));
    const struct {
        int column;
        int mode;
        const char* first;
    } clicks[] = {
        {listrules::kColumnSession, listrules::kSortNameDown, "Session c"},
        {listrules::kColumnSession, listrules::kSortNameUp, "Session a"},
        {listrules::kColumnMedia, listrules::kSortMediaUp, "Session c"},
        {listrules::kColumnMedia, listrules::kSortMediaDown, "Session a"},
    };
    EXPECT_EQ(sorted.SortMode(), listrules::kSortNameUp);
    for (const auto& c : clicks) {
        sorted.ToggleSort(c.column);
        EXPECT_EQ(std::tuple(sorted.SortMode(), sorted.sortColumn(), sorted.sortOrder(), Shown().front()),
                  std::tuple(c.mode, c.column, listrules::SortAscending(c.mode) ? Qt::AscendingOrder : Qt::DescendingOrder,
                             std::string(c.first)));
    }
    // A view's own sort request keeps the mode in step.
    sorted.sort(listrules::kColumnSession, Qt::DescendingOrder);
    EXPECT_EQ(sorted.SortMode(), listrules::kSortNameDown);
    // The order holds for rows arriving later.
    Add("d");
    EXPECT_EQ(Shown(), (Texts{"Session d", "Session c", "Session b", "Session a"}));
}

// Many rows are sorted on keys made once per row: in every mode the order
// must be the rows' own, ties (equal names in other case) in list order.
TEST_F(ListTest, ManyRowsSortAsFewDo)
{
    static const char* const kMedia[] = {"audio", "video", "whiteboard", "text"};
    for (int i = 0; i < 150; ++i) {
        auto record = Timed("n" + std::to_string(i), (i % 5) ? kNow + i % 4 * kDay : 0, (i % 5) ? kNow + 5 * kDay : 0,
                            {kMedia[i % 4], kMedia[i % 3]});
        record->name = (i % 2 ? "X" : "x") + std::to_string(i % 7);
        Add(record);
    }
    list.ApplyPending();
    ASSERT_EQ(sorted.rowCount(), 150);
    const auto inOrder = [&](int mode) {
        for (int row = 1; row < sorted.rowCount(); ++row) {
            const int a = sorted.mapToSource(sorted.index(row - 1, 0)).row();
            const int b = sorted.mapToSource(sorted.index(row, 0)).row();
            const int keys = listrules::CompareKeys(listrules::SortKeyOf(list.RowData(a), mode),
                                                    listrules::SortKeyOf(list.RowData(b), mode));
            if (!listrules::ShownBefore(keys, a, b, mode))
                return false;
        }
        return true;
    };
    for (int mode = 1; mode <= 10; ++mode) {
        sorted.SetSortMode(mode);
        EXPECT_TRUE(inOrder(mode)) << mode;
        // A search and its clearing bring back the same order; so does a
        // changed row among them.
        sorted.SetSearchText("x1");
        EXPECT_EQ(sorted.rowCount(), 22);
        EXPECT_TRUE(inOrder(mode)) << mode;
        if (mode == 5) {
            auto moved = list.RecordAt(3);
            moved->name = "a0";
            list.RefreshRecord(*moved);
        }
        sorted.SetSearchText("");
        EXPECT_EQ(sorted.rowCount(), 150);
        EXPECT_TRUE(inOrder(mode)) << mode;
    }
}

// The search's key of a row, plain ASCII folded byte by byte, is the one
// the shown texts give.
TEST_F(ListTest, SearchKeysAreTheShownTextsFolded)
{
    const char* const names[][2] = {{"Plain NAME 42", "Mixed Case Info"}, {"Tab\tand DEL\x7f", "Bell\a"},
                                    {"École ΣΟΦΊΑ", "finalς"}, {"H2 \u202egnp.exe\u202c", "\xff\xfe latin-1"}, {"", "Only INFO"}};
    for (size_t i = 0; i < std::size(names); ++i) {
        auto record = Timed("k" + std::to_string(i), 0, 0, {"audio", "video"});
        record->name = names[i][0];
        record->information = names[i][1];
        Add(record);
    }
    list.ApplyPending();
    ASSERT_EQ(list.rowCount(), static_cast<int>(std::size(names)));
    for (int row = 0; row < list.rowCount(); ++row) {
        const auto record = list.RecordAt(row);
        CRecordLock lock(*record);
        EXPECT_EQ(list.SearchKey(row), SearchKeyOf(SearchTextsOf(list.RowData(row), *record))) << row;
    }
    EXPECT_EQ(list.SearchKey(0).substr(0, 29), "plain name 42\nmixed case info");
}

TEST_F(ListTest, HintsChooseTheDirectory)
{
    Add("top");
    auto outer = Folder("o", "239.1.1.1");
    Add("o1", outer);
    auto inner = Folder("i", "239.1.1.2", outer);
    Add("i1", inner);
    Add("i2", inner);

    doc.Notify(CViewHint::Show(inner));
    EXPECT_TRUE(list.Directory() == inner && views.IsListShowing(*inner));
    EXPECT_EQ(Shown(), (Texts{"Session i1", "Session i2"}));
    Add("i3", inner);
    Add("o2", outer);
    EXPECT_EQ(Shown(), (Texts{"Session i1", "Session i2", "Session i3"}));

    doc.Notify(CViewHint::ListsChanged());
    EXPECT_EQ(list.Directory(), inner);
    doc.Notify(CViewHint::TopLevel());
    EXPECT_EQ(Shown(), (Texts{"Dir o", "Session top"}));
    list.ShowDirectory(outer);
    EXPECT_EQ(Shown(), (Texts{"Dir i", "Session o1", "Session o2"}));

    // The list leaves a directory that goes for the parent of what went.
    list.ShowDirectory(inner);
    doc.OnSapMessage(ESapAction::Delete, t.Parse("v=0\no=- o 1 IN IP4 10.0.0.1\ns=x\n"), nullptr);
    EXPECT_TRUE(list.Directory() == nullptr && Shown() == Texts{"Session top"});
}

TEST_F(ListTest, ResetsRereadTheStore)
{
    auto dir = Folder("d", "239.1.1.1");
    Add("d1", dir);
    Add("top");
    list.ShowDirectory(dir);
    doc.ClearCache();
    EXPECT_TRUE(list.Directory() == nullptr && Shown() == (Texts{"Dir d", "Session top"}) && dir->links->children->Empty());

    doc.DeleteContents();
    EXPECT_EQ(Shown(), Texts{});
    Add("new");
    EXPECT_EQ(Shown(), Texts{"Session new"});
}

} // namespace

// The Reception cell: set and cleared per record, one cell signalled each
// time, coloured by state; the column neither sorts nor names a record.
TEST_F(ListTest, ReceptionCellOfAWatchedRow)
{
    auto a = Add("a");
    auto b = Add("b");
    const int column = CSessionListModel::kColumnReception;
    EXPECT_EQ(list.headerData(column, Qt::Horizontal).toString(), "Reception");
    EXPECT_EQ(Shown(column), (Texts{"", ""}));

    QSignalSpy changes(&list, &QAbstractItemModel::dataChanged);
    list.SetReception(*b, "receiving, 64.0 kbit/s", 0);
    const QModelIndex cell = list.index(list.RowOf(*b), column);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes[0][0].toModelIndex() == cell && changes[0][1].toModelIndex() == cell);
    EXPECT_EQ(Shown(column), (Texts{"", "receiving, 64.0 kbit/s"}));
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>(), QColor(0x1B, 0x7F, 0x2A));
    list.SetReception(*b, "silent, 0 bit/s", 2);
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>(), QColor(0xB0, 0x1E, 0x1E));
    EXPECT_FALSE(list.index(list.RowOf(*a), column).data(Qt::ForegroundRole).isValid());

    const int mode = sorted.SortMode();
    sorted.ToggleSort(column);
    EXPECT_EQ(sorted.SortMode(), mode);

    list.ClearReception();
    EXPECT_TRUE(Shown(column) == (Texts{"", ""}) && changes.size() == 3);

    // The Clock column: every distinct clock the entries name.
    Add(Timed("c", 0, 0, {"audio", "video"}, "a=ts-refclk:ptp=IEEE1588-2008:39-a7-94-ff-fe-07-cb-d0:37\n"));
    EXPECT_EQ(list.headerData(CSessionListModel::kColumnClock, Qt::Horizontal).toString(), "Clock");
    EXPECT_EQ(Shown(CSessionListModel::kColumnClock), (Texts{"", "", "39-A7-94-FF-FE-07-CB-D0, domain 37"}));
}
