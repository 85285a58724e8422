#include "Visual.h"

#include "Angles.h"
#include "BinrLayouts.h"
#include "GnssEpoch.h"
#include "Intake.h"
#include "Position.h"
#include "Report.h"
#include "Statistic.h"
#include "VisualCanvas.h"
#include "VisualControls.h"
#include "VisualGnss.h"
#include "VisualSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontMetrics>
#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int W = kPlotSize;
constexpr int H = kPlotSize;
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kOlive = qRgb(128, 128, 0);
constexpr QRgb kExportGreen = qRgb(0, 128, 0);
constexpr uint8_t kHitStart = 127;
constexpr uint8_t kHitMax = 255;
constexpr int kExportWidth = 397;
constexpr int kNotesX = kExportWidth - 90;
constexpr int kNotesPitch = 15;
constexpr int kDiskRadius = 12;
constexpr int kDiskLabelOffset = 7;
const char* const kProgramCaption = "KESTROVA 6.4";
constexpr int kCaptionLeft = 292;
constexpr int kValueRight = 397;

// Pixels of a mark relative to its centre: two above, four on the centre
// row and the row above it, two below.
constexpr int kMarkPixels[12][2] = {{0, -2}, {1, -2}, {-1, -1}, {0, -1}, {1, -1}, {2, -1},
                                    {-1, 0}, {0, 0},  {1, 0},   {2, 0},  {0, 1},  {1, 1}};

QRgb DiskColor(uint8_t system, bool heard)
{
    switch (system) {
    case kSystemGps:
        return heard ? qRgb(0, 0, 255) : qRgb(0, 0, 127);
    case kSystemGlonass:
        return heard ? qRgb(255, 0, 0) : qRgb(127, 0, 0);
    case kSystemSbas:
        return heard ? qRgb(0, 255, 0) : qRgb(0, 127, 0);
    default:
        return kBlack;
    }
}

// Non-finite parts become 0, the latitude stays within ±90° and the
// longitude within ±180°, so the edits can always show the reference.
GeoPosition Sanitized(GeoPosition p)
{
    for (double* v : {&p.latRad, &p.lonRad, &p.altM})
        if (!std::isfinite(*v))
            *v = 0;
    p.latRad = std::clamp(p.latRad, -kPi / 2, kPi / 2);
    if (std::fabs(p.lonRad) > kPi)
        p.lonRad = std::remainder(p.lonRad, 2 * kPi);
    return p;
}

bool SameSatellites(const SatelliteList& a, const SatelliteList& b)
{
    if (a.count != b.count)
        return false;
    const int count = std::min<int>(a.count, kSatListMax);
    for (int i = 0; i < count; ++i) {
        const SatelliteEntry& x = a.entry[i];
        const SatelliteEntry& y = b.entry[i];
        if (x.system != y.system || x.number != y.number || x.flag != y.flag || x.elevationDeg != y.elevationDeg ||
            x.azimuthDeg != y.azimuthDeg)
            return false;
    }
    return true;
}

QString LabelText(const QLabel* label) { return label ? label->text() : QString(); }

void PaintClearGlyph(QPainter& p, const QRect& r, bool enabled)
{
    const QColor page = enabled ? QColor(0, 0, 0) : QColor(128, 128, 128);
    const QColor cross = enabled ? QColor(255, 0, 0) : QColor(128, 128, 128);
    const QRect sheet(r.center().x() - 6, r.center().y() - 7, 12, 14);
    p.setPen(page);
    p.setBrush(enabled ? QColor(255, 255, 255) : QColor(212, 208, 200));
    p.drawRect(sheet);
    p.setPen(QPen(cross, 2));
    p.drawLine(sheet.left() + 3, sheet.top() + 4, sheet.right() - 2, sheet.bottom() - 3);
    p.drawLine(sheet.right() - 2, sheet.top() + 4, sheet.left() + 3, sheet.bottom() - 3);
}

