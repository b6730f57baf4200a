#include "app/TalmiraRuntime.h"
#include "base/ProcessStarter.h"
#include "directory/SessionStore.h"
#include "support/FakePrompter.h"
#include "support/TestInstall.h"
#include "support/FakeViews.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QCoreApplication>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class CScriptedProcesses final : public ProcessStarter {
public:
    bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                       const std::string&) override
    {
        std::string line = program;
        for (const std::string& a : args)
            line += " " + a;
        started.push_back(line);
        return true;
    }
    std::vector<std::string> started;
};

// A set-up install directory of its own (settings file, plugins/ with one
// audio tool), the settings found through $TALMIRA_SETTINGS.
class TalmiraRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "talmira_tests_app";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        ASSERT_TRUE(setup.ok);
        std::ofstream(install + "/plugins/rev2.plugin.0")
            << "media: audio\nproto: RTP/AVP\ntool: sh\nfmt: 0\nflags: -c $(ADDRESS)\n";
    }
    CRuntimePorts Ports() { return {prompter, exit, nullptr, nullptr, &processes, &clock}; }

    CTestInstall setup;
    const std::string& install = setup.install;
    CFakePrompter prompter;
    CFakeExit exit;
    CScriptedProcesses processes;
    CManualClock clock{1700000000};
};

// The store's Auto Start reaches the runtime's launcher (when and how
// often it fires: the store's own test).
TEST_F(TalmiraRuntimeTest, AutoStartInTheWalkStartsTheTool)
{
    CTalmiraRuntime runtime(Ports());
    ASSERT_TRUE(runtime.Start(CCommandLine()));
    CSessionStore& doc = runtime.Doc();
    auto session = CSDPObject::FromText("v=0\no=- 4242 1 IN IP4 10.0.0.1\ns=Later\nc=IN IP4 239.1.2.3/15\nt=0 0\n"
                                        "m=audio 5004 RTP/AVP 0\n",
                                        runtime.Environment());
    session->startTools = 1;
    ASSERT_EQ(doc.AddSession(session, doc.MainList().At(0)), 1);
    doc.CheckSessions();
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_TRUE(processes.started[0].ends_with("sh -c 239.1.2.3")) << processes.started[0];
}

TEST_F(TalmiraRuntimeTest, SecondRuntimeOnOneInstallDirectoryIsRefused)
{
    CTalmiraRuntime first(Ports());
    ASSERT_TRUE(first.Start(CCommandLine()));

    CTalmiraRuntime second(Ports());
    EXPECT_FALSE(second.Start(CCommandLine()));
    EXPECT_EQ(std::tuple(second.Guard().State(), second.Launcher(), second.Guard().Explanation().empty()),
              std::tuple(CInstanceGuard::EState::Taken, nullptr, false));
    // The refused one left the running one's files alone.
    EXPECT_TRUE(fs::exists(install + "/plugins/rev2.plugin.0"));
    EXPECT_TRUE(first.Close());
}

} // namespace
