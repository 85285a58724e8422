// The VISUAL window on the offscreen platform: plot pixels, marks and the
// hit map, the reference edits, the radius control, the export and the
// stored values.
#include "Angles.h"
#include "Instance.h"
#include "IntakeFeed.h"
#include "TestSupport.h"
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "FixPipeline.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"
#include "Profile.h"
#include "Report.h"
#include "Visual.h"
#include "VisualSettings.h"
#include "VisualControls.h"
#include "VisualText.h"
#include "WindowGlobals.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontMetrics>
#include <QBackingStore>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

QFont BitmapFont();

namespace {

constexpr QRgb kOlive = qRgb(128, 128, 0);
constexpr QRgb kBlackPx = qRgb(0, 0, 0);
constexpr QRgb kRedPx = qRgb(255, 0, 0);
constexpr QRgb kGreenPx = qRgb(0, 255, 0);

QRgb Px(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }
QString Deg(const char* utf8) { return QString::fromUtf8(utf8); }

// A position metres north and east of the origin.
GeoPosition At(double northM, double eastM, double altM = 0)
{
    return {northM / kNorthMetresPerRadian, eastM / double(kEastMetresPerRadian), altM};
}

class VisualFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHeadlessReport(false);
        QSettings().clear();
        QSettings("Tamrel", "Kestrova").clear();
        form.reset(TrackWindow(VisualForm, new TVisualForm));
        form->intake = &intake;
        ASSERT_EQ(form->RUpDown->Position(), 1);
        ASSERT_DOUBLE_EQ(form->reference.latRad, 0);
    }
    void TearDown() override { form.reset(); }

    void PlotAt(const GeoPosition& p)
    {
        form->current = p;
        form->PlotPosition();
    }
    std::vector<QPoint> PixelsOf(QRgb color, const QRect& area = QRect(0, 0, 283, 283)) const
    {
        std::vector<QPoint> found;
        const QImage& img = form->PlotBitmap();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (Px(img, x, y) == color)
                    found.emplace_back(x, y);
        return found;
    }

    Intake intake;
    std::unique_ptr<TVisualForm> form;
};

TEST_F(VisualFormTest, ClearDrawsAxesCirclesAndRadiusLabels)
{
    const QImage& img = form->PlotBitmap();
    ASSERT_EQ(img.size(), QSize(283, 283));
    // Axes: full rows and columns through pixel 141, ending short of 283.
    for (int i = 0; i < 283; ++i) {
        if (i >= 135 && i < 150)
            continue;  // the labels' rows
        EXPECT_EQ(Px(img, 141, i), kOlive) << i;
    }
    for (int i = 0; i < 175; ++i)
        EXPECT_EQ(Px(img, i, 141), kOlive) << i;
    // Extremes of the three circles: boxes 0..282, 47..234, 94..187 (the
    // labels cover the right-hand ones).
    for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 141}, {141, 0}, {141, 282}, {282, 141}, {47, 140},
                                                       {47, 141}, {140, 47}, {140, 234}, {94, 140},
                                                       {140, 94}, {140, 187}})
        EXPECT_EQ(Px(img, x, y), kOlive) << x << "," << y;
    for (auto [x, y] : std::vector<std::pair<int, int>>{{20, 20}, {46, 130}, {100, 100}, {262, 262}, {93, 140}})
        EXPECT_EQ(Px(img, x, y), kBlackPx) << x << "," << y;
    // Radius labels: " 1m " at (178, 135) and " 2m " at (225, 135), green on
    // black, every text pixel exactly green.
    const QFontMetrics fm(BitmapFont());
    const QRect inner(178, 135, fm.horizontalAdvance(" 1m "), fm.height());
    const QRect outer(225, 135, fm.horizontalAdvance(" 2m "), fm.height());
    const std::vector<QPoint> green = PixelsOf(kGreenPx);
    ASSERT_FALSE(green.empty());
    int inInner = 0, inOuter = 0;
    for (const QPoint& p : green) {
        EXPECT_TRUE(inner.contains(p) || outer.contains(p)) << p.x() << "," << p.y();
        inInner += inner.contains(p);
        inOuter += outer.contains(p);
    }
    EXPECT_GT(inInner, 0);
    EXPECT_GT(inOuter, 0);
    for (int y = 0; y < 283; ++y)
        for (int x = 0; x < 283; ++x) {
            const QRgb c = Px(img, x, y);
            ASSERT_TRUE(c == kOlive || c == kBlackPx || c == kGreenPx) << x << "," << y;
        }
    // The window shows exactly the plot.
    EXPECT_EQ(form->Image->Picture(), img);
}

