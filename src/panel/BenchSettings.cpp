#include "BenchSettings.h"

#include "Bench.h"
#include "LineRates.h"
#include "SourceAddress.h"

#include <QLocale>
#include <QStringList>

#include <cmath>

namespace {

// The settings keys of the bench, each written down once.
constexpr const char* kGroup = "Bench";
constexpr const char* kCountKey = "Sources";
constexpr const char* kNameKey = "Source%1Name";
constexpr const char* kAddressKey = "Source%1Address";
constexpr const char* kProtocolKey = "Source%1Protocol";
constexpr const char* kBaudKey = "Source%1Baud";
constexpr const char* kReferenceKey = "Reference";
constexpr const char* kRecordDirKey = "RecordDir";
constexpr const char* kTitleKey = "Title";

constexpr int kDefaultBaud = 4800;
constexpr qsizetype kTextMax = 4096;   // a path or an address; longer is no value of ours
constexpr qsizetype kTitleMax = 80;
constexpr double kLowestM = -12000;
constexpr double kHighestM = 100000;

QString Key(const char* pattern, int i) { return QString::fromLatin1(pattern).arg(i); }

// A stored text: trimmed, empty when too long or holding a control character.
QString CleanText(const QVariant& v, qsizetype max)
{
    const QString t = v.toString().trimmed();
    if (t.size() > max)
        return {};
    for (const QChar c : t)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return {};
    return t;
}

// The address's own checks: a network address must parse; anything else is
// a serial port's path, which only has to be a plain text.
bool UsableAddress(const QString& address, QString* why)
{
    if (address.isEmpty()) {
        *why = QStringLiteral("no address");
        return false;
    }
    std::string reason;
    if (LooksLikeNetworkSource(address.toStdString()) && !ParseSourceAddress(address.toStdString(), nullptr, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    return true;
}

std::optional<BenchSourceSetup> MakeSource(const QString& address, const QString& name, bool binr, int baud,
                                          const std::vector<BenchSourceSetup>& taken, QString* why)
{
    if (!UsableAddress(address, why))
        return std::nullopt;
    BenchSourceSetup s;
    s.address = address.toStdString();
    s.binr = binr;
    s.baud = LooksLikeNetworkSource(s.address) ? 0 : IsLineRate(baud) ? baud : kDefaultBaud;
    for (const BenchSourceSetup& other : taken)
        if (other.address == s.address) {
            *why = address + QStringLiteral(" is already on the bench");
            return std::nullopt;
        }
    const std::string wanted = name.size() <= qsizetype(kBenchNameMax) ? name.toStdString() : std::string();
    s.name = BenchUniqueName(wanted.empty() ? BenchDefaultName(s.address) : wanted, taken);
    return s;
}

} // namespace

std::optional<BenchReference> BenchReferenceFromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return std::nullopt;
    double v[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        v[i] = QLocale::c().toDouble(parts[i].trimmed(), &ok);
        if (!ok || !std::isfinite(v[i]))
            return std::nullopt;
    }
    if (std::fabs(v[0]) > 90 || std::fabs(v[1]) > 180 || v[2] < kLowestM || v[2] > kHighestM)
        return std::nullopt;
    return BenchReference{v[0], v[1], v[2]};
}

QString BenchReferenceText(const BenchReference& r)
{
    return QString::number(r.latDeg, 'f', 9) + QLatin1Char(',') + QString::number(r.lonDeg, 'f', 9) + QLatin1Char(',') +
           QString::number(r.heightM, 'f', 3);
}

std::optional<BenchSourceSetup> BenchSourceFromText(const QString& text, bool binr, int baud,
                                                   const std::vector<BenchSourceSetup>& taken, QString* why)
{
    QString address = text.trimmed();
    QString name;
    // A name follows the last '=': no address of ours holds one.
    if (const qsizetype eq = address.lastIndexOf(QLatin1Char('=')); eq >= 0) {
        name = address.mid(eq + 1).trimmed();
        address = address.left(eq).trimmed();
        if (name.isEmpty() || name.size() > qsizetype(kBenchNameMax)) {
            *why = text + QStringLiteral(": a name of 1 to %1 characters follows '='").arg(kBenchNameMax);
            return std::nullopt;
        }
    }
    for (const BenchSourceSetup& other : taken)
        if (!name.isEmpty() && other.name == name.toStdString()) {
            *why = text + QStringLiteral(": the name ") + name + QStringLiteral(" is taken");
            return std::nullopt;
        }
    QString reason;
    auto s = MakeSource(address, name, binr, baud, taken, &reason);
    if (!s)
        *why = text + QStringLiteral(": ") + reason;
    return s;
}

BenchSetup LoadBenchSetup(QSettings& s)
{
    BenchSetup setup;
    s.beginGroup(QString::fromLatin1(kGroup));
    bool ok = false;
    const int count = s.value(QString::fromLatin1(kCountKey)).toString().trimmed().toInt(&ok);
    for (int i = 1; ok && i <= count && i <= kBenchMaxSources * 4 && int(setup.sources.size()) < kBenchMaxSources; ++i) {
        const QString address = CleanText(s.value(Key(kAddressKey, i)), kTextMax);
        const QString name = CleanText(s.value(Key(kNameKey, i)), qsizetype(kBenchNameMax));
        const bool binr = s.value(Key(kProtocolKey, i)).toString().trimmed() == QLatin1String("BINR");
        const int baud = s.value(Key(kBaudKey, i)).toString().trimmed().toInt();
        QString why;
        // A name another source took falls back to its default, unique.
        bool nameTaken = false;
        for (const BenchSourceSetup& other : setup.sources)
            nameTaken = nameTaken || other.name == name.toStdString();
        if (auto source = MakeSource(address, nameTaken ? QString() : name, binr, baud, setup.sources, &why))
            setup.sources.push_back(*source);
    }
    if (const auto reference = BenchReferenceFromText(s.value(QString::fromLatin1(kReferenceKey)).toString()))
        setup.reference = reference;
    setup.recordDir = CleanText(s.value(QString::fromLatin1(kRecordDirKey)), kTextMax);
    setup.title = CleanText(s.value(QString::fromLatin1(kTitleKey)), kTitleMax);
    s.endGroup();
    return setup;
}

void SaveBenchSetup(QSettings& s, const BenchSetup& setup)
{
    s.beginGroup(QString::fromLatin1(kGroup));
    // Sources stored before beyond the new count go, so none comes back.
    const int before = s.value(QString::fromLatin1(kCountKey)).toString().trimmed().toInt();
    for (int i = int(setup.sources.size()) + 1; i <= std::min(before, kBenchMaxSources * 4); ++i)
        for (const char* key : {kNameKey, kAddressKey, kProtocolKey, kBaudKey})
            s.remove(Key(key, i));
    s.setValue(QString::fromLatin1(kCountKey), int(setup.sources.size()));
    for (int i = 1; i <= int(setup.sources.size()); ++i) {
        const BenchSourceSetup& source = setup.sources[size_t(i - 1)];
        s.setValue(Key(kNameKey, i), QString::fromStdString(source.name));
        s.setValue(Key(kAddressKey, i), QString::fromStdString(source.address));
        s.setValue(Key(kProtocolKey, i), source.binr ? QStringLiteral("BINR") : QStringLiteral("NMEA"));
        s.setValue(Key(kBaudKey, i), source.baud);
    }
    s.setValue(QString::fromLatin1(kReferenceKey), setup.reference ? BenchReferenceText(*setup.reference) : QString());
    s.setValue(QString::fromLatin1(kRecordDirKey), setup.recordDir);
    s.setValue(QString::fromLatin1(kTitleKey), setup.title);
    s.endGroup();
}
