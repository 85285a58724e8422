#include "Instance.h"

#include <QRegularExpression>

namespace {

QString instanceName;

} // namespace

bool SetInstanceName(const QString& name)
{
    if (name.isEmpty()) {
        instanceName.clear();   // the unnamed instance
        return true;
    }
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    if (!allowed.match(name).hasMatch())
        return false;
    instanceName = name;
    return true;
}

QString InstanceName() { return instanceName; }

QString SettingsApplication()
{
    return instanceName.isEmpty() ? QStringLiteral("Kestrova") : QStringLiteral("Kestrova-") + instanceName;
}
