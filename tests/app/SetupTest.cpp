#include "app/QtSettingsStore.h"
#include "app/Settings.h"
#include "app/Setup.h"
#include "support/FakePrompter.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(Setup, CreatesWhatIsMissingAndKeepsWhatExists)
{
    QTemporaryDir tmp;
    const fs::path root = tmp.path().toStdString();
    fs::create_directories(root / "shipped");
    std::ofstream((root / "shipped" / "audio.plg").string()) << "shipped";
    qputenv("TALMIRA_PLUGIN_SOURCE", QByteArray::fromStdString((root / "shipped").string()));
    const QString ini = tmp.filePath("cfg/Talmira.ini");
    const std::string install = (root / "install").string(), elsewhere = (root / "elsewhere").string();
    const auto setup = [&](const std::string& expected) {
        CQtSettingsStore store(ini);
        const CSetupResult r = RunSetup(store, install);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.installDirectory, expected);
    };

    setup(install);
    EXPECT_EQ(fs::status(ini.toStdString()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    for (const char* sub : {"plugins", "tmp", "tmpInstall"})
        EXPECT_TRUE(fs::is_directory(fs::path(install) / sub)) << sub;
    EXPECT_EQ(ReadTestFile(install + "/plugins/audio.plg"), "shipped");

    // The new file reads without the corrupt-entry message.
    CFakePrompter prompter;
    CQtSettingsStore reading(ini);
    CAppSettings s;
    ASSERT_TRUE(ReadSettings(reading, prompter, s));
    EXPECT_EQ(s.installDirectory, install);

    // A second run overwrites nothing: values, plug-in files.
    {
        QSettings raw(ini, QSettings::IniFormat);
        raw.setValue("User Info/Name", "Ann");
        raw.setValue("Talmira/Install/Directory", QString::fromStdString(elsewhere));
    }
    fs::create_directories(elsewhere + "/plugins");
    std::ofstream(elsewhere + "/plugins/audio.plg") << "edited";
    setup(elsewhere);
    QSettings raw(ini, QSettings::IniFormat);
    EXPECT_EQ(raw.value("User Info/Name").toString(), "Ann");
    EXPECT_EQ(ReadTestFile(elsewhere + "/plugins/audio.plg"), "edited");
    EXPECT_TRUE(fs::is_directory(elsewhere + "/tmpInstall"));
    qunsetenv("TALMIRA_PLUGIN_SOURCE");
}

} // namespace
