#pragma once
// Batch conversion of BINR recordings into their NMEA side files.
#include <QStringList>

int RunToNmea(const QStringList& files);
