#pragma once
#include "directory/SessionStore.h"
#include "support/FakePrompter.h"
#include "support/FakeSapNetwork.h"
#include "support/FakeViews.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <memory>
#include <string>

// A heard session; `stop` is the t= stop field (NTP seconds or "0"); the
// text is padded with an i= line to `size` bytes when that is larger.
inline std::string SessionText(const std::string& id, int ttl = 127, const std::string& stop = "0", size_t size = 0)
{
    std::string head = "v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Session " + id + "\n";
    std::string tail = "c=IN IP4 224.2.17.12/" + std::to_string(ttl) + "\nt=0 " + stop + "\nm=audio 49170 RTP/AVP 0\n";
    const size_t base = head.size() + tail.size();
    if (size > base + 3)
        head += "i=" + std::string(size - base - 3, 'x') + "\n";
    return head + tail;
}

inline std::string NtpStop(int64_t unixSeconds)
{
    return std::to_string(unixSeconds + kNtpUnixOffset);
}

// A directory's announcement text.
inline std::string DirectoryText(const std::string& id, const std::string& group, int port = 9875, int ttl = 127)
{
    return "v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Dir " + id + "\nm=directory " + std::to_string(port)
        + " SAP/SDP 14\nc=IN IP4 " + group + "/" + std::to_string(ttl) + "\n";
}

// The store's outside world, all fakes but the views.
template <class Views>
struct CStoreFakesOf {
    CTestEnv t;
    CFakePrompter prompter;
    CFakeExit exit;
    CFakeSapNetwork net;
    Views views;
    CFakeToolStarter tools;
    CStorePorts Ports() { return CStorePorts{t.clock, t.random, prompter, exit, net, &views, &tools, &t.used}; }
};
using CStoreFakes = CStoreFakesOf<CFakeViews>;

class DocTest : public ::testing::Test, protected CStoreFakes {
protected:
    bool m_madeDoc = false;
    std::unique_ptr<CSessionStore> doc = MakeDoc();

    std::unique_ptr<CSessionStore> MakeDoc()
    {
        auto made = std::make_unique<CSessionStore>(Ports());
        // The views check the notices of the fixture's store while it is the only one.
        if (!m_madeDoc || !doc)
            views.Attach(made->MainList());
        else
            views.Detach();
        m_madeDoc = true;
        return made;
    }
    template <class... A>
    std::shared_ptr<CSDPObject> Session(const A&... a) { return t.Parse(SessionText(a...)); }
    // One of the user's own sessions, announced with `ttl`.
    std::shared_ptr<CSDPObject> Own(const std::string& id, const std::string& stop = "0", int ttl = 15)
    {
        auto r = Session(id, 127, stop);
        r->own = 1;
        r->announceTtl = ttl;
        return r;
    }
    std::shared_ptr<CSDPObject> Directory(const std::string& id, const std::string& group, int port = 9875, int ttl = 127)
    {
        return t.Parse(DirectoryText(id, group, port, ttl));
    }
    // A directory added at the top level.
    std::shared_ptr<CSDPObject> AddDirectory(const std::string& id, const std::string& group, int type = kTypeDirectory)
    {
        auto dir = Directory(id, group);
        dir->sessionType = type;
        doc->AddSession(dir, nullptr);
        return dir;
    }
    size_t Count(const std::shared_ptr<CSDPObject>& dir) { return dir->links->children->Size(); }
    // Every notice so far was one an item model can follow.
    void TearDown() override
    {
        if (!views.checking)
            return;
        views.CheckMirror();
        EXPECT_EQ(views.faults, std::vector<std::string>{});
    }
};

// A store with an install directory of its own (removed afterwards), for
// what the cache keeps across a restart.
class InstallDirTest : public DocTest {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path()
        / ("talmira-doc-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());

    InstallDirTest()
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        doc->installDirectory = dir.string();
    }
    ~InstallDirTest() override { std::filesystem::remove_all(dir); }

    // A fresh store on the same install directory.
    std::unique_ptr<CSessionStore> Restart()
    {
        auto next = MakeDoc();
        next->installDirectory = dir.string();
        return next;
    }
    static std::vector<std::string> Names(const CSessionList& list)
    {
        std::vector<std::string> names;
        for (const auto& r : list)
            names.emplace_back(r->name);
        return names;
    }
};
