#include "base/Text.h"

#include <arpa/inet.h>
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
