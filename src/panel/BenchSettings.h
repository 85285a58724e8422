#pragma once
// What the bench remembers between runs, under the settings' [Bench] group:
// its sources, the reference, the record folder and the title. Each key is
// named once (BenchSettings.cpp) for load and save. A value that cannot be
// read gives its default: a source without a usable address is dropped, a
// bad protocol reads as NMEA, a bad rate as 4800, a bad or missing name as
// the address's default name, a bad reference as none.
#include "BenchFolder.h"

#include <QSettings>
#include <QString>

#include <optional>
#include <vector>

struct BenchSetup {
    std::vector<BenchSourceSetup> sources;
    std::optional<BenchReference> reference;
    QString recordDir;
    QString title;
    bool operator==(const BenchSetup&) const = default;
};

BenchSetup LoadBenchSetup(QSettings& s);
void SaveBenchSetup(QSettings& s, const BenchSetup& setup);

// A source as the command line names it, SOURCE[=NAME]: a serial port at
// baud or a network address (rate 0), its name unique among taken. None,
// with why, when the address is no source.
std::optional<BenchSourceSetup> BenchSourceFromText(const QString& text, bool binr, int baud,
                                                   const std::vector<BenchSourceSetup>& taken, QString* why);
// "55.75,37.62,150" as a reference; none when it is not three numbers in range.
std::optional<BenchReference> BenchReferenceFromText(const QString& text);
QString BenchReferenceText(const BenchReference& reference);
