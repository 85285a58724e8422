#pragma once
// The main window: the control panel with port, rate and protocol selection,
// transport buttons, counters and view switches, and their slots, which hand
// the work to the panel's parts: SourceFeed (received bytes into the source's
// Intake, and what it decodes to the views), Transport, LiveSources, Synchro,
// ViewDock, ConsoleDock, PanelSettings and PanelLayout. The other windows see
// the panel only through PanelLink.
#include "ActionMode.h"
#include "Intake.h"
#include "PanelLink.h"
#include "RecordFile.h"
#include "ReceiveTimes.h"
#include "WindowNames.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QRadioButton;
class QAction;
class QSettings;
class FlatGlyphButton;
class LiveSources;
class PanelSettings;
class Synchro;
class ViewDock;
class Transport;
class TSignalsForm;
class TConsoleForm;
class ConsoleDock;
class BenchDock;
class SourceFeed;

class TMainForm : public QWidget, public PanelLink {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- intake (Part of the byte road: port or file -> here -> decoders -> views)
    void ReceiveBytes(const uint8_t* bytes, int length);
    void CountLineError();
    void ConnectionLost();
    int SendBinr(uint8_t id, const uint8_t* payload, int length);
    // The intake of the panel's source (port, network source or played
    // file); the views are linked to it, a paced playback primes it.
    Intake& SourceIntake() { return intake_; }
    const Intake& SourceIntake() const { return intake_; }

