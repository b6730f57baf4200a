#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

// A vector in one machine word: the size and capacity sit in the heap block
// in front of the items, and an empty list holds no block at all. Session
// records keep several short lists each, most of them with one to three
// entries, so the two words a std::vector spends on them add up.
//
// A list may also be placed in room its owner provides (PlaceIn), for the
// lists of a record filled at once; such a block is never freed by the list,
// and growing, copying or moving the list gives it a heap block of its own
// (the room may not outlive the destination).
template <class T>
class CSlimList {
    static_assert(std::is_nothrow_move_constructible_v<T>, "items are moved when the block grows");
    struct Header {
        uint32_t size;
        uint32_t capacity; // kBorrowed set: the block belongs to someone else
    };
    static constexpr uint32_t kBorrowed = 0x80000000u;
    static constexpr size_t kAlign = alignof(T) > alignof(Header) ? alignof(T) : alignof(Header);
    static_assert(kAlign <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    static constexpr size_t kItemsAt = (sizeof(Header) + kAlign - 1) / kAlign * kAlign;

public:
    using value_type = T;
    using size_type = size_t;
    using difference_type = std::ptrdiff_t;
    using reference = T&;
    using const_reference = const T&;
    using pointer = T*;
    using const_pointer = const T*;
    using iterator = T*;
    using const_iterator = const T*;

    CSlimList() noexcept = default;
    explicit CSlimList(size_t count) { resize(count); }
    CSlimList(size_t count, const T& value) { assign(count, value); }
    CSlimList(std::initializer_list<T> items) { assign(items.begin(), items.end()); }
    template <class It, class = typename std::iterator_traits<It>::iterator_category>
    CSlimList(It first, It last) { assign(first, last); }
    CSlimList(const std::vector<T>& items) { assign(items.begin(), items.end()); }
    CSlimList(const CSlimList& other) { assign(other.begin(), other.end()); }
    // Moving a placed list allocates; like the short texts, it is still
    // noexcept (running out of memory there ends the program).
    CSlimList(CSlimList&& other) noexcept { *this = std::move(other); }
    ~CSlimList() { Free(); }

    CSlimList& operator=(const CSlimList& other)
    {
        if (this != &other)
            assign(other.begin(), other.end());
        return *this;
    }
    CSlimList& operator=(CSlimList&& other) noexcept
    {
        if (this == &other)
            return *this;
        if (other.IsBorrowed()) {
            assign(std::make_move_iterator(other.begin()), std::make_move_iterator(other.end()));
            other.clear();
        } else {
            Free();
            m_items = std::exchange(other.m_items, nullptr);
        }
        return *this;
    }
    CSlimList& operator=(std::initializer_list<T> items)
    {
        assign(items.begin(), items.end());
        return *this;
    }
    CSlimList& operator=(const std::vector<T>& items)
    {
        assign(items.begin(), items.end());
        return *this;
    }

    size_t size() const noexcept { return m_items ? Head()->size : 0; }
    size_t capacity() const noexcept { return m_items ? Head()->capacity & ~kBorrowed : 0; }
    bool empty() const noexcept { return size() == 0; }
    T* data() noexcept { return m_items; }
    const T* data() const noexcept { return m_items; }
    iterator begin() noexcept { return m_items; }
    iterator end() noexcept { return m_items + size(); }
    const_iterator begin() const noexcept { return m_items; }
    const_iterator end() const noexcept { return m_items + size(); }
    const_iterator cbegin() const noexcept { return begin(); }
    const_iterator cend() const noexcept { return end(); }
    T& operator[](size_t i) noexcept { return m_items[i]; }
    const T& operator[](size_t i) const noexcept { return m_items[i]; }
    T& at(size_t i) { return i < size() ? m_items[i] : OutOfRange(); }
    const T& at(size_t i) const { return i < size() ? m_items[i] : OutOfRange(); }
    T& front() noexcept { return m_items[0]; }
    const T& front() const noexcept { return m_items[0]; }
    T& back() noexcept { return m_items[size() - 1]; }
    const T& back() const noexcept { return m_items[size() - 1]; }

    void reserve(size_t count)
    {
        if (count > capacity())
            Regrow(count);
    }
    void clear() noexcept { Free(); }
    template <class... Args>
    T& emplace_back(Args&&... args)
    {
        const size_t n = size();
        if (n == capacity()) {
            // The new item may be built from one of the old ones.
            T item(std::forward<Args>(args)...);
            Regrow(n ? n * 2 : 1);
            ::new (m_items + n) T(std::move(item));
        } else {
            ::new (m_items + n) T(std::forward<Args>(args)...);
        }
        Head()->size = static_cast<uint32_t>(n + 1);
        return m_items[n];
    }
    void push_back(const T& item) { emplace_back(item); }
    void push_back(T&& item) { emplace_back(std::move(item)); }
    void pop_back() noexcept { ShrinkTo(size() - 1); }
    void resize(size_t count)
    {
        reserve(count);
        while (size() < count)
            emplace_back();
        ShrinkTo(count);
    }
    void resize(size_t count, const T& value)
    {
        reserve(count);
        while (size() < count)
            emplace_back(value);
        ShrinkTo(count);
    }
    void assign(size_t count, const T& value)
    {
        const T copy(value); // `value` may be an item of this list
        clear();
        resize(count, copy);
    }
    template <class It>
    void assign(It first, It last)
    {
        CSlimList fresh;
        if constexpr (std::is_base_of_v<std::forward_iterator_tag, typename std::iterator_traits<It>::iterator_category>)
            fresh.reserve(static_cast<size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            fresh.emplace_back(*first);
        *this = std::move(fresh);
    }
    void assign(std::initializer_list<T> items) { assign(items.begin(), items.end()); }
    iterator erase(const_iterator first, const_iterator last)
    {
        T* const at = m_items + (first - m_items);
        const size_t gone = static_cast<size_t>(last - first);
        if (gone != 0) {
            std::move(at + gone, end(), at);
            ShrinkTo(size() - gone);
        }
        return at;
    }
    iterator erase(const_iterator pos) { return erase(pos, pos + 1); }
    iterator insert(const_iterator pos, T item)
    {
        const size_t index = static_cast<size_t>(pos - m_items);
        emplace_back(std::move(item));
        std::rotate(m_items + index, end() - 1, end());
        return m_items + index;
    }
    // Exchanges the blocks as they are: a placed list stays in its room, so
    // the owners of such lists exchange that room too.
    void swap(CSlimList& other) noexcept { std::swap(m_items, other.m_items); }
    // Room for a list of `count` items placed with PlaceIn.
    static constexpr size_t BlockBytes(size_t count) { return count ? kItemsAt + count * sizeof(T) : 0; }
    // Makes an empty list use `room` (BlockBytes(count) bytes, aligned for
    // T and kept by the caller for as long as the list holds it).
    void PlaceIn(char* room, size_t count) noexcept
    {
        Free();
        if (!room || count == 0 || count >= kBorrowed)
            return;
        m_items = reinterpret_cast<T*>(room + kItemsAt);
        *Head() = Header{0, static_cast<uint32_t>(count) | kBorrowed};
    }

    operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

    friend bool operator==(const CSlimList& a, const CSlimList& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const CSlimList& a, const std::vector<T>& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    bool IsBorrowed() const noexcept { return m_items && (Head()->capacity & kBorrowed) != 0; }
    Header* Head() const noexcept { return reinterpret_cast<Header*>(reinterpret_cast<char*>(m_items) - kItemsAt); }
    [[noreturn]] static T& OutOfRange() { throw std::out_of_range("CSlimList::at"); }
    void ShrinkTo(size_t count) noexcept
    {
        const size_t n = size();
        if (count >= n)
            return;
        std::destroy(m_items + count, m_items + n);
        Head()->size = static_cast<uint32_t>(count);
    }
    void Regrow(size_t count)
    {
        if (count > UINT32_MAX)
            throw std::length_error("CSlimList");
        char* block = static_cast<char*>(::operator new(kItemsAt + count * sizeof(T)));
        T* items = reinterpret_cast<T*>(block + kItemsAt);
        const size_t n = size();
        std::uninitialized_move(m_items, m_items + n, items);
        Free();
        m_items = items;
        *Head() = Header{static_cast<uint32_t>(n), static_cast<uint32_t>(count)};
    }
    void Free() noexcept
    {
        if (!m_items)
            return;
        const bool borrowed = IsBorrowed();
        std::destroy(begin(), end());
        if (!borrowed)
            ::operator delete(reinterpret_cast<char*>(m_items) - kItemsAt);
        m_items = nullptr;
    }

    T* m_items = nullptr;
};
