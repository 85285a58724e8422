#pragma once
// Epoch index of a recording: where each epoch starts in the file and the
// UTC time it carries, for paced replay, seeking and stepping.
//
// An NMEA epoch runs from one GGA to the next, the sentences between
// included; the first epoch also takes whatever precedes the first GGA, so
// that playing from epoch 0 is playing the whole file. A BINR epoch runs up
// to and including each 0x88. The bytes go through the decoders' own block
// interface (private instances), so an epoch is exactly what the views would
// see as one. The index is fed in order and can be fed again when the file
// grows; a record costs 16 bytes.
//
// Times are milliseconds since 22 August 1999 00:00 (the BINR week count's
// origin), so both protocols share one scale. An NMEA epoch takes its date
// from an RMC in the same epoch or the last date seen before; without any
// date it keeps the time of day alone (below one day). kNoTime marks an epoch
// whose time could not be read.
#include "BinrDecoder.h"
#include "NmeaAssembler.h"

#include "TimeUnits.h"
#include "WeekRollover.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();

struct EpochMark {
    int64_t offset;   // first byte of the epoch in the file
    int64_t timeMs;   // on the scale above, or kNoTime
};
static_assert(sizeof(EpochMark) == 16, "an epoch costs 16 bytes");

class EpochIndex {
public:
    explicit EpochIndex(bool binr);

    // The next bytes of the file, in order.
    void Feed(const uint8_t* data, size_t size);
    // Gives back the room the growing list reserved beyond its records.
    void Compact() { epochs_.shrink_to_fit(); }

    const std::vector<EpochMark>& Epochs() const { return epochs_; }
    size_t Count() const { return epochs_.size(); }
    bool Binr() const { return binr_; }
    // Bytes fed so far.
    int64_t Size() const { return size_; }
    // One past the last byte of epoch k: the next epoch's start, or the end
    // of the bytes fed for the last one.
    int64_t EpochEnd(size_t k) const { return k + 1 < epochs_.size() ? epochs_[k + 1].offset : size_; }
    // The epoch holding the byte at offset (0 before the first).
    size_t EpochAt(int64_t offset) const;
    // The first epoch whose time of day is at or after msOfDay, or Count()
    // when none is.
    size_t FirstAtOrAfterTimeOfDay(int64_t msOfDay) const;
    // True when at least one epoch has a time.
    bool HasTimes() const { return timedCount_ > 0; }
    // First and last epoch times (kNoTime when there is none).
    int64_t FirstTime() const { return firstTime_; }
    int64_t LastTime() const { return lastTime_; }

private:
    void FeedNmea(const uint8_t* data, size_t size);
    void FeedBinr(const uint8_t* data, size_t size);
    void AddEpoch(int64_t offset, int64_t timeMs);
    void DateLastEpoch(int64_t dayMs);

    bool binr_;
    NmeaAssembler nmea_;
    BinrDecoder binrDecoder_;
    std::vector<EpochMark> epochs_;
    int64_t size_ = 0;
    int64_t lastDollar_ = -1;       // NMEA: the last '$' before the bytes being fed
    int64_t nextEpochStart_ = 0;    // BINR: the byte after the last 0x88
    int64_t dayMs_ = kNoTime;       // NMEA: the last RMC date seen
    bool lastEpochDated_ = true;    // NMEA: the newest epoch took its date
    size_t timedCount_ = 0;
    int64_t firstTime_ = kNoTime;
    int64_t lastTime_ = kNoTime;
};

// "hhmmss" with an optional fraction, as GGA and RMC carry it: milliseconds
// of the day, or kNoTime.
int64_t NmeaTimeOfDayMs(const char* text);
// "ddmmyy" (years 2000 to 2099): the day's start on the index scale, or kNoTime.
int64_t NmeaDateMs(const char* text);
// "dd.mm.yy hh:mm:ss" of a time on the index scale; "hh:mm:ss" alone when it
// has no date; "--:--:--" for kNoTime. With dates, the time holds a BINR
// receiver's week, whose 1024-week cycle the source's policy chooses.
std::string EpochTimeText(int64_t timeMs, const DatePolicy* dates = nullptr);
// "hh:mm:ss" of a duration in milliseconds (hours may pass 24).
std::string DurationText(int64_t ms);
