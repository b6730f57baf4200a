#include "web/WebSnapshot.h"

#include <algorithm>
#include <cstring>
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

const CWebDirectory::CSearchIndex& CWebDirectory::Search() const
{
    std::lock_guard lock(m_orders->lock);
    if (!m_orders->search) {
        auto index = std::make_unique<CSearchIndex>();
        size_t size = 0;
        for (const auto& s : sessions)
            size += s->searchKey.size() + 1;
        index->keys.reserve(size);
        index->ends.reserve(sessions.size());
        for (const auto& s : sessions) {
            index->keys += s->searchKey;
            index->keys += '\n';
            index->ends.push_back(static_cast<uint32_t>(index->keys.size()));
        }
        m_orders->search = std::move(index);
    }
    return *m_orders->search;
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
    const CSearchNeedle needle = SearchNeedleOf(query.search);
    if (!needle.usable)
        return page; // no text of a row holds a line break
    const auto late = [&] { return page.late = std::chrono::steady_clock::now() > query.deadline; };
    // The rows the search keeps: one pass over the keys, each match moving
    // on to the next row (in time linear in the keys, whatever the text).
    std::vector<uint8_t> kept(directory.sessions.size(), needle.folded.empty());
    if (!needle.folded.empty()) {
        const CWebDirectory::CSearchIndex& index = directory.Search();
        const char* keys = index.keys.data();
        for (size_t at = 0, found = 0; at < index.keys.size(); ++found) {
            const void* hit = memmem(keys + at, index.keys.size() - at, needle.folded.data(), needle.folded.size());
            if (!hit || (found % 1024 == 1023 && late()))
                break;
            const auto row = std::upper_bound(index.ends.begin(), index.ends.end(),
                                              static_cast<uint32_t>(static_cast<const char*>(hit) - keys));
            kept[static_cast<size_t>(row - index.ends.begin())] = 1;
            at = *row;
        }
    }
    const bool anyTime = query.filterMode < listrules::kFilterCurrent || query.filterMode > listrules::kFilterThisMonth;
    const std::vector<uint32_t>& order = directory.Order(query.sortMode);
    for (size_t n = 0; n < order.size() && !page.late; ++n) {
        if (n % 4096 == 4095 && late())
            break;
        const uint32_t i = order[n];
        if (!kept[i] || !(anyTime || directory.sessions[i]->Passes(query.filterMode)))
            continue;
        if (page.total >= query.offset && page.total < end)
            page.rows.push_back(directory.sessions[i].get());
        ++page.total;
    }
    if (page.late)
        page.rows.clear();
    return page;
}
