#include "base/RequestHead.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

using requesthead::EState;

TEST(RequestHead, ScanFindsTheHeadWithinItsBounds)
{
    struct CCase { std::string bytes; size_t maxBytes, maxLines; EState state; std::string firstLine; };
    const std::string many = [] {
        std::string h = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 10; ++i)
            h += "X-" + std::to_string(i) + ": v\r\n";
        return h + "\r\n";
    }();
    const CCase cases[] = {
        {"", 100, 5, EState::Incomplete, ""}, {"GET / HTTP/1.1\r\nHost: x\r\n", 100, 5, EState::Incomplete, ""},
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", 100, 5, EState::Complete, "GET / HTTP/1.1"},
        // CRLF only: a bare LF or CR, a folded line, no request line.
        {"GET /a HTTP/1.0\n\nbody\r\n\r\n", 100, 5, EState::Malformed, ""},
        {"GET / HTTP/1.1\r\nA: b\nB: c\r\n\r\n", 100, 5, EState::Malformed, ""},
        {"GET / HTTP/1.1\r\nA: b\rB: c\r\n\r\n", 100, 5, EState::Malformed, ""},
        {"GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", 100, 5, EState::Malformed, ""},
        {"\r\nGET / HTTP/1.1\r\n\r\n", 100, 5, EState::Malformed, ""},
        // A body after the head is not the head's size.
        {"GET / HTTP/1.1\r\n\r\n" + std::string(500, 'b'), 20, 5, EState::Complete, "GET / HTTP/1.1"},
        // The blank line must fall within the bound.
        {"GET / HTTP/1.1\r\nX: " + std::string(90, 'a') + "\r\n\r\n", 100, 5, EState::TooLarge, ""},
        {"GET / HTTP/1.1\r\nX: " + std::string(200, 'a'), 100, 5, EState::TooLarge, ""},
        {"GET / HTTP/1.1\r\nX: " + std::string(50, 'a'), 100, 5, EState::Incomplete, ""},
        // Lines: the request line and ten headers, against bounds of ten and nine.
        {many, 1000, 10, EState::Complete, "GET / HTTP/1.1"}, {many, 1000, 9, EState::TooLarge, ""},
        {many.substr(0, many.size() - 2), 1000, 10, EState::Incomplete, ""},
        {many.substr(0, many.size() - 2), 1000, 9, EState::TooLarge, ""}, // too many before it even ends
    };
    for (const CCase& c : cases) {
        const auto scan = requesthead::Scan(c.bytes, c.maxBytes, c.maxLines);
        EXPECT_EQ(scan.state, c.state) << c.bytes.substr(0, 40);
        EXPECT_EQ(std::string(scan.firstLine), c.firstLine) << c.bytes.substr(0, 40);
    }
}

TEST(RequestHead, FieldsAreFoundByNameInAnyCase)
{
    const std::string head = "GET / HTTP/1.1\r\nhost:  a:1 \r\nX-Host: b\r\nHOST: c\r\nEmpty:\r\n";
    size_t count = 0;
    EXPECT_EQ(requesthead::Field(head, "Host", &count), "a:1");
    EXPECT_EQ(std::tuple(count, requesthead::Field(head, "empty"), requesthead::Field(head, "GET / HTTP/1.1"),
                         requesthead::Field(head, "Cookie")), std::tuple(2u, "", std::nullopt, std::nullopt));
}

TEST(RequestHead, NumbersAreDigitsOnly)
{
    EXPECT_EQ(requesthead::ParseNumber("0"), 0u);
    EXPECT_EQ(requesthead::ParseNumber("007"), 7u);
    EXPECT_EQ(requesthead::ParseNumber("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(requesthead::ParseNumber("50000", 50000), 50000u);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1x", "0x10", "18446744073709551616", "1e3"})
        EXPECT_FALSE(requesthead::ParseNumber(bad).has_value()) << bad;
    EXPECT_FALSE(requesthead::ParseNumber("50001", 50000).has_value());
}
