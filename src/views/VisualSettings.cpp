#include "VisualSettings.h"

#include "Angles.h"
#include "SettingsFile.h"

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

constexpr const char* kLatKey = "b_fix";
constexpr const char* kLonKey = "l_fix";
constexpr const char* kAltKey = "h_fix";
constexpr const char* kRadiusKey = "RUpDown";
constexpr const char* kRangeKey = "maxAltUpDown";
constexpr const char* kSatViewKey = "SatCheckBox";
constexpr const char* kHdopKey = "HDOPEdit";
constexpr const char* kVdopKey = "VDOPEdit";
constexpr const char* kDiffKey = "DiffCheckBox";

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

std::optional<bool> ReadSwitch(const QSettings& settings, const char* key)
{
    const std::optional<int> v = ReadInt(settings, key);
    if (!v || (*v != 0 && *v != 1))
        return std::nullopt;
    return *v == 1;
}

// "d.d", each digit possibly a blank: what the limit box can hold.
std::optional<std::string> ReadLimit(const QSettings& settings, const char* key)
{
    const QVariant v = settings.value(key);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = v.toString();
    auto digitOrBlank = [](QChar c) { return c == QLatin1Char(' ') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')); };
    if (text.size() != 3 || !digitOrBlank(text[0]) || text[1] != QLatin1Char('.') || !digitOrBlank(text[2]))
        return std::nullopt;
    return text.toStdString();
}

} // namespace

VisualSettings LoadVisualSettings()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return {};
    const QSettings& settings = *stored;
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
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    QSettings& settings = *stored;
    WriteDouble(settings, kLatKey, s.reference.latRad);
    WriteDouble(settings, kLonKey, s.reference.lonRad);
    WriteDouble(settings, kAltKey, s.reference.altM);
    settings.setValue(kRadiusKey, s.radiusM);
}

int LoadProfileRange()
{
    const std::unique_ptr<QSettings> settings = OpenSettings();
    const std::optional<int> range = settings ? ReadInt(*settings, kRangeKey) : std::nullopt;
    return range ? std::clamp(*range, kRangeMin, kRangeMax) : kRangeMin;
}

void SaveProfileRange(int rangeM)
{
    if (const std::unique_ptr<QSettings> settings = OpenSettings())
        settings->setValue(kRangeKey, rangeM);
}

bool LoadSatView()
{
    const std::unique_ptr<QSettings> settings = OpenSettings();
    return settings && ReadSwitch(*settings, kSatViewKey).value_or(false);
}

void SaveSatView(bool on)
{
    if (const std::unique_ptr<QSettings> settings = OpenSettings())
        settings->setValue(kSatViewKey, int(on));
}

StatisticSettings LoadStatisticSettings()
{
    StatisticSettings s;
    const std::unique_ptr<QSettings> settings = OpenSettings();
    if (!settings)
        return s;
    s.hdopLimit = ReadLimit(*settings, kHdopKey).value_or(s.hdopLimit);
    s.vdopLimit = ReadLimit(*settings, kVdopKey).value_or(s.vdopLimit);
    s.diffOnly = ReadSwitch(*settings, kDiffKey).value_or(s.diffOnly);
    return s;
}

void SaveStatisticSettings(const StatisticSettings& s)
{
    const std::unique_ptr<QSettings> settings = OpenSettings();
    if (!settings)
        return;
    settings->setValue(kHdopKey, QString::fromStdString(s.hdopLimit));
    settings->setValue(kVdopKey, QString::fromStdString(s.vdopLimit));
    settings->setValue(kDiffKey, int(s.diffOnly));
}
