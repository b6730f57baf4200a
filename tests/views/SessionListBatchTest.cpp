#include "ModelFixture.h"

#include "sdp/SessionList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int64_t kNow = 1700000000;

// What a view holds of a model: the texts and the grey of every row, read
// when a signal says a row came or changed and never otherwise. A signal
// that leaves out a row that changed leaves this copy stale.
class CSignalMirror {
public:
    explicit CSignalMirror(const QAbstractItemModel& model) : m_model(model)
    {
        ReadAll();
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, [this](const QModelIndex&, int first, int last) {
            for (int row = first; row <= last; ++row)
                m_rows.insert(m_rows.begin() + row, Read(row));
        });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [this](const QModelIndex&, int first, int last) {
            m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        });
        QObject::connect(&model, &QAbstractItemModel::dataChanged, [this](const QModelIndex& from, const QModelIndex& to) {
            for (int row = from.row(); row <= to.row(); ++row)
                m_rows[static_cast<size_t>(row)] = Read(row);
        });
        QObject::connect(&model, &QAbstractItemModel::layoutChanged, [this] { ReadAll(); });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { ReadAll(); });
        QObject::connect(&model, &QAbstractItemModel::rowsMoved, [this] { ADD_FAILURE() << "moves are not followed"; });
    }
    // Row texts: the cells joined, then "grey" when the row is greyed.
    const std::vector<std::string>& Rows() const { return m_rows; }

    std::string Read(int row) const
    {
        std::string text;
        for (int column = 0; column < m_model.columnCount(); ++column)
            text += m_model.index(row, column).data().toString().toStdString() + "|";
        if (m_model.index(row, 0).data(CSessionListModel::kInactiveRole).toBool())
            text += "grey";
        return text;
    }

private:
    void ReadAll()
    {
        m_rows.clear();
        for (int row = 0; row < m_model.rowCount(); ++row)
            m_rows.push_back(Read(row));
    }
    const QAbstractItemModel& m_model;
    std::vector<std::string> m_rows;
};

class ListBatchTest : public ModelTest {
protected:
    CSignalMirror listView{list};
    CSignalMirror sortedView{sorted};

    // A session on daily for 140 s from ten seconds ago, or always on.
    Record Numbered(int n, bool daily, const std::string& prefix = "Session ")
    {
        char id[16];
        std::snprintf(id, sizeof id, "%05d", n);
        auto record = daily ? Timed(id, kNow - 10, kNow + 10 * 86400, {"audio"}, "r=1d 140 0\n") : Timed(id, 0, 0);
        record->name = prefix + id;
        return record;
    }

    // The rows as the store says they are now, in the list's order.
    std::vector<std::string> FromStore()
    {
        std::vector<std::string> rows;
        for (const auto& record : doc.MainList()) {
            const auto row = listrules::MakeRow(*record, t.clock.Now(), t.clock);
            // The Reception and Clock cells stay empty: nothing is watched or names a clock here.
            std::string text = row->name + "|" + row->info + "|" + row->start + "|" + row->type + "|" + row->media + "|||";
            if (!row->activeNow)
                text += "grey";
            rows.push_back(text);
        }
        return rows;
    }
    // The list's rows and the sorted list (names sort like the bytes here)
    // are what the store holds, as a view following the signals sees them.
    void ExpectViewsMatchStore()
    {
        list.ApplyPending();
        const std::vector<std::string> store = FromStore();
        ASSERT_EQ(list.rowCount(), static_cast<int>(store.size()));
        EXPECT_TRUE(listView.Rows() == store) << "the list's signals left its view stale";
        int row = 0;
        for (const auto& record : doc.MainList())
            ASSERT_EQ(list.RecordAt(row++), record) << row;
        std::vector<std::string> ordered = store;
        std::sort(ordered.begin(), ordered.end());
        EXPECT_TRUE(sortedView.Rows() == ordered) << "the sorted list's view is stale or out of order";
    }
};

