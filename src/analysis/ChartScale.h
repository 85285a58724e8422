#pragma once
// The decisions behind the report page's charts, apart from the drawing:
// axis steps, a time axis that compresses long gaps, the scatter's frame
// with the fixes beyond it put on its edge, and which value of a row is
// "best". All plain functions of their inputs, so each can be checked with
// a table of cases.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// A step of 1, 2, 2.5 or 5 times a power of ten giving about `ticks` ticks.
double NiceStep(double range, int ticks);
// The same for counts: a whole number, at least 1 (no "9.8 satellites").
double CountStep(double range, int ticks);

// ---------------------------------------------------------------- time axis
//
// The time line is cut into spans where the data lies; a gap longer than
// the axis's break length becomes a fixed-width break mark instead of empty
// paper, so the epochs after a long gap keep a readable width. A span also
// gets a least width, so a short burst of epochs is never a sliver.
struct TimeSpan {
    double fromS = 0, toS = 0;      // on the time line
    double x0 = 0, x1 = 0;          // on the axis, 0 to 1
};

class TimeAxis {
public:
    // times: every time drawn, in any order. breakS: a gap longer than this
    // is compressed; 0 or less: the axis is linear.
    static TimeAxis Build(std::vector<double> times, double breakS);
    // Where t falls, 0 to 1; a time in a gap falls on its break.
    double At(double t) const;
    const std::vector<TimeSpan>& Spans() const { return spans_; }
    // The axis positions of the breaks' middles.
    std::vector<double> Breaks() const;

    static constexpr double kBreakWidth = 0.025;   // of the axis
    static constexpr double kLeastSpan = 0.06;

private:
    std::vector<TimeSpan> spans_;
};

// The gap that counts as a break: ten epochs, at least a minute, and 5 % of
// the whole recording, so a few missed epochs stay an honest line gap.
double BreakAfterS(double rateS, double firstS, double lastS);

struct AxisTick {
    double at;            // on the axis, 0 to 1
    std::string text;
};

// Ticks in UTC time of day: each span gets its own step for its width; a
// label that would overlap its left neighbour or stick out of the axis by
// more than `overhangPx` is dropped, so no label is ever cut. Every span
// with room for a label gets at least its start.
std::vector<AxisTick> TimeTicks(const TimeAxis& axis, double plotPx, double overhangPx);
// "10:16:10" (with seconds below a minute's step).
std::string ClockTick(double seconds, double stepS);
// Pixels a label of n characters takes at the page's 13 px tick font.
double LabelPx(size_t chars);

// ---------------------------------------------------------------- scatter

struct ScatterFrame {
    double halfM;         // the frame is +-halfM each way
    double stepM;         // grid step
};
// A frame just holding the R99 circle (or R95, or the largest error when
// nothing else is known), on a nice grid.
ScatterFrame ScatterFrameFor(double r99M, double r95M, double maxM);

// Where a point is drawn: inside the frame as it is; beyond it on the frame's
// edge, in its direction from the centre (the second member true).
std::pair<std::pair<double, double>, bool> OnFrame(double east, double north, double halfM);

// ---------------------------------------------------------------- best

enum class Rank { None, Lower, Higher, LowerMagnitude };

// Which value is best: one that beats every other by more than the figure's
// resolution (10^-decimals) and by more than 1 % of itself. Ties, equal
// values and rows with fewer than two values have none. `valid` false for
// an empty value.
std::vector<bool> BestMarks(const std::vector<double>& values, const std::vector<bool>& valid, int decimals,
                            Rank rank);
