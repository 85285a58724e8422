#pragma once
// The main window: the control panel with port, rate and protocol selection,
// transport buttons, counters and view switches; the one intake of received
// bytes (ReceiveBytes) with its routing to the decoders and views; the action
// modes, recording and playback control; synchronization; settings.
#include "ActionMode.h"
#include "RecordFile.h"
#include "ReceiveTimes.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QRadioButton;
class QAction;
class QSettings;
class FlatGlyphButton;
class PlaybackSource;
struct PlaybackCallbacks;
class TReadCycle;
class TSignalsForm;
class TConsoleForm;
struct ConsoleIntake;

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- intake (Part of the byte road: port or file -> here -> decoders -> views)
    void ReceiveBytes(const uint8_t* bytes, int length);
    void CountLineError();
    void ConnectionLost();
    int SendBinr(uint8_t id, const uint8_t* payload, int length);

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
    // Play through a playback thread made by a feature (the PLAYER's paced
    // playback) from the callbacks of the current playback: the bookkeeping
    // of Play from STOP, then the thread starts. False, and nothing made,
    // when the panel is not stopped.
    bool PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make);
    // Decoders, satellite indicators and the Visual plot (with Profile) as
    // at the start of a playback.
    void ResetDecodersAndViews();
    // A paced playback's seek: the bytes before the epoch sought take the
    // intake as in a play, unseen (nothing printed, painted, counted or
    // written to a side file), so the epoch then shows as a play from the
    // start shows it.
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
    QMenu* TitleMenu();
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

    // --- SIGNALS and CONSOLE (MainfileConsole.cpp): windows of the title
    // strip's menu, made at their first show
    TSignalsForm* ShowSignals();
    TConsoleForm* ShowConsole();
    TSignalsForm* SignalsWindow() const;
    TConsoleForm* ConsoleWindow() const;

    // --- playback thread bookkeeping
    // Stops a recording, synchronization or playback and ends every playback
    // thread still alive, serving only their hand-offs meanwhile (no other
    // event is processed). Called inside a playback hand-off, the thread
    // that waits for the caller is ended as soon as the hand-off returns.
    // Safe to call more than once.
    void ShutDown();
    // Playback threads created and not yet reaped (the current one included).
    int LiveCycles() const { return int(liveCycles_.size()); }

    // --- live sources beyond the panel (MainfileLive.cpp): watching without
    // recording, reconnecting, network sources in the port list
    void WatchClick(QObject* sender);
    void ReconnectTimerTimer();
    // Opens the selected source as a recording or watch does; on failure
    // says why in InfoLabel unless quiet. With resume, a network source is
    // opened by a worker: false now, and resume is called once it is open,
    // when this returns true.
    bool OpenSelectedSource(bool binr, bool quiet = false, const std::function<void()>& resume = {});
    void TellOpenFailure(const QString& name);
    bool Reconnecting() const { return ReconnectTimer && ReconnectTimer->isActive(); }
    QTimer* ReconnectTimer = nullptr;
    // The "Add source..." dialog: returns the address typed, empty when
    // cancelled. Tests replace it.
    std::function<QString()> askSourceAddress;

    // Makes the folder of path the current folder and puts its file name in
    // FileLabel, as a file named on the command line is taken. A folder that
    // cannot be entered changes nothing: false, and InfoLabel says why (a
    // bare name would otherwise lead to a file of that name here).
    bool TakeFileName(const QString& path);
    // The synthesis side file for the current FileLabel, or empty when it
    // would be the very file being played or recorded.
    QString SideFileFor(const QString& fileName) const;

    // --- controls (named as on the panel)
    QFrame* TopPanel = nullptr;
    QLabel* TitleImage = nullptr;
    FlatGlyphButton* MinimizeSpeedButton = nullptr;
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
    uint32_t Mode() const { return mode; }
    int64_t ReceivedTotal() const { return receivedTotal; }
    // Bytes of the current (or last) recording missing from its file.
    int64_t RecordLostBytes() const { return recordFile.LostBytes(); }
    // The current playback thread, or null outside playback.
    TReadCycle* ReadCycle() const { return readCycle; }
    // Sets the byte counter, as a seek in a playback does, and shows it.
    void SetReceivedTotal(int64_t total);
    void SetReconnectEnabled(bool on) { reconnectEnabled = on; }
    // A stored value changed: the settings are written (once the stored ones
    // are read, never in a headless run).
    void SettingChanged();
    // A recording goes on at the end of an existing file, its FILE.times and
    // its side file (headless --append) instead of replacing them.
    void SetRecordAppend(bool on) { recordAppend_ = on; }

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

    uint32_t mode = amStop;
    int32_t errorCount = 0;
    bool priming_ = false;   // PrimeFromBytes is routing
    int32_t syncIndex = 0;
    int32_t watchTicks = 0;
    // 64 bits: a long recording passes 2 GiB, and the count must not wrap.
    int64_t receivedTotal = 0;
    bool soundEnabled = false;
    RecordFile recordFile;
    // FILE.times beside the record file: when each block arrived.
    ReceiveTimesWriter recordTimes;
    // The last playback thread created; used only in amPlay, amFastPlay and
    // amPause, and cleared when the thread is reaped.
    TReadCycle* readCycle = nullptr;
    bool reconnectEnabled = false;
    bool recordAppend_ = false;
    // The text Record's first press blinks.
    QString recordWarning_;

    void BuildPanels();
    void BuildInfoPanel();
    void BuildButtons();
    void ConnectControls();
    void ApplyDefaultSettings();
    struct StoredValue;
    std::vector<StoredValue> StoredValues();
    void KeepTitleStripOnScreen();
    // The reactions to one decoder result (a completed sentence or message,
    // an error); 0 does nothing.
    void RouteNmeaResult(int result);
    void RouteBinrResult(int result);
    void FinishBinrSync();
    void ShowErrorCount();
    void ShowReceivedTotal();
    void ResetCounters();
    void AppendToRecordFile(const uint8_t* bytes, int length);
    // The one start of a record file, whatever the mode before: the file
    // (created, or continued with recordAppend_), its FILE.times, the
    // counters. False, with InfoLabel saying why, when it cannot be opened.
    bool BeginRecordFile(const QString& name);
    // What Record's first press warns about, or empty: an existing record
    // file, or (BINR) a side-file name that holds a recording.
    QString RecordWarning(const QString& name, bool binr) const;
    void RepaintWindows();
    // Opens the side file of FileLabel's file; InfoLabel names it when it
    // cannot have its usual name.
    void OpenSideFile(bool append);
    // Play; a thread started from STOP reads its first block at normal or fast pace.
    void PlayAction(bool firstBlocksNormal);
    void StartPlaybackThread(std::unique_ptr<PlaybackSource> source, bool normalSpeed);
    void StartCycle(const std::function<TReadCycle*(PlaybackCallbacks)>& make);
    // Counters, decoders, views, side file and statistics as a playback starts.
    void PrepareForPlayback(int64_t fileSize, int64_t modifiedS);
    // The playback thread's callbacks, for the current playback only.
    void DeliverPlaybackBlock(const uint8_t* bytes, int length);
    void FinishPlayback();
    void ReapCycle(TReadCycle* cycle);
    // Ends and reaps every playback thread that is not blocked on the caller;
    // one that is gets joined once its hand-off has returned.
    void JoinCycles();
    void SendRecordStartSequence();
    void RecordFromWatch(QObject* sender);
    void BeginReconnect();
    void InstallLiveSources();
    void SendPositionCommands(bool on);
    void SetProtocolControlsEnabled(bool on);
    void MoveViews(int dx, int dy);

    // Dragging the frameless panel by its title strip.
    bool dragging = false;
    int dragX = 0;
    int dragY = 0;
    QImage actionBitmap;
    // SIGNALS and CONSOLE: their menu items, their share of the routing
    // (each result, and the bytes each decoder call consumed), sent commands.
    void AddConsoleMenu();
    void RestoreConsoleWindows();
    // The bytes of a block from `done` on that one decoder call consumed.
    void ConsoleFeed(const uint8_t* block, int done, int used, int result, bool nmea);
    void ConsoleNmeaResult(int result);
    void ConsoleBinrResult(int result);
    void ResetConsoleViews();
    void RecordSentCommands();
    void ConsoleSourceChanged();
    QString ConsoleCommandProblem() const;
    int SendConsoleCommand(const std::vector<uint8_t>& bytes, bool record);
    std::shared_ptr<ConsoleIntake> console_;
    void AddMultiGnssMenu();
    void LoadMultiGnssSetting(const QSettings& s);
    void SaveMultiGnssSetting(QSettings& s) const;
    void PlaceProfile();
    // Shows the last completed Multi-GNSS epoch in POSITION and SATELLITES;
    // CompleteGnssEpoch first completes the one under way (end of data).
    void ShowGnssEpoch();
    void CompleteGnssEpoch();
    void WatchGnssIdle();

    QMenu* titleMenu_ = nullptr;
    int64_t gnssLastBytesUs_ = 0;
    QAction* multiGnssAction_ = nullptr;
    bool shownOnce_ = false;
    bool settingsLoaded_ = false;
    bool settingsSavePending_ = false;
    void StoreSettingsOnChange();
    bool shutDown_ = false;
    std::vector<TReadCycle*> liveCycles_;
    // Views shown for one run, with the state the settings keep for them.
    std::map<const QAbstractButton*, bool> oneOffViews_;
    // Each playback started gets the next number; its callbacks act only
    // while that number is still the current playback's.
    uint64_t playbackSerial_ = 0;
    uint64_t currentPlayback_ = 0;
    int64_t playbackSize_ = 0;
};

extern TMainForm* MainForm;

// The name of the record file after a BINR synchronization: the device text
// up to its first blank, "_c", the first digit of the port name, ".dat".
// The device text comes from the receiver, so path separators and control
// characters become "_" and the name always stays in the current folder.
QString SyncRecordFileName(const QString& deviceText, const QString& portName);
void SetTextColour(QWidget* widget, QRgb colour);
// "N kB" below 1 MiB, "N.N MB" from there.
QString ReceivedText(int64_t total);
