#include "base/ProcessLimits.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

TEST(ProcessLimits, SoftOpenFileLimitIsRaisedToTheHardOne)
{
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max < 2)
        GTEST_SKIP() << "hard limit too low to lower the soft one";
    rlimit lowered = saved;
    lowered.rlim_cur = saved.rlim_max / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    EXPECT_TRUE(RaiseOpenFileLimit());
    rlimit now{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(now.rlim_cur, saved.rlim_max);
    EXPECT_EQ(now.rlim_max, saved.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

} // namespace
