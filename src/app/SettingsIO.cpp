// Reading and writing the settings sections through the SettingsStore port.
#include "app/Settings.h"

#include "base/Prompter.h"
#include "base/Text.h"

#include <algorithm>
#include <string>

namespace {
const std::string kUserInfo = "User Info";
const std::string kSecurity = "Talmira/Security";
const std::string kAdminScope = "Talmira/AdminScope";
const std::string kInterface = "Talmira/Interface";
const std::string kInstall = "Talmira/Install";
const std::string kOnline = "Talmira/Online";
const std::string kWeb = "Talmira/Web";
const std::string kReception = "Talmira/Reception";
const std::string kServer = "Talmira/Server";

constexpr int kMaxSecurityEntries = 100;

std::string Entry(const std::string& section, int i)
{
    return section + "/Entry" + std::to_string(i);
}

// Values are read into fixed buffers with room for a terminator; longer
// values are cut rather than refused, never inside a UTF-8 character.
std::optional<std::string> ReadCut(SettingsStore& store, const std::string& key, const std::string& name,
                                   size_t buffer)
{
    auto value = store.ReadText(key, name);
    if (value && value->size() >= buffer)
        value->resize(text::Utf8CutPoint(*value, buffer - 1));
    return value;
}

bool ReadUserInfo(SettingsStore& store, CAppSettings& out)
{
    if (!store.OpenKey(kUserInfo))
        return false;
    auto name = ReadCut(store, kUserInfo, "Name", 512);
    auto phone = ReadCut(store, kUserInfo, "Phone", 512);
    auto email = ReadCut(store, kUserInfo, "Email", 512);
    if (!name || !phone || !email)
        return false;
    out.name = *name;
    out.phone = *phone;
    out.email = *email;
    return true;
}

// One message per section, naming the entries left out.
void ReportSkipped(Prompter& prompter, const char* message, const std::string& section, const std::vector<int>& skipped)
{
    if (skipped.empty())
        return;
    std::string names;
    for (int i : skipped)
        names += (names.empty() ? "" : ", ") + Entry(section, i);
    prompter.Show(std::string(message) + "\nIncomplete, skipped and left in the file as they are: " + names + ".");
}

void ReadSecurity(SettingsStore& store, Prompter& prompter, CEncryptionGroups& groups, std::vector<int>& skipped)
{
    if (!store.OpenKey(kSecurity))
        return;
    for (int i = 0; i < kMaxSecurityEntries; ++i) {
        const std::string key = Entry(kSecurity, i);
        if (!store.OpenKey(key))
            continue; // a free group
        auto group = ReadCut(store, key, "Group", 257);
        auto keyText = ReadCut(store, key, "Key", 257);
        auto id = ReadCut(store, key, "Id", 257);
        if (!group || !keyText || !id) {
            skipped.push_back(i);
            continue;
        }
        groups[i].name = *group;
        groups[i].key = *keyText;
        groups[i].id = text::ToInt32(*id);
    }
    ReportSkipped(prompter, "Unable to read Security information from the Registry!", kSecurity, skipped);
}

void ReadAdminScopes(SettingsStore& store, Prompter& prompter, CAdminScopeList& scopes, std::vector<int>& skipped)
{
    if (!store.OpenKey(kAdminScope))
        return;
    for (int i = 0; store.OpenKey(Entry(kAdminScope, i)); ++i) {
        const std::string key = Entry(kAdminScope, i);
        auto name = ReadCut(store, key, "Name", 128);
        auto ttl = store.ReadNumber(key, "TTL");
        auto port = store.ReadNumber(key, "Port");
        auto base = ReadCut(store, key, "Base", 17);
        auto prefix = store.ReadNumber(key, "Netmask");
        if (!name || !ttl || !port || !base || !prefix) {
            skipped.push_back(i);
            continue;
        }
        CAdminScopeEntry scope;
        scope.name = *name;
        scope.ttl = static_cast<uint8_t>(*ttl & 0xFF);
        // Out-of-range values are not taken: they stay 0.
        scope.port = *port < 65536 ? *port : 0;
        scope.baseAddress = text::ParseDottedQuad(*base);
        scope.prefixLength = *prefix < 33 ? *prefix : 0;
        scopes.Entries().push_back(std::move(scope));
    }
    ReportSkipped(prompter, "Unable to read Admin Scope information from the Registry!", kAdminScope, skipped);
}

bool Skipped(const std::vector<int>& skipped, int i)
{
    return std::find(skipped.begin(), skipped.end(), i) != skipped.end();
}

std::string ReadOptional(SettingsStore& store, const std::string& key, const std::string& name)
{
    if (!store.OpenKey(key))
        return {};
    return ReadCut(store, key, name, 512).value_or(std::string());
}

void WriteUserInfo(SettingsStore& store, Prompter& prompter, const CAppSettings& s)
{
    bool ok = store.OpenKey(kUserInfo);
    if (ok) {
        ok = store.WriteText(kUserInfo, "Name", s.name);
        ok = store.WriteText(kUserInfo, "Phone", s.phone) && ok;
        ok = store.WriteText(kUserInfo, "Email", s.email) && ok;
    }
    if (!ok)
        prompter.Show("Failed to write to registry!");
}

bool OpenOrCreate(SettingsStore& store, const std::string& key)
{
    return store.OpenKey(key) || store.CreateKey(key);
}

bool WriteSecurity(SettingsStore& store, Prompter& prompter, const CEncryptionGroups& groups,
                   std::vector<int> skipped)
{
    if (!OpenOrCreate(store, kSecurity)) {
        prompter.Show("Unable to create entry in registry for this program!");
        return false;
    }
    // The groups take the numbers the skipped entries leave free; those give
    // way (from the last) only when every group needs a place.
    const auto inUse = std::count_if(&groups[0], &groups[0] + CEncryptionGroups::kCount,
                                     [](const CEncryptionGroup& g) { return g.InUse(); });
    while (!skipped.empty() && kMaxSecurityEntries - static_cast<long>(skipped.size()) < inUse)
        skipped.pop_back();
    std::vector<int> written;
    int next = 0;
    for (int i = 0; i < CEncryptionGroups::kCount; ++i) {
        const CEncryptionGroup& g = groups[i];
        if (!g.InUse())
            continue;
        while (Skipped(skipped, next))
            ++next;
        written.push_back(next);
        const std::string key = Entry(kSecurity, next++);
        if (!store.CreateKey(key)) {
            prompter.Show("Unable to create entry in registry for this program!");
            return false;
        }
        if (!store.WriteText(key, "Group", g.name) || !store.WriteText(key, "Key", g.key)
            || !store.WriteText(key, "Id", std::to_string(g.id))) {
            prompter.Show("Unable place Security information in the Registry!");
            return false;
        }
    }
    for (int i = 0; i < kMaxSecurityEntries; ++i)
        if (!Skipped(written, i) && !Skipped(skipped, i) && store.OpenKey(Entry(kSecurity, i)))
            store.DeleteKey(Entry(kSecurity, i));
    return true;
}

void WriteAdminScopes(SettingsStore& store, Prompter& prompter, const CAdminScopeList& scopes,
                      const std::vector<int>& skipped)
{
    if (!OpenOrCreate(store, kAdminScope)) {
        prompter.Show("Unable to create entry in registry for this program! Check that you are allowed to make "
                      "changes to the registry");
        return;
    }
    // Old entries go up to the first gap, like the reading stops there; the
    // skipped ones stay, and the scopes are written around them.
    for (int i = 0; store.OpenKey(Entry(kAdminScope, i)); ++i)
        if (!Skipped(skipped, i))
            store.DeleteKey(Entry(kAdminScope, i));
    int i = 0;
    for (const CAdminScopeEntry& scope : scopes.Entries()) {
        while (Skipped(skipped, i))
            ++i;
        const std::string key = Entry(kAdminScope, i++);
        if (!store.CreateKey(key)) {
            prompter.Show("Unable to create entry in registry for this program!");
            return;
        }
        if (!store.WriteText(key, "Name", scope.name) || !store.WriteText(key, "Base", text::DottedQuad(scope.baseAddress))
            || !store.WriteNumber(key, "TTL", scope.ttl) || !store.WriteNumber(key, "Port", scope.port)
            || !store.WriteNumber(key, "Netmask", scope.prefixLength)) {
            prompter.Show("Unable to place Scope information in the Registry!");
            return;
        }
    }
}
} // namespace

