#pragma once
// The report page's signal charts: the C/N0 of the satellites used against
// time, the sky plot of the satellites in view and C/N0 against elevation.
#include "ReceiverReport.h"

#include <string>
#include <vector>

namespace svg {

// One receiver's mean C/N0 of the satellites used, a line per system. Long
// recordings give a point per run of epochs (the mean over the run).
void UsedSnrLines(std::string& out, const ReportEntry& e);
// The sky seen by one receiver: each 1-degree cell a satellite crossed,
// coloured by the mean SNR seen there.
void SkyPlot(std::string& out, const ReportEntry& e);
// C/N0 against elevation: every sky cell a satellite crossed as a dot at its
// elevation and mean C/N0, and the mean of each 5-degree band as a line.
void SnrByElevation(std::string& out, const std::vector<ReportEntry>& entries);

} // namespace svg
