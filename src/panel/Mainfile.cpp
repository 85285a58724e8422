// The main window's shell: start-up and shut-down, dragging the frameless
// panel with its views, the view switches, sound and timer switches and the
// about window. The end of the byte road is SourceFeed; the layout
// (PanelLayout), the settings (PanelSettings), the transport (Transport) and
// the live sources (LiveSources) are parts the panel owns.
#include "Mainfile.h"

#include "Comm.h"
#include "SourceFeed.h"
#include "BenchDock.h"
#include "ConsoleDock.h"
#include "Controls.h"
#include "Instance.h"
#include "LiveSources.h"
#include "PanelLayout.h"
#include "PanelSettings.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Sound.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Synchro.h"
#include "Transport.h"
#include "ViewDock.h"
#include "Visual.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QShowEvent>


namespace {

constexpr int kWatchIntervalMs = 1000;
constexpr int kSynchroIntervalNmeaMs = 1000;
const QString kMenuHint = QStringLiteral("Player, Bench and more: \u2261 top right");

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setFixedSize(kFormWidth, kFormHeight);
    setWindowTitle(InstanceName().isEmpty() ? QStringLiteral("KESTROVA") : QStringLiteral("KESTROVA ") + InstanceName());
    setFont(UiFont());
    move(kDesignPosition);
    actionBitmap = QImage(25, 25, QImage::Format_RGB32);
    actionBitmap.fill(Qt::black);

    SynchroTimer = new QTimer(this);
    SynchroTimer->setInterval(kSynchroIntervalNmeaMs);
    WatchTimer = new QTimer(this);
    WatchTimer->setInterval(kWatchIntervalMs);

    BuildPanelLayout(*this, actionBitmap);
    settings_ = std::make_unique<PanelSettings>(*this);
    synchro_ = std::make_unique<Synchro>(*this);
    dock_ = std::make_unique<ViewDock>(*this);
    transport_ = std::make_unique<Transport>(*this);
    ConnectControls();
    live_ = std::make_unique<LiveSources>(*this);
    feed_ = new SourceFeed(*this);
    intake_.AddListener(feed_);
    bench_ = new BenchDock(*this);
    console_ = new ConsoleDock(*this);
    intake_.AddListener(console_);

    openFileDialog = [this](const QString& folder, const QString& filter) { return AskFileName(this, folder, filter); };
    SetCommHandlers({[this](const uint8_t* bytes, int length) { ReceiveBytes(bytes, length); },
                     [this] { CountLineError(); },
                     [this] { ConnectionLost(); }});
    OpenTone();
}

TMainForm::~TMainForm()
{
    ShutDown();
    transport_->Abandon();
    CloseTone();
    if (!headless && shownOnce_)
        SaveSettings();
    SetCommHandlers({});
}

void TMainForm::ConnectControls()
{
    auto onClick = [this](FlatGlyphButton* b, void (TMainForm::*handler)(QObject*)) {
        connect(b, &QAbstractButton::clicked, this, [this, b, handler] { (this->*handler)(b); });
    };
    onClick(SynchroButton, &TMainForm::SynchroButtonClick);
    onClick(EjectButton, &TMainForm::EjectButtonClick);
    onClick(PlayButton, &TMainForm::PlayButtonClick);
    onClick(RewindButton, &TMainForm::RewindButtonClick);
    onClick(PauseButton, &TMainForm::PauseButtonClick);
    onClick(StopButton, &TMainForm::StopButtonClick);
    onClick(RecordButton, &TMainForm::RecordButtonClick);
    onClick(ClockButton, &TMainForm::ClockButtonClick);
    onClick(SoundButton, &TMainForm::SoundButtonClick);
    connect(CloseSpeedButton, &QAbstractButton::clicked, this, &TMainForm::CloseSpeedButtonClick);
    connect(MinimizeSpeedButton, &QAbstractButton::clicked, this, &TMainForm::MinimizeSpeedButtonClick);
    connect(MenuButton, &QAbstractButton::clicked, this, [this] {
        if (!TitleMenu()->isEmpty())
            TitleMenu()->popup(MenuButton->mapToGlobal(QPoint(0, MenuButton->height())));
    });

    // A check box's handler runs on every change of state, the program's too;
    // a radio button's whenever it becomes checked.
    connect(PositionCheckBox, &QCheckBox::toggled, this, &TMainForm::PositionCheckBoxClick);
    connect(StatisticCheckBox, &QCheckBox::toggled, this, &TMainForm::StatisticCheckBoxClick);
    connect(SatellitesCheckBox, &QCheckBox::toggled, this, &TMainForm::SatellitesCheckBoxClick);
    connect(VisualCheckBox, &QCheckBox::toggled, this, &TMainForm::VisualCheckBoxClick);
    connect(ProfileCheckBox, &QCheckBox::toggled, this, &TMainForm::ProfileCheckBoxClick);
    // A view switched by the user is the user's choice again, to be kept.
    for (QCheckBox* box : {PositionCheckBox, StatisticCheckBox, SatellitesCheckBox, VisualCheckBox, ProfileCheckBox})
        connect(box, &QAbstractButton::clicked, this, [this, box] { settings_->ForgetOneOff(box); });
    connect(NMEARadioButton, &QRadioButton::toggled, this, [this](bool on) { if (on) NMEARadioButtonClick(NMEARadioButton); });
    connect(BINRRadioButton, &QRadioButton::toggled, this, [this](bool on) { if (on) BINRRadioButtonClick(BINRRadioButton); });

    connect(SynchroTimer, &QTimer::timeout, this, &TMainForm::SynchroTimerTimer);
    connect(WatchTimer, &QTimer::timeout, this, &TMainForm::WatchTimerTimer);
    connect(PortComboBox, &QComboBox::currentTextChanged, PortComboBox,
            [this](const QString& name) { PortComboBox->setToolTip(PortToolTip(name)); });
}

