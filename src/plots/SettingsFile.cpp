#include "SettingsFile.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr const char* kOrganization = "Tamrel";
constexpr const char* kApplication = "Kestrova";

} // namespace

QString SettingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QLatin1String(kOrganization) + QLatin1Char('/') + QLatin1String(kApplication) + QStringLiteral(".conf");
}

std::unique_ptr<QSettings> OpenSettings()
{
    // QSettings reads the whole file as it is made: look before it does.
    const QFileInfo info(SettingsFilePath());
    if (info.exists() && !info.isFile())
        return nullptr;
    return std::make_unique<QSettings>(kOrganization, kApplication);
}
