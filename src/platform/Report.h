#pragma once
// Line output of headless runs: one line per view refresh, the view's name
// and then Name=text for each label, separated by tabs, in UTF-8.
#include <QString>
#include <functional>
#include <string>
#include <initializer_list>
#include <utility>

void SetHeadlessReport(bool on);
bool HeadlessReport();
void ReportView(const char* view, std::initializer_list<std::pair<const char*, QString>> fields);
// A line a view formats whole (SIGNALS), printed as it is; it must hold no
// line end.
void ReportLine(const std::string& line);
// Labels an option adds to a view (Multi-GNSS): printed after the fields of
// that view's next ReportView line.
void ReportExtra(std::initializer_list<std::pair<const char*, QString>> fields);

// Standard output that takes no more lines (closed, full, its reader gone):
// the reason is said once on stderr, and no later line is tried. The handler
// runs once, on the thread that printed, when that happens.
bool ReportOutputFailed();
void SetReportFailureHandler(std::function<void()> handler);
// For an output found unusable before any line: errno's reason.
void ReportOutputFailure(int error);
