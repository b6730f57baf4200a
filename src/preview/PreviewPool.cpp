#include "preview/PreviewPool.h"

#include "preview/PreviewDecoder.h"

#include <algorithm>
#include <vector>

namespace preview {

CPreviewPool::CPreviewPool(int maxDecoders, double turnSeconds)
    : m_turns(std::clamp(maxDecoders, 1, kMaxDecoders), turnSeconds), m_maxDecoders(std::clamp(maxDecoders, 1, kMaxDecoders))
{
    m_scheduler = std::thread([this] { Schedule(); });
}

CPreviewPool::~CPreviewPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_scheduler.join();
    // Each decoder stops (and waits for its thread) as it is destroyed.
    m_decoders.clear();
}

int CPreviewPool::Watch(CPreviewSource source, const CPreviewOptions& options)
{
    int id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextId++;
        m_decoders[id] = std::make_shared<CPreviewDecoder>(std::move(source), options);
        m_turns.Add(id);
    }
    m_wake.notify_all();
    return id;
}

void CPreviewPool::Unwatch(int id)
{
    std::shared_ptr<CPreviewDecoder> decoder;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_decoders.find(id);
        if (it == m_decoders.end())
            return;
        decoder = std::move(it->second);
        m_decoders.erase(it);
        m_turns.Remove(id);
    }
    decoder->Stop(); // outside the lock: readers of other snapshots do not wait for it
    m_wake.notify_all();
}

std::optional<CPreviewSnapshot> CPreviewPool::Snapshot(int id) const
{
    std::shared_ptr<CPreviewDecoder> decoder;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_decoders.find(id);
        if (it == m_decoders.end())
            return std::nullopt;
        decoder = it->second;
    }
    return decoder->Snapshot();
}

void CPreviewPool::SetMaxDecoders(int count)
{
    {
        std::lock_guard lock(m_mutex);
        m_maxDecoders = std::clamp(count, 1, kMaxDecoders);
        m_turns.SetSlots(m_maxDecoders);
    }
    m_wake.notify_all();
}

int CPreviewPool::MaxDecoders() const
{
    std::lock_guard lock(m_mutex);
    return m_maxDecoders;
}

void CPreviewPool::Turn()
{
    std::vector<std::shared_ptr<CPreviewDecoder>> stop, start;
    {
        std::lock_guard lock(m_mutex);
        const CRoundRobin::CChange change = m_turns.Step(SteadySeconds(), [this](int id) {
            auto it = m_decoders.find(id);
            return it != m_decoders.end() && it->second->Done();
        });
        for (int id : change.stop)
            if (auto it = m_decoders.find(id); it != m_decoders.end())
                stop.push_back(it->second);
        for (int id : change.start)
            if (auto it = m_decoders.find(id); it != m_decoders.end())
                start.push_back(it->second);
    }
    for (auto& decoder : stop)
        decoder->Stop();
    for (auto& decoder : start)
        decoder->Start();
}

void CPreviewPool::Schedule()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        Turn();
        lock.lock();
        m_wake.wait_for(lock, std::chrono::milliseconds(250));
    }
}

} // namespace preview
