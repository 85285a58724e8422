#include "BenchScatter.h"

#include "ChartScale.h"
#include "Controls.h"
#include "ReportSvg.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 22;           // room for the scale and the legend
constexpr int kDotPx = 3;
constexpr QSize kMinimumSize(220, 220);
const QColor kGridColour(215, 215, 215);
const QColor kAxisColour(150, 150, 150);

// The largest error any series shows, so that a frame without an R99 still
// holds every point.
double LargestM(const std::vector<BenchScatterSeries>& series)
{
    double largest = 0;
    for (const BenchScatterSeries& s : series)
        for (const BenchPoint& p : s.points)
            if (std::isfinite(p.eastM) && std::isfinite(p.northM))
                largest = std::max({largest, double(std::fabs(p.eastM)), double(std::fabs(p.northM))});
    return largest;
}

QString GridText(double m) { return QString::number(m, 'g', 3) + QStringLiteral(" m"); }

} // namespace

TBenchScatter::TBenchScatter(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(kMinimumSize);
    setFont(UiFont());
    setObjectName(QStringLiteral("BenchScatter"));
}

QColor TBenchScatter::ReceiverColour(int index) { return QColor(QString::fromLatin1(svg::ColorOf(size_t(std::max(index, 0))))); }

void TBenchScatter::SetSeries(std::vector<BenchScatterSeries> series, bool aboutReference)
{
    series_ = std::move(series);
    aboutReference_ = aboutReference;
    Draw();
    update();
}

void TBenchScatter::resizeEvent(QResizeEvent*) { Draw(); }

void TBenchScatter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void TBenchScatter::Draw()
{
    image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image_.fill(Qt::white);
    QPainter p(&image_);
    p.setFont(font());
    const int side = std::max(std::min(width(), height()) - 2 * kMargin, 10);
    const QPoint centre(kMargin + side / 2, kMargin + side / 2);

    // The frame holds the widest R99 of the receivers, as the page's does.
    double r99 = 0;
    for (const BenchScatterSeries& s : series_)
        r99 = std::max(r99, std::isfinite(s.r99M) ? s.r99M : 0);
    const ScatterFrame frame = ScatterFrameFor(r99, 0, LargestM(series_));
    stepM_ = frame.stepM;
    const double pxPerM = side / (2 * frame.halfM);

    p.setPen(kGridColour);
    for (double m = frame.stepM; m <= frame.halfM + 1e-9; m += frame.stepM) {
        const int d = int(std::lround(m * pxPerM));
        p.drawLine(centre.x() - d, kMargin, centre.x() - d, kMargin + side);
        p.drawLine(centre.x() + d, kMargin, centre.x() + d, kMargin + side);
        p.drawLine(kMargin, centre.y() - d, kMargin + side, centre.y() - d);
        p.drawLine(kMargin, centre.y() + d, kMargin + side, centre.y() + d);
    }
    p.setPen(kAxisColour);
    p.drawRect(kMargin, kMargin, side, side);
    p.drawLine(centre.x(), kMargin, centre.x(), kMargin + side);
    p.drawLine(kMargin, centre.y(), kMargin + side, centre.y());

    p.setPen(Qt::NoPen);
    for (size_t i = 0; i < series_.size(); ++i) {
        p.setBrush(ReceiverColour(int(i)));
        for (const BenchPoint& point : series_[i].points) {
            if (!std::isfinite(point.eastM) || !std::isfinite(point.northM))
                continue;
            const auto [at, edge] = OnFrame(point.eastM, point.northM, frame.halfM);
            const QPointF xy(centre.x() + at.first * pxPerM, centre.y() - at.second * pxPerM);
            p.drawEllipse(xy, edge ? 1.0 : kDotPx / 2.0, edge ? 1.0 : kDotPx / 2.0);
        }
    }

    p.setPen(Qt::black);
    const QString about = aboutReference_ ? QStringLiteral("about the reference") : QStringLiteral("about each mean");
    p.drawText(QRect(kMargin, 2, side, kMargin - 4), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("grid ") + GridText(frame.stepM) + QStringLiteral(", ") + about);
    int x = kMargin;
    for (size_t i = 0; i < series_.size(); ++i) {
        const QString name = series_[i].name;
        p.setPen(ReceiverColour(int(i)));
        p.drawText(QRect(x, kMargin + side + 2, side, kMargin - 4), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += p.fontMetrics().horizontalAdvance(name) + 10;
    }
}
