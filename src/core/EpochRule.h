#pragma once
// Which NMEA sentences make one epoch: one reporting cycle of a receiver.
//
// Receivers order their cycle as they please (GGA first, GGA last, RMC
// first, GNS every second with a GGA once a minute, one GGA per system),
// stamp sentences of one cycle a fraction apart (an RMC 0.68 s after its
// GGA), repeat lines (a splitter), send 10 Hz, and send timed sentences of
// other instants between fixes (a ZDA of the second before, a GLL at
// 10 Hz). One rule holds for all of them, and the report, the Multi-GNSS
// views and the bench follow it:
//  - Only fix sentences (GGA, GNS, RMC) open an epoch. Other timed ones
//    (ZDA, GLL, GST, GBS) and untimed ones (GSA, GSV, proprietary) belong to
//    the epoch they fall in.
//  - A fix sentence opens a new epoch when its UTC time of day falls in
//    another second than that of the sentence that opened the current one,
//    or when a sentence of its type is already in the epoch with another
//    time (a 10 Hz stream; a receiver that changes its talker from GN to GP
//    between two cycles). Whole seconds, not a distance of one: a receiver
//    whose stamps drift (.802, then .801 a second later) would otherwise
//    join the next second's GGA to an RMC a file was cut before.
//  - A cycle is stamped by its best fix sentence: one that ranks above every
//    fix sentence in the epoch opens a new one unless its time is the
//    best's (an RMC-first receiver stamps both alike; a 10 Hz GGA after the
//    RMC of the tenth before is the next cycle's). One of a lower rank
//    joins within the second (an RMC 0.68 s after its GGA).
//  - A sentence of the talker, type and time of one already in the epoch is
//    a repeat and adds nothing; another talker's of the same type and time
//    joins (a GGA per system).
//  - A fix sentence without a readable time cannot be told from a repeat or
//    from the next cycle: it opens an epoch unless the current one has no
//    time either and no sentence of its type.
// So a stream's epochs depend on nothing before the cycle they are in: the
// report of a file cut at any line equals the whole file's after its first
// cycle.
//
// The cycle's fix is its GGA, else its GNS, else its RMC (FixSentence's
// order); a second GGA of the same time from another talker adds that
// system's satellites. Who follows the rule decides what a join means.
#include "NmeaAssembler.h"

#include <cstdint>

// The sentences that carry a fix, in rising precedence.
enum class FixSentence : uint8_t { None, Rmc, Gns, Gga };

enum class CycleStep : uint8_t { Opens, Joins, Repeat };

// A fix sentence's time that did not read as "hhmmss[.fff]".
constexpr int64_t kNoCycleTime = -1;

class EpochRule {
public:
    // A fix sentence of kind, talker (its address's first two letters) and
    // UTC time of day (kNoCycleTime: none): where it stands.
    CycleStep Place(FixSentence kind, const char* talker, int64_t msOfDay);
    // The same for a fix sentence's fields (address in slot 0, time in 1).
    CycleStep Place(FixSentence kind, const NmeaFields& fields);
    // The stream starts afresh: the next fix sentence opens an epoch.
    void Reset() { *this = EpochRule(); }

    bool Open() const { return count_ > 0; }

    // "hhmmss" with an optional fraction: milliseconds of the day, or
    // kNoCycleTime.
    static int64_t TimeOfDayMs(const char* text);

private:
    struct Member {
        char talker[2];
        FixSentence kind;
        int64_t msOfDay;
    };
    // More fix sentences than this in one cycle are still placed; those
    // beyond are not remembered as members.
    static constexpr int kMembersMax = 16;

    CycleStep OpenWith(const Member& m);

    Member members_[kMembersMax] = {};
    Member best_ = {};      // the highest kind in the epoch, the first of it
    int count_ = 0;
    int64_t openedMs_ = kNoCycleTime;
};