    // --- modes and transport
    void SetActionMode(uint32_t m);
    void SetButtons(ButtonRow row);
    // sender == nullptr: called by the program, not by the user.
    void EjectButtonClick(QObject* sender);
    void PlayButtonClick(QObject* sender);
    void RewindButtonClick(QObject* sender);
    void PauseButtonClick(QObject* sender);
    void StopButtonClick(QObject* sender);
    void RecordButtonClick(QObject* sender);
    void WatchTimerTimer();
    void ScheduledRecordStart();
    void ScheduledRecordStop();
    bool PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make) override;
    // Decoders, satellite indicators and the Visual plot (with Profile) as
    // at the start of a playback.
    void ResetDecodersAndViews();
    // The bytes take the intake as in a play, unseen (nothing printed,
    // painted, counted or written to a side file): a seek's priming.
    void PrimeFromBytes(const uint8_t* bytes, size_t length);

    // --- synchronization and protocol switch
    void SynchroButtonClick(QObject* sender);
    void SynchroTimerTimer();
    void NMEARadioButtonClick(QObject* sender);
    void BINRRadioButtonClick(QObject* sender);

    // --- shell
    void FormShow();
    void LoadSettings();
    void SaveSettings();
    void FillPortList();
    // Selects the port stored last when the list offers it.
    void SelectStoredPort();
    void PortComboBoxDropDown();
    void PlayCommandLineFile();
    // Hands the views that exist the switch and sound states they read;
    // done when the program's windows are made, again at the first show,
    // and by whoever builds windows by hand.
    void LinkViews();
    // Shows a view for this run only (--show): unless the user switches it
    // in the window, its stored state is what the settings keep.
    void ShowViewOnce(QCheckBox* view);
    void PositionCheckBoxClick();
    void StatisticCheckBoxClick();
    void SatellitesCheckBoxClick();
    void VisualCheckBoxClick();
    void ProfileCheckBoxClick();
    void SoundButtonClick(QObject* sender);
    void ClockButtonClick(QObject* sender);
    void TitleImageClick();
    void CloseSpeedButtonClick();
    void MinimizeSpeedButtonClick();
    void TopPanelMouseDown(int x, int y);
    void TopPanelMouseMove(int x, int y);
    void TopPanelMouseUp();
    // The right-click menu of the title strip: the home of features beyond
    // the panel's buttons. Features add their items once, at start-up; an
    // empty menu is not shown.
    QMenu* TitleMenu() override;
    // Multi-GNSS (title-strip menu, setting, --multi-gnss): the views read
    // every constellation; switching resets them as a playback start does.
    void SetMultiGnss(bool on);
    bool MultiGnss() const;
    // Live data with Multi-GNSS: an epoch is shown once its source has been
    // quiet for kEpochIdleUs. The timer's handler reads the clock (in
    // microseconds, MonotonicUs unless a test sets another) and checks.
    void GnssIdleTimerTimer();
    QTimer* GnssIdleTimer = nullptr;
    std::function<int64_t()> gnssClockUs;

    // --- the parts
    Transport& Deck() { return *transport_; }
    // SIGNALS and CONSOLE (ConsoleDock): windows of the title
    // strip's menu, made at their first show.
    TSignalsForm* ShowSignals();
    TConsoleForm* ShowConsole();
    TSignalsForm* SignalsWindow() const;
    TConsoleForm* ConsoleWindow() const;
    // The bench (BenchDock): the BENCH window of the title strip's menu and
    // its recorder.
    BenchDock& Bench() { return *bench_; }
    LiveSources& Sources() { return *live_; }
    Synchro& Receiver() { return *synchro_; }
    // Stops what runs and ends every playback thread (Transport::ShutDown).
    void ShutDown();
    int LiveCycles() const;
    // Watch (title-strip menu, --watch): the intake runs as in a recording, minus the file.
    void WatchClick(QObject* sender);
    bool Reconnecting() const;

    // As a file named on the command line is taken (Transport::TakeFileName).
    bool TakeFileName(const QString& path);
    // The synthesis side file for fileName, or empty when it would be the
    // very file being played or recorded.
    static QString SideFileFor(const QString& fileName);

    // --- controls (named as on the panel)
    QFrame* TopPanel = nullptr;
    QLabel* TitleImage = nullptr;
    FlatGlyphButton* MinimizeSpeedButton = nullptr;
    // Opens the title strip's menu, as a right-click on the strip does.
    FlatGlyphButton* MenuButton = nullptr;
    FlatGlyphButton* CloseSpeedButton = nullptr;
    QComboBox* PortComboBox = nullptr;
    QComboBox* BaudComboBox = nullptr;
    QRadioButton* NMEARadioButton = nullptr;
    QRadioButton* BINRRadioButton = nullptr;
    QCheckBox* _02CheckBox = nullptr;
    QCheckBox* PositionCheckBox = nullptr;
    QCheckBox* StatisticCheckBox = nullptr;
    QCheckBox* SatellitesCheckBox = nullptr;
    QCheckBox* VisualCheckBox = nullptr;
    QCheckBox* ProfileCheckBox = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QLabel* ActionImage = nullptr;
    QLabel* ActionLabel = nullptr;
    QLabel* DeviceLabel = nullptr;
    QLabel* FileLabel = nullptr;
    QLabel* ReceiveBytesLabel = nullptr;
    QLabel* ErrorBytesLabel = nullptr;
    QLabel* InfoLabel = nullptr;
    QLabel* SoundLabel = nullptr;
    QLabel* TimerLabel = nullptr;
    FlatGlyphButton* SynchroButton = nullptr;
    FlatGlyphButton* EjectButton = nullptr;
    FlatGlyphButton* PlayButton = nullptr;
    FlatGlyphButton* RewindButton = nullptr;
    FlatGlyphButton* PauseButton = nullptr;
    FlatGlyphButton* StopButton = nullptr;
    FlatGlyphButton* RecordButton = nullptr;
    FlatGlyphButton* ClockButton = nullptr;
    FlatGlyphButton* SoundButton = nullptr;
    QTimer* SynchroTimer = nullptr;
    QTimer* WatchTimer = nullptr;
    QFrame* LeftPanel = nullptr;
    QFrame* RightPanel = nullptr;
    QFrame* CenterPanel = nullptr;
    QFrame* ModePanel = nullptr;
    QFrame* InfoPanel = nullptr;

    // --- state others read (the rest is private)
    uint32_t Mode() const override { return mode; }
    int64_t ReceivedTotal() const { return receivedTotal; }
    // Bytes of the current (or last) recording missing from its file.
    int64_t RecordLostBytes() const { return recordFile.LostBytes(); }
    // Why the record file would not open (RecordFile::OpenProblem).
    const QString& RecordOpenProblem() const { return recordFile.OpenProblem(); }
    const ReceiveTimesWriter& RecordTimes() const { return intake_.Times(); }
    TReadCycle* ReadCycle() const override;
    // Sets the byte counter, as a seek in a playback does, and shows it.
    void SetReceivedTotal(int64_t total);
    void SetReconnectEnabled(bool on);
    // A stored value changed: the settings are written (once the stored ones
    // are read, never in a headless run).
    void SettingChanged();
    // A recording goes on at the end of an existing file, its FILE.times and
    // its side file (headless --append) instead of replacing them.
    void SetRecordAppend(bool on);

    // --- PanelLink: what the other windows see of the panel
    QWidget* PanelWindow() override { return this; }
    bool Headless() const override { return headless; }
    QString FileName() const override;
    bool Binr() const override;
    int LineRate() const override;
    void SetStatusText(const QString& text) override;
    const DatePolicy& SourceDates() const override { return intake_.Dates(); }
    void PlayRequest() override { PlayButtonClick(nullptr); }
    void PauseRequest() override { PauseButtonClick(nullptr); }
    void StopRequest() override { StopButtonClick(nullptr); }
    void SeekReset(int64_t offset, const std::vector<uint8_t>& before) override;
    void ShowBenchReplay(const std::shared_ptr<BenchReplay>& replay) override;
    void BenchReplayUpdated() override;
    void OnModeChanged(QObject* context, std::function<void()> f) override;
    void OnPanelPlaced(QObject* context, std::function<void()> f) override;

    // --- set by the program before the window is shown
    // Headless runs neither read nor write settings, nor probe the ports.
    bool headless = false;
    // The file named on the command line, played at start-up with BINR or NMEA.
    QString commandLineFile;
    bool commandLineBinr = false;
    // The file-open dialog: folder to start in and filter; returns the chosen
    // path or an empty text. Tests replace it.
    std::function<QString(const QString& folder, const QString& filter)> openFileDialog;

