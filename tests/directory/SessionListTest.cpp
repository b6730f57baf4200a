#include "sdp/SessionList.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

class SessionListTest : public ::testing::Test {
protected:
    CTestEnv t;
    CSessionList list;

    std::shared_ptr<CSDPObject> Rec(const std::string& id, const std::string& name = "")
    {
        auto r = t.Parse("v=0\no=- " + id + " 1 IN IP4 h\ns=" + (name.empty() ? id : name) + "\n");
        return r;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> out;
        for (const auto& r : list)
            out.push_back(r->name);
        return out;
    }
};

TEST_F(SessionListTest, KeepsInsertionOrderAndFindsById)
{
    for (const char* id : {"5", "3", "9", "1"})
        list.Append(Rec(id));
    EXPECT_EQ(Names(), (std::vector<std::string>{"5", "3", "9", "1"}));
    EXPECT_EQ(list.FindById("9")->name, "9");
    EXPECT_EQ(list.FindById("4"), nullptr);
    EXPECT_EQ(list.Find(*Rec("3"))->name, "3");

    auto taken = list.Take(*Rec("3"));
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->name, "3");
    EXPECT_EQ(list.Take(*Rec("3")), nullptr);
    EXPECT_EQ(Names(), (std::vector<std::string>{"5", "9", "1"}));
    EXPECT_EQ(list.IndexOf(*list.FindById("1")), 2);
}

TEST_F(SessionListTest, DuplicateIdsGiveTheFirstInListOrder)
{
    auto a = Rec("7", "a");
    auto b = Rec("7", "b");
    auto c = Rec("7", "c");
    list.Append(a);
    list.Append(Rec("8"));
    list.Append(b);
    list.Append(c);
    EXPECT_EQ(list.FindById("7"), a);
    // Removing exactly one copy keeps the others findable in order.
    EXPECT_TRUE(list.Remove(*b));
    EXPECT_FALSE(list.Remove(*b));
    EXPECT_EQ(list.Take(*a), a);
    EXPECT_EQ(list.FindById("7"), c);
    EXPECT_EQ(Names(), (std::vector<std::string>{"8", "c"}));
}

TEST_F(SessionListTest, CursorSurvivesRemovalAroundIt)
{
    for (const char* id : {"1", "2", "3", "4", "5"})
        list.Append(Rec(id));
    std::vector<std::string> visited;
    CSessionList::CCursor cursor(list);
    while (auto r = cursor.Next()) {
        visited.push_back(r->name);
        if (r->name == "2") {
            list.Remove(*r);             // the current one
            list.Take(*Rec("3"));        // the one the cursor visits next
            list.Append(Rec("6"));       // appended during the walk: visited too
        }
        if (r->name == "5")
            list.Take(*Rec("1"));        // one already visited
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"1", "2", "4", "5", "6"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"4", "5", "6"}));
}

TEST_F(SessionListTest, ClearDuringAWalkEndsIt)
{
    for (const char* id : {"1", "2", "3"})
        list.Append(Rec(id));
    int visits = 0;
    CSessionList::CCursor outer(list);
    while (auto r = outer.Next()) {
        ++visits;
        CSessionList::CCursor inner(list);
        inner.Next();
        list.Clear();
        EXPECT_EQ(inner.Next(), nullptr);
    }
    EXPECT_EQ(visits, 1);
    EXPECT_TRUE(list.Empty());
}

} // namespace