TEST_F(VisualFormTest, FirstMarkAfterAClearRetiresFiveGreyPixelsAtTheCorner)
{
    PlotAt(At(0, 0));
    const QImage& img = form->PlotBitmap();
    for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}}) {
        EXPECT_EQ(Px(img, x, y), qRgb(128, 128, 128)) << x << "," << y;
        EXPECT_EQ(form->HitCount(x, y), 128);
    }
    EXPECT_EQ(Px(img, 3, 0), kOlive == Px(img, 3, 0) ? kOlive : kBlackPx);
    EXPECT_EQ(Px(img, 2, 1), kBlackPx);
    EXPECT_EQ(form->HitCount(2, 1), 127);
    // The current mark: twelve red pixels round (141, 141).
    const std::vector<QPoint> red = PixelsOf(kRedPx);
    const std::vector<QPoint> expected = {{141, 139}, {142, 139}, {140, 140}, {141, 140}, {142, 140}, {143, 140},
                                          {140, 141}, {141, 141}, {142, 141}, {143, 141}, {141, 142}, {142, 142}};
    EXPECT_EQ(red, expected);
    EXPECT_EQ(form->previousX, 141);
    EXPECT_EQ(form->previousY, 141);
    EXPECT_EQ(form->Image->Picture(), img);
}

TEST_F(VisualFormTest, RetiredMarksBrightenWhereTheyRepeat)
{
    const GeoPosition a = At(0, 0), b = At(1, 0);  // (141, 141) and (141, 93)
    PlotAt(a);
    PlotAt(b);
    EXPECT_EQ(Px(form->PlotBitmap(), 140, 140), qRgb(128, 128, 128));
    PlotAt(a);
    PlotAt(b);
    EXPECT_EQ(Px(form->PlotBitmap(), 140, 140), qRgb(129, 129, 129));
    EXPECT_EQ(Px(form->PlotBitmap(), 140, 92), kRedPx);
    for (int i = 0; i < 300; ++i) {
        PlotAt(a);
        PlotAt(b);
    }
    EXPECT_EQ(Px(form->PlotBitmap(), 140, 140), qRgb(255, 255, 255));
    EXPECT_EQ(form->HitCount(140, 140), 255);
    // A clear forgets it all.
    form->ClearPlot();
    EXPECT_EQ(form->HitCount(140, 140), 127);
    EXPECT_TRUE(PixelsOf(kRedPx).empty());
}

TEST_F(VisualFormTest, LabelsAndPositionsOffThePlot)
{
    form->reference.altM = 10;
    PlotAt(At(3, 4, 15.255));
    EXPECT_EQ(form->dXLabel->text(), "5.00 m");
    EXPECT_EQ(form->dHLabel->text(), "5.26 m");
    EXPECT_EQ(form->dMhLabel->text(), "-10.00 m");

    form->ClearPlot();
    PlotAt(At(0, 10));  // 10 m east with R = 1: off the plot
    EXPECT_TRUE(PixelsOf(kRedPx).empty());
    EXPECT_EQ(form->dXLabel->text(), "10.00 m");
    PlotAt(At(0, 0));   // retires nothing visible
    EXPECT_TRUE(PixelsOf(qRgb(128, 128, 128)).size() == 5u);  // only the corner mark of the first
    // A position that is not a number draws nothing and breaks nothing.
    PlotAt({std::nan(""), std::nan(""), std::nan("")});
    EXPECT_TRUE(PixelsOf(kRedPx).empty());
}

