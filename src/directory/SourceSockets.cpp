#include "directory/SourceSockets.h"

#include "sdp/SDPObject.h"

#include <tuple>

void CSourceSockets::Add(const CDirectoryReceiver* socket, uint64_t source, const std::weak_ptr<CSDPObject>& directory)
{
    m_held[socket] = CHeldSocket{source, directory};
    ++m_perSource[source];
}

void CSourceSockets::Uncount(uint64_t source)
{
    if (const auto held = m_perSource.find(source); held != m_perSource.end() && --held->second == 0)
        m_perSource.erase(held);
}

void CSourceSockets::Remove(const CDirectoryReceiver* socket)
{
    if (const auto held = m_held.find(socket); held != m_held.end()) {
        Uncount(held->second.source);
        m_held.erase(held);
    }
}

void CSourceSockets::Retarget(const CDirectoryReceiver* socket, uint64_t source)
{
    const auto held = m_held.find(socket);
    if (held == m_held.end())
        return;
    Uncount(held->second.source);
    held->second.source = source;
    ++m_perSource[source];
}

std::shared_ptr<CSDPObject> CSourceSockets::ToFreeFor(uint64_t source) const
{
    uint64_t richest = 0;
    size_t most = 0;
    for (const auto& [from, count] : m_perSource)
        if (count > most)
            std::tie(richest, most) = std::tie(from, count);
    const auto mine = m_perSource.find(source);
    if ((mine == m_perSource.end() ? 0 : mine->second) + 1 >= most)
        return nullptr;
    std::shared_ptr<CSDPObject> oldest;
    for (const auto& [socket, held] : m_held)
        if (held.source == richest)
            if (auto d = held.directory.lock(); d && (!oldest || d->lastHeard < oldest->lastHeard))
                oldest = d;
    return oldest;
}
