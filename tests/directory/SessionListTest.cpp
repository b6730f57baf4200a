#include "sdp/SessionList.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

namespace {

class SessionListTest : public ::testing::Test {
protected:
    CTestEnv t;
    CSessionList list;

    std::shared_ptr<CSDPObject> Rec(const std::string& id, const std::string& name = "")
    {
        return t.Parse("v=0\no=- " + id + " 1 IN IP4 h\ns=" + (name.empty() ? id : name) + "\n");
    }
    std::string Names() const
    {
        std::string out;
        for (const auto& r : list)
            out += r->name;
        return out;
    }
};

// Lookups, takes and positions are the many-ids test's; here the record
// found for another of the same id, and a removal of one no longer there.
TEST_F(SessionListTest, FindGivesTheFirstOfAnIdAndRemoveOnlyWhatIsThere)
{
    auto a = Rec("7", "a"), b = Rec("7", "b"), c = Rec("7", "c");
    for (const auto& r : {Rec("5"), a, Rec("8"), b, c})
        list.Append(r);
    EXPECT_EQ(list.Find(*c), a);
    EXPECT_TRUE(list.Remove(*b) && !list.Remove(*b));
    EXPECT_EQ(list.Take(*a), a);
    EXPECT_EQ(Names(), "58c");
}

TEST_F(SessionListTest, CursorSurvivesRemovalAroundItAndEndsAtClear)
{
    for (const char* id : {"1", "2", "3", "4", "5"})
        list.Append(Rec(id));
    std::string visited;
    CSessionList::CCursor cursor(list), waiting(list);
    while (auto r = cursor.Next()) {
        visited += r->name;
        if (r->name == "2") {
            list.Remove(*r);       // the current one
            list.Take(*Rec("3"));  // the one the cursor visits next
            list.Append(Rec("6")); // appended during the walk: visited too
        }
        if (r->name == "5")
            list.Take(*Rec("1")); // one already visited
    }
    EXPECT_EQ(visited + "|" + Names(), "12456|456");
    CSessionList::CCursor outer(list);
    EXPECT_EQ(outer.Next()->name, "4");
    list.Clear();
    EXPECT_TRUE(outer.Next() == nullptr && waiting.Next() == nullptr);
}

// Many ids of every length, some alike but for one byte, with appends and
// removals in any order: lookups keep giving the first record of each id in
// list order, and positions stay right across renumbering.
TEST_F(SessionListTest, IndexFollowsAppendsAndRemovalsOfManyIds)
{
    auto idOf = [](int k) {
        switch (k % 4) {
        case 0: return std::to_string(k);
        case 1: return std::to_string(2890844526L + k);
        case 2: return std::string(20, 'x') + std::to_string(k);
        default: return "abcdefg" + std::string(1, char('!' + k % 90)) + "hijklmn" + std::to_string(k / 360);
        }
    };
    std::mt19937 draw(5);
    std::vector<std::shared_ptr<CSDPObject>> model;
    for (int step = 0; step < 3000; ++step) {
        const int k = static_cast<int>(draw() % 700);
        if (model.empty() || draw() % 5 < 3) {
            model.push_back(Rec(idOf(k)));
            list.Append(model.back());
        } else if (draw() % 2) {
            const size_t at = draw() % model.size();
            ASSERT_TRUE(list.Remove(*model[at]));
            model.erase(model.begin() + static_cast<long>(at));
        } else {
            const auto first = std::find_if(model.begin(), model.end(),
                                            [&](const auto& r) { return r->originSessionId == idOf(k); });
            ASSERT_EQ(list.Take(*Rec(idOf(k))), first == model.end() ? nullptr : *first);
            if (first != model.end())
                model.erase(first);
        }
        if (step % 500 != 499)
            continue;
        ASSERT_EQ(list.Size(), model.size());
        for (int id = 0; id < 700; ++id) {
            const auto first = std::find_if(model.begin(), model.end(),
                                            [&](const auto& r) { return r->originSessionId == idOf(id); });
            ASSERT_EQ(list.FindById(idOf(id)), first == model.end() ? nullptr : *first) << idOf(id);
        }
        for (size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(list.IndexOf(*model[i]), long(i));
            ASSERT_EQ(list.At(i), model[i]);
        }
    }
    EXPECT_EQ(std::tuple(list.At(model.size()), list.IndexOf(*Rec("1"))), std::tuple(nullptr, -1));
    list.Clear();
    list.Append(model[0]);
    EXPECT_EQ(list.IndexOf(*model[0]), 0);
}

} // namespace