TEST_F(VisualFormTest, HeadlessLineFollowsEachPosition)
{
    SetHeadlessReport(true);
    testing::internal::CaptureStdout();
    PlotAt(At(1, 0, 2));
    const std::string out = testing::internal::GetCapturedStdout();
    SetHeadlessReport(false);
    EXPECT_EQ(out, "VISUAL\tdXLabel=1.00 m\tdMxLabel=0.00 m\tdHLabel=2.00 m\tdMhLabel=0.00 m\n");
}

TEST_F(VisualFormTest, EditsTurnRedOnInvalidTextAndClearOnValid)
{
    struct Row {
        MaskedEdit* edit;
        const char* text;
        bool valid;
    } rows[] = {
        {form->LatEdit, "90°00.00000N", true},  {form->LatEdit, "90°00.00001N", false},
        {form->LatEdit, "45°60.00000N", false}, {form->LatEdit, "45°30.00000n", false},
        {form->LatEdit, "45°3", false},         {form->LatEdit, "45°30.00000S", true},
        {form->LonEdit, "180°00.00000W", true}, {form->LonEdit, "180°00.00001E", false},
        {form->LonEdit, "010°30.00000e", false}, {form->LonEdit, "010°30.00000E", true},
    };
    for (const Row& r : rows) {
        PlotAt(form->reference);
        const GeoPosition before = form->reference;
        r.edit->setText(Deg(r.text));
        const bool red = r.edit->palette().color(QPalette::Text) == QColor(kRedPx);
        EXPECT_EQ(red, !r.valid) << r.text;
        // A valid latitude or longitude clears the plot; an invalid one
        // leaves the reference and the marks alone.
        EXPECT_EQ(PixelsOf(kRedPx).empty(), r.valid) << r.text;
        if (!r.valid) {
            EXPECT_EQ(form->reference.latRad, before.latRad) << r.text;
            EXPECT_EQ(form->reference.lonRad, before.lonRad) << r.text;
        }
    }
    EXPECT_NEAR(form->reference.latRad, -(45.5) * kPi / 180, 1e-9);
    EXPECT_NEAR(form->reference.lonRad, (10.5) * kPi / 180, 1e-9);
    // Unfilled positions read back as blanks, literals stay in place.
    form->LatEdit->setText(Deg("12°3"));
    EXPECT_EQ(form->LatEdit->ReadText(), Deg("12°3 .     ") + " ");
    form->AltEdit->setText("0123.4");
    EXPECT_DOUBLE_EQ(form->reference.altM, 123.4);
}

TEST_F(VisualFormTest, ShowReferenceWritesTheEditsWhichReadItBack)
{
    form->reference = {54.5 * kPi / 180, -0.5 * kPi / 180, -12.34};
    form->ShowReference();
    EXPECT_EQ(form->LatEdit->text(), Deg("54°30.00000N"));
    EXPECT_EQ(form->LonEdit->text(), Deg("000°30.00000W"));
    EXPECT_EQ(form->AltEdit->ReadText(), "-012.3");
    EXPECT_DOUBLE_EQ(form->reference.altM, -12.3);

    form->current = {0.1234567891, -2.2222222222, 100.04};
    form->SetCurrentButtonClick(nullptr);
    EXPECT_NEAR(form->reference.latRad, 0.1234567891, 1e-8);
    EXPECT_NEAR(form->reference.lonRad, -2.2222222222, 1e-8);
    EXPECT_DOUBLE_EQ(form->reference.altM, 100.0);

    // A receiver's garbage is not taken as a reference.
    form->current = {std::nan(""), 1e300, std::nan("")};
    form->SetCurrentButtonClick(nullptr);
    EXPECT_TRUE(std::isfinite(form->reference.latRad) && std::isfinite(form->reference.lonRad));
    EXPECT_NE(form->LatEdit->palette().color(QPalette::Text), QColor(kRedPx));
}

