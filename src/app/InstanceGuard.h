#pragma once
#include <string>

// One running directory per install directory, shared by the desktop
// program and `talmira-cli listen`: the holder keeps an exclusive flock on
// "Talmira.lock" there. The system drops the lock however the holder ends
// (kill -9 and crashes included), so a file left behind never blocks a
// start; the file itself is never removed, which keeps two starters from
// locking two different files of the same name.
class CInstanceGuard {
public:
    static constexpr const char* kLockFileName = "Talmira.lock";
    enum class EState {
        Free,   // not tried yet, or released
        Held,   // this guard is the instance
        Taken,  // another process (or guard) holds the install directory
        Failed, // the lock file cannot be opened or locked
    };

    CInstanceGuard() = default;
    ~CInstanceGuard() { Release(); }
    CInstanceGuard(const CInstanceGuard&) = delete;
    CInstanceGuard& operator=(const CInstanceGuard&) = delete;

    // Tries once, without waiting. The descriptor is not inherited by
    // started tools, so they never keep the lock after we end.
    EState Acquire(const std::string& installDirectory);
    void Release();

    EState State() const { return m_state; }
    const std::string& LockFilePath() const { return m_path; }
    // Why the lock was not taken, as one line for the user; empty when held.
    std::string Explanation() const;

private:
    std::string m_path;
    std::string m_error;   // the system's reason when Failed
    long m_holderPid = 0;  // recorded by the holder, read when Taken
    int m_fd = -1;
    EState m_state = EState::Free;
};
