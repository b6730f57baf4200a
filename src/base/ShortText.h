#pragma once
#include "base/SlimList.h"

#include <algorithm>
#include <bit>
#include <compare>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// Room for the texts of one record, taken front to back and given back all
// at once when the record goes: one allocation instead of one per text.
class CShortTextPool {
public:
    CShortTextPool() = default;
    ~CShortTextPool() { std::free(m_block); }
    CShortTextPool(const CShortTextPool&) = delete;
    CShortTextPool& operator=(const CShortTextPool&) = delete;

    // Only while nothing was taken yet.
    void Reserve(size_t bytes)
    {
        if (m_used == 0 && bytes > m_size && bytes <= UINT32_MAX) {
            std::free(m_block);
            m_size = 0;
            m_block = static_cast<char*>(std::malloc(bytes));
            if (!m_block)
                throw std::bad_alloc();
            m_size = static_cast<uint32_t>(bytes);
        }
    }
    // `bytes` of room, or null when the pool is full.
    char* Take(size_t bytes) noexcept
    {
        if (m_size - m_used < bytes)
            return nullptr;
        char* at = m_block + m_used;
        m_used += static_cast<uint32_t>(bytes);
        return at;
    }
    // Gives back the room not taken. The block may move: its owner compares
    // Base() before and after and moves its texts along.
    void ShrinkToFit() noexcept
    {
        if (m_used == m_size)
            return;
        if (m_used == 0) {
            std::free(m_block);
            m_block = nullptr;
            m_size = 0;
            return;
        }
        if (char* block = static_cast<char*>(std::realloc(m_block, m_used))) {
            m_block = block;
            m_size = m_used;
        } // else it keeps the larger block
    }
    uintptr_t Base() const noexcept { return reinterpret_cast<uintptr_t>(m_block); }
    void swap(CShortTextPool& other) noexcept
    {
        std::swap(m_block, other.m_block);
        std::swap(m_size, other.m_size);
        std::swap(m_used, other.m_used);
    }
    size_t Size() const noexcept { return m_size; }

private:
    char* m_block = nullptr;
    uint32_t m_size = 0;
    uint32_t m_used = 0;
};

// An 8-bit text in one machine word, for the many fields of a session record
// that are empty or short. Empty is all zero bits; up to six bytes live in
// the word itself; a longer text is either its own heap block holding its
// length and bytes, or bytes in a record's pool that the word points at with
// the length in its top bits (the pool outlives the text; copying or moving
// such a text makes an own block). Always NUL-terminated. Reads like a
// std::string and converts to std::string_view and std::string where those
// are wanted.
class CShortText {
    template <class T>
    static constexpr bool kIsText = std::is_convertible_v<const T&, std::string_view>
                                    && !std::is_same_v<std::remove_cvref_t<T>, CShortText>;

public:
    static constexpr size_t npos = std::string_view::npos;
    static constexpr size_t kInlineMax = 6;

    CShortText() noexcept = default;
    template <class T>
        requires kIsText<T>
    CShortText(const T& text) { m_word = Make(std::string_view(text)); }
    CShortText(const CShortText& other) : m_word(other.IsInline() ? other.m_word : Make(other.View())) {}
    CShortText(CShortText&& other) noexcept : m_word(other.Steal()) {}
    ~CShortText() { Release(m_word); }

    CShortText& operator=(const CShortText& other)
    {
        if (this != &other)
            assign(other.View());
        return *this;
    }
    CShortText& operator=(CShortText&& other) noexcept
    {
        if (this != &other) {
            const uintptr_t word = other.Steal();
            Release(m_word);
            m_word = word;
        }
        return *this;
    }
    template <class T>
        requires kIsText<T>
    CShortText& operator=(const T& text)
    {
        assign(std::string_view(text));
        return *this;
    }

