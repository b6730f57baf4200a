#pragma once
// The decoders of every watched media entry, at most a given number running
// at once; more watched entries take turns.
#include "preview/PreviewTypes.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace preview {

class CPreviewDecoder;

constexpr int kDefaultDecoders = 4;
constexpr int kMaxDecoders = 32;

class CPreviewPool {
public:
    explicit CPreviewPool(int maxDecoders = kDefaultDecoders, double turnSeconds = 10);
    ~CPreviewPool();
    CPreviewPool(const CPreviewPool&) = delete;
    CPreviewPool& operator=(const CPreviewPool&) = delete;

    int Watch(CPreviewSource source, const CPreviewOptions& options);
    void Unwatch(int id);
    std::optional<CPreviewSnapshot> Snapshot(int id) const;
    void SetMaxDecoders(int count); // 1..32
    int MaxDecoders() const;

private:
    void Schedule();
    void Turn();

    mutable std::mutex m_mutex;
    std::map<int, std::shared_ptr<CPreviewDecoder>> m_decoders;
    CRoundRobin m_turns;
    int m_maxDecoders;
    int m_nextId = 1;
    bool m_stop = false;
    std::condition_variable m_wake;
    std::thread m_scheduler;
};

} // namespace preview
