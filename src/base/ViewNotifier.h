#pragma once
#include <memory>

class CSDPObject;

// What the store tells the views. A hint is -1 (the lists changed: every
// view brings itself up to date), 0 (back to the top level) or a directory
// record (the session list is to show that directory).
struct CViewHint {
    static constexpr int kListsChanged = -1;
    static constexpr int kTopLevel = 0;

    int code = kListsChanged;
    std::shared_ptr<CSDPObject> directory; // set when the hint names a directory

    static CViewHint ListsChanged() { return {}; }
    static CViewHint TopLevel() { return {kTopLevel, nullptr}; }
    // Showing "no directory" is the top level.
    static CViewHint Show(std::shared_ptr<CSDPObject> dir)
    {
        return dir ? CViewHint{1, std::move(dir)} : TopLevel();
    }
    bool NamesDirectory() const { return directory != nullptr; }
};

class ViewNotifier {
public:
    virtual ~ViewNotifier() = default;
    virtual void UpdateAllViews(const CViewHint& hint) = 0;
    // Is the session list currently showing this directory's sessions?
    virtual bool IsListShowing(const CSDPObject& directory) const = 0;
    // The session list drops the row of a record the walk removes.
    virtual void RemoveListRow(const CSDPObject& record) = 0;
    // The directory tree drops the item of a removed directory.
    virtual void DeleteTreeItem(CSDPObject& directory) = 0;
    // Finer notices for item models and the headless listener: a record
    // entered or left a list (refreshes are not changes).
    virtual void RecordAdded(const std::shared_ptr<CSDPObject>& /*record*/) {}
    virtual void RecordRemoved(const std::shared_ptr<CSDPObject>& /*record*/) {}
};
