#pragma once
// The program with its windows: the checks of the command line's FILE and
// ports, the windows made and shown, what the options ask for at start-up,
// then the event loop until the main window closes.
#include "CommandLine.h"

// The exit status. argc and argv are the application's.
int RunWindows(int& argc, char* argv[], const CommandLine& cl);
