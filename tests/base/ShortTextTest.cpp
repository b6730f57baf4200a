#include "base/ShortText.h"

#include <gtest/gtest.h>

#include <tuple>

#include <memory>

// Lengths around the inline limit and beyond, with embedded NULs kept.
TEST(ShortText, KeepsEveryLengthAndTerminates)
{
    for (const std::string& s : {std::string(), std::string("a"), std::string("abcdef"), std::string("abcdefg"),
                                 std::string("a\0b", 3), std::string(1000, 'x')}) {
        CShortText t(s);
        EXPECT_EQ(std::tuple(t.size(), t.empty(), std::string_view(t)), std::tuple(s.size(), s.empty(), s));
        EXPECT_EQ(t.c_str()[s.size()], '\0');
        CShortText copy = t;
        EXPECT_EQ(copy, t);
    }
}

// A pooled text copied or moved out must stay readable after its pool is gone.
TEST(ShortText, PooledTextsOutliveTheirPool)
{
    auto pool = std::make_unique<CShortTextPool>();
    pool->Reserve(64);
    CShortText a, b, c;
    a.assign("a text held in the pool", *pool);
    b.assign("another text in the pool", *pool);
    c.assign("this one no longer fits in what is left of it", *pool);
    CShortText copied = a;
    CShortText moved = std::move(b);
    std::vector<CShortText> grown;
    grown.push_back(std::move(c));
    grown.resize(100);
    a.clear();
    b.clear();
    pool.reset();
    EXPECT_EQ((std::vector<std::string>{copied, moved, grown[0]}),
              (std::vector<std::string>{"a text held in the pool", "another text in the pool",
                                        "this one no longer fits in what is left of it"}));
}

// Trimming a pool may move it; its texts (at any byte offset) follow, others
// stay. Texts past the longest pooled length go to the heap.
TEST(ShortText, PooledTextsFollowTheirTrimmedPool)
{
    CShortTextPool pool;
    pool.Reserve(40000);
    const std::string longest(0x7FFF, 'v'), tooLong(0x8000, 'w');
    CShortText even, odd, big, huge, own("an own heap text"), inl("abc");
    even.assign("eight!!!", pool); // nine bytes taken: the next text starts at an odd address
    odd.assign("nine byte", pool);
    big.assign(longest, pool);
    huge.assign(tooLong, pool);
    const uintptr_t from = pool.Base();
    const size_t size = pool.Size();
    pool.ShrinkToFit();
    const ptrdiff_t delta = static_cast<ptrdiff_t>(pool.Base() - from);
    EXPECT_EQ(pool.Size(), 9u + 10u + 0x8000u);
    for (CShortText* t : {&even, &odd, &big, &huge, &own, &inl})
        t->Rebase(from, size, delta);
    EXPECT_EQ((std::vector<std::string>{even, odd, big, huge, own, inl}),
              (std::vector<std::string>{"eight!!!", "nine byte", longest, tooLong, "an own heap text", "abc"}));
    EXPECT_EQ(big.c_str()[big.size()], '\0');
}

// Assigning a piece of a text to itself must not read freed memory.
TEST(ShortText, AssignsFromItsOwnBytes)
{
    CShortText t("224.2.17.12/127");
    t = std::string_view(t).substr(0, 11);
    EXPECT_EQ(t, "224.2.17.12");
    t = std::string_view(t).substr(4, 3);
    EXPECT_EQ(t, "2.1");
    t += "7 and more";
    EXPECT_EQ(t, "2.17 and more");
}

TEST(ShortText, OrdersAndConvertsLikeStdString)
{
    // Equal exactly when the bytes are, whatever form each text takes.
    CShortTextPool pool;
    pool.Reserve(64);
    const std::string texts[] = {"", "a", "b", "abcdef", "abcdeg", "abcdefg", "abcdefh", std::string("a\0", 2)};
    for (const std::string& x : texts) {
        for (const std::string& y : texts) {
            CShortText pooled;
            pooled.assign(y, pool);
            EXPECT_EQ(CShortText(x) == CShortText(y), x == y) << x << " / " << y;
            EXPECT_EQ(CShortText(x) == pooled, x == y) << x << " / pooled " << y;
        }
    }
    const CShortText a("abc"), b("abcdefgh");
    EXPECT_LT(a, b);
    EXPECT_LT(a, std::string("abd"));
    EXPECT_EQ(a + ':' + b, "abc:abcdefgh");
    const std::string s = b;
    EXPECT_EQ(s, "abcdefgh");
    CShortTextList list = std::vector<std::string>{"x", "a longer attribute"};
    EXPECT_EQ(static_cast<std::vector<std::string>>(list), (std::vector<std::string>{"x", "a longer attribute"}));
}
