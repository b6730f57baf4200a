#include "app/QtSettingsStore.h"
#include "app/Settings.h"
#include "support/FakePrompter.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <arpa/inet.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("Talmira.ini");
    CFakePrompter prompter;

    // Writes INI lines straight into the file, as an administrator would.
    void Ini(const std::map<QString, QVariant>& values)
    {
        QSettings raw(path, QSettings::IniFormat);
        for (const auto& [key, value] : values)
            raw.setValue(key, value);
    }
    void UserInfo() { Ini({{"User Info/Name", "Ann"}, {"User Info/Phone", "123"}, {"User Info/Email", "a@b"}}); }
    QStringList Groups(const QString& group)
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.beginGroup(group);
        return raw.childGroups();
    }
    CAppSettings Read(bool expectOk = true)
    {
        CQtSettingsStore store(path);
        CAppSettings s;
        EXPECT_EQ(ReadSettings(store, prompter, s), expectOk);
        return s;
    }
    void Write(const CAppSettings& s)
    {
        CQtSettingsStore store(path);
        WriteSettings(store, prompter, s);
    }
};

TEST_F(SettingsTest, MissingUserInfoIsACorruptEntry)
{
    Ini({{"User Info/Name", "Ann"}, {"User Info/Email", "a@b"}});
    Read(false);
    EXPECT_EQ(prompter.shown,
              std::vector<std::string>{"The Registry entry for this program is corrupt.\nPlease reinstall the program using Setup."});
}

