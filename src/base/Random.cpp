#include "base/Random.h"

CSystemRandom::CSystemRandom() : m_engine(std::random_device{}()) {}

int CSystemRandom::Next()
{
    return std::uniform_int_distribution<int>(0, kRandomMax)(m_engine);
}

int CScriptedRandom::Next()
{
    if (!m_values.empty()) {
        m_last = m_values.front();
        m_values.pop_front();
    }
    return m_last;
}
