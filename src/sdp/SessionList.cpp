#include "sdp/SessionList.h"

#include "base/HashMix.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>

namespace {

using hashmix::FoldMultiply;
using hashmix::Load64;

// Equal hashes nearly always mean equal ids: ids of 8 to 16 bytes are
// compared in two overlapping words, without a call.
[[gnu::always_inline]] inline bool SameId(std::string_view a, std::string_view b)
{
    const size_t n = a.size();
    if (n != b.size())
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(a.data());
    const auto* q = reinterpret_cast<const unsigned char*>(b.data());
    if (n >= 8 && n <= 16)
        return ((Load64(p) ^ Load64(q)) | (Load64(p + n - 8) ^ Load64(q + n - 8))) == 0;
    return n == 0 || std::memcmp(p, q, n) == 0;
}

} // namespace

CSessionList::IdHash CSessionList::IdHash::ForThisProcess()
{
    static const IdHash keys = [] {
        IdHash h{};
        try {
            std::random_device device;
            for (uint64_t& k : h.key)
                k = uint64_t(device()) << 32 | device();
        } catch (const std::exception&) {
            // No entropy source: the clock still differs from run to run.
            h.key[0] = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            h.key[1] = h.key[0] * 0x9E3779B97F4A7C15ull;
        }
        return h;
    }();
    return keys;
}

// Called on every lookup: kept inline there.
[[gnu::always_inline]] inline uint64_t CSessionList::IdHash::operator()(std::string_view id) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(id.data());
    const size_t n = id.size();
    uint64_t state = key[1] ^ n;
    uint64_t a = 0;
    uint64_t b = 0;
    if (n <= 16) {
        const hashmix::CWords words = hashmix::ReadUpTo16(p, n);
        a = words.a;
        b = words.b;
    } else {
        size_t left = n;
        for (; left > 16; left -= 16, p += 16)
            state = FoldMultiply(Load64(p) ^ key[0], Load64(p + 8) ^ state);
        a = Load64(p + left - 16);
        b = Load64(p + left - 8);
    }
    const uint64_t h = FoldMultiply(a ^ key[0], b ^ state);
    return h ? h : 1;
}

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
    const Record* record = NextInPlace();
    return record ? *record : nullptr;
}

const CSessionList::Record* CSessionList::CCursor::NextInPlace()
{
    if (m_next == m_list.m_nodes.end())
        return nullptr;
    const Record* record = &m_next->record;
    ++m_next;
    return record;
}

void CSessionList::Append(Record record)
{
    if (m_nextOrder >= m_slots.size())
        Renumber(std::max<size_t>(16, 2 * m_nodes.size() + 2));
    if (4 * (m_ids + 1) > 3 * m_table.size())
        Rehash(std::max<size_t>(16, 2 * m_table.size()));
    std::string key = record->originSessionId;
    const uint64_t order = m_nextOrder++;
    m_nodes.push_back(Node{std::move(record), std::move(key), order, m_nodes.end()});
    const auto it = std::prev(m_nodes.end());
    const uint64_t hash = m_hash(it->key);
    Entry& entry = m_table[Probe(it->key, hash)];
    if (entry.hash == 0) {
        entry = Entry{hash, it, it};
        ++m_ids;
    } else {
        // Another record with this id (a cache load): last in its chain.
        entry.tail->nextSame = it;
        entry.tail = it;
    }
    m_slots[order] = &*it;
    CountSlot(order, +1);
}

void CSessionList::Reserve(size_t count)
{
    size_t capacity = 16;
    while (3 * capacity < 4 * count)
        capacity *= 2;
    if (capacity > m_table.size())
        Rehash(capacity);
}

[[gnu::always_inline]] inline size_t CSessionList::Probe(std::string_view id, uint64_t hash) const
{
    const size_t mask = m_table.size() - 1;
    size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const Entry& entry = m_table[at];
        if (entry.hash == 0 || (entry.hash == hash && SameId(entry.head->key, id)))
            return at;
    }
}

[[gnu::always_inline]] inline size_t CSessionList::EntryOf(std::string_view id) const
{
    if (m_ids == 0)
        return kNoEntry;
    const size_t at = Probe(id, m_hash(id));
    return m_table[at].hash ? at : kNoEntry;
}

