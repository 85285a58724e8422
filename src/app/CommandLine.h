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
    QStringList files;
    QString error;         // set when the options are wrong
};

CommandLine ParseCommandLine(const QStringList& arguments);   // arguments[0] is the program
QString UsageText();
