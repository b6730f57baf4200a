// Every file the program reads, with something else than a readable regular
// file in its place: each reader takes its normal failure path, without
// throwing, blocking on a FIFO or reading a device without end.
#include "app/QtSettingsStore.h"
#include "app/Settings.h"
#include "cli/CliCommon.h"
#include "directory/SessionStore.h"
#include "sap/EncryptionGroups.h"
#include "support/FakePrompter.h"
#include "support/FakeSapNetwork.h"
#include "support/FakeViews.h"
#include "support/TestEnv.h"
#include "tools/Plugin.h"
#include "tools/ToolRegistry.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using Make = void (*)(const fs::path&);
// A symbolic link to itself cannot be opened, even by root.
const std::pair<const char*, Make> kOddFiles[] = {
    {"directory", [](const fs::path& p) { fs::create_directory(p); }},
    {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
    {"device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
    {"unopenable", [](const fs::path& p) { fs::create_symlink(p.filename(), p); }},
};

struct CReaderCase {
    QTemporaryDir temp;
    fs::path dir = temp.path().toStdString();
    CFakePrompter prompter;
    CTestEnv t;
    CFakeExit exit;
    CFakeSapNetwork net;
    Make make;
    CSessionStore doc{CStorePorts{t.clock, t.random, prompter, exit, net}};
};

const std::pair<const char*, void (*)(CReaderCase&)> kReaders[] = {
    {"cache", [](CReaderCase& c) {
         const fs::path cache = c.dir / CSessionStore::kCacheFileName;
         c.make(cache);
         const fs::file_type before = fs::symlink_status(cache).type();
         ASSERT_TRUE(c.doc.OnNewDocument());
         EXPECT_EQ(c.doc.MainList().Size(), 1u); // the TTL Scope directory
         ASSERT_EQ(c.prompter.shown.size(), 1u);
         EXPECT_EQ(c.prompter.shown[0].rfind("The cache file " + cache.string() + " cannot be read (", 0), 0u);
         // Left alone at exit: not replaced by a cache of this run.
         EXPECT_TRUE(c.doc.OnCloseDocument());
         EXPECT_EQ(fs::symlink_status(cache).type(), before);
         EXPECT_TRUE(c.exit.statuses.empty());
     }},
    {"session file", [](CReaderCase& c) {
         c.make(c.dir / "one.sdp");
         c.doc.SetSessionFile((c.dir / "one.sdp").string());
         ASSERT_TRUE(c.doc.OnNewDocument());
         EXPECT_TRUE(c.doc.MainList().Empty());
     }},
    {"tool order", [](CReaderCase& c) {
         c.make(ToolOrderPath(c.dir.string()));
         CToolRegistry registry{{CMediaListEntry{}}};
         ReadToolOrder(c.dir.string(), registry, c.prompter); // as a missing file: empty, silent
         EXPECT_TRUE(registry.groups.empty() && c.prompter.shown.empty());
     }},
    {"settings", [](CReaderCase& c) {
         c.make(c.dir / "Talmira.ini");
         CQtSettingsStore store(QString::fromStdString((c.dir / "Talmira.ini").string()));
         CAppSettings settings;
         EXPECT_FALSE(ReadSettings(store, c.prompter, settings));
         EXPECT_EQ(c.prompter.shown, std::vector<std::string>{"The Registry entry for this program is corrupt.\n"
                                                              "Please reinstall the program using Setup."});
         EXPECT_FALSE(store.CreateKey("User Info"));
     }},
    {"plug-in", [](CReaderCase& c) {
         fs::create_directories(c.dir / "plugins");
         std::ofstream(c.dir / "plugins" / "rev2.plugin.a") << "media: audio\ntool: a1\n";
         c.make(c.dir / "plugins" / "rev2.plugin.b");
         CPluginTable table;
         EXPECT_EQ(LoadPlugins(c.dir.string(), table, c.prompter), EPluginLoad::Ok);
         EXPECT_EQ(std::tuple(table.Count(), c.prompter.shown.empty()), std::tuple(1u, true));
     }},
    {"key file", [](CReaderCase& c) {
         c.make(c.dir / "keys");
         CEncryptionGroups groups;
         QString error;
         EXPECT_FALSE(LoadKeyFile(QString::fromStdString((c.dir / "keys").string()), groups, &error));
         EXPECT_TRUE(error.startsWith("cannot read")) << error.toStdString();
     }},
};

TEST(FileReaders, OddFilesTakeTheNormalFailurePath)
{
    for (const auto& [reader, check] : kReaders)
        for (const auto& [kind, make] : kOddFiles) {
            SCOPED_TRACE(std::string(reader) + " / " + kind);
            CReaderCase c;
            c.make = make;
            c.doc.installDirectory = c.dir.string();
            check(c);
        }
}

} // namespace
