#include "GnssEpoch.h"

#include "Util.h"

#include <algorithm>
#include <cstring>

namespace {

// $GNGSA,A,3,01,06,14,,,,,,,,,,1.3,0.8,1.1,1*34: twelve satellite fields,
// PDOP, HDOP, VDOP and (NMEA 4.10 on) the system ID make 19 fields with the
// address. Longer GSAs carry a system ID when their last field is one digit
// after a DOP with its decimal point. Otherwise the GSA is read as before
// 4.10: the DOPs are the last three fields and every field between them and
// the fix type is a satellite.
constexpr int kGsaFieldsWithSystemId = 19;
constexpr int kGsaFirstId = 3;
constexpr int kGsvFirstBlock = 4;
constexpr int kGsvBlockFields = 4;

struct GsaLayout {
    int lastId;
    int pdopAt;
    Gnss system;   // from the system ID, else from the talker
};

bool EndsInSystemId(const NmeaFields& gsa, int count)
{
    if (count == kGsaFieldsWithSystemId)
        return true;
    if (count < kGsaFieldsWithSystemId)
        return false;
    const char* last = gsa.slot[count - 1];
    return last[0] >= '0' && last[0] <= '9' && last[1] == '\0' && std::strchr(gsa.slot[count - 2], '.') != nullptr;
}

GsaLayout ReadGsaLayout(const NmeaFields& gsa)
{
    const int count = std::min<int>(gsa.count, kNmeaSlots);
    GsaLayout layout{count - 4, count - 3, Gnss::Unknown};
    if (EndsInSystemId(gsa, count))
        layout = {count - 5, count - 4, SystemFromSystemId(TextToInt(gsa.slot[count - 1]))};
    if (layout.system == Gnss::Unknown)
        layout.system = SystemFromTalker(gsa.slot[0]);
    return layout;
}

double Dop(const NmeaFields& fields, int k)
{
    return k >= 1 && k < std::min<int>(fields.count, kNmeaSlots) ? TextToReal(fields.slot[k]) : 0.0;
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

void GnssEpoch::FeedSentence(int result, const NmeaAssembler& nmea)
{
    if (result == kNmeaGsa)
        AddGsa(nmea.Stored(NmeaKind::Gsa));
    else if (result == kNmeaGsv)
        AddGsv(nmea.Stored(NmeaKind::Gsv));
    else
        Close();
}

void GnssEpoch::AddGsa(const NmeaFields& gsa)
{
    const GsaLayout layout = ReadGsaLayout(gsa);
    gsaSources_[int(layout.system)] = true;
    gsaInEpoch_ = true;
    for (int k = kGsaFirstId; k <= layout.lastId; ++k) {
        // A number with a decimal point is a DOP where a satellite was expected.
        if (std::strchr(gsa.slot[k], '.'))
            continue;
        const SatelliteId id = AssignSatellite(layout.system, TextToInt(gsa.slot[k]));
        if (id.system == Gnss::Unknown || usedCount_ >= kEpochUsedMax || Contains(used_, usedCount_, id))
            continue;
        used_[usedCount_++] = {id, layout.system};
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

void GnssEpoch::Close()
{
    if (gsaInEpoch_) {
        Replace(shown_.used, shown_.usedCount, used_, usedCount_, gsaSources_);
        shown_.gsaSeen = true;
        shown_.fixType = fixType_;
        shown_.pdop = pdop_;
        shown_.hdop = hdop_;
        shown_.vdop = vdop_;
    }
    if (std::find(std::begin(gsvSources_), std::end(gsvSources_), true) != std::end(gsvSources_))
        Replace(shown_.sky, shown_.skyCount, sky_, skyCount_, gsvSources_);
    for (int i = 0; i < shown_.skyCount; ++i)
        shown_.sky[i].used = Contains(shown_.used, shown_.usedCount, shown_.sky[i].id);
    usedCount_ = 0;
    skyCount_ = 0;
    std::fill(std::begin(gsaSources_), std::end(gsaSources_), false);
    std::fill(std::begin(gsvSources_), std::end(gsvSources_), false);
    gsaInEpoch_ = false;
}

GnssEpoch& ProgramGnss()
{
    static GnssEpoch instance;
    return instance;
}
