#pragma once
#include <cstdint>
#include <deque>
#include <random>

// The process-wide source of random draws. Next() gives 0..kRandomMax, the
// range the address allocator's host bits are drawn from.
class Random {
public:
    static constexpr int kRandomMax = 32767;
    virtual ~Random() = default;
    virtual int Next() = 0;
};

class CSystemRandom final : public Random {
public:
    CSystemRandom();
    int Next() override;
private:
    std::mt19937 m_engine;
};

// Hands out the scripted values in order, then repeats the last one.
class CScriptedRandom final : public Random {
public:
    CScriptedRandom(std::initializer_list<int> values) : m_values(values) {}
    void Push(int value) { m_values.push_back(value); }
    int Next() override;
private:
    std::deque<int> m_values;
    int m_last = 1;
};
