#include "app/CommandLineInfo.h"

#include <gtest/gtest.h>

namespace {

CMyCommandLineInfo Parse(std::vector<std::string> args)
{
    CMyCommandLineInfo info;
    info.ParseCommandLine(args);
    return info;
}

TEST(CommandLine, SessionFileFlag)
{
    auto info = Parse({"-f", "one.sdp"});
    EXPECT_TRUE(info.sessionFileGiven);
    EXPECT_EQ(info.sessionFile, "one.sdp");
    auto twice = Parse({"-f", "two.sdp", "three.sdp"});
    EXPECT_EQ(twice.sessionFile, "two.sdp");
    // An absolute path is a value, not a flag.
    EXPECT_EQ(Parse({"-f", "/home/ann/one.sdp"}).sessionFile, "/home/ann/one.sdp");
}

TEST(CommandLine, PlainArgumentAloneChangesNothing)
{
    auto info = Parse({"one.sdp"});
    EXPECT_FALSE(info.sessionFileGiven);
    EXPECT_TRUE(info.sessionFile.empty());
    EXPECT_TRUE(info.address.empty());
}

TEST(CommandLine, FlagsAreCaseSensitiveAndWholeWords)
{
    EXPECT_FALSE(Parse({"-F", "x.sdp"}).sessionFileGiven);
    EXPECT_FALSE(Parse({"-fx.sdp"}).sessionFileGiven);
    EXPECT_FALSE(Parse({"-c", "text"}).textGiven);
}

TEST(CommandLine, PendingFlagsTakeArgumentsInTheirOrder)
{
    // Values go to number, then text, then session file, whatever the flag order.
    auto info = Parse({"-f", "-C", "-t", "42", "hello", "s.sdp", "extra"});
    EXPECT_EQ(info.number, 42);
    EXPECT_TRUE(info.numberGiven);
    EXPECT_EQ(info.text, "hello");
    EXPECT_EQ(info.sessionFile, "s.sdp");
}

TEST(CommandLine, AddressArgument)
{
    auto info = Parse({"224.2.17.12/127"});
    EXPECT_EQ(info.address, "224.2.17.12");
    EXPECT_EQ(info.addressNumber, 127);
    // A pending flag takes it first.
    auto taken = Parse({"-f", "dir/file.sdp"});
    EXPECT_EQ(taken.sessionFile, "dir/file.sdp");
    EXPECT_TRUE(taken.address.empty());
    // Starting with a minus sign makes it a flag.
    EXPECT_TRUE(Parse({"-224.2.17.12/127"}).address.empty());
}

} // namespace
