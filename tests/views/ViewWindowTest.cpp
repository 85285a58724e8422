// The three numeric windows on the offscreen platform: what the labels show
// after a refresh, where they sit, and the lines of a headless run.
#include "BinrDecoder.h"
#include "CommPty.h"
#include "Intake.h"
#include "MainFormTestAccess.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "Position.h"
#include "Report.h"
#include "Satellites.h"
#include "Sound.h"
#include "Statistic.h"
#include "ViewTestSupport.h"
#include "Visual.h"
#include "WindowGlobals.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <numbers>

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
int RightEdge(const QWidget* w) { return w->x() + w->width(); }

class ViewWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        main_ = TrackWindow(MainForm, new TMainForm);
        position_ = TrackWindow(PositionForm, new TPositionForm);
        statistic_ = TrackWindow(StatisticForm, new TStatisticForm);
        satellites_ = TrackWindow(SatellitesForm, new TSatellitesForm);
        visual_ = TrackWindow(VisualForm, new TVisualForm);
        main_->LinkViews();
        position_->intake = statistic_->intake = satellites_->intake = visual_->intake = &Source();
    }
    static void TearDownTestSuite()
    {
        delete visual_;
        delete satellites_;
        delete statistic_;
        delete position_;
        delete main_;
    }
    void SetUp() override
    {
        statistic_->HDOPEdit->setText("0.0");
        statistic_->VDOPEdit->setText("0.0");
        statistic_->DiffCheckBox->setChecked(false);
        statistic_->ResetStatistics();
        SetHeadlessReport(false);
        main_->VisualCheckBox->setChecked(false);
        TMainFormTestAccess::SoundEnabled(*main_) = false;
    }

    // The source the views show, fed as the program's intake is but heard
    // by no panel.
    static Intake& Source()
    {
        static Intake source;
        return source;
    }

    // One NMEA epoch into the views' intake.
    static void NmeaEpoch(const std::string& quality, const std::string& hdop = "0.9")
    {
        FeedNmea(Source(), "GPRMC,081411.000,A,5541.1955,N,03737.2872,E,1.0,301.29,260514,,,A");
        FeedNmea(Source(), "GPGSA,A,3,05,12,67,,,,,,,,,,2.0,1.0,1.5");
        FeedNmea(Source(), "GPGGA,081412.000,5541.1956,N,03737.2877,E," + quality + ",5," + hdop
                                    + ",66.2,M,14.5,M,,");
    }

    static inline TMainForm* main_ = nullptr;
    static inline TPositionForm* position_ = nullptr;
    static inline TStatisticForm* statistic_ = nullptr;
    static inline TSatellitesForm* satellites_ = nullptr;
    static inline TVisualForm* visual_ = nullptr;
};

TEST_F(ViewWindows, TitlesAndInitialTexts)
{
    EXPECT_EQ(position_->TitleStrip()->text(), QString(60, ' ') + "POSITION");
    EXPECT_EQ(statistic_->TitleStrip()->text(), QString(59, ' ') + "STATISTIC");
    EXPECT_EQ(satellites_->TitleStrip()->text(), QString(58, ' ') + "SATELLITES");
    EXPECT_EQ(position_->size(), QSize(421, 60));
    EXPECT_EQ(statistic_->LatLabel->text(), Q("00°00.0000N"));
    EXPECT_EQ(statistic_->LonLabel->text(), Q("000°00.0000E"));
    EXPECT_EQ(statistic_->HDOPEdit->geometry(), QRect(394, 20, 23, 13));
    EXPECT_EQ(statistic_->DiffCheckBox->geometry(), QRect(320, 45, 95, 13));
    EXPECT_EQ(statistic_->DiffCheckBox->text(), "DIFF only:");
    EXPECT_EQ(satellites_->rmsLabel->x(), 396);
    // A fresh window starts with every indicator dark.
    const TSatellitesForm fresh;
    for (const ValueLabel* indicator : fresh.Indicators)
        EXPECT_FALSE(indicator->isEnabled());
    SatellitesForm = satellites_;
    EXPECT_EQ(satellites_->rmsLabel->text(), "rms");
}

