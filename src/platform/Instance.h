#pragma once
// Several receivers at once: --instance NAME gives a run its own settings
// (QSettings("Tamrel", "Kestrova-NAME")) and NAME in its window title, so
// windows and settings of runs side by side do not collide.
#include <QString>

// Letters, digits, '-' and '_', 1 to 32 of them, or empty for the unnamed
// instance; false (nothing set) otherwise.
bool SetInstanceName(const QString& name);
QString InstanceName();
// "Kestrova", or "Kestrova-NAME" for a named instance.
QString SettingsApplication();
constexpr const char* kSettingsOrganization = "Tamrel";
