#include "Glyphs.h"

#include "ActionMode.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

constexpr QRgb kGlyphBlack = qRgb(0, 0, 0);
constexpr QRgb kGlyphGreen = qRgb(0, 128, 0);
constexpr QRgb kGlyphRed = qRgb(224, 0, 0);
constexpr QRgb kGlyphBlue = qRgb(0, 0, 160);
constexpr QRgb kDisabledGrey = qRgb(128, 128, 128);
constexpr QRgb kReliefWhite = qRgb(255, 255, 255);

// Each glyph is drawn in one colour around the centre c, so the disabled
// look can stamp the same shape twice (white relief, then grey).
void DrawShape(QPainter& p, QPointF c, Glyph glyph, QColor colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    auto polygon = [&](std::initializer_list<QPointF> pts) {
        QPolygonF poly;
        for (const QPointF& pt : pts)
            poly << c + pt;
        p.drawPolygon(poly);
    };
    switch (glyph) {
    case Glyph::Play:
        polygon({{-3, -5}, {-3, 5}, {3, 0}});
        break;
    case Glyph::Rewind:
        polygon({{-6, -5}, {-6, 5}, {0, 0}});
        polygon({{0, -5}, {0, 5}, {6, 0}});
        break;
    case Glyph::Pause:
        p.drawRect(QRectF(c + QPointF(-4, -5), QSizeF(3, 10)));
        p.drawRect(QRectF(c + QPointF(1, -5), QSizeF(3, 10)));
        break;
    case Glyph::Stop:
        p.drawRect(QRectF(c + QPointF(-4, -4), QSizeF(9, 9)));
        break;
    case Glyph::Record:
        p.setRenderHint(QPainter::Antialiasing, true);
        p.drawEllipse(c + QPointF(0.5, 0.5), 5, 5);
        p.setRenderHint(QPainter::Antialiasing, false);
        break;
    case Glyph::Eject:
        polygon({{-5, 1}, {6, 1}, {0.5, -5}});
        p.drawRect(QRectF(c + QPointF(-5, 3), QSizeF(11, 2)));
        break;
    case Glyph::Synchro: {
        // Two arrows chasing each other round a circle: searching the rate.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 2));
        const QRectF ring(c + QPointF(-5, -5), QSizeF(11, 11));
        p.drawArc(ring, 30 * 16, 120 * 16);
        p.drawArc(ring, 210 * 16, 120 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        polygon({{-7, -2}, {-2, -2}, {-4.5, 1}});
        polygon({{8, 2}, {3, 2}, {5.5, -1}});
        break;
    }
    case Glyph::Clock:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 1));
        p.drawEllipse(QRectF(c + QPointF(-5.5, -5.5), QSizeF(11, 11)));
        p.drawLine(c + QPointF(0, 0), c + QPointF(0, -4));
        p.drawLine(c + QPointF(0, 0), c + QPointF(3, 0));
        break;
    case Glyph::Sound:
        polygon({{-6, -2}, {-3, -2}, {1, -6}, {1, 6}, {-3, 2}, {-6, 2}});
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 1));
        p.drawArc(QRectF(c + QPointF(-1, -3), QSizeF(6, 7)), -60 * 16, 120 * 16);
        p.drawArc(QRectF(c + QPointF(-3, -6), QSizeF(10, 13)), -60 * 16, 120 * 16);
        break;
    case Glyph::Minimize:
        p.drawRect(QRectF(c + QPointF(-4, 3), QSizeF(8, 2)));
        break;
    case Glyph::Menu:
        for (const qreal y : {-4.0, 0.0, 4.0})
            p.drawRect(QRectF(c + QPointF(-4, y - 1), QSizeF(9, 1)));
        break;
    case Glyph::Close:
        p.setPen(QPen(colour, 2));
        p.drawLine(c + QPointF(-3, -3), c + QPointF(4, 4));
        p.drawLine(c + QPointF(-3, 4), c + QPointF(4, -3));
        break;
    }
}

QRgb NormalColour(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Play:
    case Glyph::Rewind:
        return kGlyphGreen;
    case Glyph::Record:
        return kGlyphRed;
    case Glyph::Synchro:
        return kGlyphBlue;
    default:
        return kGlyphBlack;
    }
}

} // namespace

void PaintGlyph(QPainter& p, const QRect& rect, Glyph glyph, bool enabled)
{
    p.save();
    const QPointF c(rect.left() + rect.width() / 2, rect.top() + rect.height() / 2);
    if (enabled) {
        DrawShape(p, c, glyph, QColor(NormalColour(glyph)));
    } else {
        DrawShape(p, c + QPointF(1, 1), glyph, QColor(kReliefWhite));
        DrawShape(p, c, glyph, QColor(kDisabledGrey));
    }
    p.restore();
}

FlatGlyphButton::Painter GlyphPainter(Glyph glyph)
{
    return [glyph](QPainter& p, const QRect& rect, bool enabled) { PaintGlyph(p, rect, glyph, enabled); };
}

