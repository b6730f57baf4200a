#include "tools/ToolLaunch.h"
#include "tools/ToolSearch.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

namespace fs = std::filesystem;

namespace {

// Collects what the worker reports.
struct CSearchLog {
    std::mutex lock;
    std::vector<std::string> matches;
    int folders = 0;
    std::promise<void> finished;
    CToolSearch::Callbacks Callbacks()
    {
        return {[this](const std::string&) { std::lock_guard g(lock); ++folders; },
                [this](const std::string& p) { std::lock_guard g(lock); matches.push_back(p); },
                [this] { finished.set_value(); }};
    }
};

void Touch(const fs::path& p, bool executable = false)
{
    fs::create_directories(p.parent_path());
    CTempInstallDir::Write(p, "x");
    fs::permissions(p, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace

TEST(ToolFileMatch, ExtensionRules)
{
    EXPECT_TRUE(ToolFileMatches("viewer.exe", "viewer", false));
    EXPECT_TRUE(ToolFileMatches("VIEWER.EXE", "viewer", false));
    EXPECT_TRUE(ToolFileMatches("viewer.com", "viewer", false));
    EXPECT_TRUE(ToolFileMatches("viewer.Bat", "viewer", false));
    EXPECT_TRUE(ToolFileMatches("viewer.cmd", "viewer", false));
    EXPECT_FALSE(ToolFileMatches("viewer.exe.old", "viewer", false));
    EXPECT_FALSE(ToolFileMatches("myviewer.exe", "viewer", false));
    EXPECT_FALSE(ToolFileMatches("viewer.sh", "viewer", false));
    EXPECT_TRUE(ToolFileMatches("viewer", "viewer", true));
    EXPECT_FALSE(ToolFileMatches("viewer", "viewer", false));
    EXPECT_FALSE(ToolFileMatches("Viewer", "viewer", true)); // executables: exact name only
    // A name with a three-letter extension matches only itself.
    EXPECT_TRUE(ToolFileMatches("VIEWER.exe", "viewer.exe", false));
    EXPECT_FALSE(ToolFileMatches("viewer.exe.exe", "viewer.exe", false));
    EXPECT_FALSE(ToolFileMatches("viewer.com", "viewer.exe", false));
}

TEST(ToolSearch, ListsEveryMatchOfTheTreeInListingOrder)
{
    CTempInstallDir dir;
    const fs::path root = dir.Path();
    Touch(root / "a" / "viewer.exe");
    Touch(root / "b" / "VIEWER.EXE");
    Touch(root / "b" / "c" / "viewer.com");
    Touch(root / "b" / "viewer.exe.old");
    Touch(root / "b" / "myviewer.exe");
    Touch(root / "d" / "viewer", true);
    Touch(root / "e" / "viewer", false);
    fs::create_directory_symlink(root, root / "loop");

    CSearchLog log;
    CToolSearch search(log.Callbacks());
    ASSERT_TRUE(search.Start(root.string(), "viewer"));
    ASSERT_EQ(log.finished.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    search.Stop();
    EXPECT_TRUE(search.IsIdle());
    EXPECT_FALSE(search.WasStopped());
    EXPECT_EQ(log.matches, (std::vector<std::string>{(root / "a/viewer.exe").string(),
                                                     (root / "b/VIEWER.EXE").string(),
                                                     (root / "b/c/viewer.com").string(),
                                                     (root / "d/viewer").string()}));

    CSearchLog exact;
    CToolSearch search2(exact.Callbacks());
    search2.Start(root.string(), "viewer.exe");
    exact.finished.get_future().wait();
    search2.Stop();
    EXPECT_EQ(exact.matches.size(), 2u);
}

TEST(ToolSearch, StopEndsALargeSearchAtOnce)
{
    CTempInstallDir dir;
    for (int i = 0; i < 300; ++i)
        fs::create_directories(fs::path(dir.Path()) / ("d" + std::to_string(i)) / "x" / "y");
    Touch(fs::path(dir.Path()) / "d0" / "tool.exe");

    std::promise<void> started;
    std::promise<void> resume;
    auto resumed = resume.get_future().share();
    std::vector<std::string> matches;
    int folders = 0;
    bool finished = false;
    CToolSearch search({[&](const std::string&) {
                            if (++folders == 5) {
                                started.set_value();
                                resumed.wait();
                            }
                        },
                        [&](const std::string& p) { matches.push_back(p); }, [&] { finished = true; }});
    ASSERT_TRUE(search.Start(dir.Path(), "tool"));
    EXPECT_FALSE(search.Start(dir.Path(), "tool")); // one search at a time
    started.get_future().wait();
    EXPECT_FALSE(search.IsIdle());
    std::thread stopper([&] { search.Stop(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    resume.set_value();
    stopper.join();
    EXPECT_TRUE(search.IsIdle());
    EXPECT_TRUE(search.WasStopped());
    EXPECT_FALSE(finished);
    EXPECT_LT(folders, 10);
    EXPECT_EQ(matches.size(), 1u); // found before the stop, kept

    // A new search starts over.
    folders = 0;
    matches.clear();
    std::promise<void> done;
    CToolSearch again({nullptr, [&](const std::string& p) { matches.push_back(p); }, [&] { done.set_value(); }});
    again.Start(dir.Path(), "tool");
    done.get_future().wait();
    EXPECT_EQ(matches.size(), 1u);
}

TEST(ToolSearch, DestroyingARunningSearchStopsIt)
{
    CTempInstallDir dir;
    for (int i = 0; i < 50; ++i)
        fs::create_directories(fs::path(dir.Path()) / ("d" + std::to_string(i)));
    std::atomic<int> folders{0};
    auto search = std::make_unique<CToolSearch>(CToolSearch::Callbacks{[&](const std::string&) { ++folders; }, {}, {}});
    search->Start(dir.Path(), "tool");
    search.reset(); // stops and joins the worker
    const int seen = folders.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(folders.load(), seen);
}

TEST(ToolSearch, UnlistableStartFolderFinishesEmpty)
{
    CSearchLog log;
    CToolSearch search(log.Callbacks());
    search.Start("/nonexistent/folder", "tool");
    ASSERT_EQ(log.finished.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(log.matches.empty());
}

// The current folder is never searched: not as ".", not as an empty or
// relative PATH entry, not through a relative path.
TEST(SearchExecutable, NeverTheCurrentFolder)
{
    CTempInstallDir dir;
    const fs::path bin = fs::path(dir.Path()) / "bin";
    Touch(bin / "planted-tool", true);
    const fs::path before = fs::current_path();
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    fs::current_path(bin);
    for (const std::string& entries : {path, path + ":", ":" + path, path + ":.", path + ":../bin"}) {
        setenv("PATH", entries.c_str(), 1);
        EXPECT_EQ(SearchExecutable("planted-tool"), "") << entries;
    }
    EXPECT_EQ(SearchExecutable("./planted-tool"), "");
    EXPECT_EQ(SearchExecutable("../bin/planted-tool"), "");
    // An absolute path and an absolute PATH entry still find it.
    EXPECT_EQ(SearchExecutable((bin / "planted-tool").string()), (bin / "planted-tool").string());
    setenv("PATH", (path + ":" + bin.string()).c_str(), 1);
    EXPECT_EQ(SearchExecutable("planted-tool"), (bin / "planted-tool").string());
    setenv("PATH", path.c_str(), 1);
    fs::current_path(before);
}