    // The text may lie inside this object's own bytes.
    void assign(std::string_view text)
    {
        const uintptr_t word = Make(text);
        Release(m_word);
        m_word = word;
    }
    // Places a text longer than the inline form in `pool` while it has room.
    void assign(std::string_view text, CShortTextPool& pool)
    {
        const size_t n = text.size();
        char* at;
        if (n <= kInlineMax || n > kViewMax || !(at = pool.Take(n + 1))
            || (reinterpret_cast<uintptr_t>(at) & ~kAddressMask) != 0)
            return assign(text);
        std::memcpy(at, text.data(), n);
        at[n] = '\0';
        Release(m_word);
        m_word = kView | (uintptr_t(n) << kViewShift) | reinterpret_cast<uintptr_t>(at);
    }
    // Exchanges two texts as they are: pooled texts keep pointing into their
    // pools, so their owners exchange the pools too.
    void SwapWords(CShortText& other) noexcept { std::swap(m_word, other.m_word); }
    // A pool block moved by `delta`: a text in [from, from + size) moves along.
    void Rebase(uintptr_t from, size_t size, ptrdiff_t delta) noexcept
    {
        if (IsView() && (m_word & kAddressMask) - from < size)
            m_word = (m_word & ~kAddressMask) | ((m_word & kAddressMask) + static_cast<uintptr_t>(delta));
    }
    void assign(const char* p, size_t n) { assign(std::string_view(p, n)); }
    void assign(size_t n, char c) { assign(std::string(n, c)); }
    CShortText& operator+=(std::string_view more) { return Append(more); }
    CShortText& operator+=(const CShortText& more) { return Append(more.View()); }
    CShortText& operator+=(const std::string& more) { return Append(more); }
    CShortText& operator+=(const char* more) { return Append(more); }
    CShortText& operator+=(char c) { return Append(std::string_view(&c, 1)); }
    void clear() noexcept
    {
        Release(m_word);
        m_word = 0;
    }

    bool empty() const noexcept { return m_word == 0; }
    size_t size() const noexcept
    {
        if (m_word == 0)
            return 0;
        if (IsView())
            return (m_word >> kViewShift) & kViewMax;
        if (IsInline())
            return (m_word & 0xFF) >> 1;
        uint32_t n;
        std::memcpy(&n, Block(), sizeof n);
        return n;
    }
    size_t length() const noexcept { return size(); }
    const char* data() const noexcept
    {
        if (m_word == 0)
            return "";
        if (IsView())
            return reinterpret_cast<const char*>(m_word & kAddressMask);
        if (IsInline())
            return reinterpret_cast<const char*>(&m_word) + 1;
        return Block() + sizeof(uint32_t);
    }
    const char* c_str() const noexcept { return data(); }
    std::string_view View() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return View(); }
    operator std::string() const { return std::string(View()); }
    std::string str() const { return std::string(View()); }

    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + size(); }
    char operator[](size_t i) const noexcept { return data()[i]; }
    char front() const noexcept { return *data(); }
    char back() const noexcept { return data()[size() - 1]; }

    size_t find(std::string_view s, size_t pos = 0) const noexcept { return View().find(s, pos); }
    size_t find(char c, size_t pos = 0) const noexcept { return View().find(c, pos); }
    size_t rfind(char c, size_t pos = npos) const noexcept { return View().rfind(c, pos); }
    size_t find_first_of(std::string_view s, size_t pos = 0) const noexcept { return View().find_first_of(s, pos); }
    size_t find_first_not_of(std::string_view s, size_t pos = 0) const noexcept
    {
        return View().find_first_not_of(s, pos);
    }
    size_t find_first_not_of(char c, size_t pos = 0) const noexcept { return View().find_first_not_of(c, pos); }
    size_t find_last_of(std::string_view s, size_t pos = npos) const noexcept { return View().find_last_of(s, pos); }
    size_t find_last_not_of(std::string_view s, size_t pos = npos) const noexcept
    {
        return View().find_last_not_of(s, pos);
    }
    size_t rfind(std::string_view s, size_t pos = npos) const noexcept { return View().rfind(s, pos); }
    bool starts_with(std::string_view s) const noexcept { return View().starts_with(s); }
    bool ends_with(std::string_view s) const noexcept { return View().ends_with(s); }
    int compare(std::string_view s) const noexcept { return View().compare(s); }
    std::string substr(size_t pos, size_t n = npos) const { return std::string(View().substr(pos, n)); }

    // The form follows from the length (empty, in the word up to six bytes,
    // else bytes elsewhere): where either text is in its word, equal texts
    // have equal words. Identities and refreshes compare many such fields.
    friend bool operator==(const CShortText& a, const CShortText& b) noexcept
    {
        if (a.m_word == b.m_word)
            return true;
        if (a.m_word == 0 || b.m_word == 0 || a.IsInline() || b.IsInline())
            return false;
        return a.View() == b.View();
    }
    friend bool operator==(const CShortText& a, std::string_view b) noexcept { return a.View() == b; }
    friend bool operator==(const CShortText& a, const char* b) noexcept { return a.View() == b; }
    friend bool operator==(const CShortText& a, const std::string& b) noexcept { return a.View() == b; }
    friend std::strong_ordering operator<=>(const CShortText& a, const CShortText& b) noexcept
    {
        return a.View() <=> b.View();
    }
    friend std::strong_ordering operator<=>(const CShortText& a, std::string_view b) noexcept
    {
        return a.View() <=> b;
    }
    friend std::strong_ordering operator<=>(const CShortText& a, const std::string& b) noexcept
    {
        return a.View() <=> std::string_view(b);
    }
    friend std::strong_ordering operator<=>(const CShortText& a, const char* b) noexcept
    {
        return a.View() <=> std::string_view(b);
    }
    friend std::string operator+(const CShortText& a, std::string_view b)
    {
        std::string s(a.View());
        s += b;
        return s;
    }
    friend std::string operator+(const CShortText& a, char c)
    {
        std::string s(a.View());
        s += c;
        return s;
    }
    friend std::string operator+(std::string_view a, const CShortText& b)
    {
        std::string s(a);
        s += b.View();
        return s;
    }
    friend std::string operator+(const char* a, const CShortText& b) { return std::string_view(a) + b; }
    friend std::string operator+(const std::string& a, const CShortText& b) { return std::string_view(a) + b; }
    friend std::ostream& operator<<(std::ostream& out, const CShortText& t) { return out << t.View(); }

