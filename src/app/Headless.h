#pragma once
// Headless runs: the real windows on the offscreen platform, a file played
// fast through the usual intake, every view refresh printed as a line.
#include "CommandLine.h"

class TMainForm;

int RunHeadless(const CommandLine& cl);
// Every view switched on, the Statistic limits of the command line, the protocol.
void SetUpHeadlessWindows(TMainForm* form, const CommandLine& cl, bool binr);
// Why the file in the main window did not start playing: "FILE: reason".
QString PlaybackStartProblem(const TMainForm* form);
// The MAIN line: the main window's labels.
void ReportMainWindow(const TMainForm* form);
// A live source instead of a file (HeadlessLive.cpp), in the application and
// windows RunHeadless made.
int RunHeadlessLive(TMainForm& form, const CommandLine& cl);
