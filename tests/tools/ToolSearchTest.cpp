#include "tools/ToolLaunch.h"
#include "tools/ToolSearch.h"
#include "tools/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <future>

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& p, bool executable = false)
{
    fs::create_directories(p.parent_path());
    CTempInstallDir::Write(p, "x");
    fs::permissions(p, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace

TEST(ToolFileMatch, ExtensionRules)
{
    const struct { const char *file, *tool; bool executable, matches; } cases[] = {
        {"viewer.exe", "viewer", false, true},      {"VIEWER.EXE", "viewer", false, true},
        {"viewer.com", "viewer", false, true},      {"viewer.Bat", "viewer", false, true},
        {"viewer.cmd", "viewer", false, true},      {"viewer.exe.old", "viewer", false, false},
        {"myviewer.exe", "viewer", false, false},   {"viewer.sh", "viewer", false, false},
        {"viewer", "viewer", true, true},           {"viewer", "viewer", false, false},
        {"Viewer", "viewer", true, false}, // executables: exact name only
        // A name with a three-letter extension matches only itself.
        {"VIEWER.exe", "viewer.exe", false, true},  {"viewer.exe.exe", "viewer.exe", false, false},
        {"viewer.com", "viewer.exe", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToolFileMatches(c.file, c.tool, c.executable), c.matches) << c.file << " " << c.tool;
}

TEST(ToolSearch, ListsEveryMatchOfTheTreeInListingOrder)
{
    CTempInstallDir dir;
    const fs::path root = dir.Path();
    for (const char* file : {"a/viewer.exe", "b/VIEWER.EXE", "b/c/viewer.com", "b/viewer.exe.old", "b/myviewer.exe"})
        Touch(root / file);
    Touch(root / "d" / "viewer", true);
    Touch(root / "e" / "viewer", false);
    fs::create_directory_symlink(root, root / "loop");
    for (const std::string& start : {root.string(), std::string("/nonexistent/folder")}) {
        std::vector<std::string> matches;
        std::promise<void> finished;
        CToolSearch search({{}, [&](const std::string& p) { matches.push_back(p); }, [&] { finished.set_value(); }});
        ASSERT_TRUE(search.Start(start, "viewer"));
        ASSERT_EQ(finished.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
        search.Stop();
        EXPECT_TRUE(search.IsIdle());
        EXPECT_FALSE(search.WasStopped());
        const Words expected = start != root.string() ? Words{} : Words{(root / "a/viewer.exe").string(),
            (root / "b/VIEWER.EXE").string(), (root / "b/c/viewer.com").string(), (root / "d/viewer").string()};
        EXPECT_EQ(matches, expected);
    }
}

TEST(ToolSearch, StopEndsALargeSearchAtOnce)
{
    CTempInstallDir dir;
    for (int i = 0; i < 300; ++i)
        fs::create_directories(fs::path(dir.Path()) / ("d" + std::to_string(i)) / "x" / "y");
    Touch(fs::path(dir.Path()) / "d0" / "tool.exe");

    std::promise<void> started, resume;
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

    // Destroying a running search stops and joins its worker.
    std::atomic<int> seen{0};
    auto running = std::make_unique<CToolSearch>(CToolSearch::Callbacks{[&](const std::string&) { ++seen; }, {}, {}});
    running->Start(dir.Path(), "tool");
    running.reset();
    const int atEnd = seen.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(seen.load(), atEnd);
}

// The current folder is never searched: not as ".", not as an empty or
// relative PATH entry, not through a relative path.
TEST(SearchExecutable, NeverTheCurrentFolder)
{
    CTempInstallDir dir;
    const fs::path bin = fs::path(dir.Path()) / "bin";
    const std::string tool = (bin / "planted-tool").string();
    Touch(tool, true);
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
    EXPECT_EQ(SearchExecutable(tool), tool);
    setenv("PATH", (path + ":" + bin.string()).c_str(), 1);
    EXPECT_EQ(SearchExecutable("planted-tool"), tool);
    setenv("PATH", path.c_str(), 1);
    fs::current_path(before);
}
