#include "Statistic.h"

#include "Intake.h"
#include "Report.h"
#include "StatisticText.h"
#include "VisualSettings.h"

#include "Figures.h"
#include "ReceiverReport.h"
#include "RecordingIdentity.h"

#include <QAction>
#include <utility>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <fstream>

namespace {

constexpr int kRow1 = 20, kRow2 = 32, kRow3 = 44;
// One digit, the point, one digit; unfilled places show "_".
const char* const kLimitMask = "9.9;_";

// A check box whose caption stands at its left edge and whose box sits at its
// right edge, so the caption lines up with the captions above it.
class LeftCaptionCheckBox : public QCheckBox {
public:
    LeftCaptionCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
        option.rect = QRect(width() - box.width(), (height() - box.height()) / 2, box.width(), box.height());
        p.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(QRect(0, 0, width() - box.width(), height()), Qt::AlignLeft | Qt::AlignVCenter, text());
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = QRect(0, 0, fontMetrics().horizontalAdvance(text()) + 2, height());
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

ValueLabel* Caption(QWidget* parent, int x, int y, const char* text)
{
    return new ValueLabel(parent, x, y, QString::fromLatin1(text), false);
}

ValueLabel* Value(QWidget* parent, int x, int y, const std::string& text, ValueLabel::Anchor anchor = ValueLabel::Left)
{
    return new ValueLabel(parent, x, y, FromText(text), true, anchor);
}

} // namespace

TStatisticForm::TStatisticForm(QWidget* parent)
    : TViewForm(421, 60, QRect(2, 2, 416, 17), QString(59, ' ') + "STATISTIC", parent)
{
    constexpr auto R = ValueLabel::Right;
    const StatisticTexts initial = StatisticResetTexts();

    Label1 = Caption(this, 4, kRow1, "B:");
    Label2 = Caption(this, 4, kRow2, "L:");
    Label3 = Caption(this, 4, kRow3, "H:");
    LatLabel = Value(this, 22, kRow1, initial.lat);
    LonLabel = Value(this, 16, kRow2, initial.lon);
    AltLabel = Value(this, 20, kRow3, initial.alt);

    Label4 = Caption(this, 120, kRow1, "rms2D:");
    Label5 = Caption(this, 120, kRow2, "rmsH:");
    Label6 = Caption(this, 120, kRow3, "rmsV:");
    rms2DLabel = Value(this, 190, kRow1, initial.rms2D, R);
    rmsHLabel = Value(this, 190, kRow2, initial.rmsH, R);
    rmsVLabel = Value(this, 190, kRow3, initial.rmsV, R);
    const std::pair<QWidget*, const char*> tips[] = {
        {Label1, "B: mean latitude of the fixes accepted (N)"},
        {LatLabel, "B: mean latitude of the fixes accepted (N)"},
        {Label2, "L: mean longitude of the fixes accepted (N)"},
        {LonLabel, "L: mean longitude of the fixes accepted (N)"},
        {Label3, "H: mean height of the fixes accepted (N), metres"},
        {AltLabel, "H: mean height of the fixes accepted (N), metres"},
        {Label4, "rms2D: horizontal scatter of the fixes around their mean, metres"},
        {Label5, "rmsH: scatter of the heights around their mean, metres"},
        {Label6, "rmsV: root mean square of the speed (not a scatter), m/s"},
        {rmsVLabel, "rmsV: root mean square of the speed (not a scatter), m/s"},
    };
    for (const auto& [label, tip] : tips)
        label->setToolTip(QString::fromLatin1(tip));

    Label7 = Caption(this, 220, kRow1, "N:");
    Label8 = Caption(this, 220, kRow2, "Nall:");
    NLabel = Value(this, 288, kRow1, initial.n, R);
    NallLabel = Value(this, 288, kRow2, "0", R);

    Label9 = Caption(this, 320, kRow1, "max HDOP:");
    Label10 = Caption(this, 320, kRow2, "max VDOP:");
    HDOPEdit = new MaskedEdit(this, QRect(394, kRow1, 23, 13), kLimitMask, "0.0");
    VDOPEdit = new MaskedEdit(this, QRect(394, kRow2, 23, 13), kLimitMask, "0.0");
    HDOPEdit->setMaxLength(3);
    VDOPEdit->setMaxLength(3);
    HDOPEdit->setTextMargins(0, 0, 0, 0);
    VDOPEdit->setTextMargins(0, 0, 0, 0);
    DiffCheckBox = new LeftCaptionCheckBox("DIFF only:", this);
    DiffCheckBox->setFont(UiFont());
    DiffCheckBox->setGeometry(320, 45, 95, 13);

    setTabOrder(HDOPEdit, VDOPEdit);
    setTabOrder(VDOPEdit, DiffCheckBox);

    menu_ = new QMenu(this);
    saveReportAction_ = menu_->addAction(QStringLiteral("Save report..."));
    connect(saveReportAction_, &QAction::triggered, this, [this] { SaveReport(); });
    reportHooks.askFileName = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save report"), QStringLiteral("report.html"),
                                            QStringLiteral("Web pages (*.html)"));
    };
    reportHooks.open = [](const QUrl& page) { return QDesktopServices::openUrl(page); };
    reportHooks.warn = [](QWidget* parent, const QString& message) {
        QMessageBox::warning(parent, QStringLiteral("Save report"), message);
    };
    // A headless run starts from the fixed defaults and leaves the stored
    // values alone.
    if (!HeadlessReport()) {
        const StatisticSettings stored = LoadStatisticSettings();
        HDOPEdit->setText(FromText(stored.hdopLimit));
        VDOPEdit->setText(FromText(stored.vdopLimit));
        DiffCheckBox->setChecked(stored.diffOnly);
        // Stored as they change: a crash or a kill loses none.
        for (QLineEdit* edit : {HDOPEdit, VDOPEdit})
            connect(edit, &QLineEdit::textChanged, this, &TStatisticForm::StoreSettings);
        connect(DiffCheckBox, &QCheckBox::toggled, this, &TStatisticForm::StoreSettings);
    }
    PassLimits();
    for (QLineEdit* edit : {HDOPEdit, VDOPEdit})
        connect(edit, &QLineEdit::textChanged, this, &TStatisticForm::PassLimits);
    connect(DiffCheckBox, &QCheckBox::toggled, this, &TStatisticForm::PassLimits);
}

