#include "app/Setup.h"

#include "base/SettingsStore.h"

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

std::string ShippedPluginFolder()
{
    if (const char* folder = std::getenv("TALMIRA_PLUGIN_SOURCE"); folder && *folder)
        return folder;
    // An installed program finds them in its data folder; one run from its
    // build folder takes those of the source tree.
    if (QCoreApplication::instance()) {
        const fs::path installed =
            fs::path(QCoreApplication::applicationDirPath().toStdString()) / TALMIRA_DATA_FROM_BIN / "plugins";
        std::error_code ec;
        if (fs::is_directory(installed, ec))
            return installed.lexically_normal().string();
    }
    return TALMIRA_SHIPPED_PLUGINS;
}

static bool EnsureValue(SettingsStore& store, const std::string& key, const std::string& name,
                        const std::string& value)
{
    if (store.OpenKey(key) && store.ReadText(key, name))
        return true;
    return (store.OpenKey(key) || store.CreateKey(key)) && store.WriteText(key, name, value);
}

CSetupResult RunSetup(SettingsStore& store, const std::string& defaultInstallDirectory)
{
    CSetupResult result;
    for (const char* name : {"Name", "Phone", "Email"}) {
        if (!EnsureValue(store, "User Info", name, "")) {
            result.error = "cannot write the settings file";
            return result;
        }
    }
    if (!EnsureValue(store, "Talmira/Install", "Directory", defaultInstallDirectory)) {
        result.error = "cannot write the settings file";
        return result;
    }
    result.installDirectory = store.ReadText("Talmira/Install", "Directory").value_or(defaultInstallDirectory);
    if (result.installDirectory.empty()) {
        result.error = "the install directory setting is empty";
        return result;
    }

    const fs::path install(result.installDirectory);
    std::error_code ec;
    for (const char* sub : {"plugins", "tmp", "tmpInstall"}) {
        fs::create_directories(install / sub, ec);
        if (!fs::is_directory(install / sub)) {
            result.error = "cannot create " + (install / sub).string() + (ec ? ": " + ec.message() : "");
            return result;
        }
    }
    const fs::path shipped(ShippedPluginFolder());
    if (fs::is_directory(shipped, ec)) {
        for (const auto& entry : fs::directory_iterator(shipped, ec)) {
            if (!entry.is_regular_file(ec))
                continue;
            const fs::path target = install / "plugins" / entry.path().filename();
            if (!fs::exists(target, ec))
                fs::copy_file(entry.path(), target, ec);
        }
    }
    result.ok = true;
    return result;
}
