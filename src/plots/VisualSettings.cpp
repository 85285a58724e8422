#include "VisualSettings.h"

#include "Angles.h"

#include <QByteArray>
#include <QSettings>
#include <QVariant>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>

namespace {

constexpr const char* kOrganization = "Tamrel";
constexpr const char* kApplication = "Kestrova";
constexpr const char* kLatKey = "b_fix";
constexpr const char* kLonKey = "l_fix";
constexpr const char* kAltKey = "h_fix";
constexpr const char* kRadiusKey = "RUpDown";
constexpr const char* kRangeKey = "maxAltUpDown";

// Beyond this a stored altitude is corruption, not a place on Earth.
constexpr double kAltLimitM = 1e7;

std::optional<double> ReadDouble(const QSettings& settings, const char* key)
{
    const QVariant v = settings.value(key);
    if (v.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    const QByteArray bytes = v.toByteArray();
    if (bytes.size() != int(sizeof(double)))
        return std::nullopt;
    const double value = std::bit_cast<double>(qFromLittleEndian<quint64>(bytes.constData()));
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

void WriteDouble(QSettings& settings, const char* key, double value)
{
    QByteArray bytes(int(sizeof(double)), '\0');
    qToLittleEndian<quint64>(std::bit_cast<quint64>(value), bytes.data());
    settings.setValue(key, bytes);
}

// A 32-bit integer: INI files give it back as text; binary data is the wrong type.
std::optional<int> ReadInt(const QSettings& settings, const char* key)
{
    const QVariant v = settings.value(key);
    if (!v.isValid() || v.typeId() == QMetaType::QByteArray)
        return std::nullopt;
    bool ok = false;
    const qlonglong value = v.toLongLong(&ok);
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return int(value);
}

} // namespace

VisualSettings LoadVisualSettings()
{
    const QSettings settings(kOrganization, kApplication);
    const std::optional<double> lat = ReadDouble(settings, kLatKey);
    const std::optional<double> lon = ReadDouble(settings, kLonKey);
    const std::optional<double> alt = ReadDouble(settings, kAltKey);
    const std::optional<int> radius = ReadInt(settings, kRadiusKey);
    if (!lat || !lon || !alt || !radius)
        return {};
    if (std::fabs(*lat) > kPi / 2 || std::fabs(*lon) > kPi || std::fabs(*alt) > kAltLimitM)
        return {};
    VisualSettings s;
    s.reference = {*lat, *lon, *alt};
    s.radiusM = std::clamp(*radius, kRadiusMin, kRadiusMax);
    return s;
}

void SaveVisualSettings(const VisualSettings& s)
{
    QSettings settings(kOrganization, kApplication);
    WriteDouble(settings, kLatKey, s.reference.latRad);
    WriteDouble(settings, kLonKey, s.reference.lonRad);
    WriteDouble(settings, kAltKey, s.reference.altM);
    settings.setValue(kRadiusKey, s.radiusM);
}

int LoadProfileRange()
{
    const QSettings settings(kOrganization, kApplication);
    const std::optional<int> range = ReadInt(settings, kRangeKey);
    return range ? std::clamp(*range, kRangeMin, kRangeMax) : kRangeMin;
}

void SaveProfileRange(int rangeM)
{
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kRangeKey, rangeM);
}
