#include "SettingsFile.h"

#include "Instance.h"

#include <QFileInfo>
#include <QStandardPaths>

QString SettingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QLatin1String(kSettingsOrganization) + QLatin1Char('/') + SettingsApplication() + QStringLiteral(".conf");
}

std::unique_ptr<QSettings> OpenSettings()
{
    // QSettings reads the whole file as it is made: look before it does.
    const QFileInfo info(SettingsFilePath());
    if (info.exists() && !info.isFile())
        return nullptr;
    return std::make_unique<QSettings>(kSettingsOrganization, SettingsApplication());
}
