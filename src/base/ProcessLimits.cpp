#include "base/ProcessLimits.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#ifdef __APPLE__
#include <algorithm>
#include <climits>
#endif

bool RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur == limit.rlim_max)
        return true;
    limit.rlim_cur = limit.rlim_max;
#ifdef __APPLE__
    // macOS refuses a soft limit above OPEN_MAX even when the hard one is unlimited.
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, OPEN_MAX);
#endif
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}
#else
bool RaiseOpenFileLimit()
{
    return true; // no such per-process limit to raise
}
#endif
