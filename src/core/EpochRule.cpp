#include "EpochRule.h"

#include "EpochIndex.h"
#include "TimeUnits.h"

namespace {

// The UTC second a time of day falls in.
int64_t SecondOf(int64_t msOfDay) { return msOfDay / kMsPerSecond; }

} // namespace

int64_t EpochRule::TimeOfDayMs(const char* text)
{
    const int64_t ms = NmeaTimeOfDayMs(text);
    return ms == kNoTime ? kNoCycleTime : ms;
}

CycleStep EpochRule::Place(FixSentence kind, const NmeaFields& fields)
{
    const char* address = fields.count > 0 ? fields.slot[0] : "";
    const char* time = fields.count > 1 ? fields.slot[1] : "";
    return Place(kind, address, TimeOfDayMs(time));
}

CycleStep EpochRule::Place(FixSentence kind, const char* talker, int64_t msOfDay)
{
    Member m{{talker[0], talker[0] != '\0' ? talker[1] : '\0'}, kind, msOfDay};
    if (count_ == 0)
        return OpenWith(m);
    const bool timed = msOfDay != kNoCycleTime;
    if (timed != (openedMs_ != kNoCycleTime))
        return OpenWith(m);
    if (timed && SecondOf(msOfDay) != SecondOf(openedMs_))
        return OpenWith(m);
    // A cycle is stamped by its best fix sentence: one that would rank above
    // it with another time is the next cycle's (a 10 Hz GGA after the RMC
    // before it).
    if (kind > best_.kind && msOfDay != best_.msOfDay)
        return OpenWith(m);
    for (int i = 0; i < count_; ++i) {
        const Member& was = members_[i];
        if (was.kind != kind)
            continue;
        // Without a time a sentence cannot be known for a repeat.
        if (!timed || was.msOfDay != msOfDay)
            return OpenWith(m);
        if (was.talker[0] == m.talker[0] && was.talker[1] == m.talker[1])
            return CycleStep::Repeat;
    }
    if (count_ < kMembersMax)
        members_[count_++] = m;
    if (kind > best_.kind)
        best_ = m;
    return CycleStep::Joins;
}

CycleStep EpochRule::OpenWith(const Member& m)
{
    members_[0] = m;
    count_ = 1;
    openedMs_ = m.msOfDay;
    best_ = m;
    return CycleStep::Opens;
}
