#pragma once
// The PLAYER's timeline: where each epoch sits along the slider, and the
// times a user types to go to.
//
// The slider is proportional to recording time, read step by step as the
// paced replay reads it: a step between two timed epochs counts as it is,
// while a time that goes back, a jump over an hour (midnight, a receiver
// reset, joined files) or an epoch without a time counts as one epoch
// interval. So the handle moves at an even speed during a replay, and a gap
// takes the room its duration does.
#include "EpochIndex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TimelineGap {
    size_t before;   // the last epoch before the gap
    int64_t ms;      // its length on the timeline
};

class TimelineScale {
public:
    // Brings the scale up to the index's epochs. Epochs are only ever
    // appended, so those already placed keep their place.
    void Update(const EpochIndex& index, int64_t intervalMs);
    // A file without epochs is paced by its bytes: count even steps.
    void Uniform(size_t count, int64_t stepMs);
    void Clear() { offsetMs_.clear(); lastRaw_ = kNoTime; }
    size_t Count() const { return offsetMs_.size(); }
    // Milliseconds from the first epoch to the last.
    int64_t SpanMs() const { return offsetMs_.empty() ? 0 : offsetMs_.back(); }
    int64_t OffsetMs(size_t epoch) const;
    // The slider position of an epoch, 0..steps.
    int Position(size_t epoch, int steps) const { return PositionAt(OffsetMs(epoch), steps); }
    // The slider position of a moment offsetMs from the first epoch.
    int PositionAt(int64_t offsetMs, int steps) const;
    // The length of the step from an epoch to the next (0 at the last).
    int64_t StepMs(size_t epoch) const;
    // The first epoch at or after a position / an offset (the last epoch
    // past the end, 0 when there is none).
    size_t EpochAtPosition(int position, int steps) const;
    size_t EpochAtOffset(int64_t offsetMs) const;
    // Steps longer than minMs, in order.
    std::vector<TimelineGap> Gaps(int64_t minMs) const;

private:
    std::vector<int64_t> offsetMs_;
    int64_t lastRaw_ = kNoTime;
};

// A time of day typed into the PLAYER, in milliseconds, or kNoTime:
//   "hh:mm:ss" or "hhmmss" (one-digit hours too: "9:05:00", "90500");
//   "mm:ss" or "mmss": that minute and second of the hour the current epoch
//   is in (currentMsOfDay; refused without one).
// Spaces around it are ignored, and so is a Qt-mask blank "_".
int64_t TypedTimeOfDayMs(std::string_view text, int64_t currentMsOfDay);

// Digits after the seconds in the PLAYER's times for a recording of this
// epoch interval: none at 1 Hz and slower, tenths above, hundredths when the
// interval is no whole number of tenths (20 Hz, 50 Hz).
int TimeDecimals(int64_t intervalMs);
// The fraction of a second of ms: ".3" or ".35" for 1 or 2 decimals, empty
// for none. Truncated, so that a time never shows later than it is.
std::string FractionText(int64_t ms, int decimals);
// What the PLAYER shows inside a gap: "gap: 10:31 without data", the gap's
// length as m:ss, or h:mm:ss from an hour on.
std::string GapText(int64_t gapMs);
