#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

// Number, then text, then session file, whatever the flag order; "given" marked with "!".
TEST(CommandLine, FlagsTakeTheNextPlainArgumentsInTheirOrder)
{
    const struct {
        std::vector<std::string> args;
        std::string parsed; // number | text | session file | address/number
    } cases[] = {
        {{"-f", "two.sdp", "three.sdp"}, "0||two.sdp!|/0"},
        {{"-f", "/home/ann/one.sdp"}, "0||/home/ann/one.sdp!|/0"}, // an absolute path is a value
        {{"one.sdp"}, "0|||/0"},
        {{"-F", "x.sdp"}, "0|||/0"}, // names are case-sensitive whole words
        {{"-fx.sdp"}, "0|||/0"}, {{"-c", "text"}, "0|||/0"},
        {{"-f", "-C", "-t", "42", "hello", "s.sdp", "extra"}, "42!|hello|s.sdp!|/0"},
        {{"224.2.17.12/127"}, "0|||224.2.17.12/127"},
        {{"-f", "dir/file.sdp"}, "0||dir/file.sdp!|/0"}, // a pending flag comes first
        {{"-224.2.17.12/127"}, "0|||/0"},
    };
    for (const auto& c : cases) {
        CCommandLine i;
        i.ParseCommandLine(c.args);
        EXPECT_EQ(std::to_string(i.number) + (i.numberGiven ? "!|" : "|") + i.text + "|" + i.sessionFile +
                      (i.sessionFileGiven ? "!|" : "|") + i.address + "/" + std::to_string(i.addressNumber),
                  c.parsed) << c.args.at(0);
    }
}

// --version and --help stop the program before anything else; every other
// argument, one dash or a different spelling included, is left to the parser.
TEST(CommandLine, VersionAndHelpAreAnsweredWhereverTheyStand)
{
    using R = CCommandLine::EInfoRequest;
    const struct { std::vector<std::string> args; R request; } cases[] = {
        {{}, R::None}, {{"--version"}, R::Version}, {{"--help"}, R::Help}, {{"-nologo", "-f", "s", "--help"}, R::Help},
        {{"--help", "--version"}, R::Help}, {{"--version", "--help"}, R::Version}, // the first one counts
        {{"-version"}, R::None}, {{"-help"}, R::None}, {{"-h"}, R::None}, {{"--Version"}, R::None},
        {{"--versions"}, R::None}, {{"-f", "--version.sdp"}, R::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CCommandLine::InfoRequest(c.args), c.request) << (c.args.empty() ? "" : c.args.back());

    // The parser itself still takes --version as an unknown flag: no value is consumed.
    CCommandLine i;
    i.ParseCommandLine({"-f", "--version", "s.sdp"});
    EXPECT_EQ(i.sessionFile, "s.sdp");
}

} // namespace