bool ReadSettings(SettingsStore& store, Prompter& prompter, CAppSettings& out)
{
    if (!ReadUserInfo(store, out)) {
        prompter.Show("The Registry entry for this program is corrupt.\nPlease reinstall the program using Setup.");
        return false;
    }
    ReadSecurity(store, prompter, out.groups, out.skippedGroups);
    ReadAdminScopes(store, prompter, out.scopes, out.skippedScopes);
    out.interfaceAddress = ReadOptional(store, kInterface, "address");
    const std::string ipv6 = ReadOptional(store, kInterface, "IPv6");
    out.ipv6 = !(text::EqualsNoCase(ipv6, "off") || ipv6 == "0" || text::EqualsNoCase(ipv6, "false"));
    out.installDirectory = ReadOptional(store, kInstall, "Directory");
    out.databaseHost = ReadOptional(store, kOnline, "Host");
    out.webHost = ReadOptional(store, kWeb, "Host");
    if (store.OpenKey(kReception))
        if (auto groups = store.ReadNumber(kReception, "MaxGroups"))
            out.receptionMaxGroups = static_cast<int>(std::clamp<uint32_t>(*groups, 1, 64));
    if (store.OpenKey(kServer)) {
        out.serveWeb = store.ReadNumber(kServer, "Serve").value_or(0) == 1;
        out.serveAddress = ReadOptional(store, kServer, "Address");
    }
    return true;
}

void WriteSettings(SettingsStore& store, Prompter& prompter, const CAppSettings& settings)
{
    WriteUserInfo(store, prompter, settings);
    if (WriteSecurity(store, prompter, settings.groups, settings.skippedGroups))
        WriteAdminScopes(store, prompter, settings.scopes, settings.skippedScopes);
}

std::string CAppSettings::InstallDirectory() const
{
    return installDirectory.empty() ? DefaultInstallDirectory() : installDirectory;
}
