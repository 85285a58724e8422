// Raster primitives of the plot bitmaps.
#include "VisualCanvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr QRgb kInk = qRgb(255, 255, 255);
constexpr QRgb kPaper = qRgb(0, 0, 0);

std::vector<QPoint> Inked(const QImage& img)
{
    std::vector<QPoint> found;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) | 0xFF000000u) == kInk)
                found.emplace_back(x, y);
    return found;
}

TEST(Canvas, LinesStopShortOfTheirEndPoint)
{
    struct Row {
        int x0, y0, x1, y1;
        std::vector<QPoint> pixels;
    } rows[] = {
        {2, 3, 3, 3, {{2, 3}}},
        {4, 4, 4, 4, {}},
        {1, 1, 1, 5, {{1, 1}, {1, 2}, {1, 3}, {1, 4}}},
        {5, 2, 1, 2, {{2, 2}, {3, 2}, {4, 2}, {5, 2}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {-2, 1, 3, 1, {{0, 1}, {1, 1}, {2, 1}}},  // clipped at the left edge
    };
    for (const Row& r : rows) {
        QImage img = MakeBitmap(8, 8, kPaper);
        DrawLine(img, r.x0, r.y0, r.x1, r.y1, kInk);
        std::vector<QPoint> got = Inked(img);
        std::vector<QPoint> want = r.pixels;
        auto order = [](const QPoint& a, const QPoint& b) { return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x(); };
        std::sort(got.begin(), got.end(), order);
        std::sort(want.begin(), want.end(), order);
        EXPECT_EQ(got, want) << r.x0 << "," << r.y0 << " -> " << r.x1 << "," << r.y1;
    }
    // A steep two-column line changes column once, half way.
    QImage img = MakeBitmap(4, 40, kPaper);
    DrawLine(img, 1, 32, 2, 0, kInk);
    const std::vector<QPoint> got = Inked(img);
    ASSERT_EQ(got.size(), 32u);
    int switches = 0;
    for (int y = 1; y <= 31; ++y)
        switches += (img.pixel(1, y) | 0xFF000000u) == kInk && (img.pixel(2, y - 1) | 0xFF000000u) == kInk;
    EXPECT_EQ(switches, 1);
}

TEST(Canvas, CircleOutlinesAreClosedAndSymmetricInTheirBox)
{
    for (auto [l, r] : std::vector<std::pair<int, int>>{{0, 283}, {47, 235}, {94, 188}, {3, 8}}) {
        QImage img = MakeBitmap(290, 290, kPaper);
        DrawEllipseOutline(img, l, l, r, r, kInk);
        const std::vector<QPoint> pixels = Inked(img);
        ASSERT_FALSE(pixels.empty());
        int minX = 1000, maxX = -1;
        for (const QPoint& p : pixels) {
            minX = std::min(minX, p.x());
            maxX = std::max(maxX, p.x());
            const int mx = l + r - 1 - p.x(), my = l + r - 1 - p.y();
            EXPECT_EQ(img.pixel(mx, p.y()) | 0xFF000000u, kInk) << l << ": " << p.x() << "," << p.y();
            EXPECT_EQ(img.pixel(p.x(), my) | 0xFF000000u, kInk) << l << ": " << p.x() << "," << p.y();
            EXPECT_EQ(img.pixel(p.y(), p.x()) | 0xFF000000u, kInk) << l << ": " << p.x() << "," << p.y();
            // Closed: every outline pixel has an outline neighbour on both sides.
            int neighbours = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((dx || dy) && (img.pixel(p.x() + dx, p.y() + dy) | 0xFF000000u) == kInk)
                        ++neighbours;
            EXPECT_GE(neighbours, 2) << l << ": " << p.x() << "," << p.y();
        }
        EXPECT_EQ(minX, l);
        EXPECT_EQ(maxX, r - 1);
    }
}

} // namespace
