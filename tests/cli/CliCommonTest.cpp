#include "cli/CliCommon.h"
#include "sap/EncryptionGroups.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <tuple>

namespace {

const QStringList kValues{"--port", "--group"};
const QStringList kFlags{"--raw", "--json"};

TEST(CliArgs, SplitsValuesFlagsAndPositionalsOrNamesTheFault)
{
    struct Case {
        QStringList args;
        QString error;
        QStringList positionals;
        QString group; // value of --group
        bool raw = false; // the flag given
    };
    const Case cases[] = {
        {{"-f", "a.sdp", "--raw", "--group", "224.2.1.1", "--json"}, "", {"-f", "a.sdp"}, "224.2.1.1", true},
        {{"--", "x"}, "", {"--", "x"}, "-"},              // a bare "--" is no option
        {{"--group", "--raw"}, "", {}, "--raw"},          // a value is taken as it stands
        {{"--group"}, "option --group needs a value", {}, "-"}, {{"x", "--rwa"}, "unknown option --rwa", {"x"}, "-"},
        {{"--raw=1"}, "unknown option --raw=1", {}, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        CCliArgs args(c.args, kValues, kFlags);
        EXPECT_EQ(std::tuple(args.error(), args.ok(), args.Positionals(), args.Value("--group", "-"), args.Has("--raw")),
                  std::tuple(c.error, c.error.isEmpty(), c.positionals, c.group, c.raw));
    }
}

TEST(CliArgs, NumbersOutsideTheirRangeAreRefused)
{
    struct Case { QString text; std::optional<long long> value; };
    const Case cases[] = {{"1", 1},           {"65535", 65535}, {"0", std::nullopt},   {"65536", std::nullopt},
                          {"-1", std::nullopt}, {"12x", std::nullopt}, {"", std::nullopt},
                          {"99999999999999999999", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        CCliArgs args({"--port", c.text}, kValues, kFlags);
        EXPECT_EQ(args.Number("--port", 9875, 1, 65535), c.value);
        EXPECT_EQ(args.error(), c.value ? "" : "--port must be a number from 1 to 65535");
    }
    CCliArgs absent({}, kValues, kFlags);
    EXPECT_EQ(absent.Number("--port", 9875, 1, 65535), 9875);
    EXPECT_TRUE(absent.ok());
}

TEST(KeyFile, FillsTheGroupsInOrderOrNamesTheBadLine)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("keys");
    const auto load = [&](const std::string& text, CEncryptionGroups& groups, QString& error) {
        std::ofstream(path.toStdString(), std::ios::binary) << text;
        return LoadKeyFile(path, groups, &error);
    };
    CEncryptionGroups groups;
    QString error;
    ASSERT_TRUE(load("10001\tsecret one\tFirst group\r\n\n2147483647\t\tname\twith tab\n0\tk\tlast", groups, error))
        << error.toStdString();
    const CEncryptionGroup expected[] = {
        {10001, "secret one", "First group"}, {2147483647, "", "name\twith tab"}, {0, "k", "last"}, {0, "", ""}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::tie(groups[i].id, groups[i].key, groups[i].name),
                  std::tie(expected[i].id, expected[i].key, expected[i].name)) << i;

    std::string hundredAndOne;
    for (int i = 0; i <= CEncryptionGroups::kCount; ++i)
        hundredAndOne += std::to_string(10000 + i) + "\tk\tn\n";
    const struct {
        std::string text;
        QString error; // after the path
    } cases[] = {
        {"10001\tkey only\n", ":1: expected ID<TAB>KEY<TAB>NAME"},
        {"10001\tk\tn\nabc\tk\tn\n", ":2: expected ID<TAB>KEY<TAB>NAME"},
        {"-5\tk\tn\n", ":1: expected ID<TAB>KEY<TAB>NAME"}, {"2147483648\tk\tn\n", ":1: expected ID<TAB>KEY<TAB>NAME"},
        {hundredAndOne, ": more than 100 groups"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        CEncryptionGroups fresh;
        EXPECT_FALSE(load(c.text, fresh, error));
        EXPECT_EQ(error, path + c.error);
    }
    EXPECT_FALSE(LoadKeyFile(tmp.filePath("missing"), groups, &error));
    EXPECT_TRUE(error.startsWith("cannot read " + tmp.filePath("missing") + ": ")) << error.toStdString();
}

} // namespace
