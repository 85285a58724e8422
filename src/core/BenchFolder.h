#pragma once
// The test folder of a bench: every receiver of one test recorded side by
// side, with a small description of the test beside the recordings.
//
//   DIR/YYYY-MM-DD_hhmmss[_TITLE]/
//       bench.json            the sources, their settings, the reference, the start
//       NAME.nme | NAME.dat   each receiver's bytes as received (NMEA or BINR)
//       NAME.nme.times        when each block arrived (ReceiveTimes.h), from Start
//       report.html           the report of the test, once asked for
//
// The folder's time is the UTC start of the test. Plain C++, no Qt: the
// window, the headless bench, the PLAYER and the report read one format.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr const char* kBenchJsonName = "bench.json";
// The side-by-side page of the test, written into the folder (ReportCommand.h).
constexpr const char* kBenchReportName = "report.html";
// Most receivers a bench takes at once.
constexpr int kBenchMaxSources = 8;

// One receiver of the bench as the user set it up.
struct BenchSourceSetup {
    std::string name;       // short name, unique in the bench: the file's name without its extension
    std::string address;    // a serial port name or a network address (SourceAddress.h)
    bool binr = false;      // the protocol: BINR (8-O-1, NAME.dat) or NMEA (8-N-1, NAME.nme)
    int baud = 0;           // the line rate; 0 for a network source
    bool operator==(const BenchSourceSetup&) const = default;
};

// The surveyed point the figures are taken about; degrees and metres.
struct BenchReference {
    double latDeg = 0;
    double lonDeg = 0;
    double heightM = 0;
    bool operator==(const BenchReference&) const = default;
};

struct BenchManifest {
    std::string title;                        // the tester's own, may be empty
    int64_t startUnixMs = 0;                  // UTC start of the test
    std::optional<BenchReference> reference;  // none: figures about each receiver's mean
    std::vector<BenchSourceSetup> sources;
    std::string program;                      // "Kestrova 6.4 (commit)", as the report names it
    bool operator==(const BenchManifest&) const = default;
};

// "2026-12-07_204500" or "2026-12-07_204500_TITLE"; the title keeps letters,
// digits, '-' and '_', other characters become '_', at most 40 of them.
std::string BenchFolderName(int64_t startUnixMs, const std::string& title);
// A source name made fit for a file name (as the title above); an empty one
// becomes "receiver". Names used before in a list: BenchSafeNames.
std::string BenchSafeName(const std::string& name);
// The names of a bench's sources made fit for file names and unique: each
// as BenchSafeName, an empty one "receiverN" (N its place from 1), one used
// before gets "_2", "_3"..., its base cut so that it keeps to 40 characters.
std::vector<std::string> BenchSafeNames(const std::vector<std::string>& names);
// "NAME.nme" or "NAME.dat".
std::string BenchFileName(const BenchSourceSetup& source);
// The short name a source gets when the user gives none: the stable device
// name's last part ("/dev/serial/by-id/usb-Maker_GNSS_123-if00-port0" gives
// "Maker_GNSS_123"), the port's name ("ttyUSB0"), or the host of a network
// address ("tcp://10.0.0.7:5000" gives "10_0_0_7"; "udp://:5000" "udp5000").
std::string BenchDefaultName(const std::string& address);

// bench.json as written: UTF-8, one object, fields documented in docs/formats.md.
std::string BenchJsonText(const BenchManifest& manifest);
// False with a reason fit for a user when the text is not a bench.json this
// program can use; *out untouched then.
// Safe on any input: a text over 1 MiB, nested deeper than 16 or holding
// over 4096 values is refused; so is a source name that is not already a
// safe name (it becomes a file name in the folder).
bool ParseBenchJson(const std::string& text, BenchManifest* out, std::string* problem);

// FOLDER/bench.json.
std::string BenchJsonPath(const std::string& folder);
// True when FOLDER holds something named bench.json: the folder is a test
// folder, read as one (a bench.json that cannot be read is said so by
// ReadBenchFolder, rather than the folder taken for a file).
bool IsBenchFolder(const std::string& folder);
// Reads and parses FOLDER/bench.json; the reason names the file and says why
// ("FOLDER/bench.json cannot be read: not a regular file (a FIFO)"). Only a
// regular file is opened, without waiting (SmallFile.h).
bool ReadBenchFolder(const std::string& folder, BenchManifest* out, std::string* problem);
// Writes FOLDER/bench.json whole (through a temporary file and a rename);
// refuses, writing nothing, what BenchManifestProblem refuses.
bool WriteBenchFolder(const std::string& folder, const BenchManifest& manifest, std::string* problem);
