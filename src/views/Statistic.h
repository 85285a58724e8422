#pragma once
// The STATISTIC window: filtered fixes summarised as mean position and scatter.
// Which fixes count and what they add up to is the fix pipeline's; the window
// shows its steps, keeps its limits and saves its report.
#include "Controls.h"
#include "FixPipeline.h"
#include "Util.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class Intake;
class QAction;
class QMenu;
class QCheckBox;
class MaskedEdit;
struct StatisticTexts;

class TStatisticForm : public TViewForm {
    Q_OBJECT
public:
    explicit TStatisticForm(QWidget* parent = nullptr);
    ~TStatisticForm() override;
    // Writes the limits and DIFF only, as each changes.
    void StoreSettings() const;
    // A GGA or a 0x88 just decoded: the fix through the pipeline, then shown.
    void RefreshFromNmea(const NmeaAssembler& nmea, const GnssEpoch& gnss);
    void RefreshFromBinr(const BinrDecoder& binr, const DatePolicy& dates);
    void ResetStatistics();
    // The results the intake routes besides the fixes themselves (dates,
    // DOPs, satellites, decoding errors), for the receiver report.
    void CollectNmea(const NmeaAssembler& nmea, int result);
    void CollectBinr(const BinrDecoder& binr, int result, const DatePolicy& dates);
    // Shows what the pipeline made of a fix (offered == false: nothing).
    void ShowStep(const FixStep& step);

    // Right-click menu, "Save report...": the receiver report page of the
    // epochs since the statistics were last reset, saved where the user
    // chooses and opened in the desktop's browser. The dialogs and the
    // browser are seams, so tests need none of them.
    struct ReportHooks {
        std::function<QString(QWidget* parent)> askFileName;   // empty: cancelled
        std::function<bool(const QUrl& page)> open;
        std::function<void(QWidget* parent, const QString& message)> warn;
    };
    ReportHooks reportHooks;
    QAction* SaveReportAction() const { return saveReportAction_; }
    bool SaveReport();   // true when the page was written

    // Each accepted fix, before the window shows it: the program hands the
    // position on to VISUAL.
    std::function<void(const FixStep& step)> fixAccepted;
    // The source this window shows, handed over by the program; without
    // one a refresh shows nothing.
    const Intake* intake = nullptr;
    // The recording the figures came from (the file named in the main
    // window), for the saved page; empty when not known.
    std::function<QString()> recordingName = [] { return QString(); };

    // The pipeline whose fixes the window shows: the source's, handed over
    // by the program (its limits become the window's), or the window's own
    // until then. Stats(): the means in radians and metres of the last
    // accepted fix.
    void SetPipeline(FixPipeline* pipeline);
    FixPipeline& Pipeline() { return *pipeline_; }
    const FixPipeline& Pipeline() const { return *pipeline_; }

    ValueLabel* Label1 = nullptr;
    ValueLabel* Label2 = nullptr;
    ValueLabel* Label3 = nullptr;
    ValueLabel* Label4 = nullptr;
    ValueLabel* Label5 = nullptr;
    ValueLabel* Label6 = nullptr;
    ValueLabel* Label7 = nullptr;
    ValueLabel* Label8 = nullptr;
    ValueLabel* Label9 = nullptr;
    ValueLabel* Label10 = nullptr;
    ValueLabel* LatLabel = nullptr;
    ValueLabel* LonLabel = nullptr;
    ValueLabel* AltLabel = nullptr;
    ValueLabel* rms2DLabel = nullptr;
    ValueLabel* rmsHLabel = nullptr;
    ValueLabel* rmsVLabel = nullptr;
    ValueLabel* NLabel = nullptr;
    ValueLabel* NallLabel = nullptr;
    MaskedEdit* HDOPEdit = nullptr;
    MaskedEdit* VDOPEdit = nullptr;
    QCheckBox* DiffCheckBox = nullptr;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ShowTexts(const StatisticTexts& texts);
    void Report();
    // The edits' values into the pipeline, as each changes.
    void PassLimits();

    FixPipeline ownPipeline_;
    FixPipeline* pipeline_ = &ownPipeline_;
    QMenu* menu_ = nullptr;
    QAction* saveReportAction_ = nullptr;
};