TEST_F(SettingsTest, ReadsEverySection)
{
    UserInfo();
    Ini({{"Talmira/Security/Entry3/Group", "Lab"}, {"Talmira/Security/Entry3/Key", "secret"},
         {"Talmira/Security/Entry3/Id", "10003"}, {"Talmira/Security/Entry7/Group", "Staff"},
         {"Talmira/Security/Entry7/Key", "k7"}, {"Talmira/Security/Entry7/Id", "10007"},
         {"Talmira/AdminScope/Entry0/Name", "Local"}, {"Talmira/AdminScope/Entry0/TTL", 0x10F},
         {"Talmira/AdminScope/Entry0/Port", 9875}, {"Talmira/AdminScope/Entry0/Base", "239.255.0.0"},
         {"Talmira/AdminScope/Entry0/Netmask", 16}, {"Talmira/Interface/address", "10.0.0.5"},
         {"Talmira/Install/Directory", "/opt/talmira"}});
    const CAppSettings s = Read();
    EXPECT_EQ(s.name, "Ann");
    EXPECT_EQ(s.phone, "123");
    EXPECT_EQ(s.email, "a@b");
    EXPECT_EQ(s.groups[3].name, "Lab");
    EXPECT_EQ(s.groups[3].key, "secret");
    EXPECT_EQ(s.groups[3].id, 10003);
    EXPECT_EQ(s.groups[7].id, 10007);
    EXPECT_FALSE(s.groups[4].InUse());
    ASSERT_EQ(s.scopes.Size(), 1u);
    EXPECT_EQ(s.scopes.Entries()[0].ttl, 15); // the low byte
    EXPECT_EQ(s.scopes.Entries()[0].baseAddress, inet_addr("239.255.0.0"));
    EXPECT_EQ(s.scopes.Entries()[0].prefixLength, 16u);
    EXPECT_EQ(s.interfaceAddress, "10.0.0.5");
    EXPECT_EQ(s.installDirectory, "/opt/talmira");
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(SettingsTest, GroupsAreRenumberedFromEntry0OnSave)
{
    UserInfo();
    Ini({{"Talmira/Security/Entry3/Group", "Lab"}, {"Talmira/Security/Entry3/Key", "secret"},
         {"Talmira/Security/Entry3/Id", "10003"}, {"Talmira/Security/Entry7/Group", "Staff"},
         {"Talmira/Security/Entry7/Key", "k7"}, {"Talmira/Security/Entry7/Id", "10007"}});
    const CAppSettings s = Read();
    Write(s);
    EXPECT_EQ(Groups("Talmira/Security"), (QStringList{"Entry0", "Entry1"}));
    const CAppSettings again = Read();
    EXPECT_EQ(again.groups[0].name, "Lab");
    EXPECT_EQ(again.groups[1].name, "Staff");
    EXPECT_EQ(again.groups[1].id, 10007);
    EXPECT_TRUE(prompter.shown.empty());

    // Deleting every group removes every entry.
    CAppSettings none = again;
    none.groups = CEncryptionGroups();
    Write(none);
    EXPECT_TRUE(Groups("Talmira/Security").isEmpty());
}

TEST_F(SettingsTest, ScopeEntriesStopAtTheFirstGap)
{
    UserInfo();
    for (int i : {0, 1, 3}) {
        const QString e = QString("Talmira/AdminScope/Entry%1/").arg(i);
        Ini({{e + "Name", QString("S%1").arg(i)}, {e + "TTL", 15}, {e + "Port", 9875},
             {e + "Base", "239.255.0.0"}, {e + "Netmask", 16}});
    }
    CAppSettings s = Read();
    ASSERT_EQ(s.scopes.Size(), 2u);
    EXPECT_EQ(s.scopes.Entries()[1].name, "S1");
    s.scopes.Entries().erase(s.scopes.Entries().begin());
    Write(s);
    // The deletion also stopped at the gap: Entry3 is still there.
    EXPECT_EQ(Groups("Talmira/AdminScope"), (QStringList{"Entry0", "Entry3"}));
    const CAppSettings again = Read();
    ASSERT_EQ(again.scopes.Size(), 1u);
    EXPECT_EQ(again.scopes.Entries()[0].name, "S1");
    EXPECT_EQ(again.scopes.Entries()[0].port, 9875u);
}

TEST_F(SettingsTest, OutOfRangeValuesAreNotTaken)
{
    UserInfo();
    Ini({{"Talmira/AdminScope/Entry0/Name", "Wide"}, {"Talmira/AdminScope/Entry0/TTL", 15},
         {"Talmira/AdminScope/Entry0/Port", 70000}, {"Talmira/AdminScope/Entry0/Base", "239.0.0.0"},
         {"Talmira/AdminScope/Entry0/Netmask", 40}});
    const CAppSettings s = Read();
    ASSERT_EQ(s.scopes.Size(), 1u);
    EXPECT_EQ(s.scopes.Entries()[0].port, 0u);
    EXPECT_EQ(s.scopes.Entries()[0].prefixLength, 0u);
}

TEST_F(SettingsTest, IncompleteEntriesAreReportedAndTheRestIsRead)
{
    UserInfo();
    Ini({{"Talmira/Security/Entry0/Group", "Lab"}, {"Talmira/Security/Entry0/Id", "10000"},
         {"Talmira/AdminScope/Entry0/Name", "Local"}, {"Talmira/Install/Directory", "/opt/t"}});
    const CAppSettings s = Read();
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{"Unable to read Security information from the Registry!",
                                                         "Unable to read Admin Scope information from the Registry!"}));
    EXPECT_FALSE(s.groups[0].InUse());
    EXPECT_EQ(s.scopes.Size(), 0u);
    EXPECT_EQ(s.installDirectory, "/opt/t");
}

TEST_F(SettingsTest, UserInfoIsWrittenOnlyWhenItsKeyExists)
{
    CAppSettings s;
    s.name = "Bo";
    s.phone = "1";
    s.email = "b@c";
    Write(s);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Failed to write to registry!"});
    // The other sections were still written: the key exists without entries.
    UserInfo();
    prompter.shown.clear();
    Write(s);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(Read().name, "Bo");
}

