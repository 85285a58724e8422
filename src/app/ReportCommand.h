#pragma once
// kestrova --report [options] FILE...: the receiver report of recordings,
// side by side. Runs without a QApplication: plain files and standard streams.

// True when the arguments ask for a report (the option may stand anywhere).
bool IsReportCommand(int argc, char* argv[]);
// The exit status: 0, 1 when an output could not be written, 2 when an input
// could not be read, the options are wrong or an output would overwrite an
// input or another output (then nothing is read or written).
int RunReport(int argc, char* argv[]);

// The bench's test folders (BenchFolder.h).
#include "BenchReceiver.h"

#include <string>
#include <vector>

// Writes FOLDER/report.html, the page `kestrova --report FOLDER --html
// FOLDER/report.html` writes: the bench's "Report" button and the headless
// bench's end call it. The status as RunReport's; *written: the page's name,
// empty when no page was written (a recording that cannot be read leaves
// the page of the others, with status 2); *problem: what the run said
// (standard error has it too), one message a line, empty when all went well.
// A receiver of bench.json without a recording (it never opened) has an
// empty column, with a message.
int ReportBenchFolder(const std::string& folder, std::string* written, std::string* problem);
// The bench's table as the report of the folder's recordings gives it, with
// these states in the state row: the table at Stop when a receiver's live
// log was thinned (BenchReceiver::Thinned). The status as RunReport's.
int BenchFolderTable(const std::string& folder, const std::vector<BenchState>& states, std::vector<BenchRow>* table,
                     std::string* problem);
