// The Multi-GNSS option in the whole program on the offscreen platform: its
// menu item and setting, what it does to the window stack, a capture played
// through the intake with it on, and screenshots of POSITION, SATELLITES and
// VISUAL kept in build/test-artifacts/.
#include "MainfileSupport.h"

#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "TestSupport.h"
#include "Visual.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QRadioButton>

namespace {

QAction* MultiGnssItem(TMainForm* form)
{
    for (QAction* item : form->TitleMenu()->actions())
        if (item->text() == "Multi-GNSS")
            return item;
    return nullptr;
}

int CountPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

class MultiGnss : public MainWindowTest {
protected:
    void ShowAllViews()
    {
        Show();
        form->NMEARadioButton->setChecked(true);
        for (QCheckBox* box : {form->PositionCheckBox, form->StatisticCheckBox, form->SatellitesCheckBox,
                               form->VisualCheckBox, form->ProfileCheckBox})
            box->setChecked(true);
        VisualForm->SatCheckBox->setChecked(true);
    }
    void Play(const std::string& capture)
    {
        const std::vector<uint8_t> bytes = ReadBinaryFile(SharedNmeaDir() + "/" + capture);
        constexpr size_t kBlock = 4096;
        for (size_t at = 0; at < bytes.size(); at += kBlock)
            form->ReceiveBytes(bytes.data() + at, int(std::min(kBlock, bytes.size() - at)));
    }
    static void Keep(QWidget* window, const char* name)
    {
        const QString folder = QStringLiteral(KESTROVA_BINARY_DIR) + "/test-artifacts";
        QDir().mkpath(folder);
        EXPECT_TRUE(window->grab().save(folder + "/" + name));
    }
};

TEST_F(MultiGnss, MenuItemGrowsSatellitesMovesProfileAndIsKept)
{
    ShowAllViews();
    QAction* item = MultiGnssItem(form.get());
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked()) << "off by default";
    const int satellitesHeight = SatellitesForm->height();
    const QPoint profileAt = ProfileForm->pos();
    EXPECT_FALSE(PositionForm->UsedLabel->isVisible());

    StatisticForm->NallLabel->setText("5");
    item->trigger();
    EXPECT_TRUE(form->MultiGnss());
    EXPECT_EQ(StatisticForm->NallLabel->text(), "0") << "the views start afresh";
    EXPECT_EQ(SatellitesForm->height(), satellitesHeight + 36);
    EXPECT_TRUE(SatellitesForm->BDSnumLabel->isVisible());
    EXPECT_TRUE(PositionForm->UsedLabel->isVisible());
    // The grown left column reaches below VISUAL: PROFILE goes under it.
    EXPECT_EQ(ProfileForm->y(), SatellitesForm->y() + SatellitesForm->height());
    EXPECT_EQ(ProfileForm->x(), profileAt.x());
    form->StatisticCheckBox->setChecked(false);
    EXPECT_EQ(ProfileForm->pos(), profileAt) << "a shorter column leaves PROFILE under VISUAL";
    form->StatisticCheckBox->setChecked(true);

    form->SaveSettings();
    item->trigger();
    EXPECT_FALSE(form->MultiGnss());
    EXPECT_EQ(SatellitesForm->height(), satellitesHeight);
    EXPECT_EQ(ProfileForm->pos(), profileAt);
    form->LoadSettings();
    EXPECT_TRUE(form->MultiGnss()) << "read back from the settings";
    EXPECT_TRUE(item->isChecked());

    // A stored value that is not 0 or 1 leaves the option as it is, and the
    // other settings are still read.
    QSettings("Tamrel", "Kestrova").setValue("MultiGnss", "yes");
    form->LoadSettings();
    EXPECT_TRUE(form->MultiGnss());
    EXPECT_TRUE(form->ProfileCheckBox->isChecked());
}