// A store that refuses chosen operations, on top of the real INI file.
class CRefusingStore final : public SettingsStore {
public:
    explicit CRefusingStore(const QString& path) : real(path) {}
    bool OpenKey(const std::string& k) override { return real.OpenKey(k); }
    bool CreateKey(const std::string& k) override { return !refuseCreate && real.CreateKey(k); }
    bool DeleteKey(const std::string& k) override { return real.DeleteKey(k); }
    std::optional<std::string> ReadText(const std::string& k, const std::string& n) override { return real.ReadText(k, n); }
    std::optional<uint32_t> ReadNumber(const std::string& k, const std::string& n) override { return real.ReadNumber(k, n); }
    bool WriteText(const std::string& k, const std::string& n, const std::string& v) override
    {
        return n != refuseValue && real.WriteText(k, n, v);
    }
    bool WriteNumber(const std::string& k, const std::string& n, uint32_t v) override
    {
        return n != refuseValue && real.WriteNumber(k, n, v);
    }
    CQtSettingsStore real;
    bool refuseCreate = false;
    std::string refuseValue;
};

TEST_F(SettingsTest, WriteFailuresStopWhereTheyHappen)
{
    UserInfo();
    CAppSettings s = Read();
    s.groups[5] = {10001, "k", "g"};
    s.scopes.Entries().push_back({"Local", 15, 9875, inet_addr("239.255.0.0"), 16});

    CRefusingStore noCreate(path);
    noCreate.refuseCreate = true;
    WriteSettings(noCreate, prompter, s);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Unable to create entry in registry for this program!"});

    prompter.shown.clear();
    CRefusingStore noKey(path);
    noKey.refuseValue = "Key";
    WriteSettings(noKey, prompter, s);
    // The security failure stops the writing: no scope was written.
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Unable place Security information in the Registry!"});
    EXPECT_TRUE(Groups("Talmira/AdminScope").isEmpty());

    prompter.shown.clear();
    CRefusingStore noPort(path);
    noPort.refuseValue = "Port";
    WriteSettings(noPort, prompter, s);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Unable to place Scope information in the Registry!"});

    prompter.shown.clear();
    CRefusingStore noPhone(path);
    noPhone.refuseValue = "Phone";
    WriteSettings(noPhone, prompter, s);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Failed to write to registry!"});
    EXPECT_EQ(Groups("Talmira/AdminScope"), QStringList{"Entry0"});
}

TEST_F(SettingsTest, LongValuesAreCutToTheirBuffers)
{
    Ini({{"User Info/Name", QString(600, 'n')}, {"User Info/Phone", "1"}, {"User Info/Email", "e"},
         {"Talmira/AdminScope/Entry0/Name", QString(200, 's')}, {"Talmira/AdminScope/Entry0/TTL", 1},
         {"Talmira/AdminScope/Entry0/Port", 9875}, {"Talmira/AdminScope/Entry0/Base", "239.0.0.0"},
         {"Talmira/AdminScope/Entry0/Netmask", 8}});
    const CAppSettings s = Read();
    EXPECT_EQ(s.name.size(), 511u);
    EXPECT_EQ(s.scopes.Entries()[0].name.size(), 127u);
}

TEST(SettingsPaths, EnvironmentDecides)
{
    qputenv("TALMIRA_SETTINGS", "/tmp/x/Talmira.ini");
    EXPECT_EQ(SettingsFilePath(), "/tmp/x/Talmira.ini");
    qunsetenv("TALMIRA_SETTINGS");
    EXPECT_NE(SettingsFilePath().find("TalmiraSoft/Talmira.ini"), std::string::npos);
    qputenv("XDG_DATA_HOME", "/data");
    EXPECT_EQ(DefaultInstallDirectory(), "/data/talmira");
    CAppSettings s;
    EXPECT_EQ(s.InstallDirectory(), "/data/talmira");
    s.installDirectory = "/opt/t";
    EXPECT_EQ(s.InstallDirectory(), "/opt/t");
}

} // namespace
