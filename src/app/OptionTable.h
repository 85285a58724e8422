#pragma once
// The options of the program and of kestrova --report, in one table
// (OptionTable.cpp): a row names an option, the form of its value, its line
// in the usage text, the mode that accepts it and what it sets. Both modes
// parse with the table and make their usage text's option list from it.
//
// A parse takes the arguments in order and stops at the first fault, which
// it states. An argument that is no option in the mode's sense is a FILE:
// in the program only one starting with "--" is an option, in the report any
// starting with "-" but "-" itself. What options mean together (--from needs
// --pace, ...) each mode checks after the parse.
#include "CommandLine.h"
#include "ReportOptions.h"

#include <string>
#include <vector>

enum class OptionMode { Program, Report };

// What a parse sets: the part of its mode.
struct ParsedOptions {
    CommandLine program;
    ReportOptions report;
    std::string error;   // the first fault; empty when there was none
};

// arguments[0] is the program. Texts are bytes as the command line gave them
// (the program's QStrings in their local 8-bit form).
ParsedOptions ParseOptions(OptionMode mode, const std::vector<std::string>& arguments);
// The usage text's option list: a line group per shown row, the help
// aligned in a column of the mode's width.
std::string OptionHelp(OptionMode mode);
