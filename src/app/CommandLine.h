#pragma once
// The program's options. Anything not an option is a file argument.
#include "BenchFolder.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct CommandLine {
    bool help = false;
    bool version = false;   // --version
    bool headless = false;
    bool toNmea = false;
    enum class Protocol { ByName, Nmea, Binr } protocol = Protocol::ByName;
    QString maxHdop = "0.0";
    QString maxVdop = "0.0";
    bool diffOnly = false;
    bool multiGnss = false;     // --multi-gnss: every constellation, RTK status words
    bool fast = false;          // --fast: the file named plays at fast pace
    bool exitAfterPlay = false; // --exit-after-play: quit when that playback stops
    bool player = false;        // --player: show the PLAYER window
    double pace = 0;            // --pace X: replay at X times the recording's pace; 0: not paced
    int fromMsOfDay = -1;       // --from HH:MM:SS; -1: from the start
    QStringList show;      // views named with --show
    QStringList ports;     // --port PATH, repeatable
    int weekRollovers = 0; // --week-rollovers N; 0: chosen by a reference time
    QStringList files;
    // --bench: the BENCH window at start-up; every argument after it that is
    // no option is a bench source, SOURCE[=NAME], not a FILE.
    bool bench = false;
    QStringList benchSources;
    // Live sources: --headless --port SOURCE logs without a display.
    bool headlessLive = false;
    int baud = 0;          // --baud N, one of the nine line rates; 0: the window's default
    QString record;        // --record FILE
    bool append = false;   // --append: an existing FILE is continued
    bool overwrite = false;   // --overwrite: an existing FILE is replaced
    int64_t seconds = 0;   // --seconds N: end after N seconds; 0: run until a signal
    bool reconnect = false;
    bool watch = false;    // --watch: watch the first --port at start-up
    QString instance;      // --instance NAME
    // The headless bench: benchSources as SOURCE[=NAME][,nmea|,binr][,BAUD],
    // resolved with --nmea/--binr and --baud.
    std::vector<BenchSourceSetup> benchSetups;
    QString recordDir;       // --record-dir DIR
    QString title;           // --title TEXT
    std::optional<BenchReference> reference;   // --reference LAT,LON,H
    QString error;         // set when the options are wrong
};

// arguments[0] is the program. Parsed with the option table (ProgramOptions.h),
// then checked as a whole; error names the first fault.
CommandLine ParseCommandLine(const QStringList& arguments);
// One bench source as typed after --bench: SOURCE[=NAME][,nmea|,binr][,BAUD],
// the protocol and rate defaulting to the ones given (a network source has
// no rate: 0). The name defaults to BenchDefaultName. False with a reason
// when a part cannot be taken.
bool ParseBenchSource(const QString& text, bool binr, int baud, BenchSourceSetup* out, QString* problem);
// KESTROVA_PORTS: ':'-separated, where a network address keeps its own colons
// ("/dev/pts/3:tcp://127.0.0.1:5000:udp://:5001").
QStringList SplitPortList(const QString& text);
// The protocol a file named on the command line is played with: --nmea or
// --binr, else by its name (.dat is BINR, anything else NMEA).
bool PlaysAsBinr(const CommandLine& cl, const QString& file);
// Why a file named on the command line cannot be played ("NAME: reason"),
// or empty when it can. Only a regular file has an end: a FIFO or a device
// is refused before anything waits on it.
QString PlayableFileProblem(const QString& file);
// The usage text of --help; its option list is the option table's.
QString UsageText();
// "kestrova: TEXT" on stderr, control characters shown, not obeyed.
void Complain(const QString& text);
