#pragma once
// Headless runs: the real windows on the offscreen platform, a file played
// fast through the usual intake, every view refresh printed as a line.
#include "CommandLine.h"

int RunHeadless(const CommandLine& cl);
