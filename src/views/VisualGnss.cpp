#include "VisualGnss.h"

#include "GnssEpoch.h"
#include "VisualCanvas.h"
#include "VisualText.h"

#include <QFontMetrics>

namespace {

constexpr int kDiskRadius = 12;
constexpr int kRingWidth = 2;
constexpr int kLegendX = 3, kLegendY = 3;
constexpr int kLegendPitch = 12;
constexpr int kLegendSwatch = 8;
constexpr int kLegendTextX = kLegendX + kLegendSwatch + 3;
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kLightGrey = qRgb(220, 220, 220);
constexpr QRgb kDarkGrey = qRgb(140, 140, 140);

struct SystemColours {
    QRgb heard;
    QRgb silent;
};

// GPS blue, GLONASS red and SBAS green as on the classic sky plot. The
// darker shades of satellites not heard stay visible as rings on black.
SystemColours ColoursOf(Gnss system)
{
    switch (system) {
    case Gnss::Gps:
        return {qRgb(0, 0, 255), qRgb(40, 40, 160)};
    case Gnss::Glonass:
        return {qRgb(255, 0, 0), qRgb(160, 0, 0)};
    case Gnss::Galileo:
        return {qRgb(255, 160, 0), qRgb(160, 100, 0)};
    case Gnss::BeiDou:
        return {qRgb(230, 0, 230), qRgb(150, 0, 150)};
    case Gnss::Qzss:
        return {qRgb(0, 210, 210), qRgb(0, 130, 130)};
    case Gnss::Navic:
        return {qRgb(255, 255, 255), qRgb(150, 150, 150)};
    case Gnss::Sbas:
        return {qRgb(0, 255, 0), qRgb(0, 150, 0)};
    default:
        return {kWhite, qRgb(150, 150, 150)};
    }
}

// Dark digits on the light disks, white ones on the dark.
QRgb TextOn(QRgb fill)
{
    const int luma = 299 * qRed(fill) + 587 * qGreen(fill) + 114 * qBlue(fill);
    return luma > 140 * 1000 ? kBlack : kWhite;
}

void DrawSatellite(QImage& sky, const SkySatellite& sat, const QFontMetrics& metrics)
{
    const SkyPoint p = SkyPosition(sat.elevationDeg, sat.azimuthDeg);
    const SystemColours colours = ColoursOf(sat.id.system);
    const QRgb colour = sat.heard ? colours.heard : colours.silent;
    const int left = p.x - kDiskRadius, top = p.y - kDiskRadius;
    const int right = p.x + kDiskRadius, bottom = p.y + kDiskRadius;
    const QString number = QString::number(sat.id.number);
    const int textX = p.x - metrics.horizontalAdvance(number) / 2;
    const int textY = p.y - metrics.height() / 2;
    if (sat.used) {
        DrawFilledEllipse(sky, left, top, right, bottom, colour);
        DrawText(sky, textX, textY, number, TextOn(colour), colour);
    } else {
        for (int ring = 0; ring < kRingWidth; ++ring)
            DrawEllipseOutline(sky, left + ring, top + ring, right - ring, bottom - ring, colour);
        // The ring tells the system; the number reads best in grey tones.
        DrawText(sky, textX, textY, number, sat.heard ? kLightGrey : kDarkGrey, kBlack);
    }
}

void DrawLegend(QImage& sky, const GnssPicture& picture)
{
    bool present[kGnssCount] = {};
    for (int i = 0; i < picture.skyCount; ++i)
        present[int(picture.sky[i].id.system)] = true;
    int y = kLegendY;
    for (int s = 1; s < kGnssCount; ++s) {
        if (!present[s])
            continue;
        const Gnss system = Gnss(s);
        const QRgb colour = ColoursOf(system).heard;
        DrawFilledEllipse(sky, kLegendX, y + 2, kLegendX + kLegendSwatch, y + 2 + kLegendSwatch, colour);
        DrawText(sky, kLegendTextX, y, QString::fromLatin1(GnssCaption(system)), kWhite, kBlack);
        y += kLegendPitch;
    }
}

} // namespace

void DrawGnssSky(QImage& sky, const GnssPicture& picture)
{
    const QFontMetrics metrics(BitmapFont());
    // Unused satellites first, so a used one near them stays whole on top.
    for (const bool used : {false, true})
        for (int i = 0; i < picture.skyCount; ++i)
            if (picture.sky[i].used == used)
                DrawSatellite(sky, picture.sky[i], metrics);
    DrawLegend(sky, picture);
}
