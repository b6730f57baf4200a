#include "base/Text.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <gtest/gtest.h>

// The hand-written fast path must read every text exactly as inet_addr does.
TEST(ParseDottedQuad, ReadsLikeInetAddr)
{
    for (const char* text : {"224.2.127.254", "0.0.0.0", "255.255.255.255", "10.0.0.1", "1.2.3.4", "256.1.1.1",
                             "1.2.3.1000", "01.2.3.4", "0.2.3.04", "0x7f.0.0.1", "1.2.3", "1.2.3.4.", "1.2.3.4/127",
                             "1..3.4", ".1.2.3", "1.2.3.4 ", " 1.2.3.4", "127.1", "4294967295", "", "abc",
                             "224.2.17.12", "1.2.3.0255", "999.1.1.1"})
        EXPECT_EQ(text::ParseDottedQuad(text), inet_addr(text)) << '"' << text << '"';
}

// Blanks of every kind, a sign and the leading digits, as atoll reads them.
TEST(ToInt64, ReadsLikeAtoll)
{
    for (const char* text : {"42", " 1", "\t2", "\n3", "\r4", "\v5", "\f6", " \f-7x", "+8", "--9", "", "x1", "007"})
        EXPECT_EQ(text::ToInt64(text), atoll(text)) << '"' << text << '"';
}

TEST(Utf8CutPoint, NeverSplitsACharacterOfValidText)
{
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", face = "\xF0\x9F\x98\x80";
    struct Row { std::string text; size_t limit, cut; };
    for (const Row& r : std::initializer_list<Row>{
             {"abc", 5, 3}, {"abcdef", 5, 5}, {"ab" + e + e, 3, 2}, {"ab" + e + e, 4, 4},
             {"a" + euro + "b", 2, 1}, {"a" + euro + "b", 3, 1}, {"a" + euro + "b", 4, 4},
             {face + face, 5, 4}, {face + face, 7, 4}, {face + face, 3, 0},
             // Bytes that are no UTF-8 are cut where the limit says.
             {"ab\x80\x80\x80\x80", 4, 4}, {"\xE9\xE9\xE9", 2, 2}}) {
        EXPECT_EQ(text::Utf8CutPoint(r.text, r.limit), r.cut) << r.text << " " << r.limit;
    }
}
