#include "GnssEpoch.h"

#include "Util.h"

#include <algorithm>
#include <limits>
#include <cstring>
#include <string.h>

namespace {

// $GNGSA,A,3,01,06,14,,,,,,,,,,1.3,0.8,1.1,1*34: twelve satellite fields,
// PDOP, HDOP, VDOP and (NMEA 4.10 on) the system ID make 19 fields with the
// address. Longer GSAs carry a system ID when their last field is a small
// integer after a DOP with its decimal point. Otherwise the GSA is read as
// before 4.10: the DOPs are the last three fields and every field between
// them and the fix type is a satellite.
constexpr int kGsaFieldsWithSystemId = 19;
constexpr int kGsaFirstId = 3;
constexpr int kGsvFirstBlock = 4;
constexpr int kGsvBlockFields = 4;
constexpr int kFixTime = 1;
constexpr int kFixUsed = 7;

bool SmallInteger(const char* text)
{
    return text[0] >= '0' && text[0] <= '9' && (text[1] == '\0' || (text[1] >= '0' && text[1] <= '9' && text[2] == '\0'));
}

const char* Field(const NmeaFields& f, int k) { return k >= 0 && k < f.count && k < kNmeaSlots ? f.slot[k] : ""; }

void CopyFields(NmeaFields& to, const NmeaFields& from)
{
    const int count = std::min<int>(from.count, kNmeaSlots);
    std::memcpy(to.slot, from.slot, size_t(count) * kNmeaSlotChars);
    to.count = uint8_t(count);
}

void SetField(NmeaFields& f, int k, const char* text)
{
    const size_t length = strnlen(text, kNmeaSlotChars - 1);
    std::memmove(f.slot[k], text, length);
    f.slot[k][length] = '\0';
}

// N none, A autonomous, D differential, P precise, R RTK fixed, F RTK
// float, E estimated, M manual input, S simulator: as GGA qualities.
char QualityOfMode(char mode)
{
    switch (mode) {
    case 'A': case 'P': return '1';
    case 'D': return '2';
    case 'R': return '4';
    case 'F': return '5';
    case 'E': return '6';
    case 'M': return '7';
    case 'S': return '8';
    default: return '0';
    }
}

} // namespace

FixSentence FixSentenceOf(int result, const NmeaAssembler& nmea)
{
    if (result == kNmeaGga)
        return FixSentence::Gga;
    if (result == kNmeaRmc)
        return FixSentence::Rmc;
    if (result == kNmeaOther) {
        // "GPGNS", "GNGNS": any talker, the kind in the last three letters.
        const char* a = nmea.Working().slot[0];
        const size_t n = strnlen(a, kNmeaSlotChars);
        if (n == 5 && a[2] == 'G' && a[3] == 'N' && a[4] == 'S')
            return FixSentence::Gns;
    }
    return FixSentence::None;
}

const NmeaFields& FixFields(FixSentence kind, const NmeaAssembler& nmea)
{
    return kind == FixSentence::Gga ? nmea.Stored(NmeaKind::Gga)
           : kind == FixSentence::Rmc ? nmea.Stored(NmeaKind::Rmc)
                                      : nmea.Working();
}

// $GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,10,0.9,98.0,52.0,,,V: the
// GGA's layout with a mode letter per system in place of the quality; the
// first system with a fix gives it.
// $GPRMC,095257.809,A,2712.6404,S,15303.1201,E,0.00,0.00,080407,,,A
void FixAsGga(FixSentence kind, const NmeaFields& in, NmeaFields& out)
{
    constexpr int kGgaFields = 10;
    constexpr int kGnsMode = 6, kRmcStatus = 2, kRmcMode = 12;
    if (kind == FixSentence::Gga) {
        CopyFields(out, in);
        return;
    }
    if (kind == FixSentence::Gns) {
        CopyFields(out, in);
        const char* modes = Field(in, kGnsMode);
        char quality[2] = {'0', '\0'};
        for (const char* m = modes; *m && quality[0] == '0'; ++m)
            quality[0] = QualityOfMode(*m);
        if (out.count > kGnsMode)
            SetField(out, kGnsMode, quality);
        return;
    }
    out.count = kGgaFields;
    for (int k = 0; k < kGgaFields; ++k)
        out.slot[k][0] = '\0';
    SetField(out, 0, Field(in, 0));
    SetField(out, kFixTime, Field(in, kFixTime));
    for (int k = 2; k <= 5; ++k)
        SetField(out, k, Field(in, k + 1));
    const char* mode = Field(in, kRmcMode);
    char quality[2] = {'0', '\0'};
    if (std::strcmp(Field(in, kRmcStatus), "A") == 0)
        quality[0] = mode[0] != '\0' ? QualityOfMode(mode[0]) : '1';
    SetField(out, 6, quality);
}

