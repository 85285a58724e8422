#pragma once
// The VISUAL window: scatter plot of the positions round a reference point,
// the offsets of the latest position and of the statistic mean, a sky plot of
// the satellites in view, and an annotated export of the plot.
#include "Controls.h"
#include "Util.h"
#include "VisualText.h"

#include <QImage>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>

class Intake;
class QCheckBox;
class QPushButton;
class TPictureBox;
class TPositionForm;
class TStatisticForm;
class TUpDown;

class TVisualForm : public TViewForm {
    Q_OBJECT
public:
    explicit TVisualForm(QWidget* parent = nullptr);
    ~TVisualForm() override;
    // Writes the reference, radius and SAT VIEW, as each changes.
    void StoreSettings() const;

    // An accepted fix, handed on by whoever runs the fix pipeline.
    void AddPosition(const GeoPosition& position, bool fromBinr);
    void LoadGsvSatellites();
    void LoadBinrSatellites();
    void ClearPlot();

    // What the view needs of the other windows, handed over by the program:
    // where each plotted altitude goes (PROFILE, when it is on) and what
    // clears it with the plot, the statistic mean (radians, metres; zeros
    // without STATISTIC), and the device and file names and the texts of
    // POSITION and STATISTIC that the copied picture carries.
    struct PictureNotes {
        QString date, lat, lon, alt, n, rms2D, rmsH;
    };
    std::function<void(double differenceM)> profileAltitude = [](double) {};
    std::function<void()> profileCleared = [] {};
    std::function<StatisticsOutput()> statisticMean = [] { return StatisticsOutput{}; };
    std::function<QString()> deviceName = [] { return QString(); };
    std::function<QString()> fileName = [] { return QString(); };
    std::function<PictureNotes()> pictureNotes = [] { return PictureNotes{}; };
    // The notes as the two windows show them (empty for a window not there).
    static PictureNotes NotesFrom(const TPositionForm* position, const TStatisticForm* statistic);
    // The source this window shows, handed over by the program; without
    // one a refresh shows nothing.
    const Intake* intake = nullptr;

    // Plots the current position round the reference.
    void PlotPosition();
    // Writes the reference into the three edits (which read it back).
    void ShowReference();
    // A reference lent for a while (the bench's, while the views follow
    // one of its receivers): shown and plotted round, never stored, so the
    // user's own comes back with nullopt.
    void LendReference(const std::optional<GeoPosition>& lent);
    // The 397 x 283 export: the plot inverted, the caption and the notes.
    QImage ComposeClipboardImage() const;

    // --- event handlers (sender == nullptr: called by the program)
    void FormShow();
    void LatEditChange();
    void LonEditChange();
    void AltEditChange();
    void ClearButtonClick(QObject* sender);
    void CopyButtonClick(QObject* sender);
    void SetCurrentButtonClick(QObject* sender);
    void SetStatisticButtonClick(QObject* sender);
    void RUpDownClick();
    void ImageMouseDown(int x, int y);
    void ImageDblClick();
    void SatCheckBoxClick();

    const QImage& PlotBitmap() const { return plotBitmap_; }
    const QImage& SkyBitmap() const { return skyBitmap_; }
    uint8_t HitCount(int x, int y) const { return hitMap_[x * kHitMapSide + y]; }

    QCheckBox* SatCheckBox = nullptr;
    TPictureBox* Image = nullptr;
    MaskedEdit* LatEdit = nullptr;
    MaskedEdit* LonEdit = nullptr;
    MaskedEdit* AltEdit = nullptr;
    TUpDown* RUpDown = nullptr;
    QPushButton* SetStatisticButton = nullptr;
    QPushButton* SetCurrentButton = nullptr;
    FlatGlyphButton* ClearButton = nullptr;
    FlatGlyphButton* CopyButton = nullptr;
    ValueLabel* dXLabel = nullptr;
    ValueLabel* dMxLabel = nullptr;
    ValueLabel* dHLabel = nullptr;
    ValueLabel* dMhLabel = nullptr;

    // Written only by the two feeding operations (and tests).
    GeoPosition current;
    GeoPosition reference;
    SatelliteList satellites;
    int previousX = 0;
    int previousY = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    static constexpr int kHitMapSide = 300;
    enum class MarkMode { Current, Hit };

    void BuildControls();
    // Returns the area drawn.
    QRect DrawRadiusLabels();
    // Returns the area the mark may have changed.
    QRect DrawMark(int x, int y, MarkMode mode);
    void DrawSatellite(const SatelliteEntry& sat);
    // Shows the plot, or with SAT VIEW the plot under the satellites.
    // `changed`: the only parts of the plot changed since it was last shown;
    // none given: all of it.
    void ShowPlot(std::initializer_list<QRect> changed = {});
    void SetEditValid(MaskedEdit* edit, bool valid);

    QImage plotBitmap_;
    QImage skyBitmap_;
    // The satellites drawn on skyBitmap_ (count 0 and not valid: none yet).
    SatelliteList skySatellites_;
    bool skyValid_ = false;
    int labelRadius_ = -1;
    QString labelTexts_[2];
    QRect labelArea_;
    uint8_t hitMap_[kHitMapSide * kHitMapSide];
    int mouseX_ = 0;
    int mouseY_ = 0;
    bool headless_ = false;
    bool binrSky_ = false;   // the satellites came from BINR, not from NMEA
    std::optional<GeoPosition> ownReference_;   // the user's, while another is lent
};