TEST_F(VisualFormTest, DoubleClickRecentresEvenAtThePole)
{
    form->RUpDown->SetPosition(10);
    PlotAt(At(20, -15));
    const int x = form->previousX, y = form->previousY;
    form->ImageMouseDown(x, y);
    form->ImageDblClick();
    EXPECT_TRUE(PixelsOf(kRedPx).empty());
    PlotAt(At(20, -15));
    EXPECT_NEAR(form->previousX, 141, 1);
    EXPECT_NEAR(form->previousY, 141, 1);

    form->LatEdit->setText(Deg("90°00.00000N"));
    form->LonEdit->setText(Deg("030°00.00000E"));
    form->ImageMouseDown(250, 30);
    form->ImageDblClick();
    EXPECT_TRUE(std::isfinite(form->reference.lonRad));
    EXPECT_NEAR(form->reference.lonRad, kPi / 6, 1e-9);
    EXPECT_EQ(form->LonEdit->text(), Deg("030°00.00000E"));
    EXPECT_NE(form->LatEdit->palette().color(QPalette::Text), QColor(kRedPx));
}

TEST_F(VisualFormTest, RadiusStepsThroughItsTiers)
{
    std::vector<int> up;
    for (int i = 0; i < 40; ++i) {
        form->RUpDown->StepUp();
        up.push_back(form->RUpDown->Position());
    }
    const std::vector<int> expectUp = {2,   3,   4,   5,   6,   7,    8,    9,    10,   20,
                                       30,  40,  50,  60,  70,  80,   90,   100,  200,  300,
                                       400, 500, 600, 700, 800, 900,  1000, 2000, 3000, 4000,
                                       5000, 6000, 7000, 8000, 9000, 9999, 9999, 9999, 9999, 9999};
    EXPECT_EQ(up, expectUp);
    std::vector<int> down;
    for (int i = 0; i < 3; ++i) {
        form->RUpDown->StepDown();
        down.push_back(form->RUpDown->Position());
    }
    EXPECT_EQ(down, (std::vector<int>{8999, 7999, 6999}));

    form->RUpDown->SetPosition(10);
    form->RUpDown->SetIncrement(1);
    form->RUpDown->StepUp();
    EXPECT_EQ(form->RUpDown->Position(), 20);
    form->RUpDown->StepDown();
    EXPECT_EQ(form->RUpDown->Position(), 10);
    form->RUpDown->StepDown();
    EXPECT_EQ(form->RUpDown->Position(), 9);
    // Each click redraws the labels for the new radius.
    const std::vector<QPoint> green = PixelsOf(kGreenPx);
    EXPECT_FALSE(green.empty());
}

TEST_F(VisualFormTest, SkyPlotDrawsDisksOnlyWhileChecked)
{
    form->satellites.count = 2;
    form->satellites.entry[0] = {1, 7, 1, 90, 0};   // zenith, heard GPS
    form->satellites.entry[1] = {2, 3, 0, 0, 180};  // south horizon, silent GLONASS
    PlotAt(At(0, 0));
    EXPECT_EQ(form->Image->Picture(), form->PlotBitmap());
    form->SatCheckBox->setChecked(true);
    form->SatCheckBoxClick();
    const QImage& shown = form->Image->Picture();
    EXPECT_EQ(shown, form->SkyBitmap());
    EXPECT_EQ(Px(shown, 141 + 10, 141), qRgb(0, 0, 255));
    EXPECT_EQ(Px(shown, 141, 282 - 10), qRgb(127, 0, 0));
    // The plot itself is untouched by the disks.
    EXPECT_EQ(Px(form->PlotBitmap(), 151, 141), kOlive);
    // A clear empties the list.
    form->ClearPlot();
    EXPECT_EQ(form->satellites.count, 0);
}

