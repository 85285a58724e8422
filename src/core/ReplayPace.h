#pragma once
// Pacing of a replay: which bytes of the file go next and when they are due.
//
// The recording's own clock decides: the receive times of FILE.times when
// there are good ones (block by block, bursts and gaps as received), else
// the UTC time of each epoch, else the byte count at the line's rate. That
// recording time, scaled by the speed, gives the due time on the replay
// clock, counted from an anchor set at every seek, pause or change of speed,
// so no error accumulates from one delivery to the next.
//
// A step backwards in time, a jump over an hour, an epoch without a time,
// and (when asked) a gap longer than the skip limit all count as one epoch
// interval: a reset receiver or a midnight never stalls or races the replay.
//
// Nothing here reads a clock: every call that needs the time is given it,
// so tests drive it with any clock they like.
#include "EpochIndex.h"
#include "ReceiveTimes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr double kMinSpeed = 0.25;
constexpr double kMaxSpeed = 64.0;
constexpr int64_t kJumpLimitMs = 3'600'000;        // a jump over an hour is no gap
constexpr int64_t kDefaultEpochIntervalMs = 1000;

struct PaceOptions {
    double speed = 1.0;            // kMinSpeed .. kMaxSpeed
    bool max = false;              // every delivery due at once
    int64_t skipGapsMs = 0;        // a gap longer than this counts as one interval; 0: keep gaps
    int64_t bytesPerSecond = 960;  // for a file without times: rate / 10
};

struct Delivery {
    int64_t begin = 0;   // bytes [begin, end) of the file
    int64_t end = 0;
    int64_t dueUs = 0;   // on the replay clock
    size_t epoch = 0;    // the epoch the bytes belong to
};

enum class PaceSource { ReceiveTimes, EpochTimes, ByteCount };

// How far a replay has come in recording time, as of its last change
// (delivery, seek, pause, new options): enough to tell the recording time
// reached at any later moment without the pace itself, so that another
// thread can show it (the PLAYER's handle moving through a gap).
struct PaceProgress {
    size_t epoch = 0;          // of the last delivery
    bool delivered = false;    // anything since the last seek
    bool paused = false;
    bool max = false;
    double speed = 1.0;
    int64_t anchorUs = 0;
    int64_t anchorRec = 0;
    int64_t lastRec = 0;       // the last delivery's recording time
    int64_t nextRec = 0;       // the next one's; lastRec at the end
    int64_t pausedRec = 0;
    // The recording time reached at nowUs: the anchor's plus the replay time
    // since at the speed, never before the last delivery nor past the next.
    int64_t ReachedMs(int64_t nowUs) const;
};

class ReplayPace {
public:
    // index may go on growing (a file still being recorded); times are used
    // only when non-empty. The list shares its records, never copies them:
    // a month's receive times are gigabytes.
    ReplayPace(const EpochIndex& index, ReceiveTimeList times, const PaceOptions& options);

    PaceSource Source() const { return source_; }
    const PaceOptions& Options() const { return options_; }
    // New options from nowUs on: the recording time reached so far stays
    // reached, and the rest up to the next delivery goes at the new speed.
    void SetOptions(const PaceOptions& options, int64_t nowUs);
    // The replay goes on from nowUs: from the recording time reached when
    // Pause was called (so a play resumed inside a gap goes on from there,
    // not from the gap's start), else from the last delivery (back from
    // Fast play, which delivered without the clock).
    void Rebase(int64_t nowUs);
    void Pause(int64_t nowUs);
    PaceProgress Progress() const;
    // Receive times end where the file goes on growing: epoch times from here.
    void DropReceiveTimes(int64_t nowUs);

    // Epochs of the timeline. A file without any epoch gets one per second
    // of bytes at the line's rate, so it can still be stepped and sought.
    size_t EpochCount() const;
    int64_t EpochBegin(size_t k) const;
    int64_t EpochEnd(size_t k) const;
    size_t EpochAt(int64_t offset) const;

    // The next delivery starts at epoch k, due at nowUs.
    void Seek(size_t k, int64_t nowUs);
    // The next delivery; false when every byte indexed so far is delivered.
    bool Next(Delivery& out) const;
    // The delivery returned by Next went out.
    void Done(const Delivery& d);
    int64_t Cursor() const { return cursor_; }
    int64_t EpochIntervalMs() const { return intervalMs_; }

private:
    int64_t RawMs(int64_t offset, size_t epoch) const;
    int64_t UnitEnd(int64_t offset, size_t epoch) const;
    int64_t StepMs(int64_t fromRaw, int64_t toRaw) const;
    // The recording time of the bytes at offset after the gap rules.
    int64_t RecordingMs(int64_t offset, size_t epoch) const;
    bool ByteEpochs() const { return index_.Count() == 0; }

    const EpochIndex& index_;
    ReceiveTimeList times_;
    PaceOptions options_;
    PaceSource source_;
    int64_t intervalMs_ = kDefaultEpochIntervalMs;
    int64_t cursor_ = 0;
    bool hasPrevious_ = false;
    int64_t previousRaw_ = 0;      // recording time of the last delivery, as read
    int64_t previousRec_ = 0;      // the same after the gap rules
    size_t previousEpoch_ = 0;
    int64_t anchorUs_ = 0;
    int64_t anchorRec_ = 0;
    bool paused_ = false;
    int64_t pausedRec_ = 0;
};

// A typical epoch interval: the median of the first positive steps up to an
// hour, or kDefaultEpochIntervalMs.
int64_t TypicalEpochIntervalMs(const EpochIndex& index);
