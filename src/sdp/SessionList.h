#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory_resource>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CSDPObject;

// One list of the session store: records in insertion order plus an index
// by origin session id, so that finding, adding and removing a session do
// not depend on how many the list holds. Several records may share an id
// (the cache loader appends without checking); lookups then give the first
// in list order.
//
// A stored record's origin session id must not change while it is in the
// list (refreshes only ever copy an equal id).
class CSessionList {
    struct Node {
        std::shared_ptr<CSDPObject> record;
        std::string key;   // the id the node is indexed under
        uint64_t order;    // insertion order, to pick the first among equal ids
    };
    using Nodes = std::pmr::list<Node>;

public:
    using Record = std::shared_ptr<CSDPObject>;

    class const_iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = Record;
        using difference_type = std::ptrdiff_t;
        using pointer = const Record*;
        using reference = const Record&;
        const_iterator() = default;
        explicit const_iterator(Nodes::const_iterator it) : m_it(it) {}
        reference operator*() const { return m_it->record; }
        pointer operator->() const { return &m_it->record; }
        const_iterator& operator++() { ++m_it; return *this; }
        const_iterator operator++(int) { auto old = *this; ++m_it; return old; }
        const_iterator& operator--() { --m_it; return *this; }
        bool operator==(const const_iterator& o) const { return m_it == o.m_it; }
    private:
        Nodes::const_iterator m_it;
    };

    // Walks a list while it changes under the walker: removing the record
    // the cursor would visit next moves the cursor on, so a walk that calls
    // out (messages, sends, views) never touches a removed node.
    class CCursor {
    public:
        explicit CCursor(CSessionList& list);
        ~CCursor();
        CCursor(const CCursor&) = delete;
        CCursor& operator=(const CCursor&) = delete;
        // The next record, or null at the end.
        Record Next();
    private:
        CSessionList& m_list;
        Nodes::iterator m_next;
    };

    CSessionList() = default;
    ~CSessionList();
    CSessionList(const CSessionList&) = delete;
    CSessionList& operator=(const CSessionList&) = delete;

    size_t Size() const { return m_nodes.size(); }
    bool Empty() const { return m_nodes.empty(); }
    const_iterator begin() const { return const_iterator(m_nodes.cbegin()); }
    const_iterator end() const { return const_iterator(m_nodes.cend()); }
    const Record& Front() const { return m_nodes.front().record; }

    // Appends at the end, indexed by the record's origin session id.
    void Append(Record record);
    // The first record whose origin session id equals `id`, or null.
    Record FindById(std::string_view id) const;
    // The first record that is the same session as `like`, or null.
    Record Find(const CSDPObject& like) const;
    // Takes the first record with the same session as `like` out of the list.
    Record Take(const CSDPObject& like);
    // Takes exactly this record out (not another one with its id).
    bool Remove(const CSDPObject& record);
    void Clear();
    // Room in the index for `count` records in all (a loader knows the count).
    void Reserve(size_t count) { m_index.reserve(count); }
    // Position of exactly this record in list order, -1 when absent.
    // Logarithmic in the list's size: item models ask on every notice.
    long IndexOf(const CSDPObject& record) const;
    // The record at a position in list order, null past the end (logarithmic).
    Record At(size_t row) const;

private:
    using Index = std::pmr::unordered_multimap<std::string_view, Nodes::iterator>;
    Index::const_iterator FirstInIndex(std::string_view id) const;
    void Erase(Index::const_iterator entry);
    // Positions: a Fenwick tree over the insertion numbers counts the live
    // records before any node. Numbers are handed out in list order and
    // renumbered densely when they run out, so the tree stays about as
    // large as the list.
    void CountSlot(uint64_t order, int delta);
    size_t LiveBefore(uint64_t order) const;
    void Renumber(size_t capacity);

    // The list and index nodes live together in pooled blocks, not spread
    // between the records on the heap: a lookup in a large list then touches
    // few pages.
    std::pmr::unsynchronized_pool_resource m_pool;
    Nodes m_nodes{&m_pool};
    Index m_index{&m_pool};
    uint64_t m_nextOrder = 0;
    std::vector<Nodes::iterator*> m_cursors;
    std::vector<uint32_t> m_counts;  // the Fenwick tree, 1-based
    std::vector<Node*> m_slots;      // insertion number -> node, null once gone
};
