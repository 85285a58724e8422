#pragma once
// The program's options (all but kestrova --report's), as the option table
// (OptionTable.h) parses them into a CommandLine.
#include "CommandLine.h"
#include "OptionTable.h"

// In the order of the usage text.
extern const OptionTable<CommandLine> kProgramOptionTable;
