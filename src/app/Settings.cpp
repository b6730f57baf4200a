#include "app/Settings.h"

#include "app/QtSettingsStore.h"

#include <QDir>
#include <QStandardPaths>

std::string SettingsFilePath()
{
    const QString fromEnvironment = qEnvironmentVariable("TALMIRA_SETTINGS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment.toStdString();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return (config + "/TalmiraSoft/Talmira.ini").toStdString();
}

std::string DefaultInstallDirectory()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + "/.local/share";
    return (data + "/talmira").toStdString();
}

std::unique_ptr<SettingsStore> OpenSettingsStore(const std::string& path)
{
    return std::make_unique<CQtSettingsStore>(QString::fromStdString(path));
}

std::optional<CAppSettings> LoadAppSettings(Prompter& prompter)
{
    auto store = OpenSettingsStore();
    CAppSettings settings;
    if (!ReadSettings(*store, prompter, settings))
        return std::nullopt;
    return settings;
}