void TStatisticForm::SetPipeline(FixPipeline* pipeline)
{
    pipeline_ = pipeline ? pipeline : &ownPipeline_;
    PassLimits();
}

void TStatisticForm::PassLimits()
{
    pipeline_->SetLimits({HDOPEdit->ReadLatin1(), VDOPEdit->ReadLatin1(), DiffCheckBox->isChecked()});
}

void TStatisticForm::StoreSettings() const
{
    if (!HeadlessReport())
        SaveStatisticSettings({HDOPEdit->ReadLatin1(), VDOPEdit->ReadLatin1(), DiffCheckBox->isChecked()});
}

TStatisticForm::~TStatisticForm()
{
    StoreSettings();
}

void TStatisticForm::contextMenuEvent(QContextMenuEvent* event)
{
    menu_->popup(event->globalPos());
}

// A GGA or a 0x88 waits for RefreshFrom...: the window shows its fix in
// turn after POSITION.
void TStatisticForm::CollectNmea(const NmeaAssembler& nmea, int result)
{
    if (result != kNmeaGga)
        pipeline_->OnNmeaResult(nmea, result);
}

void TStatisticForm::CollectBinr(const BinrDecoder& binr, int result, const DatePolicy& dates)
{
    if (result != kMsgNavSolution)
        pipeline_->OnBinrResult(binr, result, dates);
}

