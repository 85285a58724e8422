#pragma once
// The one settings file of the program, shared by the main window and the
// views. A file that is there but is not a regular file (a FIFO would block
// start-up for good, a device would feed garbage or swallow the writes) is
// treated as a corrupt one: nothing is read from it, so the defaults hold,
// and nothing is written to it.
#include <QSettings>
#include <QString>
#include <memory>

// Where the settings live: $XDG_CONFIG_HOME/Tamrel/Kestrova.conf, or under
// ~/.config.
QString SettingsFilePath();
// The settings, or null when the file must not be touched.
std::unique_ptr<QSettings> OpenSettings();
