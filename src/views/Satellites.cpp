#include "Satellites.h"

#include "BinrDecoder.h"
#include "GnssEpoch.h"
#include "Intake.h"
#include "NmeaAssembler.h"
#include "Report.h"
#include "SatellitesText.h"

namespace {

constexpr int kIndicatorRow = 20, kGpsRow = 32, kGlnRow = 44;
constexpr int kListX = 40, kBadListX = 48;
// Multi-GNSS: three more rows under GLN:, the window grown to hold them.
constexpr int kRowPitch = 12;
constexpr int kGalRow = kGlnRow + kRowPitch, kBdsRow = kGalRow + kRowPitch, kQzsRow = kBdsRow + kRowPitch;
constexpr int kWidth = 421, kHeight = 60, kMultiGnssHeight = kHeight + 3 * kRowPitch;

} // namespace

TSatellitesForm::TSatellitesForm(QWidget* parent)
    : TViewForm(kWidth, kHeight, QRect(2, 2, 416, 17), QString(58, ' ') + "SATELLITES", parent)
{
    Label4 = new ValueLabel(this, 8, kIndicatorRow, "Status:", false);
    Label1 = new ValueLabel(this, 8, kGpsRow, "GPS:", false);
    Label2 = new ValueLabel(this, 8, kGlnRow, "GLN:", false);

    for (size_t i = 0; i < Indicators.size(); ++i) {
        Indicators[i] = new ValueLabel(this, kIndicators[i].x, kIndicatorRow,
                                       QString::fromLatin1(kIndicators[i].caption), true);
        Indicators[i]->setEnabled(false);
    }
    obsLabel = Indicators[0];
    _2dLabel = Indicators[1];
    _1dLabel = Indicators[2];
    rtcmLabel = Indicators[3];
    raimLabel = Indicators[4];
    rsLabel = Indicators[5];
    extLabel = Indicators[6];
    anomLabel = Indicators[7];
    gpsLabel = Indicators[8];
    glnLabel = Indicators[9];
    sbasLabel = Indicators[10];
    dsbasLabel = Indicators[11];
    dgbasLabel = Indicators[12];
    rmsLabel = Indicators[13];

    GPSnumLabel = new ValueLabel(this, kListX, kGpsRow, QString(), true);
    BadGPSnumLabel = new ValueLabel(this, kBadListX, kGpsRow, QString(), true);
    BadGPSnumLabel->SetColor(kRed);
    GLNnumLabel = new ValueLabel(this, kListX, kGlnRow, QString(), true);
    BadGLNnumLabel = new ValueLabel(this, kBadListX, kGlnRow, QString(), true);
    BadGLNnumLabel->SetColor(kRed);

    const std::pair<const char*, int> rows[] = {{"GAL:", kGalRow}, {"BDS:", kBdsRow}, {"QZS:", kQzsRow}};
    ValueLabel** lists[] = {&GALnumLabel, &BDSnumLabel, &QZSnumLabel};
    for (size_t i = 0; i < MultiGnssCaptions.size(); ++i) {
        MultiGnssCaptions[i] = new ValueLabel(this, 8, rows[i].second, rows[i].first, false);
        *lists[i] = new ValueLabel(this, kListX, rows[i].second, QString(), true);
    }
    SetMultiGnss(false);
}

void TSatellitesForm::SetMultiGnss(bool on)
{
    setFixedSize(kWidth, on ? kMultiGnssHeight : kHeight);
    for (ValueLabel* label : {MultiGnssCaptions[0], MultiGnssCaptions[1], MultiGnssCaptions[2], GALnumLabel,
                              BDSnumLabel, QZSnumLabel})
        label->setVisible(on);
}

TSatellitesForm::~TSatellitesForm() = default;

void TSatellitesForm::ClearIndicators()
{
    for (ValueLabel* indicator : Indicators)
        indicator->setEnabled(false);
    GPSnumLabel->SetText(QString());
    GLNnumLabel->SetText(QString());
    BadGPSnumLabel->SetText(QString());
    BadGLNnumLabel->SetText(QString());
    GALnumLabel->SetText(QString());
    BDSnumLabel->SetText(QString());
    QZSnumLabel->SetText(QString());
}

void TSatellitesForm::RefreshFromNmea()
{
    if (!intake)
        return;
    const GnssEpoch& gnss = intake->Gnss();
    Show(gnss.Enabled() ? SatellitesFromGnss(gnss.Picture()) : SatellitesFromNmea(intake->Nmea()));
}

void TSatellitesForm::RefreshFromBinr()
{
    if (intake)
        Show(SatellitesFromBinr(intake->Binr()));
}

void TSatellitesForm::Show(const SatellitesTexts& t)
{
    // Straight to the new state, not through a cleared one: a label set to
    // what it already shows is not repainted.
    for (size_t i = 0; i < Indicators.size(); ++i)
        Indicators[i]->setEnabled(t.lit[i]);
    GPSnumLabel->SetText(t.gps);
    GLNnumLabel->SetText(t.gln);
    BadGPSnumLabel->SetText(t.badGps);
    BadGLNnumLabel->SetText(t.badGln);
    GALnumLabel->SetText(t.gal);
    BDSnumLabel->SetText(t.bds);
    QZSnumLabel->SetText(t.qzs);
    PlaceBadLists();

    if (intake && intake->MultiGnss())
        ReportExtra({{"GALnumLabel", GALnumLabel->text()},
                     {"BDSnumLabel", BDSnumLabel->text()},
                     {"QZSnumLabel", QZSnumLabel->text()}});
    ReportView("SATELLITES", {{"lit", QString::fromLatin1(LitCaptions(t.lit))},
                              {"GPSnumLabel", GPSnumLabel->text()},
                              {"GLNnumLabel", GLNnumLabel->text()},
                              {"BadGPSnumLabel", BadGPSnumLabel->text()},
                              {"BadGLNnumLabel", BadGLNnumLabel->text()}});
}

// Each list ends with a blank, so one blank separates the red list from the black.
void TSatellitesForm::PlaceBadLists()
{
    BadGPSnumLabel->move(GPSnumLabel->x() + GPSnumLabel->width(), BadGPSnumLabel->y());
    BadGLNnumLabel->move(GLNnumLabel->x() + GLNnumLabel->width(), BadGLNnumLabel->y());
}
