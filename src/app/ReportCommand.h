#pragma once
// kestrova --report [options] FILE...: the receiver report of recordings,
// side by side. Runs without a QApplication: plain files and standard streams.

// True when the arguments ask for a report (the option may stand anywhere).
bool IsReportCommand(int argc, char* argv[]);
// The exit status: 0, 1 when an output could not be written, 2 when an input
// could not be read or the options are wrong.
int RunReport(int argc, char* argv[]);