TEST_F(ViewWindows, PositionFromBinrKeepsRightEdges)
{
    const struct { ValueLabel* label; int edge; } anchored[] = {
        {position_->rms2DLabel, 168}, {position_->HDOPLabel, 168}, {position_->VDOPLabel, 168},
        {position_->SpeedLabel, 280}, {position_->CourseLabel, 256}, {position_->GPSLabel, 332},
        {position_->GLNLabel, 332},   {position_->UTCLabel, 416},    {position_->DateLabel, 416},
        {position_->StatusLabel, 416},
    };
    Dop60 dop;
    dop.gps = 12;
    dop.glonass = 9;
    dop.hdop = 0.8f;
    dop.vdop = 150;
    FeedBinr(Source(), dop);
    Nav88 nav;
    nav.flags = 0x0B;
    nav.velEastMps = -1;
    nav.rms2DM = 12.5f;
    nav.timeOfWeekMs = 3600000;
    FeedBinr(Source(), nav);
    position_->RefreshFromBinr();

    EXPECT_EQ(position_->StatusLabel->text(), "2D diff");
    EXPECT_EQ(position_->StatusLabel->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(position_->VDOPLabel->text(), "****");
    EXPECT_EQ(position_->GPSLabel->text(), "12");
    EXPECT_EQ(position_->CourseLabel->text(), Q("270.0 °"));
    EXPECT_EQ(position_->UTCLabel->text(), "01:00:00");
    for (const auto& a : anchored)
        EXPECT_EQ(RightEdge(a.label), a.edge) << a.label->text().toStdString();

    nav.flags = 0x00;
    FeedBinr(Source(), nav);
    position_->RefreshFromBinr();
    EXPECT_EQ(position_->StatusLabel->text(), "OLD");
    EXPECT_EQ(position_->StatusLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(RightEdge(position_->StatusLabel), 416);
}

TEST_F(ViewWindows, StatisticCountsAcceptedAndOfferedFixes)
{
    NmeaEpoch("1");
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_EQ(statistic_->NLabel->text(), "1");
    EXPECT_EQ(statistic_->NallLabel->text(), "1");
    // First fix: its own position is the mean, no scatter, rmsV its speed.
    EXPECT_EQ(statistic_->LatLabel->text(), Q("55°41.1956N"));
    EXPECT_EQ(statistic_->LonLabel->text(), Q("037°37.2877E"));
    EXPECT_EQ(statistic_->AltLabel->text(), "+0066.2");
    EXPECT_EQ(statistic_->rms2DLabel->text(), "0.00");
    EXPECT_EQ(statistic_->rmsVLabel->text(), "0.51");

    NmeaEpoch("0");   // invalid: only Nall rises
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_EQ(statistic_->NLabel->text(), "1");
    EXPECT_EQ(statistic_->NallLabel->text(), "2");

    statistic_->HDOPEdit->setText("1.5");
    NmeaEpoch("1", "1.6");   // rejected by the limit
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    NmeaEpoch("1", "1.5");   // accepted at the limit
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_EQ(statistic_->NLabel->text(), "2");
    EXPECT_EQ(statistic_->NallLabel->text(), "4");
    EXPECT_EQ(RightEdge(statistic_->NallLabel), 288);
    EXPECT_EQ(RightEdge(statistic_->rmsVLabel), 190);

    statistic_->DiffCheckBox->setChecked(true);
    NmeaEpoch("1", "1.0");
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_EQ(statistic_->NLabel->text(), "2");
    NmeaEpoch("2", "1.0");
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_EQ(statistic_->NLabel->text(), "3");
    EXPECT_EQ(statistic_->NallLabel->text(), "6");

    // A reset restores every text but keeps the limits; the next fix is N = 1.
    statistic_->ResetStatistics();
    EXPECT_EQ(statistic_->NLabel->text(), "0");
    EXPECT_EQ(statistic_->NallLabel->text(), "0");
    EXPECT_EQ(statistic_->LatLabel->text(), Q("00°00.0000N"));
    EXPECT_EQ(statistic_->AltLabel->text(), "+0000.0");
    EXPECT_EQ(statistic_->rmsVLabel->text(), "0.00");
    EXPECT_EQ(statistic_->HDOPEdit->ReadText(), "1.5");
    EXPECT_TRUE(statistic_->DiffCheckBox->isChecked());
    NmeaEpoch("2", "1.0");
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_EQ(statistic_->NLabel->text(), "1");
}

TEST_F(ViewWindows, StatisticBinrAtRestAndPublicResults)
{
    Nav88 nav;
    nav.latRad = 1.0;
    nav.lonRad = 0.5;
    nav.altM = 10;
    FeedBinr(Source(), Dop60{});
    FeedBinr(Source(), nav);
    statistic_->RefreshFromBinr(Source().Binr(), Source().Dates());
    nav.altM = 12;
    FeedBinr(Source(), nav);
    statistic_->RefreshFromBinr(Source().Binr(), Source().Dates());
    EXPECT_EQ(statistic_->NLabel->text(), "2");
    EXPECT_EQ(statistic_->rmsVLabel->text(), "0.00");
    EXPECT_EQ(statistic_->rmsHLabel->text(), "0.71");   // deviations from the updated mean
    EXPECT_DOUBLE_EQ(statistic_->Pipeline().Stats().meanH, 11.0);
    EXPECT_DOUBLE_EQ(statistic_->Pipeline().Stats().meanLat, 1.0);
    // A reset keeps the public results of the last accepted fix.
    statistic_->ResetStatistics();
    EXPECT_DOUBLE_EQ(statistic_->Pipeline().Stats().meanH, 11.0);
}

TEST_F(ViewWindows, LimitEditsAndFocusOrder)
{
    MaskedEdit* edit = statistic_->HDOPEdit;
    edit->setText("");
    EXPECT_EQ(edit->ReadText(), " . ");
    edit->setText("2.5");
    EXPECT_EQ(edit->ReadText(), "2.5");
    edit->setText("a.b");
    EXPECT_EQ(edit->ReadText(), " . ");
    EXPECT_EQ(statistic_->HDOPEdit->nextInFocusChain(), statistic_->VDOPEdit);
    EXPECT_EQ(statistic_->VDOPEdit->nextInFocusChain(), statistic_->DiffCheckBox);
}

TEST_F(ViewWindows, SatellitesListsIndicatorsAndRedPlacement)
{
    Status93 status;
    status.a = 0x09;
    status.b = 0x86;
    status.gpsMask = 0x5;
    status.glonassMask = 0x80000001;
    status.bad = {12, 70};
    FeedBinr(Source(), status);
    FeedBinr(Source(), Nav88{});
    satellites_->RefreshFromBinr();

    EXPECT_EQ(satellites_->GPSnumLabel->text(), "1 3 ");
    EXPECT_EQ(satellites_->GLNnumLabel->text(), "1 32 ");
    EXPECT_EQ(satellites_->BadGPSnumLabel->text(), "12 ");
    EXPECT_EQ(satellites_->BadGLNnumLabel->text(), "6 ");
    EXPECT_EQ(satellites_->BadGPSnumLabel->x(), RightEdge(satellites_->GPSnumLabel));
    EXPECT_EQ(satellites_->BadGLNnumLabel->x(), RightEdge(satellites_->GLNnumLabel));
    EXPECT_GT(satellites_->BadGLNnumLabel->x(), satellites_->BadGPSnumLabel->x());   // "1 32 " is wider
    EXPECT_EQ(satellites_->BadGPSnumLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(satellites_->obsLabel->isEnabled());
    EXPECT_TRUE(satellites_->rtcmLabel->isEnabled());
    EXPECT_TRUE(satellites_->gpsLabel->isEnabled());
    EXPECT_TRUE(satellites_->rmsLabel->isEnabled());
    EXPECT_FALSE(satellites_->_2dLabel->isEnabled());
    EXPECT_FALSE(satellites_->sbasLabel->isEnabled());

    // NMEA after BINR: indicators dark, red lists empty and moved behind the black.
    FeedNmea(Source(), "GPGSA,A,3,05,12,67,,,,,,,,,,2.0,1.0,1.5");
    satellites_->RefreshFromNmea();
    for (ValueLabel* indicator : satellites_->Indicators)
        EXPECT_FALSE(indicator->isEnabled());
    EXPECT_EQ(satellites_->GPSnumLabel->text(), "5 12 ");
    EXPECT_EQ(satellites_->GLNnumLabel->text(), "3 ");
    EXPECT_EQ(satellites_->BadGPSnumLabel->text(), "");
    EXPECT_EQ(satellites_->BadGPSnumLabel->x(), RightEdge(satellites_->GPSnumLabel));

    satellites_->ClearIndicators();
    EXPECT_EQ(satellites_->GPSnumLabel->text() + satellites_->GLNnumLabel->text(), "");
}

TEST_F(ViewWindows, HeadlessLines)
{
    Status93 status;
    status.a = 0x09;
    status.gpsMask = 0x5;
    status.bad = {70};
    FeedBinr(Source(), status);
    Dop60 dop;
    dop.gps = 2;
    dop.hdop = 1.5f;
    dop.vdop = 2.5f;
    FeedBinr(Source(), dop);
    Nav88 nav;
    nav.flags = 0x01;
    nav.timeOfWeekMs = 3600000;
    nav.rms2DM = 3;
    FeedBinr(Source(), nav);

    SetHeadlessReport(true);
    testing::internal::CaptureStdout();
    position_->RefreshFromBinr();
    statistic_->RefreshFromBinr(Source().Binr(), Source().Dates());
    satellites_->RefreshFromBinr();
    const std::string out = testing::internal::GetCapturedStdout();
    SetHeadlessReport(false);

    EXPECT_EQ(out,
              "POSITION\tUTCLabel=01:00:00\tDateLabel=22.08.99\tLatLabel=00° 0.0000N\tLonLabel=000° 0.0000E"
              "\tAltLabel=+0000.0\trms2DLabel=3.0\tHDOPLabel=1.5\tVDOPLabel=2.5\tSpeedLabel=000.0 km/h"
              "\tCourseLabel=000.0 °\tGPSLabel=2\tGLNLabel=0\tStatusLabel=3D\n"
              "STATISTIC\tLatLabel=00° 0.0000N\tLonLabel=000° 0.0000E\tAltLabel=+0000.0\trms2DLabel=0.00"
              "\trmsHLabel=0.00\trmsVLabel=0.00\tNLabel=1\tNallLabel=1\n"
              "SATELLITES\tlit=obs,rtcm\tGPSnumLabel=1 3 \tGLNnumLabel=\tBadGPSnumLabel=\tBadGLNnumLabel=6 \n");
}

// Each accepted fix goes to the Visual view, whose line comes before the
// Statistic line of the same fix; rejected fixes and a switched-off Visual
// view hand nothing over.
TEST_F(ViewWindows, AcceptedFixesGoToTheVisualView)
{
    struct Row { bool visualOn; const char* quality; const char* lines; };
    const Row rows[] = {
        {true, "1", "VISUAL,STATISTIC,"},
        {true, "0", "STATISTIC,"},
        {false, "1", "STATISTIC,"},
    };
    for (const Row& r : rows) {
        main_->VisualCheckBox->setChecked(r.visualOn);
        NmeaEpoch(r.quality);
        SetHeadlessReport(true);
        testing::internal::CaptureStdout();
        statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
        const std::string out = testing::internal::GetCapturedStdout();
        SetHeadlessReport(false);
        std::string views;
        for (size_t start = 0; start < out.size();) {
            const size_t end = out.find('\n', start);
            views += out.substr(start, out.find('\t', start) - start) + ",";
            start = end == std::string::npos ? out.size() : end + 1;
        }
        EXPECT_EQ(views, r.lines) << r.visualOn << " " << r.quality;
    }
}

// What VISUAL needs of the other windows comes through the links the main
// window sets: the accepted position, the statistic mean (kept over a reset,
// as "Set Statistic" takes it) and the texts its copied picture carries.
TEST_F(ViewWindows, VisualIsHandedPositionMeanAndNotes)
{
    main_->VisualCheckBox->setChecked(true);
    NmeaEpoch("1");
    position_->RefreshFromNmea();
    statistic_->RefreshFromNmea(Source().Nmea(), Source().Gnss());
    EXPECT_NEAR(visual_->current.altM, 66.2, 1e-9);
    EXPECT_NEAR(visual_->current.latRad, (55 + 41.1956 / 60) * std::numbers::pi / 180, 1e-9);
    EXPECT_DOUBLE_EQ(visual_->statisticMean().meanH, 66.2);
    const TVisualForm::PictureNotes notes = visual_->pictureNotes();
    EXPECT_EQ(notes.date, position_->DateLabel->text());
    EXPECT_EQ(notes.lat + notes.lon + notes.alt + notes.n + notes.rms2D + notes.rmsH,
              statistic_->LatLabel->text() + statistic_->LonLabel->text() + statistic_->AltLabel->text() + "1"
                  + statistic_->rms2DLabel->text() + statistic_->rmsHLabel->text());
    statistic_->ResetStatistics();
    EXPECT_DOUBLE_EQ(visual_->statisticMean().meanH, 66.2);
    EXPECT_EQ(visual_->pictureNotes().n, "0");
}

// The no-solution cue through an ALSA file device: one 50 ms tone of 500 Hz
// (400 samples at 8 kHz) per refresh while sound is on, nothing otherwise.
TEST_F(ViewWindows, NoSolutionCueSoundsOncePerRefresh)
{
    struct Row { bool soundOn; uint8_t flags; size_t samples; };
    const Row rows[] = {{true, 0x00, 800}, {false, 0x00, 0}, {true, 0x01, 0}};
    for (const Row& r : rows) {
        QTemporaryDir dir;
        const QString raw = dir.filePath("tone.raw");
        const QString config = dir.filePath("asound.conf");
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("pcm.!default { type plug; slave { pcm \"capture\"; format S16_LE; channels 1; rate 8000 } }\n"
                    "pcm.capture { type file; slave.pcm { type null }; file \"" + raw.toLocal8Bit()
                    + "\"; format \"raw\" }\n"));
        file.close();
        const bool hadPrevious = qEnvironmentVariableIsSet("ALSA_CONFIG_PATH");
        const QByteArray previous = qgetenv("ALSA_CONFIG_PATH");
        CloseTone();
        qputenv("ALSA_CONFIG_PATH", config.toLocal8Bit());
        OpenTone();

        TMainFormTestAccess::SoundEnabled(*main_) = r.soundOn;
        Nav88 nav;
        nav.flags = r.flags;
        for (int i = 0; i < 2; ++i) {
            FeedBinr(Source(), nav);
            position_->RefreshFromBinr();
        }
        CloseTone();
        if (hadPrevious)
            qputenv("ALSA_CONFIG_PATH", previous);
        else
            qunsetenv("ALSA_CONFIG_PATH");
        QFile captured(raw);
        const qint64 bytes = captured.open(QIODevice::ReadOnly) ? captured.size() : 0;
        EXPECT_EQ(size_t(bytes) / 2, r.samples) << r.soundOn << " " << int(r.flags);
    }
}

} // namespace

namespace {

// Live data that stops: the last solution greys after three epoch intervals
// (here the shortest, two refreshes in a row), its texts kept, and turns
// black with the next refresh.
TEST_F(ViewWindows, PositionGreysWhenLiveDataStops)
{
    position_->liveData = [] { return true; };
    const QColor black(0, 0, 0), grey(150, 150, 150);
    const auto colour = [](const ValueLabel* l) { return l->palette().color(QPalette::WindowText); };
    FeedNmea(Source(), "GPGGA,081412.000,5541.1956,N,03737.2877,E,1,5,4.87,66.2,M,14.5,M,,");
    position_->RefreshFromNmea();
    position_->RefreshFromNmea();
    const QString lat = position_->LatLabel->text(), status = position_->StatusLabel->text();
    EXPECT_FALSE(position_->Stale());
    EXPECT_TRUE(WaitFor([] { return position_->Stale(); }, 5000));
    for (const ValueLabel* l : {position_->LatLabel, position_->UTCLabel, position_->StatusLabel})
        EXPECT_EQ(colour(l), grey) << l->text().toStdString();
    EXPECT_EQ(position_->LatLabel->text(), lat);
    EXPECT_EQ(position_->StatusLabel->text(), status);

    position_->RefreshFromNmea();
    EXPECT_FALSE(position_->Stale());
    EXPECT_EQ(colour(position_->LatLabel), black);
    position_->liveData = [] { return false; };
}

} // namespace