void CSessionList::Rehash(size_t capacity)
{
    std::vector<Entry> old(capacity);
    old.swap(m_table);
    const size_t mask = capacity - 1;
    for (const Entry& entry : old) {
        if (entry.hash == 0)
            continue;
        size_t at = entry.hash & mask;
        while (m_table[at].hash)
            at = (at + 1) & mask;
        m_table[at] = entry;
    }
}

// Backward-shift deletion: entries after the hole that may live in it move
// up, so that no probe stops early and no tombstones pile up.
void CSessionList::EraseEntry(size_t at)
{
    const size_t mask = m_table.size() - 1;
    for (size_t next = (at + 1) & mask; m_table[next].hash; next = (next + 1) & mask) {
        const size_t home = m_table[next].hash & mask;
        if (((next - home) & mask) >= ((next - at) & mask)) {
            m_table[at] = m_table[next];
            at = next;
        }
    }
    m_table[at] = Entry{};
    --m_ids;
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

CSessionList::Record CSessionList::FindById(std::string_view id) const
{
    const size_t at = EntryOf(id);
    return at == kNoEntry ? nullptr : m_table[at].head->record;
}

CSDPObject* CSessionList::PeekById(std::string_view id) const
{
    const size_t at = EntryOf(id);
    return at == kNoEntry ? nullptr : m_table[at].head->record.get();
}

template <class Match>
std::optional<CSessionList::Nodes::iterator> CSessionList::FirstWithId(std::string_view id, Match match,
                                                                      size_t* entry) const
{
    const size_t at = EntryOf(id);
    if (at == kNoEntry)
        return std::nullopt;
    for (auto node = m_table[at].head; node != m_nodes.end(); node = node->nextSame) {
        if (match(*node->record)) {
            if (entry)
                *entry = at;
            return node;
        }
    }
    return std::nullopt;
}

CSessionList::Record CSessionList::Find(const CSDPObject& like) const
{
    const auto node = FirstWithId(like.originSessionId, [&](const CSDPObject& r) { return r.IsSameSession(like); });
    return node ? (*node)->record : nullptr;
}

CSDPObject* CSessionList::PeekBySourceHash(std::string_view id, uint64_t hash) const
{
    const auto node = FirstWithId(id, [hash](const CSDPObject& r) { return r.sourceHash == hash; });
    return node ? (*node)->record.get() : nullptr;
}

std::vector<CSessionList::Record> CSessionList::AllWithId(std::string_view id) const
{
    std::vector<Record> out;
    const size_t at = EntryOf(id);
    if (at != kNoEntry)
        for (auto node = m_table[at].head; node != m_nodes.end(); node = node->nextSame)
            out.push_back(node->record);
    return out;
}

void CSessionList::Erase(Nodes::iterator node, size_t entry)
{
    for (Nodes::iterator* cursor : m_cursors)
        if (*cursor == node)
            ++*cursor;
    m_slots[node->order] = nullptr;
    CountSlot(node->order, -1);
    Entry& e = m_table[entry];
    if (e.head == node) {
        if (node->nextSame == m_nodes.end())
            EraseEntry(entry);
        else
            e.head = node->nextSame;
    } else {
        auto before = e.head;
        while (before->nextSame != node)
            before = before->nextSame;
        before->nextSame = node->nextSame;
        if (e.tail == node)
            e.tail = before;
    }
    m_nodes.erase(node);
}

CSessionList::Record CSessionList::Take(const CSDPObject& like)
{
    size_t at = kNoEntry;
    const auto node = FirstWithId(like.originSessionId, [&](const CSDPObject& r) { return r.IsSameSession(like); }, &at);
    if (!node)
        return nullptr;
    Record record = (*node)->record;
    Erase(*node, at);
    return record;
}

bool CSessionList::Remove(const CSDPObject& record)
{
    size_t at = kNoEntry;
    const auto node = FirstWithId(record.originSessionId, [&](const CSDPObject& r) { return &r == &record; }, &at);
    if (node)
        Erase(*node, at);
    return node.has_value();
}

void CSessionList::Clear()
{
    std::vector<Entry>().swap(m_table);
    m_ids = 0;
    m_nodes.clear();
    m_slots.clear();
    m_counts.clear();
    m_nextOrder = 0;
    for (Nodes::iterator* cursor : m_cursors)
        *cursor = m_nodes.end();
}

long CSessionList::IndexOf(const CSDPObject& record) const
{
    const auto node = FirstWithId(record.originSessionId, [&](const CSDPObject& r) { return &r == &record; });
    return node ? static_cast<long>(LiveBefore((*node)->order)) : -1;
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
