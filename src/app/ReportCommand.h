#pragma once
// kestrova --report [options] FILE...: the receiver report of recordings,
// side by side. Runs without a QApplication: plain files and standard streams.

// True when the arguments ask for a report (the option may stand anywhere).
bool IsReportCommand(int argc, char* argv[]);
// The exit status: 0, 1 when an output could not be written, 2 when an input
// could not be read, the options are wrong or an output would overwrite an
// input or another output (then nothing is read or written).
int RunReport(int argc, char* argv[]);
