#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory_resource>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CSDPObject;

// One list of the session store: records in insertion order plus an index
// by origin session id, so that finding, adding and removing a session do
// not depend on how many the list holds. Several records may share an id
// (sessions of different senders, or a cache appended without checking):
// they hang in one chain, and lookups by id give the first in list order.
//
// A stored record's origin session id must not change while it is in the
// list (refreshes only ever copy an equal id).
class CSessionList {
    struct Node;
    using Nodes = std::pmr::list<Node>;
    struct Node {
        std::shared_ptr<CSDPObject> record;
        std::string key;            // the id the node is indexed under
        uint64_t order;             // insertion order, for positions
        Nodes::iterator nextSame;   // the next node with this id in list order, or the end
    };

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
        // The same without taking a reference: the answer stays valid only
        // until the list next changes (copy it before calling out).
        const Record* NextInPlace();
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
    // The same without taking a reference (no shared count to bump): the
    // record stays valid while the list holds it.
    CSDPObject* PeekById(std::string_view id) const;
    // The first record that is the same session as `like` (IsSameSession), or null.
    Record Find(const CSDPObject& like) const;
    // Takes the first record with the same session as `like` out of the list.
    Record Take(const CSDPObject& like);
    // The first record with this id whose fields were last taken from the
    // text with this hash (CSDPObject::sourceHash), without a reference.
    CSDPObject* PeekBySourceHash(std::string_view id, uint64_t hash) const;
    // Every record with this origin session id, in list order.
    std::vector<Record> AllWithId(std::string_view id) const;
    // Takes exactly this record out (not another one with its id).
    bool Remove(const CSDPObject& record);
    void Clear();
    // Room in the index for `count` records in all (a loader knows the count).
    void Reserve(size_t count);
    // Position of exactly this record in list order, -1 when absent.
    // Logarithmic in the list's size: item models ask on every notice.
    long IndexOf(const CSDPObject& record) const;
    // The record at a position in list order, null past the end (logarithmic).
    Record At(size_t row) const;

private:
    // Ids are mostly short decimal texts: read in 8-byte words and folded
    // by 128-bit multiplies, keyed per process so that ids chosen to
    // collide cannot pile up in one place. Never 0 (an empty slot).
    struct IdHash {
        uint64_t key[2];
        static IdHash ForThisProcess();
        uint64_t operator()(std::string_view id) const;
    };
    // The index: one entry per distinct id, open addressing with linear
    // probing in a power-of-two table at most three quarters full. An entry names the
    // first node with its id; the others follow through `nextSame`.
    struct Entry {
        uint64_t hash = 0; // 0: empty
        Nodes::iterator head;
        Nodes::iterator tail; // the last node with this id, where an append goes
    };
    static constexpr size_t kNoEntry = ~size_t(0);
    // Where `id` is, or the empty entry where it would go (table not empty).
    size_t Probe(std::string_view id, uint64_t hash) const;
    // The entry of `id`, or kNoEntry.
    size_t EntryOf(std::string_view id) const;
    // The first node with this id whose record `match` takes, in list
    // order; `entry` gets the id's entry when there is a node.
    template <class Match>
    std::optional<Nodes::iterator> FirstWithId(std::string_view id, Match match, size_t* entry = nullptr) const;
    void Rehash(size_t capacity);
    void EraseEntry(size_t at);
    void Erase(Nodes::iterator node, size_t entry);
    // Positions: a Fenwick tree over the insertion numbers counts the live
    // records before any node. Numbers are handed out in list order and
    // renumbered densely when they run out, so the tree stays about as
    // large as the list.
    void CountSlot(uint64_t order, int delta);
    size_t LiveBefore(uint64_t order) const;
    void Renumber(size_t capacity);

    // The list nodes live together in pooled blocks, not spread between the
    // records on the heap: a lookup in a large list then touches few pages.
    std::pmr::unsynchronized_pool_resource m_pool;
    Nodes m_nodes{&m_pool};
    IdHash m_hash = IdHash::ForThisProcess();
    std::vector<Entry> m_table;
    size_t m_ids = 0;                // entries in use
    uint64_t m_nextOrder = 0;
    std::vector<Nodes::iterator*> m_cursors;
    std::vector<uint32_t> m_counts;  // the Fenwick tree, 1-based
    std::vector<Node*> m_slots;      // insertion number -> node, null once gone
};
