#pragma once
#include <cstddef>
#include <memory>

class CSDPObject;

// A hint is -1 (the lists changed: every view brings itself up to date), 0
// (back to the top level) or a directory record (the session list is to
// show that directory).
struct CViewHint {
    static constexpr int kListsChanged = -1;
    static constexpr int kTopLevel = 0;
    static constexpr int kDirectory = 1;

    int code = kListsChanged;
    std::shared_ptr<CSDPObject> directory; // set when the hint names a directory

    static CViewHint ListsChanged() { return {}; }
    static CViewHint TopLevel() { return {kTopLevel, nullptr}; }
    // Showing "no directory" is the top level.
    static CViewHint Show(std::shared_ptr<CSDPObject> dir)
    {
        return dir ? CViewHint{kDirectory, std::move(dir)} : TopLevel();
    }
    bool NamesDirectory() const { return directory != nullptr; }
};

// What the store tells its views, in the terms item models need.
//
// A record's place is its parent directory (null: the main list) and its
// row, the position in that list's insertion order. Every about-to notice is
// followed by its completion before the store does anything else with
// views: about-to-add comes while the list does not hold the record yet,
// added once it does; about-to-remove while it is still there, removed once
// it is gone. Removing a directory removes everything below it with it: its
// children get no notices of their own.
//
// The walk is one batch between BeginWalk and EndWalk, so a view can defer
// its work to the end. A reset (loading the cache, clearing it, emptying the
// store) sends no row notices between BeginReset and EndReset: afterwards
// the views read the store anew.
//
// The hints are sent after the notices, at most once per walk or reset.
class ViewNotifier {
public:
    virtual ~ViewNotifier() = default;
    virtual void UpdateAllViews(const CViewHint& hint) = 0;
    // Is the session list currently showing this directory's sessions?
    virtual bool IsListShowing(const CSDPObject& directory) const = 0;

    using Record = std::shared_ptr<CSDPObject>;
    virtual void RecordAboutToBeAdded(const Record& /*directory*/, size_t /*row*/, const Record& /*record*/) {}
    virtual void RecordAdded(const Record& /*directory*/, size_t /*row*/, const Record& /*record*/) {}
    virtual void RecordAboutToBeRemoved(const Record& /*directory*/, size_t /*row*/, const Record& /*record*/) {}
    virtual void RecordRemoved(const Record& /*directory*/, size_t /*row*/, const Record& /*record*/) {}
    // Something a view shows of the record changed (a refresh with other
    // texts, times, media or type; the walk's next start or Auto Start mark).
    virtual void RecordChanged(const Record& /*directory*/, size_t /*row*/, const Record& /*record*/) {}
    virtual void BeginWalk() {}
    virtual void EndWalk() {}
    virtual void BeginReset() {}
    virtual void EndReset() {}
};
