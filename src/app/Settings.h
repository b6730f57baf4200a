#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/SettingsStore.h"
#include "directory/AdminScope.h"
#include "sap/EncryptionGroups.h"

class Prompter;

// Everything the program reads from its settings at start.
struct CAppSettings {
    std::string name;
    std::string phone;
    std::string email;
    CEncryptionGroups groups;
    CAdminScopeList scopes;
    // Entry numbers of incomplete Security and AdminScope entries: not read,
    // and left in the file as they are when the sheet writes the others.
    std::vector<int> skippedGroups, skippedScopes;
    std::string interfaceAddress;  // empty: the default interface
    bool ipv6 = true;              // hear and announce on the IPv6 SAP groups where the interface has IPv6
    std::string installDirectory;  // as stored; see InstallDirectory()
    std::string databaseHost;      // the online database, HOST[:PORT]; empty: none
    std::string webHost;           // the vendor web host of help and home page; empty: the local page
    // Media groups the reception statistics join at once (Reception/MaxGroups, 1..64).
    int receptionMaxGroups = 8;
    // The desktop program serves its directory over HTTP too (as
    // `talmira-cli serve` does) when `Serve` of the key Talmira/Server is
    // 1; on `Address` (HOST:PORT), by default 127.0.0.1:8086.
    bool serveWeb = false;
    std::string serveAddress;

    // The stored install directory, or the default one when none is stored.
    std::string InstallDirectory() const;
};

// $TALMIRA_SETTINGS when set, else <config dir>/TalmiraSoft/Talmira.ini.
std::string SettingsFilePath();
// $XDG_DATA_HOME/talmira (XDG_DATA_HOME defaulting to ~/.local/share).
std::string DefaultInstallDirectory();

// The settings file as a SettingsStore (an INI file on QSettings).
std::unique_ptr<SettingsStore> OpenSettingsStore(const std::string& path = SettingsFilePath());

// Reads User Info, Security, AdminScope, Interface, Install, Online and Reception in that
// order, showing the program's messages. False when User Info is missing or
// incomplete: the program then ends with -1. An incomplete Security or
// AdminScope entry is skipped (one message per section names them); every
// complete entry is read.
bool ReadSettings(SettingsStore& store, Prompter& prompter, CAppSettings& out);

// What the "Settings" sheet's OK writes: User Info, then the in-use
// encryption groups renumbered from Entry0, then the scope list.
void WriteSettings(SettingsStore& store, Prompter& prompter, const CAppSettings& settings);

// For commands: the settings file read with ReadSettings. Nothing when the
// User Info section is missing or incomplete (the message was shown).
std::optional<CAppSettings> LoadAppSettings(Prompter& prompter);
