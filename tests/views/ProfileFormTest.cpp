// The PROFILE window on the offscreen platform: the strip's grid, scroll and
// lines, the range control and its stored value.
#include "Profile.h"
#include "Report.h"
#include "VisualControls.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int W = 705;
constexpr int H = 65;
constexpr QRgb kOlive = qRgb(128, 128, 0);
constexpr QRgb kBlackPx = qRgb(0, 0, 0);
constexpr QRgb kWhitePx = qRgb(255, 255, 255);

QRgb Px(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

class ProfileFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHeadlessReport(false);
        QSettings("Tamrel", "Kestrova").clear();
        form = std::make_unique<TProfileForm>();
        form->ClearProfile();
    }
    std::vector<int> WhiteRows(int column) const
    {
        std::vector<int> rows;
        for (int y = 0; y < H; ++y)
            if (Px(form->StripBitmap(), column, y) == kWhitePx)
                rows.push_back(y);
        return rows;
    }
    static std::vector<int> Range(int from, int to)  // from..to inclusive
    {
        std::vector<int> r;
        for (int y = from; y <= to; ++y)
            r.push_back(y);
        return r;
    }
    std::unique_ptr<TProfileForm> form;
};

TEST_F(ProfileFormTest, ClearDrawsTheGridAndTheLabels)
{
    const QImage& img = form->StripBitmap();
    ASSERT_EQ(img.size(), QSize(W, H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool grid = y == 16 || y == 32 || y == 48;
            ASSERT_EQ(Px(img, x, y), grid ? kOlive : kBlackPx) << x << "," << y;
        }
    EXPECT_EQ(form->PenPosition(), QPoint(W, 48));
    EXPECT_EQ(form->AltImage->Picture(), img);
    // No stored range: 1 m.
    EXPECT_EQ(form->maxAltUpDown->Position(), 1);
    EXPECT_EQ(form->PlusLabel->text(), "+1 m");
    EXPECT_EQ(form->MinusLabel->text(), "-1 m");
}

TEST_F(ProfileFormTest, FirstValueJoinsRow48AtTheRightEdge)
{
    form->AddAltitude(-0.5);  // 0.5 m above the reference: row 16
    EXPECT_EQ(WhiteRows(W - 1), Range(17, 48));
    EXPECT_EQ(form->PenPosition(), QPoint(W - 1, 16));
    // Grid rows are olive up to column W - 2 and black in the last column.
    for (int row : {16, 32, 48}) {
        EXPECT_EQ(Px(form->StripBitmap(), W - 2, row), kOlive);
        EXPECT_EQ(Px(form->StripBitmap(), 0, row), kOlive);
    }
    EXPECT_EQ(Px(form->StripBitmap(), W - 1, 16), kBlackPx);
    EXPECT_EQ(form->AltImage->Picture(), form->StripBitmap());
}

TEST_F(ProfileFormTest, RangeOfOneMetreEndsOnTheGridRows)
{
    struct Row {
        double difference;
        int row;
    } rows[] = {{+0.5, 48}, {-0.5, 16}, {0, 32}, {1, 64}, {-1, 0}, {0.999, 63}, {-5, -128}, {1e300, 32768},
                {std::nan(""), 32768}, {-1e300, -32768}, {0, 32}};
    for (const Row& r : rows) {
        form->AddAltitude(r.difference);
        EXPECT_EQ(form->PenPosition(), QPoint(W - 1, r.row)) << r.difference;
    }
    // Coming back from far above, the last column is white down to the
    // middle row, which it stops short of.
    EXPECT_EQ(WhiteRows(W - 1), Range(0, 31));
}

TEST_F(ProfileFormTest, EachValueScrollsTheStripOnePixelLeft)
{
    for (double d : {-0.5, 0.25, 0.0, 0.75})
        form->AddAltitude(d);
    const QImage before = form->StripBitmap().copy();
    form->AddAltitude(-0.25);
    const QImage& after = form->StripBitmap();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W - 2; ++x)
            ASSERT_EQ(Px(after, x, y), Px(before, x + 1, y)) << x << "," << y;
    // The new line runs from the previous value (row 56) in column W - 2 to
    // row 24 in the last column, stopping short of it.
    EXPECT_EQ(Px(after, W - 2, 56), kWhitePx);
    EXPECT_EQ(Px(after, W - 1, 25), kWhitePx);
    EXPECT_EQ(Px(after, W - 1, 24), kBlackPx);
    // One pixel per row from 56 up to 25, the lower half in column W - 2.
    const std::vector<int> last = WhiteRows(W - 1);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last, Range(25, last.back()));
    EXPECT_NEAR(last.back(), 40, 1);
    for (int y = last.back() + 1; y <= 56; ++y)
        EXPECT_EQ(Px(after, W - 2, y), kWhitePx) << y;
    // Rows of the last column off the line are black, grid rows included.
    EXPECT_EQ(Px(after, W - 1, 16), kBlackPx);
    EXPECT_EQ(Px(after, W - 1, 60), kBlackPx);
}