TEST_F(VisualFormTest, ExportReadsBackFromTheClipboard)
{
    PlotAt(At(0, 0));
    form->SatCheckBox->setChecked(true);
    form->satellites.count = 1;
    form->satellites.entry[0] = {1, 7, 1, 90, 0};
    form->SatCheckBoxClick();
    form->CopyButtonClick(nullptr);
    const QImage got = QApplication::clipboard()->image();
    if (got.isNull())
        GTEST_SKIP() << "this platform keeps no clipboard image";
    ASSERT_EQ(got.size(), QSize(397, 283));
    EXPECT_EQ(Px(got, 20, 20), qRgb(255, 255, 255));             // black background
    EXPECT_EQ(Px(got, 141, 200), qRgb(127, 127, 255));           // olive axis
    EXPECT_EQ(Px(got, 141, 141), qRgb(0, 255, 255));             // red mark, no sky disk
    EXPECT_EQ(Px(got, 0, 0), qRgb(127, 127, 127));               // retired grey 128
    // The strip: white, black text from x = 307 in eleven lines.
    int dark = 0, lastRow = 0;
    for (int y = 0; y < 283; ++y)
        for (int x = 283; x < 397; ++x) {
            const QRgb c = Px(got, x, y);
            if (x < 307) {
                ASSERT_EQ(c, qRgb(255, 255, 255)) << x << "," << y;
            } else if (c == kBlackPx) {
                ++dark;
                lastRow = y;
            } else {
                ASSERT_EQ(c, qRgb(255, 255, 255)) << x << "," << y;
            }
        }
    EXPECT_GT(dark, 100);
    EXPECT_GE(lastRow, 150);
    EXPECT_LT(lastRow, 150 + QFontMetrics(BitmapFont()).height());
    // The caption in dark green near the top middle.
    int caption = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 101; x < 283; ++x)
            caption += Px(got, x, y) == qRgb(0, 128, 0);
    EXPECT_GT(caption, 20);
    EXPECT_EQ(got, form->ComposeClipboardImage().convertToFormat(got.format()));
}

int PushNmea(Intake& intake, const std::string& body) { return FeedIntake(intake, NmeaSentence(body)); }

TEST_F(VisualFormTest, PositionsAndSatellitesComeFromTheDecoders)
{
    // The position the fix pipeline hands on for an accepted GGA.
    ASSERT_EQ(PushNmea(intake, "GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,"), kNmeaGga);
    FixPipeline pipeline;
    const FixStep step = pipeline.OnNmeaResult(intake.Nmea(), kNmeaGga);
    ASSERT_TRUE(step.Accepted());
    form->AddPosition(step.position, step.fromBinr);
    EXPECT_NEAR(form->current.latRad, -(48 + 7.038 / 60) * kPi / 180, 1e-12);
    EXPECT_NEAR(form->current.lonRad, -(11 + 31.0 / 60) * kPi / 180, 1e-12);
    EXPECT_DOUBLE_EQ(form->current.altM, 545.4);
    EXPECT_EQ(form->dHLabel->text(), "545.40 m");

    GsvFillPosition() = 0;
    form->satellites.count = 0;
    ASSERT_EQ(PushNmea(intake, "GPGSV,2,1,05,01,45,120,40,33,10,200,00,65,80,010,35,02,05,350,20"), kNmeaGsv);
    form->LoadGsvSatellites();
    EXPECT_EQ(form->satellites.count, 0);
    ASSERT_EQ(PushNmea(intake, "GPGSV,2,2,05,88,-5,359,"), kNmeaGsv);
    form->LoadGsvSatellites();
    ASSERT_EQ(form->satellites.count, 5);
    EXPECT_EQ(form->satellites.entry[1].number, 120);
    EXPECT_EQ(form->satellites.entry[4].number, 24);
    EXPECT_EQ(form->satellites.entry[4].system, 2);

    // Message 0x52 with two records: GLONASS slot 5 heard, SBAS 134 silent.
    const uint8_t payload[] = {2, 5, 0, 45, 0x2C, 0x01, 40, 4, 134, 0, 0xF6, 0xFF, 0xFF, 0};
    uint8_t frame[64];
    const int n = BuildBinrFrame(kMsgSatInView, payload, sizeof payload, frame, sizeof frame);
    const int result = FeedIntake(intake, frame, size_t(n), Protocol::Binr);
    ASSERT_EQ(result, kMsgSatInView);
    form->LoadBinrSatellites();
    ASSERT_EQ(form->satellites.count, 2);
    const SatelliteEntry& glo = form->satellites.entry[0];
    EXPECT_EQ(glo.system, 2);
    EXPECT_EQ(glo.number, 5);
    EXPECT_EQ(glo.elevationDeg, 45);
    EXPECT_EQ(glo.azimuthDeg, 300);
    EXPECT_EQ(glo.flag, 1);
    const SatelliteEntry& sbas = form->satellites.entry[1];
    EXPECT_EQ(sbas.number, 134);
    EXPECT_EQ(sbas.elevationDeg, -10);
    EXPECT_EQ(sbas.azimuthDeg, -1);
    EXPECT_EQ(sbas.flag, 0);
}

