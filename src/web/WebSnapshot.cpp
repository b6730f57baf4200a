#include "web/WebSnapshot.h"

#include <algorithm>
#include <numeric>

const std::vector<uint32_t>& CWebDirectory::Order(int sortMode) const
{
    std::lock_guard lock(m_orders->lock);
    auto [it, made] = m_orders->bySort.try_emplace(sortMode);
    if (made) {
        std::vector<uint32_t>& order = it->second;
        order.resize(sessions.size());
        std::iota(order.begin(), order.end(), 0u);
        listrules::SortPositions(order, sortMode, [this](uint32_t i) -> const listrules::CRow& { return sessions[i]->row; });
    }
    return it->second;
}

void CWebDirectory::KeepOrdersOf(const CWebDirectory& before)
{
    if (before.sessions == sessions)
        m_orders = before.m_orders;
}

const CWebDirectory* CWebSnapshot::Directory(const std::string& id) const
{
    const auto it = directoryById.find(id);
    return it == directoryById.end() ? nullptr : it->second;
}

WebSessionPtr CWebSnapshot::Session(const std::string& id) const
{
    const auto it = sessionById.find(id);
    return it == sessionById.end() ? nullptr : it->second;
}

CWebSnapshot::CPage CWebSnapshot::Query(const CWebDirectory& directory, const CWebQuery& query) const
{
    CPage page;
    const size_t end = query.offset + std::min(query.limit, directory.sessions.size());
    for (uint32_t i : directory.Order(query.sortMode)) {
        const CWebSession& s = *directory.sessions[i];
        if (!s.Passes(query.filterMode) || !MatchesSearch(s.search, query.search))
            continue;
        if (page.total >= query.offset && page.total < end)
            page.rows.push_back(&s);
        ++page.total;
    }
    return page;
}
