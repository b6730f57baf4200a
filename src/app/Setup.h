#pragma once
#include <string>

class SettingsStore;

// The installer's work, safe to repeat: writes the settings that are
// missing (empty User Info values, the install directory) and creates the
// install directory with plugins/, tmp/ and tmpInstall/, copying the
// shipped plug-in files that are not there yet. Nothing that exists is
// overwritten. False with a reason when something could not be made.
struct CSetupResult {
    bool ok = false;
    std::string installDirectory;
    std::string error;
};
CSetupResult RunSetup(SettingsStore& store, const std::string& defaultInstallDirectory);
// The folder the plug-in files are copied from.
std::string ShippedPluginFolder();
