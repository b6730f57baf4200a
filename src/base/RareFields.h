#pragma once
#include <memory>

// Fields that few records set, kept in a block of their own that exists only
// once one of them is written: reading through `->` never allocates (an
// unset block reads as default values), writing goes through Edit().
template <class T>
class CRareFields {
public:
    CRareFields() = default;
    CRareFields(const CRareFields& other) : m_block(other.m_block ? std::make_unique<T>(*other.m_block) : nullptr) {}
    CRareFields(CRareFields&&) noexcept = default;
    CRareFields& operator=(const CRareFields& other)
    {
        if (this != &other)
            m_block = other.m_block ? std::make_unique<T>(*other.m_block) : nullptr;
        return *this;
    }
    CRareFields& operator=(CRareFields&&) noexcept = default;

    const T* operator->() const noexcept { return m_block ? m_block.get() : &Defaults(); }
    const T& operator*() const noexcept { return *operator->(); }
    T& Edit()
    {
        if (!m_block)
            m_block = std::make_unique<T>();
        return *m_block;
    }
    // The block when it exists, to change in place without making one.
    T* IfSet() noexcept { return m_block.get(); }
    void swap(CRareFields& other) noexcept { m_block.swap(other.m_block); }
    // Sets a field, making the block only when the value is not the default.
    template <class Field, class Value, class... Extra>
    void Set(Field T::*field, const Value& value, Extra&... extra)
    {
        if (m_block)
            (m_block.get()->*field).assign(value, extra...);
        else if (!(Defaults().*field == value))
            (Edit().*field).assign(value, extra...);
    }
    friend bool operator==(const CRareFields& a, const CRareFields& b) { return *a == *b; }

private:
    static const T& Defaults()
    {
        static const T defaults{};
        return defaults;
    }
    std::unique_ptr<T> m_block;
};
