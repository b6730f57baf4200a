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
    std::string key = record->originSessionId;
    m_nodes.push_back(Node{std::move(record), std::move(key), m_nextOrder++});
    auto it = std::prev(m_nodes.end());
    m_index.emplace(std::string_view(it->key), it);
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
    for (Nodes::iterator* cursor : m_cursors)
        *cursor = m_nodes.end();
}

long CSessionList::IndexOf(const CSDPObject& record) const
{
    long i = 0;
    for (const Node& node : m_nodes) {
        if (node.record.get() == &record)
            return i;
        ++i;
    }
    return -1;
}