void PaintCopyGlyph(QPainter& p, const QRect& r, bool enabled)
{
    const QColor ink = enabled ? QColor(0, 0, 0) : QColor(128, 128, 128);
    const QColor paper = enabled ? QColor(255, 255, 255) : QColor(212, 208, 200);
    const QPoint c = r.center();
    p.setPen(ink);
    p.setBrush(paper);
    p.drawRect(c.x() - 7, c.y() - 7, 9, 11);
    p.drawRect(c.x() - 2, c.y() - 3, 9, 11);
    for (int row = 0; row < 3; ++row)
        p.drawLine(c.x(), c.y() + row * 3, c.x() + 5, c.y() + row * 3);
}

} // namespace

TVisualForm::TVisualForm(QWidget* parent)
    : TViewForm(401, 312, QRect(4, 2, 394, 17), QString(60, ' ') + "VISUAL", parent)
{
    headless_ = HeadlessReport();
    plotBitmap_ = MakeBitmap(W, H, kBlack);
    skyBitmap_ = MakeBitmap(W, H, kBlack);
    std::memset(hitMap_, kHitStart, sizeof hitMap_);
    BuildControls();
    // A headless run starts from the fixed defaults and leaves the stored
    // values alone.
    if (!headless_) {
        const VisualSettings stored = LoadVisualSettings();
        reference = stored.reference;
        RUpDown->SetPosition(stored.radiusM);
        SatCheckBox->setChecked(LoadSatView());
        // After the controls' own reactions: the reference an edit sets is
        // read once it is taken. Stored as they change, a crash or a kill
        // loses none.
        for (QLineEdit* edit : {LatEdit, LonEdit, AltEdit})
            connect(edit, &QLineEdit::textChanged, this, &TVisualForm::StoreSettings);
        connect(RUpDown, &TUpDown::Click, this, &TVisualForm::StoreSettings);
        connect(SatCheckBox, &QCheckBox::toggled, this, &TVisualForm::StoreSettings);
    }
    ClearPlot();
}

TVisualForm::~TVisualForm()
{
    StoreSettings();
}

void TVisualForm::StoreSettings() const
{
    if (!headless_ && !HeadlessReport()) {
        SaveVisualSettings({ownReference_.value_or(reference), RUpDown->Position()});
        SaveSatView(SatCheckBox->isChecked());
    }
}

