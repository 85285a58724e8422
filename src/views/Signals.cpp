#include "Signals.h"

#include "Report.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kScaleMaxDbHz = 60;
constexpr int kGridStepDbHz = 10;
constexpr int kLeftMargin = 30;      // the scale's numbers and its unit
constexpr int kRightMargin = 8;
constexpr int kLegendRow = 2;        // the legend, top right
constexpr int kElevationRow = 16;    // elevations, under the legend
constexpr int kTopMargin = 44;       // legend, elevations and a full bar's C/N0 above the bars
constexpr int kRowHeight = 12;
constexpr int kLegendSwatch = 9;
constexpr int kBottomMargin = 34;    // numbers and system names under them
constexpr int kGroupGap = 10;
constexpr int kBarGap = 3;
constexpr int kBarWidthMax = 26;
constexpr int kBarWidthMin = 5;
constexpr QSize kDefaultSize(560, 260);
constexpr QSize kMinimumSize(320, 160);

const QColor kBadColour(220, 0, 0);
const QColor kGridColour(210, 210, 210);
const QColor kLegendColour(90, 90, 90);

const char* SystemName(Gnss system)
{
    switch (system) {
    case Gnss::Gps: return "GPS";
    case Gnss::Glonass: return "GLONASS";
    case Gnss::Galileo: return "Galileo";
    case Gnss::BeiDou: return "BeiDou";
    case Gnss::Qzss: return "QZSS";
    case Gnss::Navic: return "NavIC";
    case Gnss::Sbas: return "SBAS";
    default: return "?";
    }
}

// Groups before bar i: each new system after the first opens one.
int GroupsBefore(const SignalBars& bars, int i)
{
    int groups = 0;
    for (int k = 1; k <= i && k < bars.count; ++k)
        groups += bars.bar[k].id.system != bars.bar[k - 1].id.system ? 1 : 0;
    return groups;
}

} // namespace