// A recording goes on while the option is switched: the sentence under way
// still completes, so the decoders (and a BINR side file) lose nothing.
TEST_F(MultiGnss, SwitchingMidSentenceLosesNothing)
{
    ShowAllViews();
    const std::string first = "$GPGGA,081412.000,5541.1956,N,037";
    // The next epoch's GGA completes the first.
    const std::string rest = "37.2877,E,1,5,4.87,66.2,M,14.5,M,,\r\n"
                             "$GPGGA,081413.000,5541.1959,N,03737.2894,E,1,5,4.87,66.2,M,14.5,M,,\r\n";
    form->ReceiveBytes(reinterpret_cast<const uint8_t*>(first.data()), int(first.size()));
    MultiGnssItem(form.get())->trigger();
    form->ReceiveBytes(reinterpret_cast<const uint8_t*>(rest.data()), int(rest.size()));
    EXPECT_EQ(PositionForm->UTCLabel->text(), "08:14:12");
    EXPECT_EQ(PositionForm->UsedLabel->text(), "5") << "the GGA's count while no GSA has come";
}

// Live data: the epoch under way is shown once the source has been quiet
// for 150 ms (on a clock the test sets), or when the data ends.
TEST_F(MultiGnss, LiveEpochShownWhenTheSourceFallsQuiet)
{
    ShowAllViews();
    form->SetMultiGnss(true);
    int64_t nowUs = 1000000;
    form->gnssClockUs = [&] { return nowUs; };
    form->SetActionMode(amWatch);
    auto feed = [&](const std::string& text) {
        form->ReceiveBytes(reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
    };
    feed("$GPGGA,081412.000,5541.1956,N,03737.2877,E,1,5,4.87,66.2,M,14.5,M,,\r\n"
         "$GNGSA,A,3,03,19,27,13,,,,,,,,,2.75,2.56,1.00\r\n");
    EXPECT_TRUE(form->GnssIdleTimer->isActive());
    EXPECT_NE(PositionForm->UTCLabel->text(), "08:14:12");
    nowUs += 100000;
    form->GnssIdleTimerTimer();
    EXPECT_NE(PositionForm->UTCLabel->text(), "08:14:12") << "quiet for 100 ms only";
    EXPECT_TRUE(form->GnssIdleTimer->isActive()) << "waits for the rest";
    nowUs += 50000;
    form->GnssIdleTimerTimer();
    EXPECT_EQ(PositionForm->UTCLabel->text(), "08:14:12");
    EXPECT_EQ(PositionForm->UsedLabel->text(), "4");
    EXPECT_EQ(SatellitesForm->GPSnumLabel->text(), "3 19 27 13 ");

    feed("$GPGGA,081413.000,5541.1959,N,03737.2894,E,1,5,4.87,66.2,M,14.5,M,,\r\n"
         "$GNGSA,A,2,03,19,,,,,,,,,,,2.75,2.56,1.50\r\n");
    EXPECT_EQ(PositionForm->UTCLabel->text(), "08:14:12");
    form->StopButtonClick(nullptr);
    EXPECT_EQ(PositionForm->UTCLabel->text(), "08:14:13") << "the end of the data";
    EXPECT_EQ(PositionForm->StatusLabel->text(), "2D");
    EXPECT_EQ(PositionForm->VDOPLabel->text(), "1.5");
}

// quectel-l76k-dual ends with the epoch of 07:17:31 (GPS and GLONASS GSVs,
// BeiDou's from an earlier epoch); the last GGA says 17 satellites.
TEST_F(MultiGnss, DualCaptureShowsEveryConstellationAndScreenshots)
{
    REQUIRE_SHARED_NMEA();
    ShowAllViews();
    form->SetMultiGnss(true);
    Play("quectel-l76k-dual.log");

    EXPECT_FALSE(SatellitesForm->GPSnumLabel->text().isEmpty());
    EXPECT_FALSE(SatellitesForm->GLNnumLabel->text().isEmpty());
    EXPECT_FALSE(SatellitesForm->BDSnumLabel->text().isEmpty());
    const int used = PositionForm->GPSLabel->text().toInt() + PositionForm->GLNLabel->text().toInt()
                     + SatellitesForm->BDSnumLabel->text().split(' ', Qt::SkipEmptyParts).size();
    EXPECT_EQ(PositionForm->UsedLabel->text().toInt(), used);
    // Sky plot: GPS blue, GLONASS red and BeiDou magenta disks; the legend.
    const QImage sky = VisualForm->SkyBitmap();
    EXPECT_GT(CountPixels(sky, qRgb(0, 0, 255)), 100);
    EXPECT_GT(CountPixels(sky, qRgb(255, 0, 0)), 100);
    EXPECT_GT(CountPixels(sky, qRgb(230, 0, 230)), 100);
    EXPECT_EQ(CountPixels(sky, qRgb(255, 160, 0)), 0) << "no Galileo in this capture";

    Keep(PositionForm, "multi-gnss-position.png");
    Keep(SatellitesForm, "multi-gnss-satellites.png");
    Keep(VisualForm, "multi-gnss-visual.png");

    // Switched off, the classic sky: BeiDou disappears from the plot.
    form->SetMultiGnss(false);
    Play("quectel-l76k-dual.log");
    EXPECT_EQ(CountPixels(VisualForm->SkyBitmap(), qRgb(230, 0, 230)), 0);
}

// The SkyTraq receiver: a differential fix with GPS, BeiDou, SBAS and QZSS.
TEST_F(MultiGnss, SkytraqScreenshotOfPositionAndSky)
{
    REQUIRE_SHARED_NMEA();
    ShowAllViews();
    form->SetMultiGnss(true);
    Play("skytraq-dgps.log");
    EXPECT_EQ(PositionForm->StatusLabel->text(), "3D DIFF");
    EXPECT_FALSE(SatellitesForm->BDSnumLabel->text().isEmpty());
    // The legend lists the systems in view in their order, one per 12
    // pixels: GPS, BeiDou, QZSS (193) and SBAS (51), each with its swatch.
    const QRgb swatches[] = {qRgb(0, 0, 255), qRgb(230, 0, 230), qRgb(0, 210, 210), qRgb(0, 255, 0)};
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(VisualForm->SkyBitmap().pixel(7, 9 + 12 * row), swatches[row]) << row;
    Keep(PositionForm, "multi-gnss-position-skytraq.png");
    Keep(VisualForm, "multi-gnss-visual-skytraq.png");
}

// nmea-rtk: 104 GGAs of quality 2 and, at the end, 18 of quality 4 (RTK
// fixed). "DIFF only" counts the RTK fixes too with the option on.
TEST_F(MultiGnss, RtkFixesShowTheirStatusAndPassDiffOnly)
{
    REQUIRE_SHARED_NMEA();
    ShowAllViews();
    StatisticForm->DiffCheckBox->setChecked(true);
    Play("nmea-rtk.log");
    EXPECT_EQ(StatisticForm->NLabel->text(), "104");

    form->SetMultiGnss(true);
    Play("nmea-rtk.log");
    EXPECT_EQ(StatisticForm->NLabel->text(), "122");
    EXPECT_EQ(PositionForm->StatusLabel->text(), "RTK");
    EXPECT_EQ(PositionForm->UsedLabel->text(), "19");
    Keep(PositionForm, "multi-gnss-position-rtk.png");
}

} // namespace

