#pragma once
#include "base/ProgramExit.h"
#include "base/ToolStarter.h"
#include "base/ViewNotifier.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Records the store's notices to the views and checks them as an item model
// would: it mirrors every list from the notices alone, so a notice at the
// wrong row, before or after its time, or missing shows up in `faults` (and
// as a difference between the mirror and the store). `showing` is the
// directory the session list displays; `mainList` is the store's.
class CFakeViews final : public ViewNotifier {
public:
    using Rows = std::vector<Record>;

    void UpdateAllViews(const CViewHint& hint) override
    {
        Expect(!m_pending, "a hint between an about-to notice and its completion");
        hints.push_back(hint);
        events.push_back(hint.NamesDirectory() ? "hint dir " + hint.directory->originSessionId
                                               : "hint " + std::to_string(hint.code));
        if (hint.NamesDirectory() || hint.code == CViewHint::kTopLevel)
            showing = hint.NamesDirectory() ? hint.directory.get() : nullptr;
    }
    bool IsListShowing(const CSDPObject& directory) const override { return showing == &directory; }

    void RecordAboutToBeAdded(const Record& dir, size_t row, const Record& r) override
    {
        Begin("add", dir, row, r);
        Expect(ListOf(dir) && ListOf(dir)->IndexOf(*r) < 0, "about-to-add: the list holds the record already");
        Expect(row <= m_rows[dir.get()].size(), "about-to-add: row past the end");
    }
    void RecordAdded(const Record& dir, size_t row, const Record& r) override
    {
        End("add", dir, row, r);
        Expect(ListOf(dir) && ListOf(dir)->At(row) == r, "added: the record is not at its row");
        Rows& rows = m_rows[dir.get()];
        rows.insert(rows.begin() + static_cast<long>(std::min(row, rows.size())), r);
        added.push_back(r->originSessionId);
    }
    void RecordAboutToBeRemoved(const Record& dir, size_t row, const Record& r) override
    {
        Begin("remove", dir, row, r);
        Expect(ListOf(dir) && ListOf(dir)->At(row) == r, "about-to-remove: the list no longer holds it there");
        Expect(MirrorAt(dir, row) == r, "about-to-remove: the model has another record at that row");
    }
    void RecordRemoved(const Record& dir, size_t row, const Record& r) override
    {
        End("remove", dir, row, r);
        Expect(!ListOf(dir) || ListOf(dir)->IndexOf(*r) < 0, "removed: the list still holds it");
        if (MirrorAt(dir, row) == r)
            m_rows[dir.get()].erase(m_rows[dir.get()].begin() + static_cast<long>(row));
        Forget(*r);
        removed.push_back(r->originSessionId);
    }
    void RecordChanged(const Record& dir, size_t row, const Record& r) override
    {
        Expect(!m_pending, "changed inside an add or remove");
        Expect(MirrorAt(dir, row) == r, "changed: the model has another record at that row");
        events.push_back("change " + r->originSessionId + "@" + std::to_string(row));
        changed.push_back(r->originSessionId);
    }
    void BeginWalk() override { Frame(m_walk, true, "walk"); }
    void EndWalk() override
    {
        Frame(m_walk, false, "walk");
        CheckMirror();
    }
    void BeginReset() override { Frame(m_reset, true, "reset"); }
    void EndReset() override
    {
        Frame(m_reset, false, "reset");
        m_rows.clear();
        if (mainList)
            Collect(nullptr, *mainList, m_rows);
    }

    // The mirror equals the store, list by list.
    void CheckMirror()
    {
        if (!mainList)
            return;
        std::map<const CSDPObject*, Rows> store;
        Collect(nullptr, *mainList, store);
        for (auto& [dir, rows] : m_rows)
            if (!rows.empty())
                store[dir]; // a directory the mirror kept but the store dropped
        for (const auto& [dir, rows] : store)
            Expect(m_rows[dir] == rows,
                   "the model differs from the store in " + (dir ? std::string(dir->originSessionId) : std::string("the main list")));
    }
    size_t ListsChangedCount() const
    {
        return std::count_if(hints.begin(), hints.end(),
                             [](const auto& h) { return h.code == CViewHint::kListsChanged; });
    }
    // The events since the last call.
    std::vector<std::string> Take() { return std::exchange(events, {}); }

    // Follows a new store from its current contents.
    void Attach(const CSessionList& list)
    {
        Detach();
        mainList = &list;
        checking = true;
        Collect(nullptr, list, m_rows);
    }
    // Several stores report here: their notices are recorded, not checked.
    void Detach()
    {
        mainList = nullptr;
        checking = false;
        m_rows.clear();
    }
    bool checking = false;

    const CSessionList* mainList = nullptr;
    std::vector<CViewHint> hints;
    const CSDPObject* showing = nullptr;
    std::vector<std::string> added, removed, changed, events, faults;

private:
    void Expect(bool ok, const std::string& what)
    {
        if (!ok && checking)
            faults.push_back(what);
    }
    // A walk or reset frame: no nesting, no end without its begin.
    void Frame(bool& open, bool begin, const std::string& what)
    {
        Expect((begin ? !open && !m_reset : open) && !m_pending, what + " framed wrongly");
        open = begin;
        events.push_back((begin ? "begin " : "end ") + what);
    }
    const CSessionList* ListOf(const Record& dir) const { return dir ? dir->links->children.get() : mainList; }
    Record MirrorAt(const Record& dir, size_t row)
    {
        const Rows& rows = m_rows[dir.get()];
        return row < rows.size() ? rows[row] : nullptr;
    }
    static std::string Name(const std::string& what, const Record& dir, size_t row, const Record& r)
    {
        return what + " " + (dir ? dir->originSessionId + "/" : "") + r->originSessionId + "@" + std::to_string(row);
    }
    void Begin(const char* what, const Record& dir, size_t row, const Record& r)
    {
        Expect(!m_pending && !m_reset, std::string(what) + " nested or inside a reset");
        m_pending = Name(std::string("about-to-") + what, dir, row, r);
        events.push_back(*m_pending);
    }
    void End(const char* what, const Record& dir, size_t row, const Record& r)
    {
        Expect(m_pending == Name(std::string("about-to-") + what, dir, row, r),
               std::string(what) + " without its about-to notice");
        m_pending.reset();
        events.push_back(Name(what, dir, row, r));
    }
    // A removed directory takes the rows below it along.
    void Forget(const CSDPObject& r)
    {
        auto it = m_rows.find(&r);
        if (it == m_rows.end())
            return;
        const Rows rows = std::move(it->second);
        m_rows.erase(it);
        for (const auto& child : rows)
            Forget(*child);
    }
    static void Collect(const CSDPObject* dir, const CSessionList& list, std::map<const CSDPObject*, Rows>& out)
    {
        Rows& rows = out[dir];
        for (const auto& r : list) {
            rows.push_back(r);
            if (r->links->children)
                Collect(r.get(), *r->links->children, out);
        }
    }

    std::map<const CSDPObject*, Rows> m_rows;
    std::optional<std::string> m_pending;
    bool m_walk = false, m_reset = false;
};

class CFakeExit final : public ProgramExit {
public:
    void Exit(int status) override { statuses.push_back(status); }
    std::vector<int> statuses;
};

class CFakeToolStarter final : public ToolStarter {
public:
    void StartTools(const std::shared_ptr<CSDPObject>& session, int mediaIndex, int toolIndex) override
    {
        started.push_back(session->originSessionId + ":" + std::to_string(mediaIndex) + ":" + std::to_string(toolIndex));
    }
    std::vector<std::string> started;
};
