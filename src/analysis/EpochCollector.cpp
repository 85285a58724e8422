#include "EpochCollector.h"

#include "EpochIndex.h"
#include "NmeaDate.h"

#include "BinrLayouts.h"
#include "PositionText.h"
#include "StatisticText.h"
#include "Util.h"
#include "WeekRollover.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr int64_t kHalfDayMs = kMsPerDay / 2;
constexpr int64_t kGpsWeekRollover = 1024;     // a dated week counts from August 1999
constexpr int64_t kGpsEpochDay = 3657;         // 1980-01-06, in days from 1970-01-01
constexpr int kGsaFirstPrn = 3;
constexpr int kGsvFirstSat = 4;
constexpr int kGsvFieldsPerSat = 4;
constexpr double kNoPosition = std::numeric_limits<double>::quiet_NaN();
constexpr float kNoDop = std::numeric_limits<float>::quiet_NaN();

FixKind KindOfQuality(int32_t quality)
{
    switch (quality) {
    case 0: return FixKind::None;
    case 1: return FixKind::Autonomous;
    case 2: return FixKind::Differential;
    case 4: return FixKind::RtkFixed;
    case 5: return FixKind::RtkFloat;
    case 6: return FixKind::Estimated;
    case 7: return FixKind::Manual;
    case 8: return FixKind::Simulated;
    default: return FixKind::Other;
    }
}

// Rounded to hundredths as before, and never capped: a receiver's HDOP of
// 800 stays 800, above any limit a reader sets.
float DopHundredths(double value)
{
    constexpr double kBeyondAnyDop = 1e15;   // keeps the hundredths within an int64
    if (!(value >= 0 && value < kBeyondAnyDop))
        return kNoDop;
    return float(double(int64_t(value * kDopScale + 0.5)) / kDopScale);
}

// The leading decimal number of a field, with every digit given. A field
// holds at most 19 characters, so the digits fit a 64-bit integer; this runs
// for several fields of every epoch and costs a fraction of strtod.
double FieldReal(const char* t)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                        1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    while (*t == ' ')
        ++t;
    const bool negative = *t == '-';
    if (*t == '-' || *t == '+')
        ++t;
    uint64_t digits = 0;
    int decimals = 0, count = 0;
    for (; *t >= '0' && *t <= '9' && count < kNmeaSlotChars; ++t, ++count)
        digits = digits * 10 + uint64_t(*t - '0');
    if (*t == '.')
        for (++t; *t >= '0' && *t <= '9' && count < kNmeaSlotChars; ++t, ++count, ++decimals)
            digits = digits * 10 + uint64_t(*t - '0');
    const double value = double(digits) / kPow10[decimals];
    return negative ? -value : value;
}

// A small whole number (satellite number, elevation, azimuth, SNR); 0 when
// there is none, capped far beyond any real value.
int FieldInt(const char* t)
{
    constexpr int kCap = 1000000;
    const bool negative = *t == '-';
    t += negative;
    // Once at the cap the value stops growing, so it never overflows; one
    // comparison a digit instead of a min.
    int value = 0;
    for (unsigned digit; (digit = unsigned(uint8_t(*t)) - '0') <= 9; ++t)
        if (value < kCap)
            value = value * 10 + int(digit);
    value = std::min(value, kCap);
    return negative ? -value : value;
}

float DopOfField(const char* text)
{
    return *text ? DopHundredths(FieldReal(text)) : kNoDop;
}

