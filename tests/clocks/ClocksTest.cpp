#include "clocks/ClockGroups.h"
#include "clocks/GrandmasterTable.h"
#include "clocks/PtpAnnounce.h"
#include "sdp/StudioAttributes.h"

#include <gtest/gtest.h>

namespace {
// An Announce of grandmaster 0A-1B-2C-FF-FE-3D-4E-5F in domain 7: priorities
// 128/128, class 248, accuracy 0xFE, 2 s interval.
std::vector<uint8_t> Announce()
{
    const std::string hex = "0b020040070000080000000000000000000000000a1b2cfffe3d4e5f0001002a050100006553f10000000000"
                            "00250080f8feffff800a1b2cfffe3d4e5f0000a0";
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < hex.size(); i += 2)
        bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}
} // namespace

TEST(PtpAnnounce, ReadsOnlyWholeVersion2Announces)
{
    struct Row {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> change;
        EPtpReadError error;
    } rows[] = {
        {"good", [](auto&) {}, EPtpReadError::None},
        {"2019, with a TLV after it", [](auto& m) { m[1] = 0x12; m[3] = 68; m.resize(68, 0); }, EPtpReadError::None},
        {"header only", [](auto& m) { m.resize(34); }, EPtpReadError::Truncated},
        {"body cut", [](auto& m) { m.resize(63); }, EPtpReadError::Truncated},
        {"nothing", [](auto& m) { m.clear(); }, EPtpReadError::Truncated},
        {"Sync", [](auto& m) { m[0] = 0x00; }, EPtpReadError::NotAnnounce},
        {"version 1", [](auto& m) { m[1] = 0x01; }, EPtpReadError::WrongVersion},
        {"version 3", [](auto& m) { m[1] = 0x03; }, EPtpReadError::WrongVersion},
        {"length past the datagram", [](auto& m) { m[3] = 65; }, EPtpReadError::BadLength},
        {"length short of a body", [](auto& m) { m[3] = 40; }, EPtpReadError::BadLength},
    };
    for (const Row& row : rows) {
        auto m = Announce();
        row.change(m);
        EPtpReadError error;
        const auto a = ReadPtpAnnounce(m.data(), m.size(), &error);
        EXPECT_EQ(error, row.error) << row.what;
        EXPECT_EQ(a.has_value(), row.error == EPtpReadError::None) << row.what;
    }
    const auto a = *ReadPtpAnnounce(Announce().data(), 64);
    EXPECT_EQ(ClockIdentityText(a.grandmaster), "0A-1B-2C-FF-FE-3D-4E-5F");
    EXPECT_EQ(std::tie(a.domain, a.priority1, a.clockClass, a.clockAccuracy, a.offsetScaledLogVariance, a.priority2,
                       a.stepsRemoved, a.timeSource, a.currentUtcOffset, a.logMessageInterval),
              std::make_tuple(7, 128, 248, 0xFE, 0xFFFF, 128, 0, 0xA0, 37, 1));
}

TEST(GrandmasterTable, MatchesTheClockAStreamNames)
{
    CGrandmasterTable table;
    auto a = *ReadPtpAnnounce(Announce().data(), 64);
    table.Heard(a, "192.0.2.1", 100);
    a.grandmaster[7] = 0x60;   // a second grandmaster, heard at 80: gone 10 s later
    table.Heard(a, "192.0.2.2", 80);
    table.Expire(105);
    ASSERT_EQ(table.List().size(), 1u);
    EXPECT_EQ(table.List()[0].source, "192.0.2.1");
    struct Row {
        const char* version;
        const char* gmid;
        std::optional<int> domain;
        bool listening;
        const char* text;
    } rows[] = {
        {"IEEE1588-2008", "0A-1B-2C-FF-FE-3D-4E-5F", 7, true, "clock heard"},
        {"IEEE1588-2019", "0A-1B-2C-FF-FE-3D-4E-5F", std::nullopt, true, "clock heard"},
        {"IEEE1588-2008", "0A-1B-2C-FF-FE-3D-4E-5F", 0, true, "clock heard in domain 7"},
        {"IEEE1588-2008", "0A-1B-2C-FF-FE-3D-4E-60", 7, true, "clock not on this network"},
        {"IEEE1588-2008", "0A-1B-2C-FF-FE-3D-4E-5F", 7, false, ""},
        {"IEEE1588-2008", "", 7, true, ""},
        {"IEEE802.1AS-2011", "0A-1B-2C-FF-FE-3D-4E-60", 7, true, ""},
    };
    for (const Row& row : rows) {
        CPtpReference reference{row.version, row.gmid, false, row.domain, ""};
        EXPECT_EQ(ClockStateText(MatchClock(reference, table.List(), row.listening)), row.text) << row.gmid;
    }
    // Two streams of domain 7 follow the grandmaster heard, one another: that one is marked.
    const CPtpReference heard{"IEEE1588-2008", "0A-1B-2C-FF-FE-3D-4E-5F", false, 7, ""};
    CPtpReference other = heard;
    other.gmid = "0A-1B-2C-FF-FE-3D-4E-60";
    const auto groups = GroupClocks({heard, other, heard}, table.List(), true);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].grandmasters.size(), 2u);
    EXPECT_TRUE(!groups[0].grandmasters[0].differs && groups[0].grandmasters[0].heard);
    EXPECT_TRUE(groups[0].grandmasters[1].differs && !groups[0].grandmasters[1].heard);
}
