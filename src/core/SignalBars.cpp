#include "SignalBars.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Util.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kGsvTotalAt = 1;
constexpr int kGsvNumberAt = 2;
constexpr int kGsvFirstBlock = 4;
constexpr int kGsvBlockFields = 4;
constexpr int kCycleSentencesMax = 99;
constexpr int kGlonassBadOffset = 64;   // 0x93 numbers GLONASS slots from 65
constexpr int kMaskBits = 32;

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// NMEA 4.10: one field after the last whole block of four, holding one hex digit.
char GsvSignalId(const NmeaFields& gsv, int count)
{
    if (count <= kGsvFirstBlock || (count - kGsvFirstBlock) % kGsvBlockFields != 1)
        return 0;
    const char* last = gsv.slot[count - 1];
    return IsHexDigit(last[0]) && last[1] == '\0' ? last[0] : 0;
}

bool Kept(Gnss system, bool multiGnss)
{
    return system != Gnss::Unknown && (multiGnss || system == Gnss::Gps || system == Gnss::Glonass);
}

// One more signal of a satellite: its level joins the list (the better one
// when the signal is listed already, as by a GP and a GN cycle alike).
void AddLevel(SignalBar& bar, const SignalLevel& level)
{
    if (level.cn0DbHz > bar.cn0DbHz)
        bar.cn0DbHz = level.cn0DbHz;
    SignalLevel* end = bar.levels + bar.signalCount;
    SignalLevel* same = std::find_if(bar.levels, end, [&](const SignalLevel& s) { return s.signalId == level.signalId; });
    if (same != end)
        same->cn0DbHz = std::max(same->cn0DbHz, level.cn0DbHz);
    else if (bar.signalCount < kSignalsPerBarMax)
        bar.levels[bar.signalCount++] = level;
}

SignalBar* FindOrAdd(SignalBars& bars, const SatelliteId& id)
{
    SignalBar* end = bars.bar + bars.count;
    SignalBar* found = std::find_if(bars.bar, end, [&](const SignalBar& b) { return b.id == id; });
    if (found != end)
        return found;
    if (bars.count >= kSignalBarsMax)
        return nullptr;
    SignalBar& added = bars.bar[bars.count++];
    added = SignalBar();
    added.id = id;
    return &added;
}

void Order(SignalBars& bars)
{
    std::sort(bars.bar, bars.bar + bars.count, [](const SignalBar& a, const SignalBar& b) {
        return a.id.system != b.id.system ? a.id.system < b.id.system : a.id.number < b.id.number;
    });
}

} // namespace

bool SatelliteSet::Contains(const SatelliteId& id) const
{
    return ids != nullptr && std::find(ids, ids + std::max(count, 0), id) != ids + std::max(count, 0);
}

int8_t Cn0Level(int32_t dbHz)
{
    return dbHz >= 0 && dbHz <= kCn0MaxDbHz ? int8_t(dbHz) : kNoCn0;
}

int SignalFold::KeyOf(const char* address, char signalId)
{
    for (int k = 0; k < keyCount_; ++k)
        if (keys_[k].talker[0] == address[0] && keys_[k].talker[1] == address[1] && keys_[k].signalId == signalId)
            return k;
    if (address[0] == '\0')
        return -1;
    int slot = keyCount_;
    if (keyCount_ < kKeysMax) {
        ++keyCount_;
    } else {
        // Full (a stream of odd talkers): the key heard from longest ago
        // makes room, its satellites with it.
        slot = int(std::min_element(keys_, keys_ + kKeysMax,
                                    [](const Cycle& a, const Cycle& b) { return a.lastHeard < b.lastHeard; }) -
                   keys_);
        Remove(staged_, stagedCount_, slot);
        Remove(kept_, keptCount_, slot);
        Remove(fresh_, freshCount_, slot);
    }
    Cycle& added = keys_[slot];
    added = Cycle();
    added.talker[0] = address[0];
    added.talker[1] = address[1];
    added.signalId = signalId;
    return slot;
}

void SignalFold::Remove(Observation* list, int& count, int key)
{
    count = int(std::remove_if(list, list + count, [&](const Observation& o) { return o.key == key; }) - list);
}

// $GPGSV,3,1,11,01,19,045,31,06,16,156,29,12,05,272,,14,44,084,24,1*6B
void SignalFold::AddGsv(const NmeaFields& gsv)
{
    const int count = std::min<int>(gsv.count, kNmeaSlots);
    if (count <= kGsvNumberAt)
        return;
    const int key = KeyOf(gsv.slot[0], GsvSignalId(gsv, count));
    if (key < 0)
        return;
    Cycle& cycle = keys_[key];
    cycle.lastHeard = ++heard_;
    const int32_t total = TextToInt(gsv.slot[kGsvTotalAt]);
    const int32_t number = TextToInt(gsv.slot[kGsvNumberAt]);
    if (number == 1) {
        Remove(staged_, stagedCount_, key);
        cycle.next = 1;
        cycle.total = int8_t(std::clamp(total, 0, kCycleSentencesMax));
    }
    if (cycle.next == 0 || number != cycle.next || total != cycle.total || total < 1 || total > kCycleSentencesMax) {
        // Out of order or a changed total: the cycle cannot be whole.
        Remove(staged_, stagedCount_, key);
        cycle.next = 0;
        return;
    }
    const Gnss source = SystemFromTalker(gsv.slot[0]);
    for (int first = kGsvFirstBlock; first + kGsvBlockFields <= count && stagedCount_ < kObservationsMax;
         first += kGsvBlockFields) {
        Observation o;
        o.id = AssignSatellite(source, TextToInt(gsv.slot[first]));
        if (o.id.system == Gnss::Unknown)
            continue;
        o.key = uint8_t(key);
        o.level.signalId = cycle.signalId;
        o.level.cn0DbHz = gsv.slot[first + 3][0] != '\0' ? Cn0Level(TextToInt(gsv.slot[first + 3])) : kNoCn0;
        o.placed = gsv.slot[first + 1][0] != '\0';
        o.elevationDeg = int16_t(std::clamp(TextToInt(gsv.slot[first + 1]), -90, 90));
        o.azimuthDeg = int16_t(std::clamp(TextToInt(gsv.slot[first + 2]), -360, 360));
        staged_[stagedCount_++] = o;
    }
    if (number < total) {
        cycle.next = int8_t(number + 1);
        return;
    }
    // Whole: it stands for its key in this epoch.
    Remove(fresh_, freshCount_, key);
    for (int i = 0; i < stagedCount_ && freshCount_ < kObservationsMax; ++i)
        if (staged_[i].key == key)
            fresh_[freshCount_++] = staged_[i];
    Remove(staged_, stagedCount_, key);
    cycle.next = 0;
    cycle.completed = true;
    completedInEpoch_ = true;
}