TEST_F(VisualFormTest, PlottedHeightsFeedTheProfileWhileItsSwitchIsOn)
{
    TMainForm main;
    TProfileForm profile;
    TrackWindow(ProfileForm, &profile);
    main.LinkViews();
    profile.ClearProfile();
    main.ProfileCheckBox->setChecked(false);
    PlotAt(At(0, 0, 0.5));
    EXPECT_EQ(profile.PenPosition(), QPoint(705, 48));  // untouched
    main.ProfileCheckBox->setChecked(true);
    form->reference.altM = 1;
    PlotAt(At(0, 0, 0.5));  // reference minus current = +0.5 m
    EXPECT_EQ(profile.PenPosition().x(), 704);
    const int rowHalfBelow = profile.PenPosition().y();
    PlotAt(At(0, 0, 1.5));
    EXPECT_EQ(profile.PenPosition().y(), 2 * 32 - rowHalfBelow);  // mirrored about the middle row
    // A clear of the plot clears the strip too.
    form->ClearPlot();
    EXPECT_EQ(profile.PenPosition(), QPoint(705, 48));
}

// ---- stored values ---------------------------------------------------------

QByteArray DoubleBytes(double v)
{
    QByteArray b(8, '\0');
    std::memcpy(b.data(), &v, 8);
    return b;
}

TEST(VisualSettingsTest, RoundTripThroughANewSettingsObject)
{
    SetHeadlessReport(false);
    QSettings("Tamrel", "Kestrova").clear();
    {
        TVisualForm form;
        form.reference = {0.5, -1.25, 321.5};
        form.RUpDown->SetPosition(500);
    }
    QSettings("Tamrel", "Kestrova").sync();
    QSettings stored("Tamrel", "Kestrova");
    EXPECT_EQ(stored.value("b_fix").toByteArray(), DoubleBytes(0.5));
    EXPECT_EQ(stored.value("l_fix").toByteArray(), DoubleBytes(-1.25));
    EXPECT_EQ(stored.value("h_fix").toByteArray(), DoubleBytes(321.5));
    EXPECT_EQ(stored.value("RUpDown").toInt(), 500);

    TVisualForm again;
    EXPECT_DOUBLE_EQ(again.reference.latRad, 0.5);
    EXPECT_DOUBLE_EQ(again.reference.lonRad, -1.25);
    EXPECT_DOUBLE_EQ(again.reference.altM, 321.5);
    EXPECT_EQ(again.RUpDown->Position(), 500);
    // The step is set only by clicks: the first one moves by 1.
    again.RUpDown->StepUp();
    EXPECT_EQ(again.RUpDown->Position(), 501);
    again.RUpDown->StepUp();
    EXPECT_EQ(again.RUpDown->Position(), 601);
}