TEST_F(ProfileFormTest, RangeStepsThroughItsTiersAndClears)
{
    form->AddAltitude(-0.5);
    std::vector<int> up;
    for (int i = 0; i < 30; ++i) {
        form->maxAltUpDown->StepUp();
        up.push_back(form->maxAltUpDown->Position());
    }
    const std::vector<int> expect = {2,   3,   4,   5,   6,   7,   8,   9,   10,  20,  30,  40,  50,  60,  70,
                                     80,  90,  100, 200, 300, 400, 500, 600, 700, 800, 900, 999, 999, 999, 999};
    EXPECT_EQ(up, expect);
    EXPECT_EQ(form->PlusLabel->text(), "+999 m");
    EXPECT_EQ(form->MinusLabel->text(), "-999 m");
    EXPECT_TRUE(WhiteRows(W - 1).empty());
    form->maxAltUpDown->StepDown();
    EXPECT_EQ(form->maxAltUpDown->Position(), 899);
    form->maxAltUpDown->SetPosition(20);
    form->maxAltUpDown->SetIncrement(10);
    form->maxAltUpDown->StepDown();
    EXPECT_EQ(form->maxAltUpDown->Position(), 10);
    form->maxAltUpDown->StepDown();
    EXPECT_EQ(form->maxAltUpDown->Position(), 9);
}

TEST(ProfileSettingsTest, StoredRangeIsClampedAndRoundTrips)
{
    SetHeadlessReport(false);
    struct Row {
        const char* what;
        QVariant stored;
        int expect;
    } rows[] = {
        {"missing", QVariant(), 1},         {"stored", 250, 250},          {"zero", 0, 1},
        {"too big", 5000, 999},             {"negative", -3, 1},           {"text", QString("abc"), 1},
        {"binary", QByteArray(4, '\1'), 1}, {"huge", QString("99999999999"), 1},
    };
    for (const Row& r : rows) {
        {
            QSettings s("Tamrel", "Kestrova");
            s.clear();
            if (r.stored.isValid())
                s.setValue("maxAltUpDown", r.stored);
            s.sync();
        }
        auto form = std::make_unique<TProfileForm>();
        EXPECT_EQ(form->maxAltUpDown->Position(), r.expect) << r.what;
        form.reset();
        EXPECT_EQ(QSettings("Tamrel", "Kestrova").value("maxAltUpDown").toInt(), r.expect) << r.what;
    }
    // The step is set only by clicks: after a stored 100 the first click moves by 1.
    QSettings("Tamrel", "Kestrova").setValue("maxAltUpDown", 100);
    TProfileForm form;
    form.maxAltUpDown->StepUp();
    EXPECT_EQ(form.maxAltUpDown->Position(), 101);

    // Headless: range 1, nothing read or written.
    SetHeadlessReport(true);
    {
        TProfileForm headless;
        EXPECT_EQ(headless.maxAltUpDown->Position(), 1);
        headless.maxAltUpDown->SetPosition(500);
    }
    SetHeadlessReport(false);
    // The click above was stored as it happened; the headless form left it.
    EXPECT_EQ(QSettings("Tamrel", "Kestrova").value("maxAltUpDown").toInt(), 101);
}

} // namespace
