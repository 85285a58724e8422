#pragma once
// Batch conversion of BINR recordings into their NMEA side files.
#include <QStringList>

// weekRollovers: a count forced on every file's dates (0: by each file's time).
int RunToNmea(const QStringList& files, int weekRollovers = 0);
