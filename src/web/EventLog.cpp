#include "web/EventLog.h"

#include "base/RequestHead.h"

CEventLog::CEventLog(size_t capacity, std::string epoch) : m_capacity(capacity), m_epoch(std::move(epoch)) {}

std::string CEventLog::IdText(uint64_t id) const
{
    return m_epoch + "-" + std::to_string(id);
}

std::optional<uint64_t> CEventLog::ParseId(const std::string& text) const
{
    if (text.size() <= m_epoch.size() + 1 || text.compare(0, m_epoch.size(), m_epoch) != 0
        || text[m_epoch.size()] != '-')
        return std::nullopt;
    return requesthead::ParseNumber(std::string_view(text).substr(m_epoch.size() + 1));
}

void CEventLog::Append(const char* type, QByteArray data)
{
    {
        std::lock_guard lock(m_lock);
        m_events.push_back({++m_last, type, std::move(data)});
        if (m_events.size() > m_capacity)
            m_events.pop_front();
    }
    m_arrived.notify_all();
}

uint64_t CEventLog::LastId() const
{
    std::lock_guard lock(m_lock);
    return m_last;
}

CEventLog::CRead CEventLog::ReadAfter(uint64_t after, size_t max, std::chrono::milliseconds wait)
{
    CRead read;
    std::unique_lock lock(m_lock);
    const uint64_t nudges = m_nudges;
    m_arrived.wait_for(lock, wait, [&] { return m_closed || m_last > after || m_nudges != nudges; });
    read.closed = m_closed;
    if (after > m_last) {
        // An id from the future: this log restarted under the same epoch.
        read.lost = true;
        return read;
    }
    if (m_last == after)
        return read;
    const uint64_t oldest = m_events.empty() ? m_last + 1 : m_events.front().id;
    if (after + 1 < oldest) {
        read.lost = true;
        return read;
    }
    for (size_t i = static_cast<size_t>(after + 1 - oldest); i < m_events.size() && read.events.size() < max; ++i)
        read.events.push_back(m_events[i]);
    return read;
}

void CEventLog::Close()
{
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
    }
    m_arrived.notify_all();
}

void CEventLog::Nudge()
{
    {
        std::lock_guard lock(m_lock);
        ++m_nudges;
    }
    m_arrived.notify_all();
}