bool TStatisticForm::SaveReport()
{
    const QString name = reportHooks.askFileName ? reportHooks.askFileName(this) : QString();
    if (name.isEmpty())
        return false;
    // An epoch still open is closed now; sentences of it still to come are
    // not added to it.
    pipeline_->Collector().Finish();
    ReportEntry entry;
    // The page names the recording its figures came from, not its own file.
    const QString recording = recordingName();
    entry.name = recording.isEmpty() ? std::string("(the receiver's stream; no recording named)")
                                     : QFile::encodeName(recording).toStdString();
    entry.protocol = pipeline_->LastFromBinr() ? "binr" : "nmea";
    entry.log = &pipeline_->Log();
    entry.figures = ComputeFigures(pipeline_->Log(), std::nullopt);
    QFile file(recording);
    if (!recording.isEmpty() && QFileInfo(recording).isFile() && file.open(QIODevice::ReadOnly)) {
        Sha256 sha;
        ReceiverNameFinder names(pipeline_->LastFromBinr());
        uint64_t size = 0;
        constexpr qint64 kBlock = 1 << 20;
        for (QByteArray block; !(block = file.read(kBlock)).isEmpty(); size += uint64_t(block.size())) {
            sha.Add(reinterpret_cast<const uint8_t*>(block.constData()), size_t(block.size()));
            names.Add(reinterpret_cast<const uint8_t*>(block.constData()), size_t(block.size()));
        }
        entry.sizeBytes = size;
        entry.sha256 = sha.HexDigest();
        entry.receiver = names.Name();
    }
    ReportPage page;
    page.generatedUtc = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")).toStdString();
    page.settings = {{"Made from", "the STATISTIC window's \"Save report...\""},
                     {"HDOP limit", HDOPEdit->ReadLatin1() == "0.0" ? std::string("none") : HDOPEdit->ReadLatin1()},
                     {"VDOP limit", VDOPEdit->ReadLatin1() == "0.0" ? std::string("none") : VDOPEdit->ReadLatin1()},
                     {"DIFF only", DiffCheckBox->isChecked() ? "yes" : "no"},
                     {"Reference", "the mean of the accepted fixes"}};
    std::ofstream out(QFile::encodeName(name).toStdString(), std::ios::binary | std::ios::trunc);
    if (out)
        WriteHtml(out, {entry}, page);
    out.close();
    if (!out) {
        if (reportHooks.warn)
            reportHooks.warn(this, QStringLiteral("Cannot write %1").arg(name));
        return false;
    }
    if (reportHooks.open)
        reportHooks.open(QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath()));
    return true;
}

// VISUAL is told about an accepted fix before the window shows it, so its
// line comes first in a headless run.
void TStatisticForm::ShowStep(const FixStep& step)
{
    if (!step.offered)
        return;
    if (step.Accepted()) {
        ShowTexts(StatisticTextsFrom(step.stats, step.acceptedCount));
        if (fixAccepted)
            fixAccepted(step);
    }
    NallLabel->SetText(std::to_string(step.offeredCount));
    Report();
}

void TStatisticForm::RefreshFromNmea(const NmeaAssembler& nmea, const GnssEpoch& gnss)
{
    ShowStep(pipeline_->OnNmeaResult(nmea, kNmeaGga, &gnss));
}

void TStatisticForm::RefreshFromBinr(const BinrDecoder& binr, const DatePolicy& dates)
{
    ShowStep(pipeline_->OnBinrResult(binr, kMsgNavSolution, dates));
}

void TStatisticForm::ResetStatistics()
{
    pipeline_->Reset();
    ShowTexts(StatisticResetTexts());
    NallLabel->SetText(std::string("0"));
}

void TStatisticForm::ShowTexts(const StatisticTexts& t)
{
    rms2DLabel->SetText(t.rms2D);
    rmsHLabel->SetText(t.rmsH);
    rmsVLabel->SetText(t.rmsV);
    LatLabel->SetText(t.lat);
    LonLabel->SetText(t.lon);
    AltLabel->SetText(t.alt);
    NLabel->SetText(t.n);
}

void TStatisticForm::Report()
{
    ReportView("STATISTIC", {{"LatLabel", LatLabel->text()},
                             {"LonLabel", LonLabel->text()},
                             {"AltLabel", AltLabel->text()},
                             {"rms2DLabel", rms2DLabel->text()},
                             {"rmsHLabel", rmsHLabel->text()},
                             {"rmsVLabel", rmsVLabel->text()},
                             {"NLabel", NLabel->text()},
                             {"NallLabel", NallLabel->text()}});
}