bool SignalFold::Close()
{
    if (!completedInEpoch_)
        return false;
    for (int k = 0; k < keyCount_; ++k)
        if (keys_[k].completed)
            Remove(kept_, keptCount_, k);
    for (int i = 0; i < freshCount_ && keptCount_ < kObservationsMax; ++i)
        kept_[keptCount_++] = fresh_[i];
    for (int k = 0; k < keyCount_; ++k)
        keys_[k].completed = false;
    freshCount_ = 0;
    completedInEpoch_ = false;
    return true;
}

SignalBars SignalFold::Bars(SatelliteSet used, bool multiGnss) const
{
    SignalBars bars;
    bool placed[kSignalBarsMax] = {};
    for (int i = 0; i < keptCount_; ++i) {
        const Observation& o = kept_[i];
        if (!Kept(o.id.system, multiGnss))
            continue;
        SignalBar* bar = FindOrAdd(bars, o.id);
        if (bar == nullptr)
            continue;
        // The position of the first signal that gives one.
        if (o.placed && !placed[bar - bars.bar]) {
            placed[bar - bars.bar] = true;
            bar->elevationDeg = o.elevationDeg;
            bar->azimuthDeg = o.azimuthDeg;
        }
        AddLevel(*bar, o.level);
    }
    for (int i = 0; i < bars.count; ++i)
        bars.bar[i].used = used.Contains(bars.bar[i].id);
    Order(bars);
    return bars;
}

// 0x52 numbers GPS by PRN, GLONASS by slot and SBAS by PRN; the last 0x93
// marks the used (bit masks) and the bad (GPS PRN, GLONASS slot + 64).
SignalBars BarsFromBinr(const BinrDecoder& binr, bool multiGnss)
{
    const SolutionStatus status = ReadSolutionStatus(binr.StatusHeader());
    SignalBars bars;
    const int n = std::clamp(binr.SatInViewCount(), 0, kSatInViewMax);
    for (int i = 0; i < n; ++i) {
        const SatInView s = ReadSatInView(binr.SatInViewRecord(i));
        const Gnss system = s.system == kSystemGps       ? Gnss::Gps
                            : s.system == kSystemGlonass ? Gnss::Glonass
                            : s.system == kSystemSbas    ? Gnss::Sbas
                                                         : Gnss::Unknown;
        if (!Kept(system, multiGnss) || s.number == 0)
            continue;
        SignalBar* bar = FindOrAdd(bars, {system, s.number});
        if (bar == nullptr)
            continue;
        bar->elevationDeg = int16_t(std::clamp<int>(s.elevationDeg, -90, 90));
        bar->azimuthDeg = int16_t(std::clamp<int>(s.azimuthDeg, -360, 360));
        AddLevel(*bar, {0, Cn0Level(s.snrDbHz)});
        const int bit = s.number - 1;
        if (bit < kMaskBits)
            bar->used = system == Gnss::Gps       ? ((status.gpsUsed >> bit) & 1u) != 0
                        : system == Gnss::Glonass ? ((status.glonassUsed >> bit) & 1u) != 0
                                                  : false;
    }
    const int entries = std::clamp(binr.BadSatCount(), 0, kBadSatMax);
    for (int j = 0; j < entries; ++j) {
        const int number = binr.BadSatNumber(j);
        const SatelliteId id = number >= kGlonassBadOffset ? SatelliteId{Gnss::Glonass, uint16_t(number - kGlonassBadOffset)}
                                                          : SatelliteId{Gnss::Gps, uint16_t(number)};
        for (int i = 0; i < bars.count; ++i)
            if (bars.bar[i].id == id)
                bars.bar[i].bad = true;
    }
    Order(bars);
    return bars;
}

std::string SignalBarName(const SatelliteId& id)
{
    static constexpr char kLetters[kGnssCount] = {'?', 'G', 'R', 'E', 'C', 'J', 'I', 'S'};
    const int system = int(id.system);
    std::string name(1, system >= 0 && system < kGnssCount ? kLetters[system] : '?');
    if (id.number < 10)
        name += '0';
    name += std::to_string(id.number);
    return name;
}

std::string SignalsLine(const SignalBars& bars)
{
    std::string line = "SIGNALS";
    const int n = std::clamp(bars.count, 0, kSignalBarsMax);
    for (int i = 0; i < n; ++i) {
        const SignalBar& b = bars.bar[i];
        line += '\t';
        line += SignalBarName(b.id);
        line += ':';
        if (b.cn0DbHz != kNoCn0)
            line += std::to_string(b.cn0DbHz);
        line += ':';
        line += b.used ? 'u' : '-';
    }
    return line;
}
