#pragma once
#include <bitset>
#include <initializer_list>

// Which commands of the main window are available, decided from the active
// pane and what is selected in it, without any widget: the window gathers
// the facts and applies the answer to its menus and toolbar.
enum class ECommand : int {
    Open,
    NewFolder,
    NewSession,
    Delete,
    Edit,
    Properties,
    ClearCache,
    Settings,
    Tools,
    Filter,  // Current ... All
    Arrange, // by Name ... by Media
    AutoStart,
    CopySdp,
    SaveSdp,
    kCount
};

class CCommandSet {
public:
    CCommandSet() = default;
    CCommandSet(std::initializer_list<ECommand> commands)
    {
        for (ECommand c : commands)
            Set(c);
    }
    static CCommandSet All() { return CCommandSet().Flip(); }

    bool Has(ECommand c) const { return m_bits.test(static_cast<size_t>(c)); }
    CCommandSet& Set(ECommand c, bool on = true)
    {
        m_bits.set(static_cast<size_t>(c), on);
        return *this;
    }
    CCommandSet& Flip()
    {
        m_bits.flip();
        return *this;
    }
    bool operator==(const CCommandSet&) const = default;

private:
    std::bitset<static_cast<size_t>(ECommand::kCount)> m_bits;
};

// What the window knows when it decides. The "row" is the first selected
// row of the session list (in list order); the tree item is the tree's
// selection.
struct CPaneFacts {
    bool listActive = false;         // else the directory tree is the active pane
    bool listShowsDirectory = false; // the list shows a directory, not the top level
    bool hasRow = false;
    bool rowOwn = false;
    bool rowIsDirectory = false; // a folder or a scope directory
    bool rowActiveNow = false;
    bool rowAutoStart = false;   // the start-tools flag
    bool treeHasDirectory = false; // a directory item, not the root
    bool treeOwn = false;
};

struct CCommandState {
    CCommandSet enabled;
    // Auto Start's check mark. With no row Auto Start keeps whatever it
    // showed before, enabled state included.
    bool autoStartChecked = false;
    bool autoStartKept = false;
};

// `handled`: the commands someone carries out; the others stay disabled
// whatever the selection.
CCommandState DecideCommands(const CPaneFacts& facts, const CCommandSet& handled = CCommandSet::All());
