#include "EpochLog.h"

#include <algorithm>

void EpochLog::Append(const EpochRecord& r, int64_t timeMs)
{
    if (size_ == blocks_.size() * kBlockRecords) {
        blocks_.push_back(std::make_unique<Block>());
        blockBaseMs_.push_back(timeMs);
    }
    EpochRecord& kept = (*this)[size_];
    kept = r;
    const int64_t offset = timeMs - blockBaseMs_.back();
    if (offset > INT32_MIN && offset <= INT32_MAX) {
        kept.timeOffsetMs = int32_t(offset);
    } else {
        kept.timeOffsetMs = kTimeAside;
        timesAside_[size_] = timeMs;
    }
    ++size_;
}

int64_t EpochLog::TimeMs(size_t i) const
{
    const int32_t offset = (*this)[i].timeOffsetMs;
    if (offset == kTimeAside) {
        const auto aside = timesAside_.find(i);
        return aside == timesAside_.end() ? 0 : aside->second;
    }
    return blockBaseMs_[i / kBlockRecords] + offset;
}

void EpochLog::ShiftTimes(int64_t ms)
{
    for (int64_t& base : blockBaseMs_)
        base += ms;
    for (auto& aside : timesAside_)
        aside.second += ms;
}

void EpochLog::Clear()
{
    *this = EpochLog();
}

void EpochLog::SetOrigin(const GeoPoint& p)
{
    origin_ = p;
    hasOrigin_ = true;
}

GeoPoint EpochLog::PositionOf(const EpochRecord& r) const
{
    GeoPoint p;
    p.latRad = origin_.latRad + double(r.dLatRad);
    p.lonRad = origin_.lonRad + double(r.dLonRad);
    p.heightM = double(r.heightM);
    return p;
}

void EpochLog::AddSatellite(int system, int elevationDeg, int azimuthDeg, int snrDbHz)
{
    if (system < 0 || system >= kSatSystems || snrDbHz <= 0)
        return;
    snrSum_[system] += snrDbHz;
    ++snrCount_[system];
    if (elevationDeg < 0 || elevationDeg >= kSkyElevations || azimuthDeg < 0)
        return;
    if (sky_.empty())
        sky_.resize(size_t(kSkyAzimuths) * kSkyElevations);
    SkyCell& cell = sky_[size_t(elevationDeg) * kSkyAzimuths + size_t(azimuthDeg % kSkyAzimuths)];
    // A cell stops counting where its sum could wrap: by then its mean is
    // settled anyway.
    constexpr uint32_t kCellCountMax = 1u << 24;
    if (cell.count >= kCellCountMax)
        return;
    cell.snrSum += uint32_t(std::min(snrDbHz, 255));
    ++cell.count;
}
