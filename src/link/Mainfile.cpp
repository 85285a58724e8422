#include "Mainfile.h"

#include "BinrLayouts.h"
#include "Comm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>

// Placeholder shell until the main window lands: an empty frameless panel.
TMainForm* MainForm = nullptr;

TMainForm::TMainForm(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint)
{
    MainForm = this;
    setFixedSize(421, 132);
    setWindowTitle("KESTROVA");
    SynchroTimer = new QTimer(this);
    WatchTimer = new QTimer(this);
    // Bare controls so that the views can already read the switches.
    PortComboBox = new QComboBox(this);
    BaudComboBox = new QComboBox(this);
    BaudComboBox->addItems({"4800", "9600", "19200", "38400", "57600", "115200", "230400", "460800", "921600"});
    NMEARadioButton = new QRadioButton("NMEA", this);
    BINRRadioButton = new QRadioButton("BINR", this);
    NMEARadioButton->setChecked(true);
    _02CheckBox = new QCheckBox("0x02", this);
    PositionCheckBox = new QCheckBox("POSITION", this);
    StatisticCheckBox = new QCheckBox("STATISTIC", this);
    SatellitesCheckBox = new QCheckBox("SATELLITES", this);
    VisualCheckBox = new QCheckBox("VISUAL", this);
    ProfileCheckBox = new QCheckBox("PROFILE", this);
    CheckBox6 = new QCheckBox("RESERVE", this);
    ActionLabel = new QLabel("STOP", this);
    DeviceLabel = new QLabel("unknown", this);
    FileLabel = new QLabel("rgfile.nme", this);
    ReceiveBytesLabel = new QLabel("0 kB", this);
    ErrorBytesLabel = new QLabel("0", this);
    InfoLabel = new QLabel(this);
    SoundLabel = new QLabel("sound off", this);
    TimerLabel = new QLabel("timer off", this);
}

TMainForm::~TMainForm()
{
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

int TMainForm::SendBinr(uint8_t id, const uint8_t* payload, int length)
{
    uint8_t frame[kBinrCommandFrameMax];
    const int size = BuildBinrFrame(id, payload, length, frame, kBinrCommandFrameMax);
    return size > 0 ? WritePort(frame, size) : 0;
}

void TMainForm::ReceiveBytes(const uint8_t*, int) {}
void TMainForm::CountLineError() {}
void TMainForm::SetActionMode(uint32_t m) { mode = m; }
void TMainForm::SetButtons(ButtonRow) {}
void TMainForm::EjectButtonClick(QObject*) {}
void TMainForm::PlayButtonClick(QObject*) {}
void TMainForm::RewindButtonClick(QObject*) {}
void TMainForm::PauseButtonClick(QObject*) {}
void TMainForm::StopButtonClick(QObject*) {}
void TMainForm::RecordButtonClick(QObject*) {}
void TMainForm::WatchTimerTimer() {}
void TMainForm::ScheduledRecordStart() {}
void TMainForm::ScheduledRecordStop() {}
void TMainForm::FormShow() {}
void TMainForm::LoadSettings() {}
void TMainForm::SaveSettings() {}
void TMainForm::PlayCommandLineFile() {}
void TMainForm::PositionCheckBoxClick() {}
void TMainForm::StatisticCheckBoxClick() {}
void TMainForm::SatellitesCheckBoxClick() {}
void TMainForm::VisualCheckBoxClick() {}
void TMainForm::ProfileCheckBoxClick() {}
void TMainForm::SoundButtonClick(QObject*) {}
void TMainForm::ClockButtonClick(QObject*) {}
void TMainForm::TitleImageClick() {}
void TMainForm::CloseSpeedButtonClick() { close(); }
void TMainForm::MinimizeSpeedButtonClick() { showMinimized(); }
void TMainForm::TopPanelMouseDown(int, int) {}
void TMainForm::TopPanelMouseMove(int, int) {}
void TMainForm::TopPanelMouseUp() {}
void TMainForm::RouteNmeaByte(uint8_t) {}
void TMainForm::RouteBinrByte(uint8_t) {}
void TMainForm::ShowErrorCount() {}
