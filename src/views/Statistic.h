#pragma once
// The STATISTIC window: filtered fixes summarised as mean position and scatter.
#include "Controls.h"
#include "Util.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class EpochCollector;
class EpochLog;
class Intake;
class QAction;
class QMenu;
class QCheckBox;
class MaskedEdit;
struct StatisticFix;
struct StatisticTexts;
class TVisualForm;

class TStatisticForm : public TViewForm {
    Q_OBJECT
public:
    explicit TStatisticForm(QWidget* parent = nullptr);
    ~TStatisticForm() override;
    // Writes the limits and DIFF only, as each changes.
    void StoreSettings() const;
    void RefreshFromNmea();
    void RefreshFromBinr();
    void ResetStatistics();
    // The results the intake routes besides the fixes themselves (dates,
    // DOPs, satellites, decoding errors), for the receiver report.
    void CollectNmea(int result);
    void CollectBinr(int result);

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

    // Whether the VISUAL view is switched on; handed over by the program.
    std::function<bool()> visualShown = [] { return false; };
    // The source this window shows, handed over by the program; without
    // one a refresh shows nothing.
    const Intake* intake = nullptr;
    // The recording the figures came from (the file named in the main
    // window), for the saved page; empty when not known.
    std::function<QString()> recordingName = [] { return QString(); };

    // Public results of the last accepted fix: means in radians and metres.
    StatisticsOutput stats;

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
    bool Refresh(const StatisticFix& fix, void (TVisualForm::*handOff)());
    void ShowTexts(const StatisticTexts& texts);
    void Report();

    std::unique_ptr<EpochLog> reportLog_;
    std::unique_ptr<EpochCollector> reportCollector_;
    bool reportBinr_ = false;   // the last fix came from BINR
    QMenu* menu_ = nullptr;
    QAction* saveReportAction_ = nullptr;
};

extern TStatisticForm* StatisticForm;