TEST(VisualSettingsTest, AnyBadValueGivesAllFourDefaults)
{
    SetHeadlessReport(false);
    struct Row {
        const char* what;
        QVariant lat, lon, alt, radius;
        double expectLat;
        int expectRadius;
    } rows[] = {
        {"all good", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), 20, 0.25, 20},
        {"radius missing", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), QVariant(), 0, 1},
        {"latitude missing", QVariant(), DoubleBytes(0.5), DoubleBytes(7), 20, 0, 1},
        {"short binary", QByteArray(4, '\1'), DoubleBytes(0.5), DoubleBytes(7), 20, 0, 1},
        {"long binary", DoubleBytes(0.25) + "x", DoubleBytes(0.5), DoubleBytes(7), 20, 0, 1},
        {"text for a double", QString("0.25"), DoubleBytes(0.5), DoubleBytes(7), 20, 0, 1},
        {"text for the radius", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), QString("abc"), 0, 1},
        {"binary radius", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), QByteArray(4, '\0'), 0, 1},
        {"not a number", DoubleBytes(std::nan("")), DoubleBytes(0.5), DoubleBytes(7), 20, 0, 1},
        {"beyond the pole", DoubleBytes(2.0), DoubleBytes(0.5), DoubleBytes(7), 20, 0, 1},
        {"radius 0 is clamped", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), 0, 0.25, 1},
        {"radius too big", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), 123456, 0.25, 9999},
        {"negative radius", DoubleBytes(0.25), DoubleBytes(0.5), DoubleBytes(7), -5, 0.25, 1},
    };
    for (const Row& r : rows) {
        {
            QSettings s("Tamrel", "Kestrova");
            s.clear();
            const char* keys[] = {"b_fix", "l_fix", "h_fix", "RUpDown"};
            const QVariant* values[] = {&r.lat, &r.lon, &r.alt, &r.radius};
            for (int i = 0; i < 4; ++i)
                if (values[i]->isValid())
                    s.setValue(keys[i], *values[i]);
            s.sync();
        }
        auto form = std::make_unique<TVisualForm>();
        EXPECT_DOUBLE_EQ(form->reference.latRad, r.expectLat) << r.what;
        EXPECT_EQ(form->RUpDown->Position(), r.expectRadius) << r.what;
        if (r.expectLat == 0) {
            EXPECT_DOUBLE_EQ(form->reference.altM, 0) << r.what;
        }
        form.reset();
        // Whatever was read, a valid set is written back.
        QSettings reread("Tamrel", "Kestrova");
        EXPECT_EQ(reread.value("b_fix").toByteArray().size(), 8) << r.what;
    }
}

TEST(VisualSettingsTest, HeadlessReadsAndWritesNothing)
{
    QSettings("Tamrel", "Kestrova").clear();
    {
        QSettings s("Tamrel", "Kestrova");
        s.setValue("b_fix", DoubleBytes(0.25));
        s.setValue("l_fix", DoubleBytes(0.5));
        s.setValue("h_fix", DoubleBytes(7));
        s.setValue("RUpDown", 30);
    }
    SetHeadlessReport(true);
    {
        TVisualForm form;
        EXPECT_DOUBLE_EQ(form.reference.latRad, 0);
        EXPECT_DOUBLE_EQ(form.reference.altM, 0);
        EXPECT_EQ(form.RUpDown->Position(), 1);
        form.reference.latRad = 0.75;
        form.RUpDown->SetPosition(700);
    }
    SetHeadlessReport(false);
    QSettings reread("Tamrel", "Kestrova");
    EXPECT_EQ(reread.value("b_fix").toByteArray(), DoubleBytes(0.25));
    EXPECT_EQ(reread.value("RUpDown").toInt(), 30);
}

