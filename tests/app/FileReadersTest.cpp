// Every file the program reads, with something else than a readable regular
// file in its place: each reader takes its normal failure path, without
// throwing, blocking on a FIFO or reading a device without end.
#include "app/QtSettingsStore.h"
#include "app/Settings.h"
#include "cli/CliCommon.h"
#include "directory/Ostara32Doc.h"
#include "sap/EncryptionGroups.h"
#include "support/FakePrompter.h"
#include "support/FakeSapNetwork.h"
#include "support/FakeViews.h"
#include "support/TestEnv.h"
#include "tools/Plugin.h"
#include "tools/ToolRegistry.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

enum class EOdd { Directory, Fifo, Device, Unopenable };
enum class EReader { Cache, SessionFile, ToolOrder, Settings, PluginFile, KeyFile };

// A symbolic link to itself cannot be opened, even by root.
void MakeOdd(const fs::path& path, EOdd kind)
{
    switch (kind) {
    case EOdd::Directory:
        fs::create_directory(path);
        break;
    case EOdd::Fifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        break;
    case EOdd::Device:
        fs::create_symlink("/dev/zero", path);
        break;
    case EOdd::Unopenable:
        fs::create_symlink(path.filename(), path);
        break;
    }
}

class FileReadersTest : public ::testing::TestWithParam<std::tuple<EOdd, EReader>> {
protected:
    QTemporaryDir temp;
    fs::path dir = temp.path().toStdString();
    CFakePrompter prompter;
    CTestEnv t;
    CFakeExit exit;
    CFakeSapNetwork net;

    std::unique_ptr<COstara32Doc> Doc()
    {
        auto doc = std::make_unique<COstara32Doc>(CDocPorts{t.clock, t.random, prompter, exit, net});
        doc->installDirectory = dir.string();
        return doc;
    }
};

TEST_P(FileReadersTest, TakeTheirNormalFailurePath)
{
    const auto [kind, reader] = GetParam();
    switch (reader) {
    case EReader::Cache: {
        const fs::path cache = dir / COstara32Doc::kCacheFileName;
        MakeOdd(cache, kind);
        const fs::file_type before = fs::symlink_status(cache).type();
        auto doc = Doc();
        ASSERT_TRUE(doc->OnNewDocument());
        EXPECT_EQ(doc->MainList().Size(), 1u); // the TTL Scope directory
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].rfind("The cache file " + cache.string() + " cannot be read (", 0), 0u);
        // Left alone at exit: not replaced by a cache of this run.
        EXPECT_TRUE(doc->OnCloseDocument());
        EXPECT_EQ(fs::symlink_status(cache).type(), before);
        EXPECT_TRUE(exit.statuses.empty());
        break;
    }
    case EReader::SessionFile: {
        MakeOdd(dir / "one.sdp", kind);
        auto doc = Doc();
        doc->SetSessionFile((dir / "one.sdp").string());
        ASSERT_TRUE(doc->OnNewDocument());
        EXPECT_TRUE(doc->MainList().Empty());
        break;
    }
    case EReader::ToolOrder: {
        MakeOdd(ToolOrderPath(dir.string()), kind);
        CToolRegistry registry;
        registry.groups.emplace_back();
        ReadToolOrder(dir.string(), registry, prompter); // as a missing file: empty, silent
        EXPECT_TRUE(registry.groups.empty());
        EXPECT_TRUE(prompter.shown.empty());
        break;
    }
    case EReader::Settings: {
        MakeOdd(dir / "Talmira.ini", kind);
        CQtSettingsStore store(QString::fromStdString((dir / "Talmira.ini").string()));
        CAppSettings settings;
        EXPECT_FALSE(ReadSettings(store, prompter, settings));
        EXPECT_EQ(prompter.shown, std::vector<std::string>{
                                      "The Registry entry for this program is corrupt.\nPlease reinstall the program using Setup."});
        EXPECT_FALSE(store.CreateKey("User Info"));
        break;
    }
    case EReader::PluginFile: {
        fs::create_directories(dir / "plugins");
        std::ofstream(dir / "plugins" / "rev2.plugin.a") << "media: audio\ntool: a1\n";
        MakeOdd(dir / "plugins" / "rev2.plugin.b", kind);
        CPluginTable table;
        EXPECT_EQ(LoadPlugins(dir.string(), table, prompter), EPluginLoad::Ok);
        EXPECT_EQ(table.Count(), 1u);
        EXPECT_TRUE(prompter.shown.empty());
        break;
    }
    case EReader::KeyFile: {
        MakeOdd(dir / "keys", kind);
        CEncryptionGroups groups;
        QString error;
        EXPECT_FALSE(LoadKeyFile(QString::fromStdString((dir / "keys").string()), groups, &error));
        EXPECT_TRUE(error.startsWith("cannot read")) << error.toStdString();
        break;
    }
    }
}

std::string CaseName(const ::testing::TestParamInfo<FileReadersTest::ParamType>& info)
{
    static const char* kinds[] = {"Directory", "Fifo", "Device", "Unopenable"};
    static const char* readers[] = {"Cache", "SessionFile", "ToolOrder", "Settings", "PluginFile", "KeyFile"};
    return std::string(readers[static_cast<int>(std::get<1>(info.param))]) + kinds[static_cast<int>(std::get<0>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(OddFiles, FileReadersTest,
                         ::testing::Combine(::testing::Values(EOdd::Directory, EOdd::Fifo, EOdd::Device,
                                                              EOdd::Unopenable),
                                            ::testing::Values(EReader::Cache, EReader::SessionFile,
                                                              EReader::ToolOrder, EReader::Settings,
                                                              EReader::PluginFile, EReader::KeyFile)),
                         CaseName);

} // namespace