void TVisualForm::BuildControls()
{
    Image = new TPictureBox(this, QRect(4, 24, W, H));
    Image->setCursor(Qt::CrossCursor);
    Image->onMouseDown = [this](int x, int y) { ImageMouseDown(x, y); };
    Image->onDoubleClick = [this] { ImageDblClick(); };

    new ValueLabel(this, 292, 24, "B:", false);
    LatEdit = new MaskedEdit(this, QRect(312, 24, 85, 13), QString::fromLatin1("99\xB0" "99.99999A;_"),
                             QString::fromLatin1("00\xB0" "00.00000N"));
    new ValueLabel(this, 292, 36, "L:", false);
    LonEdit = new MaskedEdit(this, QRect(305, 36, 92, 13), QString::fromLatin1("999\xB0" "99.99999A;_"),
                             QString::fromLatin1("000\xB0" "00.00000E"));
    new ValueLabel(this, 292, 48, "H:", false);
    // The first position also takes a minus sign, so a reference below the
    // ellipsoid survives being written into the edit and read back.
    AltEdit = new MaskedEdit(this, QRect(346, 48, 51, 13), "#999.9;_", "0000.0");
    // The bold face is wider here than the edits were laid out for; its
    // semi-condensed cut keeps every character in view.
    for (MaskedEdit* edit : {LatEdit, LonEdit, AltEdit}) {
        QFont font = edit->font();
        font.setStretch(QFont::SemiCondensed);
        edit->setFont(font);
    }
    connect(LatEdit, &QLineEdit::textChanged, this, [this] { LatEditChange(); });
    connect(LonEdit, &QLineEdit::textChanged, this, [this] { LonEditChange(); });
    connect(AltEdit, &QLineEdit::textChanged, this, [this] { AltEditChange(); });

    new ValueLabel(this, 326, 96, "Radius", false);
    RUpDown = new TUpDown(this, QRect(296, 112, 97, 17), Qt::Horizontal, kRadiusMin, kRadiusMax, 1);
    connect(RUpDown, &TUpDown::Click, this, [this] { RUpDownClick(); });
    SetStatisticButton = new QPushButton("Set Statistic", this);
    SetStatisticButton->setGeometry(296, 136, 97, 17);
    connect(SetStatisticButton, &QPushButton::clicked, this, [this] { SetStatisticButtonClick(SetStatisticButton); });
    SetCurrentButton = new QPushButton("Set Current", this);
    SetCurrentButton->setGeometry(296, 152, 97, 17);
    connect(SetCurrentButton, &QPushButton::clicked, this, [this] { SetCurrentButtonClick(SetCurrentButton); });
    ClearButton = new FlatGlyphButton(this, QRect(304, 176, 23, 22), "Clear", PaintClearGlyph);
    connect(ClearButton, &QAbstractButton::clicked, this, [this] { ClearButtonClick(ClearButton); });
    CopyButton = new FlatGlyphButton(this, QRect(362, 176, 23, 22), "Copy", PaintCopyGlyph);
    connect(CopyButton, &QAbstractButton::clicked, this, [this] { CopyButtonClick(CopyButton); });

    const char* const names[] = {"dX:", "dMx:", "dH:", "dMh:"};
    const int tops[] = {208, 220, 240, 252};
    ValueLabel** values[] = {&dXLabel, &dMxLabel, &dHLabel, &dMhLabel};
    // Offsets of thousands of kilometres (a reference far away) take eight
    // digits: the values end under the edits' right edge, their captions line
    // up with "B:", "L:" and "H:", and a value still too wide for the rest is
    // drawn a point smaller rather than over its caption.
    const char* const tips[] = {
        "dX: horizontal distance of the current fix from the reference, metres",
        "dMx: horizontal distance of the STATISTIC mean position from the reference, metres",
        "dH: height of the current fix minus the reference height, metres",
        "dMh: STATISTIC mean height minus the reference height, metres",
    };
    for (int i = 0; i < 4; ++i) {
        auto* caption = new ValueLabel(this, kCaptionLeft, tops[i], names[i], false);
        *values[i] = new ValueLabel(this, kValueRight, tops[i], "0.00 m", true, ValueLabel::Right);
        (*values[i])->SetLeftLimit(caption->x() + caption->width() + 2);
        caption->setToolTip(QString::fromLatin1(tips[i]));
        (*values[i])->setToolTip(QString::fromLatin1(tips[i]));
    }

    SatCheckBox = new QCheckBox("SAT VIEW", this);
    SatCheckBox->setGeometry(296, 280, 73, 17);
    // Checking the box from the program redraws as a click would.
    connect(SatCheckBox, &QCheckBox::toggled, this, [this] { SatCheckBoxClick(); });

    setTabOrder(LatEdit, LonEdit);
    setTabOrder(LonEdit, AltEdit);
    setTabOrder(AltEdit, SetStatisticButton);
    setTabOrder(SetStatisticButton, SetCurrentButton);
    setTabOrder(SetCurrentButton, RUpDown);
    setTabOrder(RUpDown, SatCheckBox);
}

void TVisualForm::showEvent(QShowEvent* event)
{
    TViewForm::showEvent(event);
    // A window restored by the window system was not switched on again.
    if (!event->spontaneous())
        FormShow();
}

void TVisualForm::FormShow()
{
    ShowReference();
    ClearPlot();
}

// ---- plot ------------------------------------------------------------------

QRect TVisualForm::DrawRadiusLabels()
{
    const int r = RUpDown->Position();
    if (r != labelRadius_) {
        labelRadius_ = r;
        labelTexts_[0] = QString(" %1m ").arg(r);
        labelTexts_[1] = QString(" %1m ").arg(2 * r);
    }
    const int y = H / 2 - 6;
    labelArea_ = DrawText(plotBitmap_, 2 * W / 3 - 10, y, labelTexts_[0], kLime, kBlack) |
                 DrawText(plotBitmap_, 5 * W / 6 - 10, y, labelTexts_[1], kLime, kBlack);
    return labelArea_;
}