TSignalsForm::TSignalsForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("SIGNALS"));
    setObjectName(QStringLiteral("SignalsForm"));
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    setAutoFillBackground(true);
    // Without a window manager no window is ever active, and Qt shows the
    // tooltips of active windows only.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    repaint_ = new QTimer(this);
    repaint_->setSingleShot(true);
    repaint_->setInterval(1000 / kSignalsDrawHz);
    connect(repaint_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void TSignalsForm::Reset()
{
    epoch_.Reset();
    update();
}

void TSignalsForm::OnNmeaResult(int result, const NmeaAssembler& nmea, const GnssEpoch& gnss)
{
    if (epoch_.OnNmea(result, nmea, gnss))
        Changed();
}

void TSignalsForm::OnBinrResult(int result, const BinrDecoder& binr, bool multiGnss)
{
    if (epoch_.OnBinr(result, binr, multiGnss))
        Changed();
}

void TSignalsForm::Changed()
{
    if (HeadlessReport())
        ReportLine(SignalsLine(epoch_.Bars()));
    if (!repaint_->isActive())
        repaint_->start();
}

QColor TSignalsForm::SystemColour(Gnss system)
{
    switch (system) {
    case Gnss::Gps: return QColor(0, 150, 0);
    case Gnss::Glonass: return QColor(30, 90, 220);
    case Gnss::Galileo: return QColor(210, 140, 0);
    case Gnss::BeiDou: return QColor(150, 60, 200);
    case Gnss::Qzss: return QColor(0, 160, 160);
    case Gnss::Navic: return QColor(140, 90, 40);
    case Gnss::Sbas: return QColor(120, 120, 120);
    default: return QColor(0, 0, 0);
    }
}

QRect TSignalsForm::BarColumn(int i) const
{
    const SignalBars& bars = Bars();
    if (i < 0 || i >= bars.count)
        return {};
    const int groups = GroupsBefore(bars, bars.count - 1);
    const int plotWidth = width() - kLeftMargin - kRightMargin;
    const int slot = std::clamp((plotWidth - groups * kGroupGap) / std::max(bars.count, 1), kBarWidthMin + kBarGap,
                                kBarWidthMax + kBarGap);
    const int x = kLeftMargin + kBarGap + i * slot + GroupsBefore(bars, i) * kGroupGap;
    return QRect(x, kTopMargin, slot - kBarGap, height() - kTopMargin - kBottomMargin);
}

QString TSignalsForm::BarToolTip(int i) const
{
    const SignalBars& bars = Bars();
    if (i < 0 || i >= bars.count)
        return {};
    const SignalBar& b = bars.bar[i];
    QString tip = QString::fromStdString(SignalBarName(b.id)) + QStringLiteral(" (") + SystemName(b.id.system)
                  + QStringLiteral(" ") + QString::number(b.id.number) + QStringLiteral("): ");
    tip += b.cn0DbHz == kNoCn0 ? QStringLiteral("no C/N0") : QString::number(b.cn0DbHz) + QStringLiteral(" dB-Hz");
    tip += QStringLiteral(", elevation %1°, azimuth %2°").arg(b.elevationDeg).arg(b.azimuthDeg);
    tip += b.used ? QStringLiteral(", used") : QStringLiteral(", not used");
    if (b.bad)
        tip += QStringLiteral(", marked bad");
    for (int k = 0; k < b.signalCount; ++k) {
        const SignalLevel& s = b.levels[k];
        tip += QStringLiteral("\nsignal ") + (s.signalId ? QString(QChar(s.signalId)) : QStringLiteral("-"))
               + QStringLiteral(": ")
               + (s.cn0DbHz == kNoCn0 ? QStringLiteral("none") : QString::number(s.cn0DbHz) + QStringLiteral(" dB-Hz"));
    }
    return tip;
}

int TSignalsForm::BarAt(const QPoint& at) const
{
    for (int i = 0; i < Bars().count; ++i)
        if (BarColumn(i).adjusted(0, -kTopMargin, 0, kBottomMargin).contains(at))
            return i;
    return -1;
}

bool TSignalsForm::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int i = BarAt(help->pos());
        if (i >= 0)
            QToolTip::showText(help->globalPos(), BarToolTip(i), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

// The unit along the scale, the caption of the elevation row, and the
// legend of the bars' three looks.
void TSignalsForm::DrawCaptions(QPainter& p)
{
    p.setPen(Qt::black);
    p.save();
    p.translate(2, kTopMargin + (height() - kTopMargin - kBottomMargin) / 2);
    p.rotate(-90);
    p.drawText(QRect(-40, 0, 80, kRowHeight), Qt::AlignCenter, QStringLiteral("C/N0 dB-Hz"));
    p.restore();
    p.drawText(QRect(2, kElevationRow, kLeftMargin + 20, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("elev \u00B0"));
    const struct {
        const char* text;
        QColor colour;
        bool filled;
    } keys[] = {{"used", kLegendColour, true}, {"not used", kLegendColour, false}, {"unhealthy", kBadColour, true}};
    const QFontMetrics metrics(p.font());
    int x = width() - kRightMargin;
    for (int k = int(std::size(keys)) - 1; k >= 0; --k) {
        const QString text = QString::fromLatin1(keys[k].text);
        x -= metrics.horizontalAdvance(text);
        p.setPen(Qt::black);
        p.drawText(QRect(x, kLegendRow, metrics.horizontalAdvance(text), kRowHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
        x -= kLegendSwatch + 3;
        p.setPen(QPen(keys[k].colour, 2));
        p.setBrush(keys[k].filled ? QBrush(keys[k].colour) : Qt::NoBrush);
        p.drawRect(QRect(x, kLegendRow + 2, kLegendSwatch - 1, kLegendSwatch - 1));
        x -= 10;
    }
    p.setBrush(Qt::NoBrush);
}

const QStaticText& TSignalsForm::Number(int value)
{
    auto [at, made] = numbers_.try_emplace(value, QString::number(value));
    if (made)
        at->second.setPerformanceHint(QStaticText::AggressiveCaching);
    return at->second;
}

const QStaticText& TSignalsForm::Name(Gnss system)
{
    auto [at, made] = names_.try_emplace(int(system), QString::fromLatin1(SystemName(system)));
    if (made)
        at->second.setPerformanceHint(QStaticText::AggressiveCaching);
    return at->second;
}

void TSignalsForm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const SignalBars& bars = Bars();
    const int plotTop = kTopMargin;
    const int plotHeight = height() - kTopMargin - kBottomMargin;
    const auto yOf = [&](int dbHz) { return plotTop + plotHeight - plotHeight * std::clamp(dbHz, 0, kScaleMaxDbHz) / kScaleMaxDbHz; };
    QFont small = font();
    small.setPointSize(7);
    p.setFont(small);
    for (int level = 0; level <= kScaleMaxDbHz; level += kGridStepDbHz) {
        p.setPen(kGridColour);
        p.drawLine(kLeftMargin, yOf(level), width() - kRightMargin, yOf(level));
        p.setPen(Qt::black);
        const QStaticText& label = Number(level);
        p.drawStaticText(QPointF(kLeftMargin - 4 - label.size().width(), yOf(level) - label.size().height() / 2), label);
    }
    DrawCaptions(p);
    if (bars.count == 0) {
        p.setPen(Qt::darkGray);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("no satellites in view"));
        return;
    }
    int groupStart = 0;
    for (int i = 0; i < bars.count; ++i) {
        const SignalBar& b = bars.bar[i];
        const QRect column = BarColumn(i);
        const QColor colour = b.bad ? kBadColour : SystemColour(b.id.system);
        if (b.cn0DbHz != kNoCn0) {
            const QRect bar(column.left(), yOf(b.cn0DbHz), column.width(), column.bottom() - yOf(b.cn0DbHz));
            p.setPen(QPen(colour, 2));
            p.setBrush(b.used ? QBrush(colour) : Qt::NoBrush);
            p.drawRect(bar.adjusted(1, 1, -1, 0));
            // The level on top of its bar.
            const QStaticText& level = Number(b.cn0DbHz);
            p.drawStaticText(QPointF(column.center().x() + 1 - level.size().width() / 2, bar.top() - level.size().height()),
                             level);
        }
        // Centred over and under the bar.
        const QStaticText& elevation = Number(b.elevationDeg);
        const QStaticText& number = Number(b.id.number);
        const int middle = column.center().x() + 1;
        p.setPen(Qt::black);
        p.drawStaticText(QPointF(middle - elevation.size().width() / 2, kElevationRow), elevation);
        p.setPen(colour);
        p.drawStaticText(QPointF(middle - number.size().width() / 2, column.bottom() + 2), number);
        // The system's name under its group.
        if (i + 1 == bars.count || bars.bar[i + 1].id.system != b.id.system) {
            const QRect first = BarColumn(groupStart);
            const QStaticText& name = Name(b.id.system);
            const QRectF under(first.left(), column.bottom() + 16, column.right() - first.left() + 1, 14);
            p.drawStaticText(under.center() - QPointF(name.size().width() / 2, name.size().height() / 2), name);
            groupStart = i + 1;
        }
    }
}