// One pass of many notices (new sessions, refreshes of old and of
// still arriving ones, deletions among them) and then a walk that greys
// two thirds of the rows: a view that reads only what the signals name
// ends up with exactly what the store holds.
TEST_F(ListBatchTest, ThousandsOfNoticesInOnePassReachTheViews)
{
    constexpr int kPass = 600; // rows, well past the sort's and the batch's thresholds
    t.clock.Set(kNow);
    for (int n = 0; n < kPass; ++n)
        Add(Numbered(n, n % 3 != 0));
    ExpectViewsMatchStore();
    ASSERT_EQ(list.rowCount(), kPass);

    QSignalSpy inserts(&list, &QAbstractItemModel::rowsInserted);
    for (int n = kPass; n < 2 * kPass; ++n) {
        Add(Numbered(n, n % 3 != 0));
        if (n % 4 == 0) // an old one renamed
            Add(Numbered(n - kPass, (n - kPass) % 3 != 0, "Renamed "));
        if (n % 10 == 5) // one of this pass renamed before it has a row
            Add(Numbered(n - 2, (n - 2) % 3 != 0, "Again "));
        if (n % 50 == 0) // a deletion of an old one and of a new one
            for (int gone : {n - kPass + 10, n - 1})
                doc.OnSapMessage(ESapAction::Delete, Numbered(gone, gone % 3 != 0), nullptr);
    }
    // New sessions after the last deletion come as one insertion.
    const int before = static_cast<int>(inserts.size());
    for (int n = 2 * kPass; n < 2 * kPass + 150; ++n)
        Add(Numbered(n, n % 3 != 0));
    list.ApplyPending();
    EXPECT_EQ(inserts.size(), before + 1);
    ExpectViewsMatchStore();

    // Two thirds go off for the rest of the day.
    t.clock.Set(kNow + 200);
    doc.CheckSessions();
    ExpectViewsMatchStore();
    EXPECT_GT(std::count_if(listView.Rows().begin(), listView.Rows().end(),
                            [](const std::string& r) { return r.ends_with("grey"); }),
              list.rowCount() / 2);
}

// With an event loop, what the store told the list shows without anyone
// asking, and soon; later than that only when showing rows costs its views.
TEST_F(ListBatchTest, CollectedRowsShowFromTheEventLoop)
{
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("talmira_tests_views"), nullptr};
    [[maybe_unused]] static auto* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    t.clock.Set(kNow);
    Add(Numbered(0, false));
    list.ApplyPending();
    auto first = Add(Numbered(1, false));
    Add(Numbered(2, false));
    first->name = "Changed";
    list.RefreshRecord(*first); // not a row yet: nothing to rewrite
    EXPECT_TRUE(list.rowCount() == 1 && list.HasPending());
    QElapsedTimer waited;
    waited.start();
    while (list.HasPending() && waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_LT(waited.elapsed(), 500);
    EXPECT_TRUE(list.rowCount() == 3 && listView.Rows() == FromStore());
    // The idle loop makes the search keys ahead; they follow a later rename.
    EXPECT_TRUE(list.SearchKeysPending());
    while (list.SearchKeysPending() && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(list.SearchKeysPending());
    const int row = list.RowOf(*first);
    first->name = "Renamed";
    list.RefreshRecord(*first);
    EXPECT_EQ(list.SearchKey(row).substr(0, 8), "renamed\n");

    // A view that took 15 ms to show the rows makes the list gather about
    // twenty times that (300 ms) before it shows the next ones.
    const auto shown = [&](int n) {
        Add(Numbered(n, false));
        QElapsedTimer gathered;
        gathered.start();
        while (list.HasPending() && gathered.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return gathered.elapsed();
    };
    EXPECT_LT(shown(3), 250);
    list.AddViewCost(15'000'000);
    const auto waits = std::vector{shown(4) < 250, shown(5) < 250, shown(6) < 250};
    EXPECT_EQ(waits, (std::vector{true, false, true}));
    EXPECT_EQ(list.rowCount(), 7);
}

} // namespace
