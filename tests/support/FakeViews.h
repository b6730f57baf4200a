#pragma once
#include "base/ProgramExit.h"
#include "base/ToolStarter.h"
#include "base/ViewNotifier.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// Records the store's notices to the views; `showing` is the directory the
// session list displays.
class CFakeViews final : public ViewNotifier {
public:
    void UpdateAllViews(const CViewHint& hint) override
    {
        hints.push_back(hint);
        if (hint.NamesDirectory())
            showing = hint.directory.get();
        else if (hint.code == CViewHint::kTopLevel)
            showing = nullptr;
    }
    bool IsListShowing(const CSDPObject& directory) const override { return showing == &directory; }
    void RemoveListRow(const CSDPObject& record) override { removedRows.push_back(record.originSessionId); }
    void DeleteTreeItem(CSDPObject& directory) override { deletedTreeItems.push_back(directory.originSessionId); }
    void RecordAdded(const std::shared_ptr<CSDPObject>& r) override { added.push_back(r->originSessionId); }
    void RecordRemoved(const std::shared_ptr<CSDPObject>& r) override { removed.push_back(r->originSessionId); }

    size_t ListsChangedCount() const
    {
        return std::count_if(hints.begin(), hints.end(),
                             [](const auto& h) { return h.code == CViewHint::kListsChanged; });
    }

    std::vector<CViewHint> hints;
    const CSDPObject* showing = nullptr;
    std::vector<std::string> removedRows, deletedTreeItems, added, removed;
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
