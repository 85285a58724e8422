#include "VisualCanvas.h"

#include "Controls.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

QFont BitmapFont()
{
    QFont font = UiFont();
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QImage MakeBitmap(int width, int height, QRgb fill)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// Bresenham stepping along the major axis; ties in the minor axis go the way
// the classic raster engine of the original platform takes them (octants 3,
// 5, 6 and 8 lean one way, the others the other).
void DrawLine(QImage& image, int x0, int y0, int x1, int y1, QRgb color)
{
    const int dx = std::abs(x1 - x0);
    const int dy = std::abs(y1 - y0);
    const int sx = x1 >= x0 ? 1 : -1;
    const int sy = y1 >= y0 ? 1 : -1;
    const int ddx = x1 - x0;
    const int ddy = y1 - y0;
    int octant;
    if (ddy > 0)
        octant = ddx > 0 ? (ddx > ddy ? 1 : 2) : (-ddx > ddy ? 4 : 3);
    else
        octant = ddx < 0 ? (-ddx > -ddy ? 5 : 6) : (ddx > -ddy ? 8 : 7);
    const int bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
    Raster raster(image);

    int x = x0, y = y0;
    if (dx >= dy) {
        int err = 2 * dy - dx;
        for (int i = 0; i < dx; ++i) {
            raster.Put(x, y, color);
            if (err + bias > 0) {
                y += sy;
                err += 2 * dy - 2 * dx;
            } else {
                err += 2 * dy;
            }
            x += sx;
        }
    } else {
        int err = 2 * dx - dy;
        for (int i = 0; i < dy; ++i) {
            raster.Put(x, y, color);
            if (err + bias > 0) {
                x += sx;
                err += 2 * dx - 2 * dy;
            } else {
                err += 2 * dx;
            }
            y += sy;
        }
    }
}

namespace {

// Visits the outline pixels of the ellipse inscribed in left..right-1,
// top..bottom-1: for every column its top and bottom pixel, and for every row
// its left and right pixel, so steep and flat parts are both closed.
template <typename Visit>
void EllipseSpans(int left, int top, int right, int bottom, Visit visit)
{
    const double cx = (left + right - 1) / 2.0;
    const double cy = (top + bottom - 1) / 2.0;
    const double a = (right - left - 1) / 2.0;
    const double b = (bottom - top - 1) / 2.0;
    if (a < 0 || b < 0)
        return;
    for (int x = left; x < right; ++x) {
        const double u = a > 0 ? (x - cx) / a : 0;
        const double h = b * std::sqrt(std::max(0.0, 1 - u * u));
        visit(x, int(std::ceil(cy - h - 0.5)), int(std::floor(cy + h + 0.5)), true);
    }
    for (int y = top; y < bottom; ++y) {
        const double v = b > 0 ? (y - cy) / b : 0;
        const double w = a * std::sqrt(std::max(0.0, 1 - v * v));
        visit(y, int(std::ceil(cx - w - 0.5)), int(std::floor(cx + w + 0.5)), false);
    }
}

} // namespace

void DrawEllipseOutline(QImage& image, int left, int top, int right, int bottom, QRgb color)
{
    Raster raster(image);
    EllipseSpans(left, top, right, bottom, [&](int at, int from, int to, bool column) {
        if (column) {
            raster.Put(at, from, color);
            raster.Put(at, to, color);
        } else {
            raster.Put(from, at, color);
            raster.Put(to, at, color);
        }
    });
}

void DrawFilledEllipse(QImage& image, int left, int top, int right, int bottom, QRgb color)
{
    Raster raster(image);
    EllipseSpans(left, top, right, bottom, [&](int at, int from, int to, bool column) {
        if (!column)
            return;
        for (int y = from; y <= to; ++y)
            raster.Put(at, y, color);
    });
    DrawEllipseOutline(image, left, top, right, bottom, color);
}

namespace {

// Texts drawn into bitmaps are few and repeat at every position (radius
// labels, satellite numbers), so each is rendered once and then copied.
constexpr int kStampCacheMax = 1024;

struct StampKey {
    QString text;
    QRgb color;
    QRgb background;
    bool operator==(const StampKey& o) const
    {
        return color == o.color && background == o.background && text == o.text;
    }
};

size_t qHash(const StampKey& key, size_t seed = 0) noexcept
{
    return ::qHash(key.text, seed) ^ ::qHash(key.color, seed) ^ (::qHash(key.background, seed) << 1);
}

const QImage& TextStamp(const QString& text, QRgb color, QRgb background)
{
    static QHash<StampKey, QImage> cache;
    const StampKey key{text, color, background};
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    if (cache.size() >= kStampCacheMax)
        cache.clear();
    const QFont font = BitmapFont();
    const QFontMetrics metrics(font);
    QImage stamp = MakeBitmap(std::max(1, metrics.horizontalAdvance(text)), metrics.height(), background);
    {
        QPainter p(&stamp);
        p.setFont(font);
        p.setPen(QColor(color));
        p.drawText(0, metrics.ascent(), text);
    }
    return *cache.insert(key, stamp);
}

} // namespace

QRect DrawText(QImage& image, int x, int y, const QString& text, QRgb color, QRgb background)
{
    if (text.isEmpty())
        return QRect();
    const QImage& stamp = TextStamp(text, color, background);
    const int x0 = std::max(0, x), x1 = std::min(image.width(), x + stamp.width());
    const int y0 = std::max(0, y), y1 = std::min(image.height(), y + stamp.height());
    if (x0 >= x1 || y0 >= y1)
        return QRect();
    Raster raster(image);
    for (int row = y0; row < y1; ++row)
        std::memcpy(raster.Row(row) + x0,
                    reinterpret_cast<const QRgb*>(stamp.constScanLine(row - y)) + (x0 - x),
                    size_t(x1 - x0) * sizeof(QRgb));
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

void CopyPixels(QImage& dst, const QImage& src)
{
    if (dst.size() != src.size() || dst.format() != src.format()) {
        dst = src.copy();
        return;
    }
    if (dst.bytesPerLine() == src.bytesPerLine()) {
        std::memcpy(dst.bits(), src.constBits(), size_t(src.sizeInBytes()));
        return;
    }
    const size_t rowBytes = size_t(src.width()) * sizeof(QRgb);
    Raster raster(dst);
    for (int y = 0; y < src.height(); ++y)
        std::memcpy(raster.Row(y), src.constScanLine(y), rowBytes);
}
