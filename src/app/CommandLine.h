#pragma once
// The program's options. Anything not an option is a file argument.
#include <QString>
#include <QStringList>

struct CommandLine {
    bool help = false;
    bool headless = false;
    bool toNmea = false;
    enum class Protocol { ByName, Nmea, Binr } protocol = Protocol::ByName;
    QString maxHdop = "0.0";
    QString maxVdop = "0.0";
    bool diffOnly = false;
    bool multiGnss = false;     // --multi-gnss: every constellation, RTK status words
    bool fast = false;          // --fast: the file named plays at fast pace
    bool exitAfterPlay = false; // --exit-after-play: quit when that playback stops
    QStringList show;      // views named with --show
    QStringList ports;     // --port PATH, repeatable
    int weekRollovers = 0; // --week-rollovers N; 0: chosen by a reference time
    QStringList files;
    QString error;         // set when the options are wrong
};

CommandLine ParseCommandLine(const QStringList& arguments);   // arguments[0] is the program
// The protocol a file named on the command line is played with: --nmea or
// --binr, else by its name (.dat is BINR, anything else NMEA).
bool PlaysAsBinr(const CommandLine& cl, const QString& file);
// Why a file named on the command line cannot be played ("NAME: reason"),
// or empty when it can. Only a regular file has an end: a FIFO or a device
// is refused before anything waits on it.
QString PlayableFileProblem(const QString& file);
QString UsageText();
