#pragma once
// Headless runs: the real windows on the offscreen platform, a file played
// fast through the usual intake, every view refresh printed as a line.
#include "CommandLine.h"

#include <cstdint>
#include <functional>

class QTimer;
class TMainForm;

int RunHeadless(const CommandLine& cl);
// The lines are the whole output of a headless run. A closed standard
// output is kept closed for good (a file opened later would take its number
// and the lines would land in it); a reader that goes away is an error to
// report, not a signal that ends the run before its record file is closed.
void GuardStandardOutput();
// Every view switched on, the Statistic limits of the command line, the protocol.
void SetUpHeadlessWindows(TMainForm* form, const CommandLine& cl, bool binr);
// Why the file in the main window did not start playing: "FILE: reason".
QString PlaybackStartProblem(const TMainForm* form);
// The MAIN line: the main window's labels.
void ReportMainWindow(const TMainForm* form);
// --seconds N: calls stop once N seconds have passed on the monotonic clock,
// however long (timer waits a day at a time); nothing when N is 0.
void StopAfterSeconds(QTimer& timer, int64_t seconds, const std::function<void()>& stop);
// A live source instead of a file (HeadlessLive.cpp), in the application and
// windows RunHeadless made.
int RunHeadlessLive(TMainForm& form, const CommandLine& cl);
// A bench without a display (HeadlessBench.cpp): no windows, its own
// application; the exit status as the usage text says.
int RunHeadlessBench(const CommandLine& cl);
