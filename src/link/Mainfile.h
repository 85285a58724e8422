#pragma once
// The main window: the control panel with port, rate and protocol selection,
// transport buttons, counters and view switches; the one intake of received
// bytes (ReceiveBytes) with its routing to the decoders and views; the action
// modes, recording and playback control; synchronization; settings.
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdio>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QRadioButton;
class FlatGlyphButton;
class TReadCycle;

enum ActionMode : uint32_t {
    amSync = 1,
    amOpen = 2,
    amPlay = 3,
    amFastPlay = 4,
    amPause = 5,
    amStop = 6,
    amRecord = 7,
};

// Button-state rows of the transport panel.
enum class ButtonRow { Sync, Play, FastPlay, Pause, Stop, Record };

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
    void PortComboBoxDropDown();
    void PlayCommandLineFile();
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

    // --- state
    uint32_t mode = amStop;
    int32_t errorCount = 0;
    int32_t syncIndex = 0;
    int32_t watchTicks = 0;
    int32_t receivedTotal = 0;
    bool soundEnabled = false;
    bool dragging = false;
    int dragX = 0;
    int dragY = 0;
    QImage actionBitmap;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RouteNmeaByte(uint8_t byte);
    void RouteBinrByte(uint8_t byte);
    void ShowErrorCount();

    bool shownOnce_ = false;
};

extern TMainForm* MainForm;
