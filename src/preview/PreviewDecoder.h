#pragma once
// One media entry decoded on a thread of its own, from start to stop.
#include "preview/PreviewTypes.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;

namespace preview {

class CPreviewDecoder {
public:
    CPreviewDecoder(CPreviewSource source, CPreviewOptions options);
    ~CPreviewDecoder();
    CPreviewDecoder(const CPreviewDecoder&) = delete;
    CPreviewDecoder& operator=(const CPreviewDecoder&) = delete;

    void Start();
    // Waits for the thread; the snapshot stays (state "waiting").
    void Stop();
    CPreviewSnapshot Snapshot() const;
    // Something new has been shown since the last start: a picture, or a
    // second of levels.
    bool Done() const;
    const CPreviewSource& Source() const { return m_source; }

    // libavformat's interrupt callback.
    static int Interrupt(void* self);

private:
    void Run();
    std::string Session();
    std::string Open(AVFormatContext*& format, void* reader, AVIOContext*& io);
    std::string OpenDecoder(AVFormatContext* format, int stream, AVCodecContext*& decoder);
    void Publish(const std::string& state, const std::string& message);

    CPreviewSource m_source;
    CPreviewOptions m_options;
    mutable std::mutex m_mutex;
    CPreviewSnapshot m_snapshot;
    double m_turnStart = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_deadline{0};
    std::condition_variable m_wake;
    std::mutex m_wakeMutex;
};

} // namespace preview
