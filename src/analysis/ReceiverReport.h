#pragma once
// The receiver report in its formats: a side-by-side text table, JSON, CSV
// (one row per epoch), GPX and KML tracks, and a self-contained HTML page.
// Every format reads the figures through one table of rows, so a figure has
// one name, one unit and one precision everywhere.
#include "EpochLog.h"
#include "Figures.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct EntryCharts;   // ReportSvg.h

struct ReportEntry {
    std::string name;           // as given on the command line
    std::string protocol;       // "nmea" or "binr"
    const EpochLog* log = nullptr;
    Figures figures;
    // Where the page says the epochs came from; empty when not known.
    std::optional<uint64_t> sizeBytes;
    std::string sha256;         // lower-case hex
    std::string receiver;       // the receiver's own name, as its stream gives it
    // The page's drawings of the log's epochs, when made before the page
    // (DrawEntryCharts); the page draws them itself when this is empty.
    std::shared_ptr<const EntryCharts> charts;
};

// What the page says about how it was made, beside the program's version and
// the files: the settings as label and value ("Command line", "HDOP limit",
// ...), the tester's own title and notes (plain text, shown escaped).
struct ReportPage {
    std::string title;
    std::string notes;
    std::string generatedUtc;   // "2026-12-07 15:46:59 UTC"
    std::vector<std::pair<std::string, std::string>> settings;
};

enum class Better { None, Lower, Higher, LowerMagnitude };

struct ReportRow {
    const char* label;          // the text table's and the page's row title, with its unit
    const char* key;            // the JSON field name (unit as its suffix)
    int decimals;               // -1: a text value (times, the reference's source)
    Better better;
    Figure (*value)(const Figures&);
    std::string (*text)(const Figures&);   // for text values
    const char* group;          // the page's sections
};

const std::vector<ReportRow>& ReportRows();

// The value as the table shows it: fixed decimals, "–" when empty.
std::string RowText(const ReportRow& row, const Figures& f);
// Which entry holds the best value of the row: the one that beats every
// other by more than the row's resolution and by more than 1 % (BestMarks).
// None on a tie, when fewer than two entries have a value, for a row with no
// better direction, and for the bias rows unless every entry was measured
// from a given reference (from the mean of its own fixes a bias is zero by
// construction).
std::vector<bool> BestOfRow(const ReportRow& row, const std::vector<ReportEntry>& entries);
bool IsBiasRow(const ReportRow& row);
// The row's label for these entries: the "other used" rows read "Other or
// GNSS (system unknown)" when a GN talker's count without GSA is among them.
std::string RowLabel(const ReportRow& row, const std::vector<ReportEntry>& entries);
bool SystemUnknownIn(const std::vector<ReportEntry>& entries);
bool AllReferencesGiven(const std::vector<ReportEntry>& entries);

// "2007-04-08 09:52:57.809" on a dated time line, "09:52:57.809" (with
// "+Nd" after the first day) on an undated one.
std::string TimeLineText(int64_t ms, bool datesKnown);
// "2007-04-08T09:52:57.809Z"; empty when the time line has no dates.
std::string IsoTime(int64_t ms, bool datesKnown);

void WriteTextTable(std::ostream& out, const std::vector<ReportEntry>& entries);
void WriteJson(std::ostream& out, const std::vector<ReportEntry>& entries);
void WriteCsv(std::ostream& out, const std::vector<ReportEntry>& entries);
void WriteGpx(std::ostream& out, const std::vector<ReportEntry>& entries);
void WriteKml(std::ostream& out, const std::vector<ReportEntry>& entries);
void WriteHtml(std::ostream& out, const std::vector<ReportEntry>& entries, const ReportPage& page);
void WriteHtml(std::ostream& out, const std::vector<ReportEntry>& entries);   // no settings, no title
// Draws into e.charts what the page shows of e's epochs (the scatter, the
// errors, used satellites, HDOP and C/N0 against time), so that the epochs
// can go before the page is written (EpochLog::Truncate(0) keeps what the
// sky plots and the figures need): a page of many long recordings then
// needs the memory of one at a time, not of all of them.
void DrawEntryCharts(ReportEntry& e);
// "Kestrova 6.4" and the commit it was built from, when built from git.
std::string ProgramVersionText();

// The file name without its folders, as tables and legends show it.
std::string BaseName(const std::string& path);
// Text made safe for XML and HTML content and attributes (bytes that are not
// UTF-8 become "?").
std::string XmlEscaped(const std::string& text);
