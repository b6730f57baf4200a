#include "app/QtSettingsStore.h"
#include "app/Settings.h"
#include "support/FakePrompter.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <arpa/inet.h>

#include <filesystem>

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
    void UserInfo(const QString& name = "Ann")
    {
        Ini({{"User Info/Name", name}, {"User Info/Phone", "123"}, {"User Info/Email", "a@b"}});
    }
    void Scope(int i, const QString& name, QVariant ttl = 15, QVariant port = 9875, QVariant netmask = 16)
    {
        const QString e = QString("Talmira/AdminScope/Entry%1/").arg(i);
        Ini({{e + "Name", name}, {e + "TTL", ttl}, {e + "Port", port}, {e + "Base", "239.255.0.0"},
             {e + "Netmask", netmask}});
    }
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

// User info must be complete, and is written only when its key exists;
// an incomplete security or scope entry is named, the entries after it are
// read, and writing keeps it and them; the file is for its owner only.
TEST_F(SettingsTest, IncompleteEntriesAreReported)
{
    CAppSettings s;
    s.name = "Bo";
    Write(s);
    Read(false); // no key
    Ini({{"User Info/Name", "Ann"}, {"User Info/Email", "a@b"}});
    Read(false); // no phone
    UserInfo();
    Write(s);
    Ini({{"Talmira/Security/Entry0/Group", "Lab"}, {"Talmira/Security/Entry0/Id", "10000"},
         {"Talmira/Security/Entry1/Group", "Lab"}, {"Talmira/Security/Entry1/Key", "k"},
         {"Talmira/Security/Entry1/Id", "10001"}, {"Talmira/AdminScope/Entry0/Name", "Local"},
         {"Talmira/Install/Directory", "/opt/t"}});
    Scope(1, "Wide");
    const CAppSettings back = Read();
    const std::string corrupt =
        "The Registry entry for this program is corrupt.\nPlease reinstall the program using Setup.";
    const std::string skipped = "\nIncomplete, skipped and left in the file as they are: Talmira/";
    EXPECT_EQ(prompter.shown,
              (std::vector<std::string>{"Failed to write to registry!", corrupt, corrupt,
                                        "Unable to read Security information from the Registry!" + skipped
                                            + "Security/Entry0.",
                                        "Unable to read Admin Scope information from the Registry!" + skipped
                                            + "AdminScope/Entry0."}));
    EXPECT_EQ(back.name, "Bo");
    EXPECT_EQ(std::make_tuple(back.groups[0].InUse(), back.groups[1].id, back.scopes.Size()),
              std::make_tuple(false, 10001, size_t{1}));
    EXPECT_EQ(back.installDirectory, "/opt/t");
    Write(back);
    EXPECT_EQ(Groups("Talmira/Security") + Groups("Talmira/AdminScope"),
              (QStringList{"Entry0", "Entry1", "Entry0", "Entry1"}));
    EXPECT_EQ(std::filesystem::status(path.toStdString()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(SettingsTest, ReadsEverySectionAndWritesItBack)
{
    UserInfo(QString(600, 'n'));
    Ini({{"Talmira/Security/Entry3/Group", "Lab"}, {"Talmira/Security/Entry3/Key", "secret"},
         {"Talmira/Security/Entry3/Id", "10003"}, {"Talmira/Security/Entry7/Group", "Staff"},
         {"Talmira/Security/Entry7/Key", "k7"}, {"Talmira/Security/Entry7/Id", "10007"},
         {"Talmira/Interface/address", "10.0.0.5"}, {"Talmira/Install/Directory", "/opt/talmira"},
         {"Talmira/Online/Host", "db.example:8080"}});
    Scope(0, QString(200, 's'), 0x10F);
    Scope(1, "Wide", 15, 70000, 40);
    Scope(3, "After a gap");
    CAppSettings s = Read();
    // Values are cut to their buffers; a TTL keeps its low byte; out of range is not taken.
    EXPECT_EQ(std::tie(s.name, s.phone, s.email, s.interfaceAddress, s.installDirectory),
              std::make_tuple(std::string(511, 'n'), "123", "a@b", "10.0.0.5", "/opt/talmira"));
    EXPECT_EQ(std::tie(s.groups[3].name, s.groups[3].key, s.groups[3].id), std::make_tuple("Lab", "secret", 10003));
    EXPECT_FALSE(s.groups[4].InUse());
    const uint32_t base = inet_addr("239.255.0.0");
    EXPECT_EQ(s.scopes.Entries(), (std::vector<CAdminScopeEntry>{{std::string(127, 's'), 15, 9875, base, 16},
                                                                  {"Wide", 15, 0, base, 0}})); // up to the first gap
    EXPECT_EQ(s.databaseHost, "db.example:8080");
    // Texts longer than their buffers are cut, never inside a character.
    Ini({{"Talmira/AdminScope/Entry0/Name", QString(100, QChar(0xE9))},
         {"Talmira/Security/Entry3/Group", QString(200, QChar(0x20AC))}});
    const CAppSettings cut = Read();
    EXPECT_EQ(cut.scopes.Entries().at(0).name, QString(63, QChar(0xE9)).toStdString());
    EXPECT_EQ(cut.groups[3].name, QString(85, QChar(0x20AC)).toStdString());

    s.scopes.Entries().erase(s.scopes.Entries().begin());
    Write(s);
    EXPECT_EQ(Groups("Talmira/Security"), (QStringList{"Entry0", "Entry1"}));
    // The scope deletion also stopped at the gap: Entry3 is still there.
    EXPECT_EQ(Groups("Talmira/AdminScope"), (QStringList{"Entry0", "Entry3"}));
    CAppSettings again = Read();
    ASSERT_EQ(again.scopes.Size(), 1u);
    EXPECT_EQ(again.scopes.Entries()[0].name, "Wide");
    EXPECT_EQ(std::tie(again.groups[0].name, again.groups[1].name, again.groups[1].id), std::make_tuple("Lab", "Staff", 10007));
    EXPECT_TRUE(prompter.shown.empty());
    // Deleting every group removes every entry.
    again.groups = CEncryptionGroups();
    Write(again);
    EXPECT_TRUE(Groups("Talmira/Security").isEmpty());
}

// Values read alone, each with its default: the reception group limit (8,
// kept within 1..64), IPv6 (on unless turned off), serving the directory over
// HTTP (off unless the value is exactly 1).
TEST_F(SettingsTest, SingleValuesAndTheirDefaults)
{
    UserInfo();
    const auto shown = [](const CAppSettings& s) {
        return std::to_string(s.receptionMaxGroups) + (s.ipv6 ? " ipv6" : "") + (s.serveWeb ? " serve" : "")
            + (s.serveAddress.empty() ? "" : " at " + s.serveAddress);
    };
    EXPECT_EQ(shown(Read()), "8 ipv6");
    const std::pair<std::map<QString, QVariant>, std::string> cases[] = {
        {{{"Talmira/Reception/MaxGroups", 3}}, "3 ipv6"}, {{{"Talmira/Reception/MaxGroups", 0}}, "1 ipv6"},
        {{{"Talmira/Reception/MaxGroups", 500}, {"Talmira/Interface/IPv6", "off"}}, "64"},
        {{{"Talmira/Interface/IPv6", "OFF"}}, "64"}, {{{"Talmira/Interface/IPv6", "0"}}, "64"},
        {{{"Talmira/Interface/IPv6", "false"}}, "64"}, {{{"Talmira/Interface/IPv6", "on"}}, "64 ipv6"},
        {{{"Talmira/Server/Serve", "2"}, {"Talmira/Server/Address", "0.0.0.0:9000"}}, "64 ipv6 at 0.0.0.0:9000"},
        {{{"Talmira/Server/Serve", "1"}}, "64 ipv6 serve at 0.0.0.0:9000"},
    };
    for (const auto& [values, expected] : cases) {
        Ini(values);
        EXPECT_EQ(shown(Read()), expected);
    }
}

// A store that refuses chosen operations, on top of the real INI file.
class CRefusingStore final : public SettingsStore {
    using S = const std::string&;

public:
    CRefusingStore(const QString& path, std::string refuse) : real(path), refuse(std::move(refuse)) {}
    bool OpenKey(S k) override { return real.OpenKey(k); }
    bool CreateKey(S k) override { return refuse != "create" && real.CreateKey(k); }
    bool DeleteKey(S k) override { return real.DeleteKey(k); }
    std::optional<std::string> ReadText(S k, S n) override { return real.ReadText(k, n); }
    std::optional<uint32_t> ReadNumber(S k, S n) override { return real.ReadNumber(k, n); }
    bool WriteText(S k, S n, S v) override { return n != refuse && real.WriteText(k, n, v); }
    bool WriteNumber(S k, S n, uint32_t v) override { return n != refuse && real.WriteNumber(k, n, v); }
    CQtSettingsStore real;
    std::string refuse;
};

TEST_F(SettingsTest, WriteFailuresStopWhereTheyHappen)
{
    UserInfo();
    CAppSettings s = Read();
    s.groups[5] = {10001, "k", "g"};
    s.scopes.Entries().push_back({"Local", 15, 9875, inet_addr("239.255.0.0"), 16});
    const struct {
        std::string refuse, message;
        QStringList scopes; // written after it
    } cases[] = {
        {"create", "Unable to create entry in registry for this program!", {}},
        {"Key", "Unable place Security information in the Registry!", {}}, // no scope written after it
        {"Port", "Unable to place Scope information in the Registry!", {"Entry0"}},
        {"Phone", "Failed to write to registry!", {"Entry0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refuse);
        prompter.shown.clear();
        CRefusingStore store(path, c.refuse);
        WriteSettings(store, prompter, s);
        EXPECT_EQ(prompter.shown, std::vector<std::string>{c.message});
        EXPECT_EQ(Groups("Talmira/AdminScope"), c.scopes);
    }
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
