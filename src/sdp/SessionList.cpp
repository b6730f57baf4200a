#include "sdp/SessionList.h"

#include "sdp/SDPObject.h"

#include <algorithm>

CSessionList::~CSessionList() = default;

CSessionList::CCursor::CCursor(CSessionList& list) : m_list(list), m_next(list.m_nodes.begin())
{
    m_list.m_cursors.push_back(&m_next);
}

CSessionList::CCursor::~CCursor()
{
    auto& cursors = m_list.m_cursors;
    cursors.erase(std::find(cursors.begin(), cursors.end(), &m_next));
}

CSessionList::Record CSessionList::CCursor::Next()
{
    if (m_next == m_list.m_nodes.end())
        return nullptr;
    Record record = m_next->record;
    ++m_next;
    return record;
}

void CSessionList::Append(Record record)
{
    if (m_nextOrder >= m_slots.size())
        Renumber(std::max<size_t>(16, 2 * m_nodes.size() + 2));
    std::string key = record->originSessionId;
    const uint64_t order = m_nextOrder++;
    m_nodes.push_back(Node{std::move(record), std::move(key), order});
    auto it = std::prev(m_nodes.end());
    m_index.emplace(std::string_view(it->key), it);
    m_slots[order] = &*it;
    CountSlot(order, +1);
}

void CSessionList::CountSlot(uint64_t order, int delta)
{
    for (size_t i = order + 1; i <= m_counts.size(); i += i & (~i + 1))
        m_counts[i - 1] += static_cast<uint32_t>(delta);
}

size_t CSessionList::LiveBefore(uint64_t order) const
{
    size_t sum = 0;
    for (size_t i = order; i > 0; i -= i & (~i + 1))
        sum += m_counts[i - 1];
    return sum;
}

void CSessionList::Renumber(size_t capacity)
{
    m_slots.assign(capacity, nullptr);
    m_counts.assign(capacity, 0);
    uint64_t order = 0;
    for (Node& node : m_nodes) {
        node.order = order;
        m_slots[order] = &node;
        m_counts[order] = 1;
        ++order;
    }
    m_nextOrder = order;
    // Linear build: each entry passes its sum on to its parent.
    for (size_t i = 1; i <= capacity; ++i)
        if (const size_t parent = i + (i & (~i + 1)); parent <= capacity)
            m_counts[parent - 1] += m_counts[i - 1];
}

CSessionList::Index::const_iterator CSessionList::FirstInIndex(std::string_view id) const
{
    auto [first, last] = m_index.equal_range(id);
    if (first == last)
        return m_index.end();
    // Nearly always one entry; several only after a cache load appended copies.
    auto best = first;
    for (auto it = std::next(first); it != last; ++it)
        if (it->second->order < best->second->order)
            best = it;
    return best;
}

CSessionList::Record CSessionList::FindById(std::string_view id) const
{
    auto entry = FirstInIndex(id);
    return entry == m_index.end() ? nullptr : entry->second->record;
}

CSessionList::Record CSessionList::Find(const CSDPObject& like) const
{
    return FindById(like.originSessionId);
}

void CSessionList::Erase(Index::const_iterator entry)
{
    const Nodes::iterator node = entry->second;
    for (Nodes::iterator* cursor : m_cursors)
        if (*cursor == node)
            ++*cursor;
    m_slots[node->order] = nullptr;
    CountSlot(node->order, -1);
    m_index.erase(entry);
    m_nodes.erase(node);
}

CSessionList::Record CSessionList::Take(const CSDPObject& like)
{
    auto entry = FirstInIndex(like.originSessionId);
    if (entry == m_index.end())
        return nullptr;
    Record record = entry->second->record;
    Erase(entry);
    return record;
}

bool CSessionList::Remove(const CSDPObject& record)
{
    auto [first, last] = m_index.equal_range(std::string_view(record.originSessionId));
    for (auto it = first; it != last; ++it) {
        if (it->second->record.get() == &record) {
            Erase(it);
            return true;
        }
    }
    return false;
}

void CSessionList::Clear()
{
    m_index.clear();
    m_nodes.clear();
    m_slots.clear();
    m_counts.clear();
    m_nextOrder = 0;
    for (Nodes::iterator* cursor : m_cursors)
        *cursor = m_nodes.end();
}

long CSessionList::IndexOf(const CSDPObject& record) const
{
    auto [first, last] = m_index.equal_range(std::string_view(record.originSessionId));
    for (auto it = first; it != last; ++it)
        if (it->second->record.get() == &record)
            return static_cast<long>(LiveBefore(it->second->order));
    return -1;
}

CSessionList::Record CSessionList::At(size_t row) const
{
    if (row >= m_nodes.size())
        return nullptr;
    // Descend the tree for the slot holding the (row + 1)-th live record.
    size_t pos = 0;
    size_t remaining = row + 1;
    size_t step = 1;
    while (step * 2 <= m_counts.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        if (pos + step <= m_counts.size() && m_counts[pos + step - 1] < remaining) {
            pos += step;
            remaining -= m_counts[pos - 1];
        }
    }
    return m_slots[pos]->record;
}