GsaLayout ReadGsaLayout(const NmeaFields& gsa)
{
    const int count = std::min<int>(gsa.count, kNmeaSlots);
    const char* last = Field(gsa, count - 1);
    const bool idPlace = count == kGsaFieldsWithSystemId
                         || (count > kGsaFieldsWithSystemId && SmallInteger(last)
                             && std::strchr(Field(gsa, count - 2), '.') != nullptr);
    if (idPlace)
        return {count - 5, count - 4, SystemIdOfField(last)};
    return {count - 4, count - 3, 0};
}

namespace {

// NaN where the GSA gives none (an empty field, as without a fix).
double Dop(const NmeaFields& fields, int k)
{
    const bool given = k >= 1 && k < std::min<int>(fields.count, kNmeaSlots) && fields.slot[k][0] != '\0';
    return given ? TextToReal(fields.slot[k]) : std::numeric_limits<double>::quiet_NaN();
}

template <typename Entry>
bool Contains(const Entry* entries, int count, const SatelliteId& id)
{
    return std::any_of(entries, entries + count, [&](const Entry& e) { return e.id == id; });
}

// The entries an epoch brought, after those of earlier epochs whose source
// it did not hear from.
template <typename Entry, int N>
void Replace(Entry (&shown)[N], int& shownCount, const Entry* fresh, int freshCount, const bool* freshSources)
{
    Entry merged[N];
    int count = 0;
    for (int i = 0; i < shownCount; ++i)
        if (!freshSources[int(shown[i].source)] && !Contains(fresh, freshCount, shown[i].id))
            merged[count++] = shown[i];
    for (int i = 0; i < freshCount && count < N; ++i)
        merged[count++] = fresh[i];
    std::copy(merged, merged + count, shown);
    shownCount = count;
}

} // namespace

int GnssPicture::UsedCount(Gnss system) const
{
    return int(std::count_if(used, used + usedCount, [&](const UsedSatellite& u) { return u.id.system == system; }));
}

void GnssEpoch::Reset()
{
    const bool on = enabled_;
    *this = GnssEpoch();
    enabled_ = on;
}

bool GnssEpoch::FeedSentence(int result, const NmeaAssembler& nmea)
{
    if (result == kNmeaGsa) {
        AddGsa(nmea.Stored(NmeaKind::Gsa));
        return false;
    }
    if (result == kNmeaGsv) {
        AddGsv(nmea.Stored(NmeaKind::Gsv));
        return false;
    }
    const FixSentence kind = FixSentenceOf(result, nmea);
    return kind != FixSentence::None && AddFix(kind, FixFields(kind, nmea));
}

bool GnssEpoch::AddFix(FixSentence kind, const NmeaFields& fields)
{
    const CycleStep step = rule_.Place(kind, fields);
    if (step == CycleStep::Repeat)
        return false;
    // A count no receiver sends (up to the largest int) must not wrap the
    // sum round.
    const int64_t used = kind == FixSentence::Rmc ? 0 : TextToInt(Field(fields, kFixUsed));
    if (step == CycleStep::Joins && open_) {
        if (kind > epochKind_) {
            FixAsGga(kind, fields, fix_);
            epochKind_ = kind;
            usedSum_ = int(used);
        } else if (kind == epochKind_ && kind != FixSentence::Rmc) {
            usedSum_ = int(std::clamp<int64_t>(int64_t(usedSum_) + used, std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max()));
        }
        if (kind == FixSentence::Rmc)
            CopyFields(rmc_, fields);
        published_ = false;
        return false;
    }
    const bool ended = open_ && !published_;
    if (open_)
        Close();
    open_ = true;
    published_ = false;
    epochKind_ = kind;
    FixAsGga(kind, fields, fix_);
    usedSum_ = int(used);
    rmc_.count = 0;
    if (kind == FixSentence::Rmc)
        CopyFields(rmc_, fields);
    return ended;
}

void GnssEpoch::AddGsa(const NmeaFields& gsa)
{
    const GsaLayout layout = ReadGsaLayout(gsa);
    if (!open_) {
        // Before the first epoch (a stream joined midway): only the fix
        // type and DOPs, shown until the first epoch's own GSA.
        for (GnssPicture* p : {&committed_, &shown_}) {
            p->gsaSeen = true;
            p->fixType = TextToInt(gsa.count > 2 ? gsa.slot[2] : "");
            p->pdop = Dop(gsa, layout.pdopAt);
            p->hdop = Dop(gsa, layout.pdopAt + 1);
            p->vdop = Dop(gsa, layout.pdopAt + 2);
        }
        return;
    }
    Gnss system = SystemFromSystemId(layout.systemId);
    if (system == Gnss::Unknown)
        system = SystemFromTalker(gsa.slot[0]);
    gsaSources_[int(system)] = true;
    gsaInEpoch_ = true;
    published_ = false;
    for (int k = kGsaFirstId; k <= layout.lastId; ++k) {
        // A number with a decimal point is a DOP where a satellite was expected.
        if (std::strchr(gsa.slot[k], '.'))
            continue;
        const SatelliteId id = AssignSatellite(system, TextToInt(gsa.slot[k]));
        if (id.system == Gnss::Unknown || usedCount_ >= kEpochUsedMax || Contains(used_, usedCount_, id))
            continue;
        used_[usedCount_++] = {id, system};
    }
    fixType_ = TextToInt(gsa.count > 2 ? gsa.slot[2] : "");
    pdop_ = Dop(gsa, layout.pdopAt);
    hdop_ = Dop(gsa, layout.pdopAt + 1);
    vdop_ = Dop(gsa, layout.pdopAt + 2);
}

