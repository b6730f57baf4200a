#include "gui/CommandState.h"

namespace {
CCommandSet ListCommands(const CPaneFacts& f)
{
    const bool session = f.hasRow && !f.rowIsDirectory;
    CCommandSet on{ECommand::Open, ECommand::Properties, ECommand::ClearCache, ECommand::Settings, ECommand::Tools,
                   ECommand::Filter, ECommand::Arrange};
    on.Set(ECommand::NewFolder, f.listShowsDirectory).Set(ECommand::NewSession, f.listShowsDirectory);
    on.Set(ECommand::Delete, f.hasRow && f.rowOwn).Set(ECommand::Edit, f.hasRow && f.rowOwn);
    // A session on now is past the point where Auto Start could wait for it.
    on.Set(ECommand::AutoStart, session && !f.rowActiveNow);
    on.Set(ECommand::CopySdp, session).Set(ECommand::SaveSdp, session);
    return on;
}

CCommandSet TreeCommands(const CPaneFacts& f)
{
    CCommandSet on{ECommand::ClearCache, ECommand::Filter, ECommand::Arrange};
    for (ECommand c : {ECommand::NewFolder, ECommand::NewSession, ECommand::Properties})
        on.Set(c, f.treeHasDirectory);
    on.Set(ECommand::Delete, f.treeHasDirectory && f.treeOwn).Set(ECommand::Edit, f.treeHasDirectory && f.treeOwn);
    return on;
}
} // namespace

CCommandState DecideCommands(const CPaneFacts& facts, const CCommandSet& handled)
{
    CCommandState state;
    const CCommandSet wanted = facts.listActive ? ListCommands(facts) : TreeCommands(facts);
    for (int i = 0; i < static_cast<int>(ECommand::kCount); ++i) {
        const auto c = static_cast<ECommand>(i);
        state.enabled.Set(c, wanted.Has(c) && handled.Has(c));
    }
    if (facts.listActive && !facts.hasRow)
        state.autoStartKept = true;
    else
        state.autoStartChecked = facts.listActive && facts.rowAutoStart;
    return state;
}