// ---------------------------------------------------------------- start-up

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    LinkViews();
    actionBitmap = QImage(ActionImage->width(), ActionImage->height(), QImage::Format_RGB32);
    if (headless) {
        settings_->ApplyDefaults();
    } else {
        LoadSettings();
        FillPortList();
        live_->LoadSettings();
        settings_->StoreOnChange();
        console_->RestoreWindows();
        bench_->RestoreWindow();
    }
    SetActionMode(amStop);
    SoundButtonClick(nullptr);
    receivedTotal = 0;
    errorCount = 0;
    PlayCommandLineFile();
    // The first start of a user: where the features beyond the panel are.
    if (!headless && settings_->FirstStart() && InfoLabel->text().isEmpty())
        SetStatusText(kMenuHint);
}

void TMainForm::LinkViews() { dock_->Link(); }

void TMainForm::PlayCommandLineFile() { transport_->PlayCommandLineFile(); }

bool TMainForm::TakeFileName(const QString& path) { return transport_->TakeFileName(path); }

// ---------------------------------------------------------------- shut-down

void TMainForm::closeEvent(QCloseEvent* event)
{
    ShutDown();
    QWidget::closeEvent(event);
}

void TMainForm::ShutDown()
{
    bench_->ShutDown();
    transport_->ShutDown();
}

// ---------------------------------------------------------------- settings

void TMainForm::LoadSettings() { settings_->Load(); }
void TMainForm::SaveSettings() { settings_->Save(); }
void TMainForm::SettingChanged() { settings_->Changed(); }
void TMainForm::SelectStoredPort() { settings_->SelectStoredPort(); }
void TMainForm::ShowViewOnce(QCheckBox* view) { settings_->ShowViewOnce(view); }

// ---------------------------------------------------------------- dragging

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TitleImage && event->type() == QEvent::MouseButtonPress) {
        TitleImageClick();
        return true;
    }
    if (watched == TopPanel) {
        // Only mouse events may be read as such: the panel also sees paint,
        // resize and other events here.
        const auto* me = dynamic_cast<QMouseEvent*>(event);
        if (me == nullptr)
            return QWidget::eventFilter(watched, event);
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (me->button() == Qt::RightButton) {
                if (!TitleMenu()->isEmpty())
                    TitleMenu()->popup(me->globalPosition().toPoint());
                return true;
            }
            TopPanelMouseDown(me->position().toPoint().x(), me->position().toPoint().y());
            return true;
        case QEvent::MouseMove:
            TopPanelMouseMove(me->position().toPoint().x(), me->position().toPoint().y());
            return true;
        case QEvent::MouseButtonRelease:
            TopPanelMouseUp();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::TopPanelMouseDown(int x, int y) { dock_->Grab(x, y); }

void TMainForm::TopPanelMouseMove(int x, int y) { dock_->Drag(x, y); }

void TMainForm::TopPanelMouseUp()
{
    if (!dock_->Release())
        return;
    SettingChanged();
    emit PanelPlaced();
}

QMenu* TMainForm::TitleMenu()
{
    if (!titleMenu_)
        titleMenu_ = new QMenu(this);
    return titleMenu_;
}

// ---------------------------------------------------------------- view switches

void TMainForm::PositionCheckBoxClick()
{
    if (!dock_->SwitchPosition())
        return;
    if (BINRRadioButton->isChecked() && mode == amRecord)
        synchro_->SendPositionCommands(PositionCheckBox->isChecked());
    feed_->PlaceProfile();
}

void TMainForm::StatisticCheckBoxClick()
{
    if (dock_->SwitchStatistic())
        feed_->PlaceProfile();
}

void TMainForm::SatellitesCheckBoxClick()
{
    if (dock_->SwitchSatellites())
        feed_->PlaceProfile();
}

void TMainForm::VisualCheckBoxClick() { dock_->SwitchVisual(); }

void TMainForm::ProfileCheckBoxClick()
{
    if (!ProfileForm)
        return;
    if (ProfileCheckBox->isChecked()) {
        feed_->PlaceProfile();
        ProfileForm->show();
    } else {
        ProfileForm->hide();
    }
}

// ---------------------------------------------------------------- small windows

void TMainForm::SoundButtonClick(QObject* sender)
{
    if (sender) {
        soundEnabled = !soundEnabled;
        SettingChanged();
    }
    SoundLabel->setText(soundEnabled ? QStringLiteral("sound on") : QStringLiteral("sound off"));
    SetTextColour(SoundLabel, soundEnabled ? kLime : kRed);
}

void TMainForm::ClockButtonClick(QObject*)
{
    if (!dock_->ShowTimer())
        return;
    const bool armed = TimerForm && TimerForm->TimerArmed;
    TimerLabel->setText(armed ? QStringLiteral("timer on") : QStringLiteral("timer off"));
    SetTextColour(TimerLabel, armed ? kLime : kRed);
}

void TMainForm::TitleImageClick() { dock_->ShowAbout(); }

void TMainForm::CloseSpeedButtonClick() { close(); }

void TMainForm::MinimizeSpeedButtonClick() { showMinimized(); }
