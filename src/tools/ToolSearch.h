#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

// Whether a file named `fileName` is the tool `toolFile`: a tool name with a
// three-letter extension must match exactly (any case); a bare name matches
// with ".com", ".exe", ".cmd" or ".bat" added (any case), and on this
// platform also as the exact name of an executable file.
bool ToolFileMatches(std::string_view fileName, std::string_view toolFile, bool isExecutable);

// Searches a folder tree for a tool's executable on a worker thread. The
// callbacks run on the worker; a GUI forwards them to its own thread.
class CToolSearch {
public:
    static constexpr const char* kDefaultStartFolder = "/usr";

    struct Callbacks {
        std::function<void(const std::string& folder)> onFolder; // the "Processing:" line
        std::function<void(const std::string& path)> onMatch;    // append to the list
        std::function<void()> onFinished;                        // ended without being stopped
    };

    explicit CToolSearch(Callbacks callbacks) : m_callbacks(std::move(callbacks)) {}
    ~CToolSearch() { Stop(); }
    CToolSearch(const CToolSearch&) = delete;
    CToolSearch& operator=(const CToolSearch&) = delete;

    // Starts a search unless one is running. Returns whether it started.
    bool Start(const std::string& startFolder, const std::string& toolFile);
    // Asks the worker to stop and waits until it has ended; the matches
    // reported so far stay reported. Returns at once when no search runs.
    void Stop();
    // Asks the worker to stop without waiting for it (see IsIdle).
    void RequestStop() { m_stopEvent = true; }
    // True when no search is running.
    bool IsIdle() const { return m_idle.load(); }
    // True when the last search ended because it was asked to stop.
    bool WasStopped() const { return m_stopped.load(); }

    // The search itself, on the calling thread (what the worker runs).
    void SearchFolder(const std::string& folder);

private:
    bool StopRequested();

    Callbacks m_callbacks;
    std::string m_toolFile;
    std::thread m_worker;
    std::atomic<bool> m_stopEvent{false}; // set by the caller of Stop
    std::atomic<bool> m_stopFlag{false};  // seen by the recursion
    std::atomic<bool> m_idle{true};
    std::atomic<bool> m_stopped{false};
};