// $GPGSV,3,1,11,01,19,045,31,06,16,156,29,12,05,272,,14,44,084,24,0*6B: four
// fields per satellite after the first three; a 4.10 signal ID stays over.
// A talker's cycle joins the epoch only when its last sentence has come, so
// a cycle cut by a GGA is shown whole at the next one.
void GnssEpoch::AddGsv(const NmeaFields& gsv)
{
    // Satellites in view before the first epoch belong to none.
    if (!open_)
        return;
    published_ = false;
    const Gnss source = SystemFromTalker(gsv.slot[0]);
    const int count = std::min<int>(gsv.count, kNmeaSlots);
    const int32_t total = count > 1 ? TextToInt(gsv.slot[1]) : 0;
    const int32_t number = count > 2 ? TextToInt(gsv.slot[2]) : 0;
    if (number <= 1)
        cycleCount_ = int(std::remove_if(cycle_, cycle_ + cycleCount_,
                                         [&](const SkySatellite& s) { return s.source == source; }) - cycle_);
    for (int first = kGsvFirstBlock; first + kGsvBlockFields <= count; first += kGsvBlockFields) {
        SkySatellite sat;
        sat.id = AssignSatellite(source, TextToInt(gsv.slot[first]));
        if (sat.id.system == Gnss::Unknown)
            continue;
        sat.source = source;
        sat.elevationDeg = int16_t(std::clamp(TextToInt(gsv.slot[first + 1]), -90, 90));
        sat.azimuthDeg = int16_t(std::clamp(TextToInt(gsv.slot[first + 2]), -360, 360));
        sat.heard = gsv.slot[first + 3][0] != '\0';
        AddSky(cycle_, cycleCount_, sat);
    }
    if (number < total)
        return;
    int kept = 0;
    for (int i = 0; i < cycleCount_; ++i) {
        if (cycle_[i].source == source)
            AddSky(sky_, skyCount_, cycle_[i]);
        else
            cycle_[kept++] = cycle_[i];
    }
    cycleCount_ = kept;
    gsvSources_[int(source)] = true;
}

// Another signal of a satellite already listed adds only that it is heard.
void GnssEpoch::AddSky(SkySatellite* list, int& count, const SkySatellite& sat)
{
    SkySatellite* entry = std::find_if(list, list + count, [&](const SkySatellite& s) { return s.id == sat.id; });
    if (entry != list + count) {
        entry->heard = entry->heard || sat.heard;
        return;
    }
    if (count < kEpochSkyMax)
        list[count++] = sat;
}

void GnssEpoch::MergeInto(GnssPicture& p) const
{
    if (gsaInEpoch_) {
        Replace(p.used, p.usedCount, used_, usedCount_, gsaSources_);
        p.gsaSeen = true;
        p.fixType = fixType_;
        p.pdop = pdop_;
        p.hdop = hdop_;
        p.vdop = vdop_;
    }
    if (std::find(std::begin(gsvSources_), std::end(gsvSources_), true) != std::end(gsvSources_))
        Replace(p.sky, p.skyCount, sky_, skyCount_, gsvSources_);
    for (int i = 0; i < p.skyCount; ++i)
        p.sky[i].used = Contains(p.used, p.usedCount, p.sky[i].id);
    p.gsaInEpoch = gsaInEpoch_;
    if (open_) {
        CopyFields(p.fix, fix_);
        CopyFields(p.rmc, rmc_);
        p.fixUsedSum = usedSum_;
    }
}

bool GnssEpoch::Complete()
{
    if (!Pending())
        return false;
    shown_ = committed_;
    MergeInto(shown_);
    published_ = true;
    return true;
}

void GnssEpoch::Close()
{
    MergeInto(committed_);
    shown_ = committed_;
    Drop();
}

void GnssEpoch::Drop()
{
    usedCount_ = 0;
    skyCount_ = 0;
    std::fill(std::begin(gsaSources_), std::end(gsaSources_), false);
    std::fill(std::begin(gsvSources_), std::end(gsvSources_), false);
    gsaInEpoch_ = false;
    open_ = false;
}