private:
    CShortText& Append(std::string_view more)
    {
        std::string joined(View());
        joined += more;
        assign(joined);
        return *this;
    }

    static_assert(std::endian::native == std::endian::little && sizeof(uintptr_t) == 8,
                  "the inline form keeps its length tag in the lowest byte of the word");

    // A text in a pool: the top bit, then 15 bits of length, then a 48-bit
    // address (user-space addresses fit; a text that would not stays on
    // the heap). Otherwise the lowest bit set means the text is in the word
    // (length in the tag byte, bytes after it, the top byte always zero);
    // else the word is a heap block's address (2-byte aligned, top bits clear).
    static constexpr uintptr_t kView = uintptr_t(1) << 63;
    static constexpr int kViewShift = 48;
    static constexpr size_t kViewMax = 0x7FFF;
    static constexpr uintptr_t kAddressMask = (uintptr_t(1) << kViewShift) - 1;
    bool IsView() const noexcept { return (m_word & kView) != 0; }
    bool IsInline() const noexcept { return (m_word & 1) != 0 && !IsView(); }
    const char* Block() const noexcept { return reinterpret_cast<const char*>(m_word); }
    // The word for a moved-from text's new owner: a pooled text is copied,
    // as the destination may outlive the pool.
    uintptr_t Steal() noexcept
    {
        uintptr_t word = m_word;
        if (word & kView)
            word = Make(View());
        else
            m_word = 0;
        return word;
    }
    static void Fill(char* block, std::string_view text) noexcept
    {
        const uint32_t n32 = static_cast<uint32_t>(text.size());
        std::memcpy(block, &n32, sizeof n32);
        std::memcpy(block + sizeof n32, text.data(), text.size());
        block[sizeof n32 + text.size()] = '\0';
    }

    static uintptr_t Make(std::string_view text)
    {
        const size_t n = text.size();
        if (n == 0)
            return 0;
        if (n <= kInlineMax) {
            uintptr_t word = (n << 1) | 1;
            std::memcpy(reinterpret_cast<char*>(&word) + 1, text.data(), n);
            return word;
        }
        if (n > UINT32_MAX)
            throw std::length_error("CShortText");
        char* block = static_cast<char*>(::operator new(sizeof(uint32_t) + n + 1));
        Fill(block, text);
        return reinterpret_cast<uintptr_t>(block);
    }
    static void Release(uintptr_t word) noexcept
    {
        if (word != 0 && (word & (1 | kView)) == 0)
            ::operator delete(reinterpret_cast<void*>(word));
    }

    uintptr_t m_word = 0;
};

// A list of short texts that trades places with a list of std::string.
class CShortTextList : public CSlimList<CShortText> {
public:
    using CSlimList<CShortText>::CSlimList;
    using CSlimList<CShortText>::operator=;
    CShortTextList() = default;
    CShortTextList(const std::vector<std::string>& texts) : CSlimList<CShortText>(texts.begin(), texts.end()) {}
    CShortTextList& operator=(const std::vector<std::string>& texts)
    {
        assign(texts.begin(), texts.end());
        return *this;
    }
    CShortTextList& operator=(std::initializer_list<CShortText> texts)
    {
        assign(texts);
        return *this;
    }
    operator std::vector<std::string>() const { return std::vector<std::string>(begin(), end()); }
    friend bool operator==(const CShortTextList& a, const CShortTextList& b)
    {
        return static_cast<const CSlimList<CShortText>&>(a) == static_cast<const CSlimList<CShortText>&>(b);
    }
    friend bool operator==(const CShortTextList& a, const std::vector<std::string>& b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
};

template <>
struct std::hash<CShortText> {
    size_t operator()(const CShortText& t) const noexcept { return std::hash<std::string_view>()(t.View()); }
};