void TVisualForm::ClearPlot()
{
    plotBitmap_.fill(kBlack);
    DrawLine(plotBitmap_, 0, H / 2, W, H / 2, kOlive);
    DrawLine(plotBitmap_, W / 2, 0, W / 2, H, kOlive);
    DrawEllipseOutline(plotBitmap_, 0, 0, W, H, kOlive);
    DrawEllipseOutline(plotBitmap_, W / 6, H / 6, 5 * W / 6, 5 * H / 6, kOlive);
    DrawEllipseOutline(plotBitmap_, W / 3, H / 3, 2 * W / 3, 2 * H / 3, kOlive);
    DrawRadiusLabels();
    Image->SetPicture(plotBitmap_);
    skyValid_ = false;
    previousX = 0;
    previousY = 0;
    std::memset(hitMap_, kHitStart, sizeof hitMap_);
    profileCleared();
    satellites.count = 0;
}

QRect TVisualForm::DrawMark(int x, int y, MarkMode mode)
{
    Raster raster(plotBitmap_);
    for (const auto& offset : kMarkPixels) {
        const int px = x + offset[0];
        const int py = y + offset[1];
        if (px < 0 || py < 0 || px >= W || py >= H)
            continue;
        QRgb color = kRed;
        if (mode == MarkMode::Hit) {
            uint8_t& hits = hitMap_[px * kHitMapSide + py];
            if (hits < kHitMax)
                ++hits;
            color = qRgb(hits, hits, hits);
        }
        raster.Put(px, py, color);
    }
    return QRect(x - 1, y - 2, 4, 4);
}

void TVisualForm::PlotPosition()
{
    const StatisticsOutput mean = statisticMean();
    const PlotOffsets o = ComputeOffsets(current, reference, mean.meanLat, mean.meanLon, RUpDown->Position());
    dXLabel->SetText(MetresText(std::sqrt(o.dN * o.dN + o.dE * o.dE)));
    dMxLabel->SetText(MetresText(std::sqrt(o.mN * o.mN + o.mE * o.mE)));
    dHLabel->SetText(MetresText(current.altM - reference.altM));
    dMhLabel->SetText(MetresText(mean.meanH - reference.altM));

    const QRect hit = DrawMark(previousX, previousY, MarkMode::Hit);
    const QRect mark = DrawMark(o.x, o.y, MarkMode::Current);
    previousX = o.x;
    previousY = o.y;
    // The radius labels are drawn again only where a mark may have covered
    // them: elsewhere their pixels are still the same.
    const QRect labels = RUpDown->Position() != labelRadius_ || hit.intersects(labelArea_) ||
                                 mark.intersects(labelArea_)
                             ? DrawRadiusLabels()
                             : QRect();
    ShowPlot({hit, mark, labels});

    profileAltitude(reference.altM - current.altM);

    ReportView("VISUAL", {{"dXLabel", dXLabel->text()},
                          {"dMxLabel", dMxLabel->text()},
                          {"dHLabel", dHLabel->text()},
                          {"dMhLabel", dMhLabel->text()}});
}

void TVisualForm::AddPosition(const GeoPosition& position, bool fromBinr)
{
    current = position;
    binrSky_ = fromBinr;
    PlotPosition();
}

// ---- sky plot ----------------------------------------------------------------

void TVisualForm::LoadGsvSatellites()
{
    if (intake)
        ::LoadGsvSatellites(intake->Nmea().Stored(NmeaKind::Gsv), satellites);
}

void TVisualForm::LoadBinrSatellites()
{
    if (!intake)
        return;
    ::LoadBinrSatellites(intake->Binr(), satellites);
    binrSky_ = true;
}

