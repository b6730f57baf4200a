#include "app/CommandLineInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, FlagsTakeTheNextPlainArgumentsInTheirOrder)
{
    struct Case {
        std::vector<std::string> args;
        bool fileGiven;
        std::string file, text, address = "";
        int number = 0, addressNumber = 0;
    };
    const Case cases[] = {
        {{"-f", "two.sdp", "three.sdp"}, true, "two.sdp", ""},
        {{"-f", "/home/ann/one.sdp"}, true, "/home/ann/one.sdp", ""}, // an absolute path is a value
        {{"one.sdp"}, false, "", ""},
        {{"-F", "x.sdp"}, false, "", ""}, // names are case-sensitive whole words
        {{"-fx.sdp"}, false, "", ""},
        {{"-c", "text"}, false, "", ""},
        // Number, then text, then session file, whatever the flag order.
        {{"-f", "-C", "-t", "42", "hello", "s.sdp", "extra"}, true, "s.sdp", "hello", "", 42},
        {{"224.2.17.12/127"}, false, "", "", "224.2.17.12", 0, 127},
        {{"-f", "dir/file.sdp"}, true, "dir/file.sdp", ""}, // a pending flag comes first
        {{"-224.2.17.12/127"}, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        CMyCommandLineInfo info;
        info.ParseCommandLine(c.args);
        EXPECT_EQ(info.sessionFileGiven, c.fileGiven);
        EXPECT_EQ(info.sessionFile, c.file);
        EXPECT_EQ(info.text, c.text);
        EXPECT_EQ(info.address, c.address);
        EXPECT_EQ(info.number, c.number);
        EXPECT_EQ(info.numberGiven, c.number != 0);
        EXPECT_EQ(info.addressNumber, c.addressNumber);
    }
}

} // namespace
