#pragma once
#include "base/ViewNotifier.h"

#include <algorithm>
#include <vector>

// The store has one view port; the tree and the list both follow it. Passes
// every notice to each attached view in the order they were attached.
class CViewFanOut final : public ViewNotifier {
public:
    void Attach(ViewNotifier& view)
    {
        if (std::find(m_views.begin(), m_views.end(), &view) == m_views.end())
            m_views.push_back(&view);
    }
    void Detach(ViewNotifier& view) { std::erase(m_views, &view); }

    void UpdateAllViews(const CViewHint& hint) override { Each(&ViewNotifier::UpdateAllViews, hint); }
    bool IsListShowing(const CSDPObject& directory) const override
    {
        return std::any_of(m_views.begin(), m_views.end(),
                           [&](const ViewNotifier* v) { return v->IsListShowing(directory); });
    }
    void RecordAboutToBeAdded(const Record& d, size_t row, const Record& r) override
    {
        Each(&ViewNotifier::RecordAboutToBeAdded, d, row, r);
    }
    void RecordAdded(const Record& d, size_t row, const Record& r) override { Each(&ViewNotifier::RecordAdded, d, row, r); }
    void RecordAboutToBeRemoved(const Record& d, size_t row, const Record& r) override
    {
        Each(&ViewNotifier::RecordAboutToBeRemoved, d, row, r);
    }
    void RecordRemoved(const Record& d, size_t row, const Record& r) override
    {
        Each(&ViewNotifier::RecordRemoved, d, row, r);
    }
    void RecordChanged(const Record& d, size_t row, const Record& r) override
    {
        Each(&ViewNotifier::RecordChanged, d, row, r);
    }
    void BeginWalk() override { Each(&ViewNotifier::BeginWalk); }
    void EndWalk() override { Each(&ViewNotifier::EndWalk); }
    void BeginReset() override { Each(&ViewNotifier::BeginReset); }
    void EndReset() override { Each(&ViewNotifier::EndReset); }

private:
    // A view detached by a notice (a window closing) misses the rest of it
    // only: the copy keeps the loop valid.
    template <class F, class... A>
    void Each(F f, const A&... a)
    {
        const std::vector<ViewNotifier*> views = m_views;
        for (ViewNotifier* v : views)
            if (std::find(m_views.begin(), m_views.end(), v) != m_views.end())
                (v->*f)(a...);
    }
    std::vector<ViewNotifier*> m_views;
};
