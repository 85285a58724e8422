// How NMEA sentences make the collector's epochs (EpochCollector.h says
// which sentence opens, joins and closes one), and the readers of the fields
// they take. Every reader gives a defined value for any text a field holds.
#include "EpochCollector.h"

#include "EpochIndex.h"
#include "EpochValues.h"
#include "NmeaDate.h"

#include "PositionText.h"
#include "StatisticText.h"
#include "Util.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr int kGsaFirstPrn = 3;
constexpr int kGsvFirstSat = 4;
constexpr int kGsvFieldsPerSat = 4;

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
inline int FieldInt(const char* t)
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

// A height where the field holds a number; NaN (none) where it does not.
double HeightOfField(const char* text)
{
    const char* t = text + (*text == '-' || *text == '+');
    const bool number = (*t >= '0' && *t <= '9') || (*t == '.' && t[1] >= '0' && t[1] <= '9');
    return number ? FieldReal(text) : kNoPosition;
}

// A GSV's elevation, azimuth or C/N0: a whole number within [0, max], else
// none (-1). "4x", "1e9", "abc" and "-5" are none.
inline int WholeInRange(const char* t, int max)
{
    if (*t == '\0')
        return -1;
    int value = 0;
    for (; *t != '\0'; ++t) {
        const unsigned digit = unsigned(uint8_t(*t)) - '0';
        if (digit > 9 || value > max)
            return -1;
        value = value * 10 + int(digit);
    }
    return value <= max ? value : -1;
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
    // A field shorter than the degrees has its NUL among them: no digit.
    if (!Digits(text, degreeChars))
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

} // namespace

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

// Each fix sentence takes its place in the reporting cycle (EpochRule.h):
// one that opens an epoch closes the one before; one that joins gives the
// epoch its fix when it ranks above the epoch's (a GGA after its RMC), adds
// its system's satellites when it is another talker's of the same kind, and
// an RMC gives the date; a repeat adds nothing.
void EpochCollector::OnFixSentence(FixSentence kind, const NmeaAssembler& nmea, bool accepted)
{
    const NmeaFields& fields = FixFields(kind, nmea);
    const CycleStep step = rule_.Place(kind, fields);
    if (step == CycleStep::Repeat)
        return;
    if (step == CycleStep::Joins && open_) {
        if (kind > epochKind_) {
            TakeFix(kind, fields, kind == FixSentence::Gga ? accepted : AcceptedByRule(kind, fields, nmea));
        } else if (kind == epochKind_ && kind != FixSentence::Rmc && !gsaSeen_) {
            const char* talker = fields.slot[0];
            const int system = talker[0] == 'G' && talker[1] == 'L' ? kSysGlonass
                               : talker[0] == 'G' && talker[1] == 'P' ? kSysGps
                                                                      : kSysOther;
            epoch_.used[system] = CountByte(int64_t(epoch_.used[system]) + TextToInt(NmeaField(fields, 7)));
        }
        if (kind == FixSentence::Rmc)
            AttachRmc(fields);
        return;
    }
    CloseEpoch();
    OpenNmeaEpoch(kind, fields, kind == FixSentence::Gga ? accepted : AcceptedByRule(kind, fields, nmea));
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
void EpochCollector::OpenNmeaEpoch(FixSentence kind, const NmeaFields& fields, bool accepted)
{
    epoch_ = EpochRecord{};
    epoch_.latRad = epoch_.lonRad = epoch_.heightM = kNoPosition;
    epoch_.hdop = epoch_.vdop = kNoDop;
    open_ = true;
    gsaSeen_ = false;
    ggaSystemUnknown_ = false;
    inViewCount_ = 0;
    ForgetUsed();
    dateDay_ = dateMsOfDay_ = -1;
    // The VDOP is the epoch's own GSA's: a GSA of an earlier cycle would make
    // the epoch depend on where the stream started.
    TakeFix(kind, fields, accepted);
    if (kind == FixSentence::Rmc)
        AttachRmc(fields);
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
    // The epoch is stamped and ends where its fix sentence does.
    msOfDay_ = MsOfDayOf(NmeaField(gga, 1));
    epochEndByte_ = resultEndByte_;
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
        SetPosition(FullAngle(gga, 2, 2, 'S'), FullAngle(gga, 4, 3, 'W'), HeightOfField(NmeaField(gga, 9)));
}

// $GPRMC,095257.809,V,2712.6404,S,15303.1201,E,0.00,0.00,080407,,,A*64
// The date is the RMC's at the RMC's time; CloseEpoch moves it to the
// epoch's time where midnight lies between them.
void EpochCollector::AttachRmc(const NmeaFields& rmc)
{
    if (rmc.count <= 9)
        return;
    const int64_t day = RmcDateDay(NmeaField(rmc, 9));
    const int64_t ms = MsOfDayOf(NmeaField(rmc, 1));
    if (day >= 0 && ms >= 0) {
        dateDay_ = day;
        dateMsOfDay_ = ms;
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
        constexpr int kElevationMaxDeg = 90, kAzimuthMaxDeg = 360, kSnrMaxGivenDbHz = 99;
        const int number = FieldInt(id);
        // No C/N0 is 0, which no figure counts.
        AddInView(SystemOf(talkerSystem, number), assigned.Of(number),
                  WholeInRange(NmeaField(gsv, k + 1), kElevationMaxDeg),
                  WholeInRange(NmeaField(gsv, k + 2), kAzimuthMaxDeg),
                  std::max(0, WholeInRange(NmeaField(gsv, k + 3), kSnrMaxGivenDbHz)));
    }
}
