#pragma once
// The PLAYER window: a timeline over the whole recording, the current
// epoch's UTC date and time, first and last times, elapsed and remaining
// recording time, step back and forward, speed, "skip gaps" and "loop".
//
// It drives a paced playback (TPacedCycle) through the main window's own
// playback machinery: the main window shows PLAY, its Pause and Stop act on
// it, and the bytes go through ReceiveBytes. The file is indexed once, on a
// worker thread, with progress on the main window's information line. It
// sees the main window only through the PanelLink it is handed.
#include "BenchReplay.h"
#include "Controls.h"
#include "PacedCycle.h"
#include "Timeline.h"

#include <QDateTime>
#include <QPointer>
#include <QSlider>
#include <QThread>
#include <memory>
#include <utility>
#include <vector>

class PanelLink;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

// Reads a file into a SharedEpochIndex, block by block, then its receive
// times (FILE.times), so that neither is read on the window's thread.
class TIndexWorker : public QThread {
    Q_OBJECT
public:
    TIndexWorker(const QString& fileName, std::shared_ptr<SharedEpochIndex> index, QObject* parent);
    // Once finished.
    ReceiveTimesRead TakeTimes() { return std::move(times_); }
signals:
    void Progress(int percent);
protected:
    void run() override;
private:
    QString fileName_;
    std::shared_ptr<SharedEpochIndex> index_;
    ReceiveTimesRead times_;
};

// The timeline: a click beside the handle goes straight to the clicked
// place (not a page further), and the recording's gaps are marked under the
// groove.
class TTimelineSlider : public QSlider {
    Q_OBJECT
public:
    explicit TTimelineSlider(QWidget* parent);
    // Slider values from and to, one pair per gap.
    void SetGapMarks(std::vector<std::pair<int, int>> marks);
    const std::vector<std::pair<int, int>>& GapMarks() const { return gapMarks_; }
signals:
    void Clicked(int value);
    // Whole notches of the wheel, away from the user (up) positive; the
    // handle does not move by itself: the window seeks.
    void Wheeled(int notches);
protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
private:
    std::vector<std::pair<int, int>> gapMarks_;
    int wheelRest_ = 0;   // eighths of a degree short of a notch
};

class TPlayerForm : public TViewForm {
    Q_OBJECT
public:
    explicit TPlayerForm(QWidget* parent = nullptr);
    ~TPlayerForm() override;

    // The panel it plays through, follows and places itself by; until it is
    // handed one the window plays nothing.
    void SetPanel(PanelLink* panel);

    // "Player..." in the title strip's menu; the program adds it at start-up.
    void AddMenuItem();
    // Shown beside the panel, or where it was last.
    void ShowBesidePanel();

    // Index the file in FileLabel (with the protocol selected) unless it is
    // indexed already; done on the worker thread. False when there is no
    // such file.
    bool IndexCurrentFile();
    bool IndexReady() const;
    // Why the indexed file's FILE.times is ignored; empty when it is used or
    // there is none.
    QString TimesProblem() const { return timesProblem_; }
    // A test folder (a folder holding bench.json, or its bench.json) named on
    // the panel is not indexed: it plays through a BenchReplay, which every
    // control then drives, and the panel shows its receivers in the BENCH
    // window. False, with the reason on the note and the information line,
    // when it cannot be played.
    static bool IsTestFolder(const QString& path);
    bool OpenBench(const QString& path);
    void CloseBench();
    bool BenchOpen() const { return bench_->IsOpen(); }
    BenchReplay& Bench() { return *bench_; }
    // To a UTC time typed as in the time box (the first moment of the test
    // at that time of day); false, with a note, when it is not in the test.
    bool SeekBenchTime(const QString& typed);

    // Processes events until the index is ready (headless runs and tests).
    bool WaitForIndex();
    size_t EpochCount() const;
    int64_t EpochTime(size_t epoch) const;
    // The first epoch at or after a UTC time of day, or EpochCount().
    size_t EpochAtTimeOfDay(int msOfDay) const;

    // Starts a paced playback at epoch (main window in STOP); paused: the
    // epoch is delivered and the playback waits in PAUSE.
    bool StartPaced(size_t epoch, bool paused);
    void SeekTo(size_t epoch);
    // Back or forward by recording time: the last epoch at or before, or the
    // first at or after, the current one's time plus ms.
    void SeekByMs(int64_t ms);
    // The epoch shown, or the one a play would start from.
    size_t CurrentEpoch() const { return current_; }
    void StepForward();
    void StepBack();
    // Inside a gap (or at the epoch before one): to the epoch after it,
    // playing on if it played. False when the current step is no gap.
    bool SkipGap();
    // By notches hundredths of the recording (the mouse wheel).
    void WheelSeek(int notches);
    // The paced playback when it is the main window's current one.
    TPacedCycle* Cycle() const;
    PaceOptions Options() const;

