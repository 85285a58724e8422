#include "Position.h"

#include "BinrDecoder.h"
#include "GnssEpoch.h"
#include "Intake.h"
#include "NmeaAssembler.h"
#include "PositionText.h"
#include "Report.h"
#include "Sound.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr int kRow1 = 20, kRow2 = 32, kRow3 = 44;
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr int kCueHz = 500;
constexpr int kCueMs = 50;
constexpr QRgb kStaleGrey = qRgb(150, 150, 150);
constexpr int kStaleEpochs = 3;
// The interval assumed before two refreshes measured one, and its bounds: a
// 100 Hz receiver, and a gap in the data that must not delay the mark for long.
constexpr int64_t kFirstEpochMs = 1000;
constexpr int64_t kShortestEpochMs = 10;
constexpr int64_t kLongestEpochMs = 10000;

ValueLabel* Caption(QWidget* parent, int x, int y, const char* text)
{
    return new ValueLabel(parent, x, y, QString::fromLatin1(text), false);
}

ValueLabel* Value(QWidget* parent, int x, int y, const std::string& text, ValueLabel::Anchor anchor = ValueLabel::Left)
{
    return new ValueLabel(parent, x, y, FromText(text), true, anchor);
}

constexpr const char* kStartVdop = "0.0";

} // namespace

TPositionForm::TPositionForm(QWidget* parent)
    : TViewForm(421, 60, QRect(2, 2, 416, 17), QString(60, ' ') + "POSITION", parent)
{
    constexpr auto R = ValueLabel::Right;

    Label1 = Caption(this, 4, kRow1, "B:");
    Label2 = Caption(this, 4, kRow2, "L:");
    Label3 = Caption(this, 4, kRow3, "H:");
    LatLabel = Value(this, 22, kRow1, "00\xB0" "00.0000N");
    LonLabel = Value(this, 16, kRow2, "000\xB0" "00.0000E");
    AltLabel = Value(this, 20, kRow3, "+0000.0");

    Label4 = Caption(this, 108, kRow1, "rms2D:");
    Label5 = Caption(this, 108, kRow2, "HDOP:");
    Label6 = Caption(this, 108, kRow3, "VDOP:");
    rms2DLabel = Value(this, 168, kRow1, "0.0", R);
    HDOPLabel = Value(this, 168, kRow2, "0.0", R);
    VDOPLabel = Value(this, 168, kRow3, kStartVdop, R);

    Label7 = Caption(this, 176, kRow1, "Speed:");
    Label8 = Caption(this, 176, kRow2, "Course:");
    SpeedLabel = Value(this, 280, kRow1, "000.0 km/h", R);
    CourseLabel = Value(this, 256, kRow2, "000.0 \xB0", R);

    Label9 = Caption(this, 292, kRow1, "GPS:");
    Label10 = Caption(this, 292, kRow2, "GLN:");
    GPSLabel = Value(this, 332, kRow1, "0", R);
    GLNLabel = Value(this, 332, kRow2, "0", R);

    Label11 = Caption(this, 340, kRow1, "UTC:");
    Label12 = Caption(this, 340, kRow2, "Date:");
    Label13 = Caption(this, 340, kRow3, "Status:");
    UTCLabel = Value(this, 416, kRow1, "00:00:00", R);
    DateLabel = Value(this, 416, kRow2, "00.00.00", R);
    StatusLabel = Value(this, 416, kRow3, "OLD", R);
    StatusLabel->SetColor(kRed);
    // The widest values ("999.9" of an NMEA VDOP, "3D DIFF") would run into
    // their captions at the design places: the caption columns give way.
    KeepCaptionsClear({{Label4, rms2DLabel, "****"}, {Label5, HDOPLabel, "****"}, {Label6, VDOPLabel, "999.9"}});
    KeepCaptionsClear({{Label11, UTCLabel, "23:59:59"}, {Label12, DateLabel, "31.12.99"}, {Label13, StatusLabel, "3D DIFF"}});

    // Multi-GNSS: the satellites used by every system, in the free place
    // under GPS: and GLN: ("Used:" would run into a two-digit count).
    UsedCaption = Caption(this, 292, kRow3, "All:");
    UsedLabel = Value(this, 332, kRow3, "0", R);
    SetMultiGnss(false);

    epochMs_ = kFirstEpochMs;
    staleTimer_ = new QTimer(this);
    staleTimer_->setSingleShot(true);
    connect(staleTimer_, &QTimer::timeout, this, [this] { MarkStale(true); });
}

