#include "gui/CommandState.h"

#include <gtest/gtest.h>

namespace {

using C = ECommand;

struct CCase {
    const char* name;
    CPaneFacts facts;
    CCommandSet expected;
    bool autoStartChecked = false;
    bool autoStartKept = false;
    CCommandSet handled = CCommandSet::All();
};

// Always there with the list active (Properties acts on the first row, or
// does nothing without one).
const CCommandSet kListBase{C::Open, C::Properties, C::ClearCache, C::Settings, C::Tools, C::Filter, C::Arrange};

CCommandSet With(CCommandSet set, std::initializer_list<ECommand> more)
{
    for (ECommand c : more)
        set.Set(c);
    return set;
}

const CCase kCases[] = {
    {"ListTopLevelNoRow", {.listActive = true}, kListBase, false, true},
    {"ListInDirectoryTheirFutureSession",
     {.listActive = true, .listShowsDirectory = true, .hasRow = true},
     With(kListBase, {C::NewFolder, C::NewSession, C::AutoStart, C::CopySdp, C::SaveSdp})},
    {"ListOwnSessionOnNowMarkedForAutoStart",
     {.listActive = true, .hasRow = true, .rowOwn = true, .rowActiveNow = true, .rowAutoStart = true},
     With(kListBase, {C::Delete, C::Edit, C::CopySdp, C::SaveSdp}), true},
    {"ListOwnFolderRow",
     {.listActive = true, .listShowsDirectory = true, .hasRow = true, .rowOwn = true, .rowIsDirectory = true},
     With(kListBase, {C::NewFolder, C::NewSession, C::Delete, C::Edit})},
    {"ListWithoutTheWindowsOfOthers",
     {.listActive = true, .listShowsDirectory = true, .hasRow = true, .rowOwn = true},
     {C::Open, C::ClearCache, C::Filter, C::Arrange, C::Delete, C::AutoStart, C::CopySdp, C::SaveSdp}, false, false,
     CCommandSet::All()
         .Set(C::NewFolder, false)
         .Set(C::NewSession, false)
         .Set(C::Edit, false)
         .Set(C::Properties, false)
         .Set(C::Settings, false)
         .Set(C::Tools, false)},
    // The tree never opens rows, has no Settings or Tools, and Auto Start
    // is not in its menu, whatever the list holds.
    {"TreeRoot", {.hasRow = true, .rowAutoStart = true}, {C::ClearCache, C::Filter, C::Arrange}},
    {"TreeTheirFolder",
     {.listShowsDirectory = true, .treeHasDirectory = true},
     {C::ClearCache, C::Filter, C::Arrange, C::NewFolder, C::NewSession, C::Properties}},
    {"TreeOwnFolder",
     {.treeHasDirectory = true, .treeOwn = true},
     {C::ClearCache, C::Filter, C::Arrange, C::NewFolder, C::NewSession, C::Properties, C::Delete, C::Edit}},
};

class CommandStateTest : public ::testing::TestWithParam<CCase> {};

TEST_P(CommandStateTest, EnablesByPaneAndSelection)
{
    const CCase& c = GetParam();
    const CCommandState state = DecideCommands(c.facts, c.handled);
    for (int i = 0; i < static_cast<int>(ECommand::kCount); ++i) {
        const auto command = static_cast<ECommand>(i);
        EXPECT_EQ(state.enabled.Has(command), c.expected.Has(command)) << "command " << i;
    }
    EXPECT_EQ(state.autoStartKept, c.autoStartKept);
    EXPECT_EQ(state.autoStartChecked, c.autoStartChecked);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandStateTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
