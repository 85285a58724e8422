#pragma once
// SIGINT and SIGTERM as a request to stop, for the headless runs: the handler
// only sets a flag, which the run polls and answers through its usual Stop
// path, so a file is closed complete whatever the signal interrupted.
void InstallStopSignals();
bool StopSignalled();
