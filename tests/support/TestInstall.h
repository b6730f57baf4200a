#pragma once
// An install directory set up by the program's own setup step, with a
// settings file of its own found through $TALMIRA_SETTINGS and no shipped
// plug-ins copied in, and the personal information filled in (the desktop
// program asks for it otherwise); the environment is restored when it goes.
#include "app/QtSettingsStore.h"
#include "app/Setup.h"

#include <QTemporaryDir>

#include <filesystem>
#include <string>

class CTestInstall {
public:
    CTestInstall()
    {
        const std::filesystem::path root = tmp.path().toStdString();
        install = (root / "install").string();
        std::filesystem::create_directories(root / "no-shipped-plugins");
        qputenv("TALMIRA_PLUGIN_SOURCE", QByteArray::fromStdString((root / "no-shipped-plugins").string()));
        qputenv("TALMIRA_SETTINGS", QByteArray::fromStdString((root / "Talmira.ini").string()));
        CQtSettingsStore store(QString::fromStdString((root / "Talmira.ini").string()));
        ok = tmp.isValid() && RunSetup(store, install).ok && store.WriteText("User Info", "Name", "Test User")
            && store.WriteText("User Info", "Email", "test@example.org")
            && store.WriteText("User Info", "Phone", "+32 2 555 01 00");
    }
    ~CTestInstall()
    {
        qunsetenv("TALMIRA_SETTINGS");
        qunsetenv("TALMIRA_PLUGIN_SOURCE");
    }
    CTestInstall(const CTestInstall&) = delete;
    CTestInstall& operator=(const CTestInstall&) = delete;

    QTemporaryDir tmp;
    std::string install;
    bool ok = false;
};
