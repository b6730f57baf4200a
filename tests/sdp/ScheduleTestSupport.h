#pragma once
// Shared set-up of the schedule tests: a fixed time zone with summer time,
// local dates turned into Unix seconds, and time entries built from them.
#include "base/Clock.h"
#include "sdp/SDPObject.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

class ScheduleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A POSIX rule, so the result does not depend on the machine's zone files.
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }

    // Unix seconds of a local wall-clock time.
    int64_t Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) const
    {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        return clock.FromLocalTime(tm);
    }

    static std::string Ntp(int64_t unixSeconds) { return std::to_string(unixSeconds + kNtpUnixOffset); }

    static CSDPTime OneOff(int64_t start, int64_t stop)
    {
        CSDPTime t;
        t.start = start ? Ntp(start) : "0";
        t.stop = stop ? Ntp(stop) : "0";
        return t;
    }

    static CSDPTime Repeat(int64_t start, int64_t stop, int64_t interval, int64_t duration,
                           const std::string& offset = "0")
    {
        CSDPTime t = OneOff(start, stop);
        t.repeatInterval = std::to_string(interval);
        t.activeDuration = std::to_string(duration);
        t.offset = offset;
        return t;
    }

    static constexpr int64_t kMinute = 60;
    static constexpr int64_t kHour = 3600;
    static constexpr int64_t kDay = 86400;
    static constexpr int64_t kWeek = 7 * kDay;

    CManualClock clock;
};
