#include "base/ShortText.h"
#include "base/SlimList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Random edits applied to a list and to a std::vector side by side; the
// texts are long enough to live on the heap, so a lost or doubled item shows
// under the sanitizers too.
TEST(SlimList, EditsLikeAVector)
{
    std::mt19937 random(7);
    CSlimList<CShortText> list;
    std::vector<std::string> reference;
    for (int step = 0; step < 4000; ++step) {
        const std::string text = "item number " + std::to_string(step);
        const size_t at = reference.empty() ? 0 : random() % reference.size();
        switch (random() % 8) {
        case 0:
        case 1: list.push_back(CShortText(text)); reference.push_back(text); break;
        case 2: list.insert(list.begin() + at, CShortText(text)); reference.insert(reference.begin() + at, text); break;
        case 3:
            if (!reference.empty()) {
                list.erase(list.begin() + at);
                reference.erase(reference.begin() + at);
            }
            break;
        case 4: list.resize(at + 2); reference.resize(at + 2); break;
        case 5:
            if (!reference.empty()) { // from one of its own items
                list.emplace_back(list[at]);
                reference.push_back(reference[at]);
            }
            break;
        case 6: {
            CSlimList<CShortText> copy = list;
            list = std::move(copy);
            break;
        }
        default:
            if (random() % 50 == 0) {
                list.clear();
                reference.clear();
            }
        }
        ASSERT_EQ(list.size(), reference.size()) << step;
    }
    EXPECT_TRUE(std::equal(list.begin(), list.end(), reference.begin(), reference.end()));
    EXPECT_THROW((void)list.at(list.size()), std::out_of_range);
}

// A list placed in borrowed room never frees it, and leaves it when it grows
// or is copied or moved away, so nothing outlives the room.
TEST(SlimList, PlacedListsLeaveTheirRoom)
{
    using List = CSlimList<CShortText>;
    auto room = std::make_unique<char[]>(List::BlockBytes(2) * 3);
    List grown, moved, copied;
    grown.PlaceIn(room.get(), 2);
    moved.PlaceIn(room.get() + List::BlockBytes(2), 2);
    copied.PlaceIn(room.get() + 2 * List::BlockBytes(2), 2);
    for (List* l : {&grown, &moved, &copied}) {
        l->push_back(CShortText("a first long text"));
        l->push_back(CShortText("a second long text"));
        EXPECT_EQ(l->capacity(), 2u);
    }
    grown.push_back(CShortText("a third, past the room"));
    List movedTo = std::move(moved);
    List copiedTo = copied;
    copied.clear();
    std::memset(room.get(), 0xA5, List::BlockBytes(2) * 3);
    room.reset();
    EXPECT_EQ(grown, (std::vector<CShortText>{"a first long text", "a second long text", "a third, past the room"}));
    EXPECT_EQ(movedTo, (std::vector<CShortText>{"a first long text", "a second long text"}));
    EXPECT_EQ(copiedTo, movedTo);
    EXPECT_TRUE(moved.empty());
}