    // Speeds offered: 1/4 .. 64 and "max" (the last).
    static constexpr double kSpeeds[] = {0.25, 0.5, 1, 2, 4, 8, 16, 64};
    static constexpr int kMaxSpeedIndex = 8;
    static constexpr int kOneTimesIndex = 2;   // "1x"
    static constexpr int kSkipDefaultS = 10;
    static constexpr int kSkipMaxS = 3600;
    // Slider steps over the whole recording.
    static constexpr int kTimelineSteps = 10000;
    void SetSpeed(double speed);

    TTimelineSlider* TimelineSlider = nullptr;
    QLabel* CurrentLabel = nullptr;
    QLabel* FirstLabel = nullptr;
    QLabel* LastLabel = nullptr;
    QLabel* ElapsedLabel = nullptr;
    QLabel* RemainingLabel = nullptr;
    QLabel* NoteLabel = nullptr;
    QPushButton* BackButton = nullptr;
    QPushButton* PlayButton = nullptr;
    QPushButton* ForwardButton = nullptr;
    QComboBox* SpeedComboBox = nullptr;
    QCheckBox* SkipCheckBox = nullptr;
    QSpinBox* SkipSpinBox = nullptr;
    QCheckBox* LoopCheckBox = nullptr;
    QLineEdit* TimeEdit = nullptr;

    // Replaced by tests: the clock of the paced playbacks started from here.
    std::shared_ptr<ReplayClock> clock;
    // Set by tests and the pace benchmark: the next playback keeps its delivery times.
    bool keepDeliveryTimes = false;
    // Those of the last playback, once it ended.
    std::vector<TPacedCycle::Sent> deliveryTimes;
    // Epochs shown by the paced playback so far (each completed delivery).
    int positionsShown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void SeekSlider(int value);
    void ShowBenchPosition();
    void BenchEnded();
    double BenchSpeed() const;
    // The UTC date and time of the test at ms from its start.
    QString BenchTimeText(int64_t ms) const;
    void PlayClick();
    void OptionsChanged();
    void TypedTime();
    void SliderMoved(int value);
    // The epoch shown and, sinceMs into the step after it, the moment the
    // replay has reached (inside a gap: the handle and times move on).
    void ShowPosition(size_t epoch, size_t count, int64_t sinceMs = 0);
    void ShowProgress();
    void ShowGapHint(bool inGap);
    // Steps longer than this are gaps: marked, and named inside.
    int64_t GapMinMs() const;
    void ShowIndexed();
    void UpdateScale(size_t count);
    void UpdateGapMarks();
    void UpdateToggle();
    size_t EpochAtSlider(int value) const;
    void IndexFinished(TIndexWorker* worker);
    void Note(const QString& text);
    void TimeBoxEvent(QEvent* event);
    QString TimeText(int64_t timeMs) const;
    void LoadSettings();
    void LoadPlace();
    void SaveSettings() const;
    void StoreSettingsOnChange();

    PanelLink* panel_ = nullptr;
    std::shared_ptr<SharedEpochIndex> index_;
    QString indexedFile_;
    bool indexedBinr_ = false;
    QDateTime indexedModified_;
    QPointer<TIndexWorker> worker_;
    ReceiveTimeList times_;
    QString timesProblem_;
    QPointer<TPacedCycle> cycle_;
    TimelineScale scale_;
    int64_t intervalMs_ = kDefaultEpochIntervalMs;
    size_t current_ = 0;
    int64_t sinceMs_ = 0;         // shown into the step after current_
    bool gapShown_ = false;
    QString note_;                // the note under a gap's hint
    int decimals_ = 0;            // of the seconds shown (TimeDecimals)
    QTimer* progressTimer_ = nullptr;
    // A start asked for before the index was ready.
    bool startPending_ = false;
    size_t pendingEpoch_ = 0;
    bool pendingPaused_ = false;
    QPoint panelPos_;
    QPointer<QWidget> panelWindow_;   // the panel link's window, read without the link
    bool settingsLoaded_ = false;
    bool menuItemAdded_ = false;
    bool placed_ = false;   // has a place: from the settings or the first show
    // The test folder replayed; shared with the panel, which may outlive it or not.
    std::shared_ptr<BenchReplay> bench_ = std::make_shared<BenchReplay>();
    QDateTime benchModified_;   // its bench.json's, when opened
};