namespace {

// With the option off, the first sentence the classic views cannot show
// brings the hint to the information line, once; with it on, none.
TEST_F(MultiGnss, HintSaidOnceWhileTheOptionIsOff)
{
    const std::string plain = "$GPGGA,081412.000,5541.1956,N,03737.2877,E,1,5,4.87,66.2,M,14.5,M,,\r\n";
    const std::string rtk = "$GNGGA,081413.000,5541.1956,N,03737.2877,E,4,5,4.87,66.2,M,14.5,M,,\r\n";
    const QString hint = "This receiver sends multi-GNSS/RTK data: turn on Multi-GNSS (title strip menu) to see it.";
    const auto feed = [this](const std::string& s) {
        form->ReceiveBytes(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()));
        return form->InfoLabel->text();
    };
    ShowAllViews();
    form->InfoLabel->clear();   // the first start's menu hint
    MultiGnssItem(form.get())->trigger();
    ASSERT_TRUE(form->MultiGnss());
    EXPECT_EQ(feed(plain + rtk), "");
    MultiGnssItem(form.get())->trigger();
    EXPECT_EQ(feed(plain), "");
    EXPECT_EQ(feed(rtk), hint);
    form->InfoLabel->clear();
    EXPECT_EQ(feed(rtk), "") << "said once";
}

} // namespace
