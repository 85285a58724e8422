#pragma once
// The options of the program and of kestrova --report, each mode one table
// of rows (the program's in ProgramOptions.cpp, the report's in
// ReportOptions.cpp): a row names an option, the form of its value, its line
// in the usage text and what it sets. Both modes parse with their table and
// make their usage text's option list from it. This engine and the report's
// table need no Qt, so the Qt-free kestrova entry parses --report with them.
//
// A parse takes the arguments in order and stops at the first fault, which
// it states. An argument that is no option in the mode's sense is a FILE:
// in the program only one starting with "--" is an option, in the report any
// starting with "-" but "-" itself. What options mean together (--from needs
// --pace, ...) each mode checks after the parse.
#include "BenchFolder.h"

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class OptionMode { Program, Report };

// One option of a mode whose parse fills an Options.
template <class Options>
struct OptionRow {
    // The fault of the option as given, empty when it was taken.
    using Take = std::string (*)(Options& into, const std::string& option, const std::string& value);
    const char* name;    // as typed; "": takes each argument that is no option; nullptr: a usage line only
    const char* value;   // the form of its value ("X"); nullptr: it takes none
    const char* shown;   // the usage's name when not "NAME VALUE"; "": not in the usage
    const char* help;    // lines separated by '\n'
    Take take;
};

template <class Options>
struct OptionTable {
    OptionMode mode;
    std::span<const OptionRow<Options>> rows;   // in the order of the usage text
};

template <class Options>
struct ParsedOptions {
    Options options;
    std::string error;   // the first fault; empty when there was none
};

// Whether an argument is an option in the mode's sense (it is a FILE if not).
bool IsOption(OptionMode mode, const std::string& argument);
// A row's line group in the usage text, the help aligned in the mode's column.
std::string OptionHelpLine(OptionMode mode, const char* name, const char* value, const char* shown, const char* help);

template <class Options>
const OptionRow<Options>* FindOption(const OptionTable<Options>& table, const char* name)
{
    for (const OptionRow<Options>& row : table.rows)
        if (row.name && std::strcmp(row.name, name) == 0)
            return &row;
    return nullptr;
}

// arguments[0] is the program. Texts are bytes as the command line gave them
// (the program's QStrings in their local 8-bit form).
template <class Options>
ParsedOptions<Options> ParseOptions(const OptionTable<Options>& table, const std::vector<std::string>& arguments)
{
    ParsedOptions<Options> p;
    for (size_t i = 1; i < arguments.size() && p.error.empty(); ++i) {
        const std::string& a = arguments[i];
        const OptionRow<Options>* row = a.empty() ? nullptr : FindOption(table, a.c_str());
        if (!row && IsOption(table.mode, a)) {
            p.error = "unknown option " + a;
            break;
        }
        if (!row) {
            p.error = FindOption(table, "")->take(p.options, a, a);
            continue;
        }
        if (row->value && i + 1 >= arguments.size()) {
            p.error = a + " needs a value";
            break;
        }
        p.error = row->take(p.options, a, row->value ? arguments[++i] : std::string());
    }
    return p;
}

// The usage text's option list: a line group per shown row.
template <class Options>
std::string OptionHelp(const OptionTable<Options>& table)
{
    std::string text;
    for (const OptionRow<Options>& row : table.rows)
        if (!row.shown || *row.shown)
            text += OptionHelpLine(table.mode, row.name, row.value, row.shown, row.help);
    return text;
}

// Values both modes read alike.
// LAT,LON,H in degrees and metres, as typed (the bench keeps them so).
std::optional<BenchReference> ParseReferenceDegrees(const std::string& text);
// A finite decimal number, all of the text.
std::optional<double> OptionNumber(const std::string& text);
// The fault of a --week-rollovers count out of range.
std::string WeekRolloversFault();
