#pragma once
// Tests that work with local wall-clock times run in one fixed zone, given
// as a POSIX rule (Central European, with its summer time), so the results
// do not depend on the machine's zone files.
#include <cstdlib>
#include <ctime>

inline bool UseTestZone()
{
    return setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1) == 0 && (tzset(), true);
}

// The fields of a local wall-clock time.
inline std::tm LocalFields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return tm;
}