void TPositionForm::MarkStale(bool on)
{
    if (on == stale_)
        return;
    stale_ = on;
    const QRgb colour = on ? kStaleGrey : kBlack;
    for (ValueLabel* value : {LatLabel, LonLabel, AltLabel, rms2DLabel, HDOPLabel, VDOPLabel, SpeedLabel, CourseLabel,
                              GPSLabel, GLNLabel, UsedLabel, UTCLabel, DateLabel, StatusLabel})
        value->SetColor(colour);
}

void TPositionForm::SetMultiGnss(bool on)
{
    UsedCaption->setVisible(on);
    UsedLabel->setVisible(on);
}

TPositionForm::~TPositionForm() = default;

void TPositionForm::RefreshFromNmea()
{
    if (!intake)
        return;
    const GnssEpoch& gnss = intake->Gnss();
    Show(gnss.Enabled() ? PositionFromNmea(intake->Nmea(), gnss.Picture()) : PositionFromNmea(intake->Nmea()));
}

void TPositionForm::RefreshFromBinr()
{
    if (intake)
        Show(PositionFromBinr(intake->Binr(), intake->Dates()));
}

void TPositionForm::ForgetKeptTexts() { VDOPLabel->SetText(FromText(kStartVdop)); }

void TPositionForm::Show(const PositionTexts& t)
{
    if (sinceRefresh_.isValid())
        epochMs_ = std::clamp<int64_t>(sinceRefresh_.restart(), kShortestEpochMs, kLongestEpochMs);
    else
        sinceRefresh_.start();
    MarkStale(false);
    if (liveData())
        staleTimer_->start(int(kStaleEpochs * epochMs_));
    else
        staleTimer_->stop();
    LatLabel->SetText(t.lat);
    LonLabel->SetText(t.lon);
    AltLabel->SetText(t.alt);
    rms2DLabel->SetText(t.rms2D);
    SpeedLabel->SetText(t.speed);
    CourseLabel->SetText(t.course);
    HDOPLabel->SetText(t.hdop);
    if (t.vdopSet)
        VDOPLabel->SetText(t.vdop);
    GPSLabel->SetText(t.gps);
    GLNLabel->SetText(t.gln);
    UsedLabel->SetText(t.used);
    UTCLabel->SetText(t.utc);
    DateLabel->SetText(t.date);
    StatusLabel->SetColor(t.noSolution ? kRed : kBlack);
    StatusLabel->SetText(t.status);
    // The cue repeats on every refresh while the receiver has no solution.
    if (t.noSolution && soundEnabled()) {
        PlayTone(kCueHz, kCueMs);
        SystemBeep(kCueHz, kCueMs);
    }

    if (intake && intake->MultiGnss())
        ReportExtra({{"UsedLabel", UsedLabel->text()}});
    ReportView("POSITION", {{"UTCLabel", UTCLabel->text()},
                            {"DateLabel", DateLabel->text()},
                            {"LatLabel", LatLabel->text()},
                            {"LonLabel", LonLabel->text()},
                            {"AltLabel", AltLabel->text()},
                            {"rms2DLabel", rms2DLabel->text()},
                            {"HDOPLabel", HDOPLabel->text()},
                            {"VDOPLabel", VDOPLabel->text()},
                            {"SpeedLabel", SpeedLabel->text()},
                            {"CourseLabel", CourseLabel->text()},
                            {"GPSLabel", GPSLabel->text()},
                            {"GLNLabel", GLNLabel->text()},
                            {"StatusLabel", StatusLabel->text()}});
}
