#pragma once
#include <cstdint>
#include <ctime>

// The program's notion of "now". Production reads the system clock; tests
// set the time by hand. Times are Unix seconds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t Now() const = 0;
    // Broken-down local time of a Unix time (the process time zone).
    virtual std::tm LocalTime(int64_t unixSeconds) const;
    // Inverse of LocalTime: normalises the fields like mktime.
    virtual int64_t FromLocalTime(std::tm local) const;
};

class CSystemClock final : public Clock {
public:
    int64_t Now() const override;
};

// A clock that only moves when told to.
class CManualClock final : public Clock {
public:
    explicit CManualClock(int64_t now = 0) : m_now(now) {}
    int64_t Now() const override { return m_now; }
    void Set(int64_t now) { m_now = now; }
    void Advance(int64_t seconds) { m_now += seconds; }
private:
    int64_t m_now;
};

// NTP seconds (SDP times) and Unix seconds differ by 70 years.
constexpr int64_t kNtpUnixOffset = 2208988800LL;