bool DrawActionGlyph(QImage& bitmap, uint32_t mode)
{
    bitmap.fill(Qt::black);
    const int w = bitmap.width();
    const int h = bitmap.height();
    QPainter p(&bitmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor green(kLime);
    p.setPen(QPen(mode == amRecord ? QColor(kRed) : green, 2));
    auto polyline = [&](std::initializer_list<QPoint> pts) {
        const QPolygon poly(QList<QPoint>(pts.begin(), pts.end()));
        p.drawPolyline(poly);
    };
    switch (mode) {
    case amSync:
        polyline({{1, h - 1}, {1, 1}, {w / 2, 1}, {w / 2, h - 1}, {w - 1, h - 1}, {w - 1, 1}});
        return true;
    case amOpen:
        polyline({{1, h / 2}, {w - 2, h / 2}, {w / 2, 1}, {1, h / 2}});
        polyline({{1, h - 1}, {w - 1, h - 1}, {w - 1, 3 * h / 4}, {1, 3 * h / 4}, {1, h - 1}});
        return true;
    case amPlay:
        polyline({{1, 1}, {1, h - 2}, {w / 2, h / 2}, {1, 1}});
        return true;
    case amFastPlay:
        polyline({{1, 1}, {1, h - 2}, {w / 2, h / 2}, {1, 1}});
        polyline({{w / 2 + 1, 1}, {w / 2 + 1, h - 2}, {w - 1, h / 2}, {w / 2 + 1, 1}});
        return true;
    case amPause:
        polyline({{1, 1}, {1, h - 2}, {w / 3, h - 2}, {w / 3, 1}, {1, 1}});
        polyline({{2 * w / 3 + 1, 1}, {2 * w / 3 + 1, h - 2}, {w - 1, h - 2}, {w - 1, 1}, {2 * w / 3 + 1, 1}});
        return true;
    case amStop:
        polyline({{1, 1}, {1, h - 2}, {w - 1, h - 2}, {w - 1, 1}, {1, 1}});
        return true;
    case amWatch:
        // An eye: the source is looked at, nothing is kept.
        p.drawEllipse(QRect(1, h / 4, w - 2, h / 2));
        p.drawEllipse(QRect(w / 2 - 2, h / 2 - 2, 4, 4));
        return true;
    case amRecord:
        p.setBrush(Qt::NoBrush);
        // The box from (1, 1) to (W-1, H-1), its far edges excluded.
        p.drawEllipse(QRect(1, 1, w - 2, h - 2));
        return true;
    default:
        return false;
    }
}

QImage TitlePicture()
{
    // A receiver's view of the sky: a globe under an orbit with a satellite,
    // kept in the upper part, since the title strip shows only its top rows.
    QImage image(kTitlePictureSize, kTitlePictureSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(kSilver));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.setBrush(QColor(64, 128, 224));
    p.drawEllipse(QRectF(5, 5, 14, 14));
    p.setBrush(QColor(32, 160, 64));
    p.drawChord(QRectF(5, 5, 14, 14), 200 * 16, 120 * 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 255), 1));
    p.drawArc(QRectF(1, 2, 30, 16), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(224, 0, 0));
    p.drawRect(QRectF(23, 2, 4, 4));
    p.setBrush(QColor(0, 0, 160));
    p.drawRect(QRectF(20, 3, 3, 2));
    p.drawRect(QRectF(27, 3, 3, 2));
    return image;
}

QImage AboutPicture(int width, int height)
{
    // Sky plot of a constellation over a horizon ring, with the program's name.
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(0, 0, 64));
    sky.setColorAt(1, QColor(0, 64, 128));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre(width / 2.0, height / 2.0 - 8);
    const double radius = qMin(width, height) / 2.0 - 18;
    p.setPen(QPen(QColor(0, 255, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius, radius);
    p.drawEllipse(centre, radius * 2 / 3, radius * 2 / 3);
    p.drawEllipse(centre, radius / 3, radius / 3);
    p.drawLine(centre - QPointF(radius, 0), centre + QPointF(radius, 0));
    p.drawLine(centre - QPointF(0, radius), centre + QPointF(0, radius));
    // Satellites at fixed elevations and azimuths, GPS yellow, GLONASS red.
    struct Sat { double azimuthDeg; double elevationDeg; bool glonass; };
    static const Sat sats[] = {{30, 60, false}, {120, 25, false}, {200, 45, true}, {300, 15, true},
                               {250, 75, false}, {80, 10, true}, {160, 80, true}};
    for (const Sat& s : sats) {
        const double r = radius * (90.0 - s.elevationDeg) / 90.0;
        const double a = qDegreesToRadians(s.azimuthDeg);
        const QPointF at = centre + QPointF(r * std::sin(a), -r * std::cos(a));
        p.setPen(Qt::NoPen);
        p.setBrush(s.glonass ? QColor(255, 64, 64) : QColor(255, 255, 0));
        p.drawEllipse(at, 3, 3);
    }
    p.setPen(QColor(0, 255, 255));
    QFont font = UiFont(true, 10);
    p.setFont(font);
    p.drawText(QRectF(0, height - 22, width, 16), Qt::AlignCenter, QStringLiteral("KESTROVA"));
    return image;
}