signals:
    // Every SetActionMode, after the glyph and caption are drawn.
    void ModeChanged(uint32_t mode);
    // A drag of the title strip ended: the panel and the windows following
    // it are where they will stay.
    void PanelPlaced();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Tests reach the state below through it (tests/common/MainFormTestAccess.h).
    friend struct TMainFormTestAccess;
    // The parts work on the panel's counters, timers and record file.
    friend class Transport;
    friend class LiveSources;
    friend class PanelSettings;
    friend class Synchro;
    friend class ViewDock;
    friend class ConsoleDock;
    friend class BenchDock;
    friend class SourceFeed;
    std::unique_ptr<Transport> transport_;
    std::unique_ptr<LiveSources> live_;
    std::unique_ptr<PanelSettings> settings_;
    std::unique_ptr<Synchro> synchro_;
    std::unique_ptr<ViewDock> dock_;

    uint32_t mode = amStop;
    int32_t errorCount = 0;
    bool priming_ = false;   // PrimeFromBytes is routing
    Intake intake_;
    int32_t syncIndex = 0;
    int32_t watchTicks = 0;
    // 64 bits: a long recording passes 2 GiB, and the count must not wrap.
    int64_t receivedTotal = 0;
    bool soundEnabled = false;
    RecordFile recordFile;   // its FILE.times: intake_.Times()

    void ConnectControls();
    void ResetCounters();

    QImage actionBitmap;
    SourceFeed* feed_ = nullptr;       // the intake's first listener; a child of the panel
    ConsoleDock* console_ = nullptr;   // a child of the panel
    BenchDock* bench_ = nullptr;       // a child of the panel

    QMenu* titleMenu_ = nullptr;
    bool shownOnce_ = false;
};

void SetTextColour(QWidget* widget, QRgb colour);
