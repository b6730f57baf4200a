// talmira-cli setup: the installer's work (settings keys, install directory
// with plugins/, tmp/, tmpInstall/). Safe to repeat; overwrites nothing.
#include "app/Settings.h"
#include "app/Setup.h"
#include "cli/CliCommon.h"

#include <cstdio>

static int RunSetupCommand(const QStringList& argv)
{
    CCliArgs args(argv, {}, {});
    if (!args.ok())
        return CliFail(args.error());
    if (!args.Positionals().isEmpty())
        return CliFail("usage: talmira-cli setup");
    const std::string path = SettingsFilePath();
    auto store = OpenSettingsStore(path);
    const CSetupResult result = RunSetup(*store, DefaultInstallDirectory());
    if (!result.ok)
        return CliFail(QString::fromStdString(result.error));
    std::printf("settings: %s\ninstall directory: %s\n", path.c_str(), result.installDirectory.c_str());
    return 0;
}

static CCliRegistration registerSetup("setup", {"setup", RunSetupCommand});
