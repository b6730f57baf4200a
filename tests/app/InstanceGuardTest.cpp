#include "app/InstanceGuard.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using EState = CInstanceGuard::EState;

extern char** environ;

namespace {

// Another process holding the lock, and a holder killed with -9, are run
// over real processes by instance_hangup.sh.
TEST(InstanceGuard, OneHolderNamedInTheRefusalAndStartedProgramsDoNotInheritIt)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    auto held = std::make_unique<CInstanceGuard>();
    CInstanceGuard second;
    ASSERT_EQ(held->Acquire(dir), EState::Held);
    second.Acquire(dir);
    EXPECT_EQ(std::pair(second.State(), second.Explanation()),
              std::pair(EState::Taken, "another instance is running on the install directory " + dir + " (pid "
                                           + std::to_string(getpid()) + ")"));
    pid_t tool = 0;
    char sleep[] = "sleep", seconds[] = "30";
    char* argv[] = {sleep, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&tool, "sleep", nullptr, nullptr, argv, environ), 0);
    held.reset(); // the program ends, releasing; the player it started goes on
    // The child drops its copies during exec, which can end after the spawn returned.
    CInstanceGuard after;
    for (int i = 0; i < 100 && after.Acquire(dir) != EState::Held; ++i)
        usleep(10000);
    EXPECT_EQ(after.State(), EState::Held);
    kill(tool, SIGKILL);
    waitpid(tool, nullptr, 0);
}

TEST(InstanceGuard, UnusableLockFileFailsWithoutHanging)
{
    QTemporaryDir tmp;
    const std::string planted = tmp.path().toStdString(), fifo = tmp.filePath("fifo").toStdString();
    fs::create_directory(fifo);
    fs::create_directory(fs::path(planted) / CInstanceGuard::kLockFileName);
    ASSERT_EQ(mkfifo((fs::path(fifo) / CInstanceGuard::kLockFileName).c_str(), 0600), 0);
    for (const std::string& dir : {planted, fifo, tmp.filePath("missing").toStdString()}) {
        CInstanceGuard guard;
        EXPECT_EQ(guard.Acquire(dir), EState::Failed) << dir;
        EXPECT_EQ(guard.Explanation().rfind("cannot lock the install directory: " + guard.LockFilePath() + ": ", 0), 0u)
            << guard.Explanation();
    }
}

} // namespace