void TVisualForm::DrawSatellite(const SatelliteEntry& sat)
{
    const SkyPoint p = SkyPosition(sat.elevationDeg, sat.azimuthDeg);
    // Disks wholly off the plot are not drawn at all.
    if (p.x < -kDiskRadius || p.y < -kDiskRadius || p.x > W + kDiskRadius || p.y > H + kDiskRadius)
        return;
    const QRgb color = DiskColor(sat.system, sat.flag != 0);
    DrawFilledEllipse(skyBitmap_, p.x - kDiskRadius, p.y - kDiskRadius, p.x + kDiskRadius, p.y + kDiskRadius, color);
    DrawText(skyBitmap_, p.x - kDiskLabelOffset, p.y - kDiskLabelOffset, QString::number(sat.number), kWhite, color);
}

void TVisualForm::SatCheckBoxClick()
{
    skyValid_ = false;
    ShowPlot();
}

void TVisualForm::ShowPlot(std::initializer_list<QRect> changed)
{
    const bool whole = changed.size() == 0;
    if (!SatCheckBox->isChecked()) {
        if (whole || !Image->Shows(plotBitmap_)) {
            Image->SetPicture(plotBitmap_);
            return;
        }
        for (const QRect& r : changed)
            Image->UpdatePicture(r);
        return;
    }
    // The disks are opaque and drawn over the plot in list order, so with
    // the same satellites the sky picture changes only where the plot did:
    // those parts are copied again and every disk drawn over them again.
    // BINR carries GPS and GLONASS only: its sky stays the classic one. The
    // Multi-GNSS sky changes with every epoch and is drawn whole.
    const bool multiGnss = intake && intake->MultiGnss() && !binrSky_;
    const int count = std::min<int>(satellites.count, kSatListMax);
    const bool sameSky = !multiGnss && skyValid_ && !whole && Image->Shows(skyBitmap_) &&
                         SameSatellites(skySatellites_, satellites);
    if (sameSky) {
        Raster raster(skyBitmap_);
        for (QRect r : changed) {
            r &= plotBitmap_.rect();
            for (int y = r.top(); y <= r.bottom() && !r.isEmpty(); ++y)
                std::memcpy(raster.Row(y) + r.left(),
                            reinterpret_cast<const QRgb*>(plotBitmap_.constScanLine(y)) + r.left(),
                            size_t(r.width()) * sizeof(QRgb));
        }
    } else {
        CopyPixels(skyBitmap_, plotBitmap_);
    }
    if (multiGnss) {
        DrawGnssSky(skyBitmap_, intake->Gnss().Picture());
    } else {
        for (int i = 0; i < count; ++i)
            DrawSatellite(satellites.entry[i]);
    }
    skySatellites_ = satellites;
    skyValid_ = !multiGnss;
    if (!sameSky) {
        Image->SetPicture(skyBitmap_);
        return;
    }
    for (const QRect& r : changed)
        Image->UpdatePicture(r);
}

// ---- reference -------------------------------------------------------------------

void TVisualForm::LendReference(const std::optional<GeoPosition>& lent)
{
    if (lent) {
        if (!ownReference_)
            ownReference_ = reference;
        reference = *lent;
    } else if (ownReference_) {
        reference = *ownReference_;
        ownReference_.reset();
    } else {
        return;
    }
    ShowReference();
    ClearPlot();
}

void TVisualForm::ShowReference()
{
    // Each edit reads its text back as it is written, so the reference keeps
    // only the precision the edits show.
    const GeoPosition shown = reference;
    LatEdit->setText(FromText(ReferenceLatText(shown.latRad)));
    LonEdit->setText(FromText(ReferenceLonText(shown.lonRad)));
    AltEdit->setText(FromText(ReferenceAltText(shown.altM)));
}

void TVisualForm::SetEditValid(MaskedEdit* edit, bool valid)
{
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Text, valid ? QColor(kBlack) : QColor(kRed));
    edit->setPalette(pal);
}

void TVisualForm::LatEditChange()
{
    const std::optional<double> lat = ParseReferenceLat(LatEdit->ReadLatin1());
    SetEditValid(LatEdit, lat.has_value());
    if (!lat)
        return;
    reference.latRad = *lat;
    ClearPlot();
}