// Each fix redraws only what changed, on the sky picture and on the screen;
// both must stay as a whole redraw makes them: marks under the disks and
// over the radius labels, with SAT VIEW off and on.
TEST_F(VisualFormTest, PartialRedrawsMatchAWholeRedraw)
{
    form->show();
    QCoreApplication::processEvents();  // the first whole paint
    form->satellites.count = 2;
    form->satellites.entry[0] = {1, 7, 1, 90, 0};  // zenith, over the centre
    form->satellites.entry[1] = {2, 3, 1, 45, 90};
    const QRect box(form->Image->mapTo(form.get(), QPoint(0, 0)), form->Image->size());
    for (const bool sky : {false, true}) {
        form->SatCheckBox->setChecked(sky);
        for (const GeoPosition& p : {At(0, 0), At(0.1, 0.05), At(0, 0.8), At(0.1, 1.8), At(0, 0)}) {
            PlotAt(p);
            // A mark on the inner radius label lies under the label.
            if (p.lonRad == At(0, 0.8).lonRad) {
                EXPECT_TRUE(PixelsOf(kRedPx, QRect(178, 139, 4, 4)).empty());
            }
            QCoreApplication::sendPostedEvents(form.get(), QEvent::UpdateRequest);
            // The window's back buffer, where repaints land before the screen.
            QPaintDevice* buffer = form->backingStore()->paintDevice();
            ASSERT_EQ(buffer->devType(), QInternal::Image);
            const QImage screen = static_cast<QImage*>(buffer)->copy(box);
            const QImage partial = (sky ? form->SkyBitmap() : form->PlotBitmap()).copy();
            form->SatCheckBoxClick();
            ASSERT_EQ(form->Image->Picture(), partial) << sky;
            EXPECT_EQ(screen.convertToFormat(QImage::Format_RGB32), partial) << sky;
        }
    }
}

} // namespace

TEST(VisualSettingsTest, TheDemoInstanceStartsWithTheDrivesReferenceAndTheUsersOwnDoesNot)
{
    // As run.sh seeds it.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Tamrel";
    ASSERT_TRUE(QDir().mkpath(config));
    QFile::remove(config + "/Kestrova-demo.conf");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(SourceDir()) + "/samples/demo.conf", config + "/Kestrova-demo.conf"));
    QSettings("Tamrel", "Kestrova").clear();
    QSettings("Tamrel", "Kestrova").sync();

    ASSERT_TRUE(SetInstanceName("demo"));
    const VisualSettings demo = LoadVisualSettings();
    const int range = LoadProfileRange();
    ASSERT_TRUE(SetInstanceName(""));
    EXPECT_EQ(range, 20);
    // Every fix of the demo drive inside the radius, its heights inside the range.
    int fixes = 0;
    const std::vector<uint8_t> bytes = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
    const std::string text(bytes.begin(), bytes.end());
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        double latMin = 0, lonMin = 0, alt = 0;
        char ns = 0, ew = 0;
        int quality = 0;
        if (std::sscanf(line.c_str(), "$GPGGA,%*[^,],%lf,%c,%lf,%c,%d,%*[^,],%*[^,],%lf", &latMin, &ns, &lonMin, &ew,
                        &quality, &alt) != 6 || quality == 0)
            continue;
        const double lat = (std::floor(latMin / 100) + std::fmod(latMin, 100) / 60) * kPi / 180;
        const double lon = (std::floor(lonMin / 100) + std::fmod(lonMin, 100) / 60) * kPi / 180;
        const double northM = (lat - demo.reference.latRad) * 6378137;
        const double eastM = (lon - demo.reference.lonRad) * 6378137 * std::cos(lat);
        EXPECT_LT(std::hypot(northM, eastM), demo.radiusM) << line;
        EXPECT_LT(std::fabs(alt - demo.reference.altM), range) << line;
        ++fixes;
    }
    EXPECT_GT(fixes, 500);
    // A user's own first start: the reference at 0 N 0 E, 1 m.
    const VisualSettings own = LoadVisualSettings();
    EXPECT_EQ(own.reference.latRad, 0.0);
    EXPECT_EQ(own.reference.lonRad, 0.0);
    EXPECT_EQ(own.radiusM, 1);
    QFile::remove(config + "/Kestrova-demo.conf");
}
