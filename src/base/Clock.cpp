#include "base/Clock.h"

#include <chrono>

std::tm Clock::LocalTime(int64_t unixSeconds) const
{
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

int64_t Clock::FromLocalTime(std::tm local) const
{
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

int64_t CSystemClock::Now() const
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}