void TVisualForm::LonEditChange()
{
    const std::optional<double> lon = ParseReferenceLon(LonEdit->ReadLatin1());
    SetEditValid(LonEdit, lon.has_value());
    if (!lon)
        return;
    reference.lonRad = *lon;
    ClearPlot();
}

void TVisualForm::AltEditChange() { reference.altM = ParseReferenceAlt(AltEdit->ReadLatin1()); }

void TVisualForm::ImageMouseDown(int x, int y)
{
    mouseX_ = x;
    mouseY_ = y;
}

void TVisualForm::ImageDblClick()
{
    reference = RecentredReference(reference, mouseX_, mouseY_, RUpDown->Position());
    ShowReference();
    ClearPlot();
}

void TVisualForm::SetCurrentButtonClick(QObject*)
{
    reference = Sanitized(current);
    ShowReference();
    ClearPlot();
}

void TVisualForm::SetStatisticButtonClick(QObject*)
{
    const StatisticsOutput mean = statisticMean();
    reference = Sanitized({mean.meanLat, mean.meanLon, mean.meanH});
    ShowReference();
    ClearPlot();
}

void TVisualForm::ClearButtonClick(QObject*) { ClearPlot(); }

void TVisualForm::RUpDownClick()
{
    const UpDownStep step = StepAfterClick(RUpDown->Position(), 3);
    RUpDown->SetIncrement(step.increment);
    RUpDown->SetPosition(step.position);
    ClearPlot();
}

// ---- export ------------------------------------------------------------------------

QImage TVisualForm::ComposeClipboardImage() const
{
    // The export never carries the sky plot: it starts from the plot bitmap.
    QImage picture = MakeBitmap(kExportWidth, H, kWhite);
    for (int y = 0; y < H; ++y) {
        const QRgb* from = reinterpret_cast<const QRgb*>(plotBitmap_.constScanLine(y));
        QRgb* to = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < W; ++x)
            to[x] = from[x] ^ 0x00FFFFFFu;
    }
    DrawText(picture, W / 2 - 40, 0, QString::fromLatin1(kProgramCaption) + QString::fromUtf8(" \u00A9"), kExportGreen, kWhite);

    const PictureNotes shown = pictureNotes();
    const QString notes[] = {
        "Dev:  " + deviceName(),
        "File:  " + fileName(),
        "Date: " + shown.date,
        "B: " + shown.lat,
        "L: " + shown.lon,
        "H: " + shown.alt + " m",
        "N: " + shown.n,
        "rms2D: " + shown.rms2D + " m",
        "rmsH: " + shown.rmsH + " m",
        "deltaMx: " + dMxLabel->text(),
        "deltaMh: " + dMhLabel->text(),
    };
    // A note too long for the column (a long file or device name) goes on
    // over the next lines instead of being cut at the picture's edge; the
    // notes after it move down.
    const QFontMetrics metrics(BitmapFont());
    const int room = kExportWidth - kNotesX;
    int y = 0;
    for (const QString& note : notes) {
        QString rest = note;
        do {
            qsizetype n = rest.size();
            while (n > 1 && metrics.horizontalAdvance(rest.left(n)) > room)
                --n;
            DrawText(picture, kNotesX, y, rest.left(n), kBlack, kWhite);
            rest.remove(0, n);
            y += kNotesPitch;
        } while (!rest.isEmpty());
    }
    return picture;
}

TVisualForm::PictureNotes TVisualForm::NotesFrom(const TPositionForm* position, const TStatisticForm* st)
{
    return {LabelText(position ? position->DateLabel : nullptr), LabelText(st ? st->LatLabel : nullptr),
            LabelText(st ? st->LonLabel : nullptr),              LabelText(st ? st->AltLabel : nullptr),
            LabelText(st ? st->NLabel : nullptr),                LabelText(st ? st->rms2DLabel : nullptr),
            LabelText(st ? st->rmsHLabel : nullptr)};
}

void TVisualForm::CopyButtonClick(QObject*)
{
    if (QClipboard* clipboard = QApplication::clipboard())
        clipboard->setImage(ComposeClipboardImage());
}
