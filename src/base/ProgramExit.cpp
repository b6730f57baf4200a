#include "base/ProgramExit.h"

#include <cstdio>
#include <cstdlib>

void CProcessExit::Exit(int status)
{
    std::fflush(nullptr);
    std::exit(status);
}