bool Digits(const char* text, int count)
{
    for (int i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// The VDOP ends a GSA, except where a system ID (or a receiver's own field
// in its place) follows it. Our own synthesised GSA carries more satellite
// fields and two DOPs; the rule holds.
const char* GsaVdop(const NmeaFields& gsa)
{
    return NmeaField(gsa, ReadGsaLayout(gsa).pdopAt + 2);
}

// "hhmmss" with an optional fraction; -1 when it is not a time of day. The
// replay index reads GGA times by the same rule.
int64_t MsOfDayOf(const char* text)
{
    const int64_t ms = NmeaTimeOfDayMs(text);
    return ms == kNoTime ? -1 : ms;
}

// ddmm.mmmm... to radians with every digit the receiver gave: the window's
// reading keeps five decimals of the minutes, which is a centimetre and
// too coarse for an RTK receiver's scatter.
double FullAngle(const NmeaFields& gga, int field, int degreeChars, char negative)
{
    const char* text = NmeaField(gga, field);
    if (std::strlen(text) < size_t(degreeChars) || !Digits(text, degreeChars))
        return std::numeric_limits<double>::quiet_NaN();
    int degrees = 0;
    for (int i = 0; i < degreeChars; ++i)
        degrees = degrees * 10 + (text[i] - '0');
    const double angle = (degrees + FieldReal(text + degreeChars) / 60.0) * M_PI / 180.0;
    const char* hemisphere = NmeaField(gga, field + 1);
    return hemisphere[0] == negative && hemisphere[1] == '\0' ? -angle : angle;
}

int SystemOfNmeaId(int id)
{
    if (id >= 1 && id <= 32)
        return kSysGps;
    if (id >= 65 && id <= 96)
        return kSysGlonass;
    return kSysOther;
}

// The talker decides where it names one system; "GN" and "GP" leave it to the
// satellite number (GP also carries SBAS numbers): -1.
int SystemOfTalker(const char* talker)
{
    if (talker[0] == 'G' && talker[1] == 'L')
        return kSysGlonass;
    if ((talker[0] == 'G' && (talker[1] == 'A' || talker[1] == 'B' || talker[1] == 'Q' || talker[1] == 'I'))
        || (talker[0] == 'B' && talker[1] == 'D'))
        return kSysOther;
    return -1;
}

// The system of satellite id in a sentence whose talker gave talkerSystem.
int SystemOf(int talkerSystem, int id)
{
    return talkerSystem >= 0 ? talkerSystem : SystemOfNmeaId(id);
}

// A field that holds no decimal point.
bool NoPoint(const char* text)
{
    for (; *text != '\0'; ++text)
        if (*text == '.')
            return false;
    return true;
}

uint8_t CountByte(int64_t n) { return uint8_t(std::clamp<int64_t>(n, 0, 255)); }

// AssignSatellite looked up in a table of its answers for the numbers
// receivers use: it runs for every satellite of every GSV and GSA. A
// sentence asks for the row of its system once.
class AssignedSatellites {
public:
    explicit AssignedSatellites(Gnss reportedAs) : reportedAs_(reportedAs)
    {
        static const std::unique_ptr<const Table> table = [] {
            auto t = std::make_unique<Table>();
            for (int g = 0; g < kGnssCount; ++g)
                for (int n = 0; n < kNumbers; ++n)
                    (*t)[size_t(g) * kNumbers + size_t(n)] = AssignSatellite(Gnss(g), n);
            return std::unique_ptr<const Table>(std::move(t));
        }();
        const int g = int(reportedAs);
        row_ = g < kGnssCount ? table->data() + size_t(g) * kNumbers : nullptr;
    }
    SatelliteId Of(int number) const
    {
        if (number < 0 || number >= kNumbers || row_ == nullptr)
            return AssignSatellite(reportedAs_, number);
        return row_[number];
    }

private:
    static constexpr int kNumbers = 256;
    using Table = std::array<SatelliteId, size_t(kGnssCount) * kNumbers>;
    Gnss reportedAs_;
    const SatelliteId* row_;
};

// The systems of a 0x52 record's system byte: the figures' split, the
// satellite's own and the 0x93 mask of the satellites used.
struct BinrSystem {
    int figures;
    Gnss system;
    uint32_t usedMask;
};

BinrSystem BinrSystemOf(uint8_t system, const SolutionStatus& status)
{
    switch (system) {
    case kSystemGps: return {kSysGps, Gnss::Gps, status.gpsUsed};
    case kSystemGlonass: return {kSysGlonass, Gnss::Glonass, status.glonassUsed};
    case kSystemSbas: return {kSysOther, Gnss::Sbas, 0};
    default: return {kSysOther, Gnss::Unknown, 0};
    }
}

} // namespace

bool TimeWindow::Contains(int64_t msOfDay) const
{
    if (fromS < 0 && toS < 0)
        return true;
    if (msOfDay < 0)
        return false;
    const int64_t s = msOfDay / 1000;
    const int64_t from = fromS < 0 ? 0 : fromS;
    const int64_t to = toS < 0 ? kMsPerDay / 1000 - 1 : toS;
    return from <= to ? (s >= from && s <= to) : (s >= from || s <= to);
}

EpochCollector::EpochCollector(EpochLog& log, AcceptLimits limits, TimeWindow window)
    : log_(log), limits_(std::move(limits)), fixLimits_(ReadFixLimits(limits_.maxHdop, limits_.maxVdop, limits_.diffOnly)),
      window_(window), windowed_(window.fromS >= 0 || window.toS >= 0)
{
}

namespace {

// Runs a decoder's block interface over any size: push(from, size, used)
// returns a result code, handle(result, end) takes every non-zero one with
// the offset in data just after the bytes that made it.
template <typename Byte, typename Push, typename Handle>
void Decode(const Byte* data, size_t size, Push push, Handle handle)
{
    size_t base = 0;
    while (size > 0) {
        const int chunk = int(std::min<size_t>(size, INT_MAX));
        int done = 0;
        while (done < chunk) {
            int used = 0;
            const int result = push(data + done, chunk - done, used);
            done += std::max(used, 1);
            if (result != 0)
                handle(result, base + size_t(done));
        }
        data += chunk;
        size -= size_t(chunk);
        base += size_t(chunk);
    }
}

} // namespace

void EpochCollector::PushNmea(const char* data, size_t size)
{
    Decode(
        data, size, [this](const char* from, int n, int& used) { return nmea_.PushBlock(from, n, used); },
        [this](int result, size_t end) {
            resultEndByte_ = pushed_ + int64_t(end);
            // The window accepts no fix of quality 0: reading the rest of
            // such a GGA would change nothing.
            OnNmea(result, nmea_,
                   result == kNmeaGga && TextToInt(NmeaField(nmea_.Stored(NmeaKind::Gga), 6)) != 0
                       && AcceptFix(StatisticFixFromNmea(nmea_), fixLimits_));
        });
    pushed_ += int64_t(size);
}

void EpochCollector::PushBinr(const uint8_t* data, size_t size)
{
    Decode(
        data, size, [this](const uint8_t* from, int n, int& used) { return binr_.PushBlock(from, n, used); },
        [this](int result, size_t end) {
            resultEndByte_ = pushed_ + int64_t(end);
            if (result != kMsgNavSolution) {
                OnBinr(result, binr_, false);
                return;
            }
            // Each record is read once, for the window's rule and the epoch.
            const NavSolution nav = ReadNavSolution(binr_.NavSolution());
            const DopInfo dop = ReadDopInfo(binr_.DopInfo());
            AddBinrEpoch(nav, dop, binr_,
                         AcceptFix(StatisticFixFromBinr(nav, dop), fixLimits_));
        });
    pushed_ += int64_t(size);
}

void EpochCollector::OnNmea(int result, const NmeaAssembler& nmea, bool accepted)
{
    switch (result) {
    case kNmeaError:
        ++log_.errors;
        break;
    case kNmeaGga:
    case kNmeaRmc:
    case kNmeaOther:
        if (const FixSentence kind = FixSentenceOf(result, nmea); kind != FixSentence::None)
            OnFixSentence(kind, nmea, accepted);
        break;
    case kNmeaGsa:
        if (open_)
            AttachGsa(nmea.Stored(NmeaKind::Gsa));
        break;
    case kNmeaGsv:
        if (open_)
            AttachGsv(nmea.Stored(NmeaKind::Gsv));
        break;
    default:
        break;
    }
}

const char* FixKindName(FixKind kind)
{
    static const char* const kNames[kFixKinds] = {"none",      "autonomous", "differential", "rtk-fixed", "rtk-float",
                                                  "estimated", "manual",     "simulated",    "other"};
    const size_t k = size_t(kind);
    return k < size_t(kFixKinds) ? kNames[k] : kNames[kFixKinds - 1];
}

std::optional<FixKind> FixKindFromName(std::string_view name)
{
    for (int k = 0; k < kFixKinds; ++k)
        if (name == FixKindName(FixKind(k)))
            return FixKind(k);
    return std::nullopt;
}

// A fix sentence of the open epoch's time joins it; one of a new time (or of
// none) opens the next. Sentences of a lesser kind than the stream's best
// make no epochs.
void EpochCollector::OnFixSentence(FixSentence kind, const NmeaAssembler& nmea, bool accepted)
{
    const NmeaFields& fields = FixFields(kind, nmea);
    if (kind == FixSentence::Rmc && open_)
        AttachRmc(fields);
    if (kind < driver_)
        return;
    driver_ = kind;
    const char* time = NmeaField(fields, 1);
    if (kind != FixSentence::Gga)
        accepted = AcceptedByRule(kind, fields, nmea);
    if (open_ && time[0] != '\0' && std::strcmp(time, timeText_) == 0) {
        if (kind > epochKind_) {
            TakeFix(kind, fields, accepted);
        } else if (kind != FixSentence::Rmc && !gsaSeen_) {
            const int system = kind == FixSentence::Gga && fields.slot[0][0] == 'G' && fields.slot[0][1] == 'L' ? kSysGlonass
                               : kind == FixSentence::Gga && fields.slot[0][0] == 'G' && fields.slot[0][1] == 'P' ? kSysGps
                                                                                                                : kSysOther;
            epoch_.used[system] = CountByte(int64_t(epoch_.used[system]) + TextToInt(NmeaField(fields, 7)));
        }
        return;
    }
    // An epoch a lesser sentence opened (an RMC ahead of the stream's first
    // GGA) is dropped, as the views drop it.
    if (open_ && epochKind_ < kind)
        open_ = false;
    CloseEpoch();
    OpenNmeaEpoch(kind, fields, nmea, accepted);
}

// The window's rule for a GNS or RMC, which the window never sees.
bool EpochCollector::AcceptedByRule(FixSentence kind, const NmeaFields& sentence, const NmeaAssembler& nmea) const
{
    NmeaFields gga;
    FixAsGga(kind, sentence, gga);
    const NmeaFields& gsa = nmea.Stored(NmeaKind::Gsa);
    StatisticFix fix;
    fix.valid = TextToInt(NmeaField(gga, 6)) != 0;
    fix.differential = TextToInt(NmeaField(gga, 6)) == 2;
    fix.hdop = float(TextToReal(NmeaField(gga, 8)));
    fix.vdop = gsa.count > 0 ? float(TextToReal(GsaVdop(gsa))) : 0.0f;
    fix.latRad = GgaLatitude(gga);
    fix.lonRad = GgaLongitude(gga);
    fix.heightM = TextToReal(NmeaField(gga, 9));
    return AcceptFix(fix, fixLimits_);
}

// $GPGGA,095257.809,2712.6404,S,15303.1201,E,1,05,1.8,4.0,M,42.2,M,,*7B
void EpochCollector::OpenNmeaEpoch(FixSentence kind, const NmeaFields& fields, const NmeaAssembler& nmea, bool accepted)
{
    epoch_ = EpochRecord{};
    epoch_.latRad = epoch_.lonRad = epoch_.heightM = kNoPosition;
    epoch_.hdop = epoch_.vdop = kNoDop;
    epochEndByte_ = resultEndByte_;
    open_ = true;
    gsaSeen_ = false;
    ggaSystemUnknown_ = false;
    inViewCount_ = 0;
    ForgetUsed();
    dateDay_ = -1;
    const char* time = NmeaField(fields, 1);
    const size_t timeLength = strnlen(time, kNmeaSlotChars - 1);
    std::memcpy(timeText_, time, timeLength);
    timeText_[timeLength] = '\0';
    msOfDay_ = MsOfDayOf(timeText_);
    // Until a GSA of its own follows, the epoch has the VDOP the window saw.
    const NmeaFields& gsa = nmea.Stored(NmeaKind::Gsa);
    epoch_.vdop = gsa.count > kGsaFirstPrn ? DopOfField(GsaVdop(gsa)) : kNoDop;
    TakeFix(kind, fields, accepted);
    AttachRmc(nmea.Stored(NmeaKind::Rmc));
}

// The epoch's fix: kind, position, HDOP and, without any GSA, the count of
// satellites used under the talker's system.
void EpochCollector::TakeFix(FixSentence kind, const NmeaFields& fields, bool accepted)
{
    NmeaFields converted;
    if (kind != FixSentence::Gga)
        FixAsGga(kind, fields, converted);
    const NmeaFields& gga = kind == FixSentence::Gga ? fields : converted;
    epochKind_ = kind;
    epoch_.latRad = epoch_.lonRad = epoch_.heightM = kNoPosition;
    // A fix is valid for the window whenever its quality is not 0.
    const int32_t quality = TextToInt(NmeaField(gga, 6));
    const FixKind fixKind = KindOfQuality(quality);
    accepted = accepted && (limits_.kinds & KindBit(fixKind));
    epoch_.flags = uint8_t((epoch_.flags & EpochRecord::kDimMask) | uint8_t(fixKind) | (accepted ? EpochRecord::kAccepted : 0));
    epoch_.hdop = DopOfField(NmeaField(gga, 8));
    if (!gsaSeen_) {
        const char* talker = gga.slot[0];
        const int ggaSystem = talker[0] != 'G' ? kSysOther : talker[1] == 'P' ? kSysGps : talker[1] == 'L' ? kSysGlonass : kSysOther;
        epoch_.used = {};
        epoch_.used[ggaSystem] = CountByte(TextToInt(NmeaField(gga, 7)));
        // A GN talker's count is of every system together: which, no one said.
        ggaSystemUnknown_ = talker[0] == 'G' && talker[1] == 'N';
    }
    if (quality != 0)
        SetPosition(FullAngle(gga, 2, 2, 'S'), FullAngle(gga, 4, 3, 'W'), FieldReal(NmeaField(gga, 9)));
}

// $GPRMC,095257.809,V,2712.6404,S,15303.1201,E,0.00,0.00,080407,,,A*64
void EpochCollector::AttachRmc(const NmeaFields& rmc)
{
    if (rmc.count > 9 && timeText_[0] != '\0' && std::strcmp(NmeaField(rmc, 1), timeText_) == 0) {
        const int64_t day = RmcDateDay(NmeaField(rmc, 9));
        if (day >= 0)
            dateDay_ = day;
    }
}

// $GNGSA,A,3,75,84,85,,,,,,,,,,1.3,0.8,1.1,2*3B
void EpochCollector::AttachGsa(const NmeaFields& gsa)
{
    if (!gsaSeen_) {
        epoch_.used = {};
        gsaSeen_ = true;
    }
    const int mode = FieldInt(NmeaField(gsa, 2));
    if (mode == 2 || mode == 3)
        epoch_.flags = uint8_t((epoch_.flags & ~EpochRecord::kDimMask)
                               | (uint8_t(mode == 2 ? FixDim::TwoD : FixDim::ThreeD) << EpochRecord::kDimShift));
    const GsaLayout layout = ReadGsaLayout(gsa);
    if (gsa.count > kGsaFirstPrn)
        epoch_.vdop = DopOfField(NmeaField(gsa, layout.pdopAt + 2));
    // The satellites stand before the three DOPs (and the system ID). Each
    // is named as the Multi-GNSS views name it, so that a GSV's satellite
    // can be found among them.
    Gnss named = SystemFromSystemId(layout.systemId);
    if (named == Gnss::Unknown)
        named = SystemFromTalker(gsa.slot[0]);
    const AssignedSatellites assigned(named);
    const int talkerSystem = SystemOfTalker(gsa.slot[0]);
    for (int k = kGsaFirstPrn; k <= layout.lastId; ++k) {
        const char* prn = NmeaField(gsa, k);
        if (*prn == '\0')
            continue;
        const int number = FieldInt(prn);
        const SatelliteId id = assigned.Of(number);
        if (id.system != Gnss::Unknown && id.number < kTrackNumbers && usedCount_ < kUsedMax && NoPoint(prn)) {
            used_[usedCount_++] = id;
            usedBits_.set(size_t(id.system) * kTrackNumbers + id.number);
        }
        const int system = layout.systemId == 0 ? SystemOf(talkerSystem, number)
                           : layout.systemId == 1 ? kSysGps
                           : layout.systemId == 2 ? kSysGlonass
                                                  : kSysOther;
        if (epoch_.used[system] < 255)
            ++epoch_.used[system];
    }
}

// $GPGSV,3,1,12,2,15,123,,5,45,347,45,6,58,198,,7,45,212,*77
void EpochCollector::AttachGsv(const NmeaFields& gsv)
{
    const AssignedSatellites assigned(SystemFromTalker(gsv.slot[0]));
    const int talkerSystem = SystemOfTalker(gsv.slot[0]);
    for (int k = kGsvFirstSat; k + 3 < gsv.count; k += kGsvFieldsPerSat) {
        const char* id = NmeaField(gsv, k);
        if (*id == '\0')
            continue;
        const char* elevation = NmeaField(gsv, k + 1);
        const char* azimuth = NmeaField(gsv, k + 2);
        const int number = FieldInt(id);
        AddInView(SystemOf(talkerSystem, number), assigned.Of(number),
                  *elevation ? FieldInt(elevation) : -1,
                  *azimuth ? FieldInt(azimuth) : -1, FieldInt(NmeaField(gsv, k + 3)));
    }
}

void EpochCollector::OnBinr(int result, const BinrDecoder& binr, bool accepted)
{
    if (result == kNmeaError) {
        ++log_.errors;
        return;
    }
    if (result == kMsgNavSolution)
        AddBinrEpoch(ReadNavSolution(binr.NavSolution()), ReadDopInfo(binr.DopInfo()), binr, accepted);
}

// The window's fix reads the same two records; its validity and position are
// these fields.
void EpochCollector::AddBinrEpoch(const NavSolution& nav, const DopInfo& dop, const BinrDecoder& binr, bool accepted)
{
    epoch_ = EpochRecord{};
    epoch_.latRad = epoch_.lonRad = epoch_.heightM = kNoPosition;
    epoch_.hdop = epoch_.vdop = kNoDop;
    epochEndByte_ = resultEndByte_;
    open_ = true;
    inViewCount_ = 0;
    ForgetUsed();
    msOfDay_ = dateDay_ = -1;
    FixKind kind = FixKind::None;
    FixDim dim = FixDim::Unknown;
    if (nav.flags & kSolutionValid) {
        kind = (nav.flags & kSolutionDiff) ? FixKind::Differential : FixKind::Autonomous;
        dim = (nav.flags & kSolution2D) ? FixDim::TwoD : FixDim::ThreeD;
        SetPosition(nav.latRad, nav.lonRad, nav.altM);
    }
    accepted = accepted && (limits_.kinds & KindBit(kind));
    epoch_.flags = uint8_t(uint8_t(kind) | uint8_t(dim) << EpochRecord::kDimShift | (accepted ? EpochRecord::kAccepted : 0));
    epoch_.hdop = DopHundredths(dop.hdop);
    epoch_.vdop = DopHundredths(dop.vdop);
    epoch_.used[kSysGps] = CountByte(dop.gpsCount);
    epoch_.used[kSysGlonass] = CountByte(dop.glonassCount);
    if (std::isfinite(nav.timeOfWeekMs) && nav.timeOfWeekMs >= 0 && nav.timeOfWeekMs < double(kMsPerWeek)) {
        // Dated as the POSITION view dates it: the program's choice of the
        // week's 1024-week cycle.
        const int32_t day = int32_t(nav.timeOfWeekMs / double(kMsPerDay));
        if (nav.week != datedFromWeek_ || day != datedFromDay_) {
            datedWeek_ = DatedWeek(int32_t(nav.timeOfWeekMs / 1000), nav.week);
            datedFromWeek_ = nav.week;
            datedFromDay_ = day;
        }
        const int32_t week = datedWeek_;
        const int64_t ms = (int64_t(week) + kGpsWeekRollover) * kMsPerWeek + int64_t(nav.timeOfWeekMs);
        msOfDay_ = ms % kMsPerDay;
        dateDay_ = kGpsEpochDay + ms / kMsPerDay;
    }
    if (!CloseEpoch())
        return;
    // Used: the satellite's bit in the last 0x93, as the SATELLITES view reads it.
    const SolutionStatus status = ReadSolutionStatus(binr.StatusHeader());
    constexpr int kMaskBits = 32;
    std::array<uint32_t, kSatSystems> usedSum{}, usedCount{};
    {
        EpochLog::SatelliteFold fold(log_);
        const int count = binr.SatInViewCount();
        for (int i = 0; i < count; ++i) {
            const SatInView sat = ReadSatInView(binr.SatInViewRecord(i));
            const BinrSystem system = BinrSystemOf(sat.system, status);
            const SatelliteId id = sat.number == 0 ? SatelliteId{} : SatelliteId{system.system, sat.number};
            // The figures' systems are all counted: counted is SnrValid.
            const bool counted = fold.Add(system.figures, id, sat.elevationDeg, sat.azimuthDeg, sat.snrDbHz);
            const int bit = sat.number - 1;
            if (counted && bit >= 0 && bit < kMaskBits && ((system.usedMask >> bit) & 1u)) {
                usedSum[size_t(system.figures)] += uint32_t(sat.snrDbHz);
                ++usedCount[size_t(system.figures)];
            }
        }
    }
    log_.AddUsedSnr(usedSum, usedCount);
}

void EpochCollector::AddInView(int system, SatelliteId id, int elevationDeg, int azimuthDeg, int snrDbHz)
{
    if (inViewCount_ == kInViewMax)
        return;
    inView_[inViewCount_++] = {int8_t(system), int8_t(std::clamp(elevationDeg, -1, 90)),
                               int16_t(std::clamp(azimuthDeg, -1, 360)), int16_t(std::clamp(snrDbHz, 0, 255)), id};
}

void EpochCollector::ForgetUsed()
{
    for (int i = 0; i < usedCount_; ++i)
        usedBits_.reset(size_t(used_[i].system) * kTrackNumbers + used_[i].number);
    usedCount_ = 0;
}

void EpochCollector::SetPosition(double latRad, double lonRad, double heightM)
{
    // A position must be a place on Earth: a garbled frame's 1e300 would
    // spoil every mean and every chart's scale.
    constexpr double kLatLimitRad = M_PI / 2 + 1e-9;
    constexpr double kLonLimitRad = 2 * M_PI;
    constexpr double kHeightLimitM = 1e7;
    if (!(std::fabs(latRad) <= kLatLimitRad) || !(std::fabs(lonRad) <= kLonLimitRad)
        || !(std::fabs(heightM) <= kHeightLimitM))
        return;
    epoch_.latRad = latRad;
    epoch_.lonRad = lonRad > M_PI || lonRad < -M_PI ? std::remainder(lonRad, 2 * M_PI) : lonRad;
    epoch_.heightM = heightM;
}

bool EpochCollector::CloseEpoch()
{
    if (!open_)
        return false;
    open_ = false;
    if (windowed_ && !window_.Contains(msOfDay_))
        return false;
    if (log_.Full()) {
        ++log_.leftOut;
        return false;
    }
    int64_t timeMs = lastTimeMs_;
    if (msOfDay_ >= 0) {
        epoch_.flags |= EpochRecord::kTimeKnown;
        timeMs = PlaceOnTimeLine(msOfDay_, dateDay_);
    }
    if (epoch_.Accepted() && log_.firstAcceptedByte < 0)
        log_.firstAcceptedByte = epochEndByte_;
    if (ggaSystemUnknown_ && !gsaSeen_ && epoch_.used[kSysOther] > 0)
        log_.usedSystemUnknown = true;
    log_.Append(epoch_, timeMs);
    if (inViewCount_ == 0)
        return true;
    std::array<uint32_t, kSatSystems> usedSum{}, usedCount{};
    {
        EpochLog::SatelliteFold fold(log_);
        const bool anyUsed = usedCount_ > 0;
        for (int i = 0; i < inViewCount_; ++i) {
            const Satellite& sat = inView_[i];
            // counted: the system is one of the figures' and the SNR valid.
            const bool counted = fold.Add(sat.system, sat.id, sat.elevationDeg, sat.azimuthDeg, sat.snrDbHz);
            if (counted && anyUsed && UsedInEpoch(sat.id)) {
                usedSum[size_t(sat.system)] += uint32_t(sat.snrDbHz);
                ++usedCount[size_t(sat.system)];
            }
        }
    }
    if (usedCount_ > 0)
        log_.AddUsedSnr(usedSum, usedCount);
    return true;
}

int64_t EpochCollector::PlaceOnTimeLine(int64_t msOfDay, int64_t dateDay)
{
    const bool rollover = lastMsOfDay_ >= 0 && msOfDay < lastMsOfDay_ - kHalfDayMs;
    if (dateDay >= 0) {
        if (!log_.datesKnown) {
            // The first date: the epochs before it move from the recording's
            // own day count onto the calendar.
            const int64_t shift = (dateDay - (day_ + (rollover ? 1 : 0))) * kMsPerDay;
            log_.ShiftTimes(shift);
            lastTimeMs_ += shift;
            log_.datesKnown = true;
        }
        day_ = dateDay;
    } else if (rollover) {
        ++day_;
    }
    lastMsOfDay_ = msOfDay;
    lastTimeMs_ = day_ * kMsPerDay + msOfDay;
    return lastTimeMs_;
}

void EpochCollector::Finish() { CloseEpoch(); }

void EpochCollector::Reset()
{
    open_ = false;
    driver_ = FixSentence::None;
    datedFromWeek_ = -1;   // a new playback may date weeks by another time
    log_.Clear();
    day_ = 0;
    lastMsOfDay_ = -1;
    lastTimeMs_ = 0;
    resultEndByte_ = epochEndByte_ = -1;
}
