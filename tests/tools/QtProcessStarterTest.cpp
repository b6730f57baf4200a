#include "tools/qt/QtProcessStarter.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// A real detached process receives every argument unchanged, no shell in
// between, and runs in the given folder.
TEST(QtProcessStarter, ArgumentsReachTheProcessUnchanged)
{
    CTempInstallDir dir;
    const std::string out = dir.Path() + "/out.txt";
    const std::string script = dir.Path() + "/tool.sh";
    CTempInstallDir::Write(script, "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; echo END; } > \"$OUT\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    setenv("OUT", out.c_str(), 1);

    CQtProcessStarter starter;
    ASSERT_TRUE(starter.StartDetached(script, {"x; rm -rf ~", "a\" --evil \"b", "$(HOME)", "", "`id`"}, dir.Path()));
    EXPECT_GT(starter.LastProcessId(), 0);
    std::string written;
    for (int i = 0; i < 200 && written.find("END\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        written = ReadTestFile(out);
    }
    const std::string canonical = std::filesystem::canonical(dir.Path()).string();
    EXPECT_EQ(written, canonical + "\n[x; rm -rf ~]\n[a\" --evil \"b]\n[$(HOME)]\n[]\n[`id`]\nEND\n");

    EXPECT_FALSE(starter.StartDetached(dir.Path() + "/missing", {}, dir.Path()));
}
