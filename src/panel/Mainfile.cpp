// The main window's shell: layout, start-up and shut-down, dragging the
// frameless panel with its views, the view switches, sound and timer
// switches, the about window and the settings kept between runs.
// The intake lives in MainfileIntake.cpp, the transport in MainfileTransport.cpp.
#include "Mainfile.h"

#include "About.h"
#include "BinrLayouts.h"
#include "Comm.h"
#include "Controls.h"
#include "Cycle.h"
#include "Glyphs.h"
#include "Instance.h"
#include "MainfileLive.h"
#include "LineRates.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "SettingsFile.h"
#include "Sound.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"
#include "WeekRollover.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QRegion>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

TMainForm* MainForm = nullptr;

void SetTextColour(QWidget* w, QRgb colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, QColor(colour));
    w->setPalette(pal);
}

namespace {

constexpr int kFormWidth = 421;
constexpr int kFormHeight = 132;
constexpr QPoint kDesignPosition(343, 384);
constexpr int kTopPanelHeight = 25;
constexpr int kLeftPanelWidth = 78;
constexpr int kRightPanelWidth = 95;
constexpr int kButtonTop = 81;
constexpr QSize kButtonSize(23, 22);
constexpr int kWatchIntervalMs = 1000;
constexpr int kSynchroIntervalNmeaMs = 1000;

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kAqua = qRgb(0, 255, 255);
constexpr QRgb kFuchsia = qRgb(255, 0, 255);

// The rate box lists the line rates the port can take, slowest first.
QStringList LineRateTexts()
{
    QStringList texts;
    for (const LineRate& r : kLineRates)
        texts << QString::number(r.baud);
    return texts;
}
const QStringList kBaudRates = LineRateTexts();

// A settings position outside this range cannot be a screen coordinate.
constexpr int kPositionLimit = 32767;
constexpr const char* kPortKey = "PortComboBox";

void SetBackground(QWidget* w, QRgb colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(colour));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QFrame* MakePanel(QWidget* parent, const QRect& geometry, QFrame::Shadow shadow)
{
    auto* panel = new QFrame(parent);
    panel->setGeometry(geometry);
    panel->setFrameStyle(QFrame::Panel | shadow);
    panel->setLineWidth(1);
    return panel;
}

// Labels on the info panel hold texts that come from files and receivers:
// always plain text, never markup.
QLabel* MakeLabel(QWidget* parent, const QRect& geometry, const QString& text, QRgb colour,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop)
{
    auto* label = new FastLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(align);
    label->setFont(UiFont());
    SetTextColour(label, colour);
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const QPoint& at, int width, const QString& text)
{
    auto* box = new QCheckBox(text, parent);
    box->setFont(UiFont());
    box->setGeometry(QRect(at, QSize(width, 17)));
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

// The port list is rebuilt every time it drops down. A network source is
// longer than the box: it is elided in the middle, whole in the tooltip.
class PortBox : public ElidedComboBox {
public:
    explicit PortBox(QWidget* parent) : ElidedComboBox(parent) {}
    void showPopup() override
    {
        if (MainForm)
            MainForm->PortComboBoxDropDown();
        // Device paths are longer than the box; let the list show them whole.
        view()->setMinimumWidth(qMax(width(), view()->sizeHintForColumn(0) + 8));
        QComboBox::showPopup();
    }
};

// One settings value: a 32-bit integer within [low, high]. Anything else
// (missing, text, out of range) is a failed read.
bool ReadSetting(const QSettings& s, const char* name, int low, int high, int* value)
{
    if (!s.contains(name))
        return false;
    bool ok = false;
    const int v = s.value(name).toString().trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// A count for old recordings whose file time was lost, set by hand and never
// written back; --week-rollovers wins over it.
void ReadWeekRollovers(const QSettings& s)
{
    const char* const key = "WeekRollovers";
    int n = 0;
    if (ForcedWeekRollovers() || !s.contains(key))
        return;
    if (ReadSetting(s, key, kMinWeekRollovers, kMaxWeekRollovers, &n))
        ForceWeekRollovers(n);
    else
        std::fprintf(stderr, "kestrova: settings: %s takes a count from %d to %d; ignored\n", key,
                     kMinWeekRollovers, kMaxWeekRollovers);
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    MainForm = this;
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

    BuildPanels();
    BuildInfoPanel();
    BuildButtons();
    ConnectControls();
    InstallLiveSources();
    AddMultiGnssMenu();
    AddConsoleMenu();

    openFileDialog = [this](const QString& folder, const QString& filter) {
        // The name serves for playing and for recording, so a name that does
        // not exist yet is welcome (a new recording), and an existing one is
        // taken without an overwrite question: Record has its own guard.
        QFileDialog dialog(this, QStringLiteral("Open file:"), folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    SetCommHandlers({[](const uint8_t* bytes, int length) { if (MainForm) MainForm->ReceiveBytes(bytes, length); },
                     [] { if (MainForm) MainForm->CountLineError(); },
                     [] { if (MainForm) MainForm->ConnectionLost(); }});
    OpenTone();
}

TMainForm::~TMainForm()
{
    ShutDown();
    // Left only when the window goes away inside a playback hand-off: that
    // thread ends by itself once the call returns, touching nothing of ours.
    for (TReadCycle* cycle : liveCycles_) {
        cycle->setParent(nullptr);
        connect(cycle, &QThread::finished, cycle, &QObject::deleteLater);
    }
    liveCycles_.clear();
    readCycle = nullptr;
    CloseTone();
    if (!headless && shownOnce_)
        SaveSettings();
    SetCommHandlers({});
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::BuildPanels()
{
    TopPanel = MakePanel(this, QRect(0, 0, kFormWidth, kTopPanelHeight), QFrame::Raised);
    SetBackground(TopPanel, kSilver);
    auto* caption = new QLabel(QStringLiteral("KESTROVA 6.4"), TopPanel);
    caption->setGeometry(TopPanel->rect());
    caption->setAlignment(Qt::AlignCenter);
    caption->setFont(UiFont(true));
    SetTextColour(caption, kBlue);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    TopPanel->installEventFilter(this);

    // The picture is 32 pixels tall on a 25-pixel strip: the strip shows its top.
    TitleImage = new QLabel(TopPanel);
    TitleImage->setGeometry(4, 4, kTitlePictureSize, kTitlePictureSize);
    TitleImage->setPixmap(QPixmap::fromImage(TitlePicture()));
    TitleImage->setCursor(Qt::PointingHandCursor);
    TitleImage->installEventFilter(this);

    MinimizeSpeedButton = new FlatGlyphButton(TopPanel, QRect(383, 4, 17, 17), QString(), GlyphPainter(Glyph::Minimize));
    CloseSpeedButton = new FlatGlyphButton(TopPanel, QRect(400, 4, 17, 17), QString(), GlyphPainter(Glyph::Close));

    const int bodyHeight = kFormHeight - kTopPanelHeight;
    LeftPanel = MakePanel(this, QRect(0, kTopPanelHeight, kLeftPanelWidth, bodyHeight), QFrame::Raised);
    RightPanel = MakePanel(this, QRect(kFormWidth - kRightPanelWidth, kTopPanelHeight, kRightPanelWidth, bodyHeight),
                           QFrame::Raised);
    CenterPanel = MakePanel(this, QRect(kLeftPanelWidth, kTopPanelHeight,
                                        kFormWidth - kLeftPanelWidth - kRightPanelWidth, bodyHeight), QFrame::Raised);

    PortComboBox = new PortBox(LeftPanel);
    PortComboBox->setGeometry(8, 8, 62, 20);
    // Six-digit rates are wider than the box's text field.
    BaudComboBox = new TextFitComboBox(LeftPanel);
    BaudComboBox->setGeometry(8, 30, 62, 20);
    BaudComboBox->addItems(kBaudRates);
    BaudComboBox->setCurrentIndex(0);
    for (QComboBox* box : {PortComboBox, BaudComboBox}) {
        box->setFont(UiFont());
        box->setFocusPolicy(Qt::NoFocus);
    }

    ModePanel = MakePanel(LeftPanel, QRect(8, 52, 62, 52), QFrame::Sunken);
    NMEARadioButton = new QRadioButton(QStringLiteral("NMEA"), ModePanel);
    NMEARadioButton->setGeometry(6, 3, 54, 15);
    BINRRadioButton = new QRadioButton(QStringLiteral("BINR"), ModePanel);
    BINRRadioButton->setGeometry(6, 18, 54, 15);
    for (QRadioButton* r : {NMEARadioButton, BINRRadioButton}) {
        r->setFont(UiFont());
        r->setFocusPolicy(Qt::NoFocus);
    }
    NMEARadioButton->setChecked(true);
    _02CheckBox = MakeCheckBox(ModePanel, QPoint(14, 35), 46, QStringLiteral("0x02"));
    _02CheckBox->setChecked(true);
    _02CheckBox->setEnabled(false);

    PositionCheckBox = MakeCheckBox(RightPanel, QPoint(5, 3), 86, QStringLiteral("POSITION"));
    StatisticCheckBox = MakeCheckBox(RightPanel, QPoint(5, 19), 86, QStringLiteral("STATISTIC"));
    SatellitesCheckBox = MakeCheckBox(RightPanel, QPoint(5, 35), 86, QStringLiteral("SATELLITES"));
    VisualCheckBox = MakeCheckBox(RightPanel, QPoint(5, 51), 86, QStringLiteral("VISUAL"));
    ProfileCheckBox = MakeCheckBox(RightPanel, QPoint(5, 67), 86, QStringLiteral("PROFILE"));
    CheckBox6 = MakeCheckBox(RightPanel, QPoint(5, 83), 86, QStringLiteral("RESERVE"));
    CheckBox6->setEnabled(false);
}

void TMainForm::BuildInfoPanel()
{
    InfoPanel = MakePanel(CenterPanel, QRect(8, 8, 233, 70), QFrame::Sunken);
    SetBackground(InfoPanel, kBlack);

    ActionImage = new QLabel(InfoPanel);
    ActionImage->setGeometry(8, 8, 25, 25);
    ActionImage->setPixmap(QPixmap::fromImage(actionBitmap));
    ActionLabel = MakeLabel(InfoPanel, QRect(6, 34, 40, 13), QStringLiteral("STOP"), kLime);

    MakeLabel(InfoPanel, QRect(48, 3, 40, 13), QStringLiteral("device:"), kYellow);
    DeviceLabel = MakeLabel(InfoPanel, QRect(90, 3, 141, 13), QStringLiteral("unknown"), kAqua);
    MakeLabel(InfoPanel, QRect(48, 16, 40, 13), QStringLiteral("file:"), kYellow);
    FileLabel = MakeLabel(InfoPanel, QRect(90, 16, 141, 13), QStringLiteral("rgfile.nme"), kAqua);
    MakeLabel(InfoPanel, QRect(48, 29, 40, 13), QStringLiteral("size:"), kYellow);
    ReceiveBytesLabel = MakeLabel(InfoPanel, QRect(76, 29, 60, 13), QStringLiteral("0 kB"), kAqua,
                                  Qt::AlignRight | Qt::AlignTop);
    MakeLabel(InfoPanel, QRect(48, 42, 30, 13), QStringLiteral("err:"), kYellow);
    ErrorBytesLabel = MakeLabel(InfoPanel, QRect(72, 42, 45, 13), QStringLiteral("0"), kAqua,
                                Qt::AlignRight | Qt::AlignTop);
    InfoLabel = MakeLabel(InfoPanel, QRect(6, 55, 225, 13), QString(), kFuchsia);
    SoundLabel = MakeLabel(InfoPanel, QRect(178, 29, 53, 13), QStringLiteral("sound off"), kRed);
    TimerLabel = MakeLabel(InfoPanel, QRect(178, 42, 53, 13), QStringLiteral("timer off"), kRed);
}

void TMainForm::BuildButtons()
{
    struct ButtonPlace {
        FlatGlyphButton** button;
        int x;
        const char* hint;
        Glyph glyph;
    };
    const ButtonPlace places[] = {
        {&SynchroButton, 8, "Synchronization", Glyph::Synchro}, {&EjectButton, 40, "Open file", Glyph::Eject},
        {&PlayButton, 64, "Play file", Glyph::Play},           {&RewindButton, 88, "Fast play file", Glyph::Rewind},
        {&PauseButton, 112, "Pause", Glyph::Pause},             {&StopButton, 136, "Stop", Glyph::Stop},
        {&RecordButton, 160, "Record", Glyph::Record},          {&ClockButton, 193, "Timer", Glyph::Clock},
        {&SoundButton, 217, "Sound", Glyph::Sound},
    };
    for (const ButtonPlace& s : places)
        *s.button = new FlatGlyphButton(CenterPanel, QRect(QPoint(s.x, kButtonTop), kButtonSize),
                                        QString::fromLatin1(s.hint), GlyphPainter(s.glyph));
    PauseButton->setEnabled(false);
    StopButton->setEnabled(false);
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

    // A check box's handler runs on every change of state, the program's too;
    // a radio button's whenever it becomes checked.
    connect(PositionCheckBox, &QCheckBox::toggled, this, &TMainForm::PositionCheckBoxClick);
    connect(StatisticCheckBox, &QCheckBox::toggled, this, &TMainForm::StatisticCheckBoxClick);
    connect(SatellitesCheckBox, &QCheckBox::toggled, this, &TMainForm::SatellitesCheckBoxClick);
    connect(VisualCheckBox, &QCheckBox::toggled, this, &TMainForm::VisualCheckBoxClick);
    connect(ProfileCheckBox, &QCheckBox::toggled, this, &TMainForm::ProfileCheckBoxClick);
    // A view switched by the user is the user's choice again, to be kept.
    for (QCheckBox* box : {PositionCheckBox, StatisticCheckBox, SatellitesCheckBox, VisualCheckBox, ProfileCheckBox})
        connect(box, &QAbstractButton::clicked, this, [this, box] { oneOffViews_.erase(box); });
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
        ApplyDefaultSettings();
    } else {
        LoadSettings();
        FillPortList();
        LoadLiveSettings(*this);
        StoreSettingsOnChange();
        RestoreConsoleWindows();
    }
    SetActionMode(amStop);
    SoundButtonClick(nullptr);
    receivedTotal = 0;
    errorCount = 0;
    PlayCommandLineFile();
}

void TMainForm::LinkViews()
{
    // The views see of the main window only what they are handed here.
    if (PositionForm)
        PositionForm->soundEnabled = [this] { return soundEnabled && !priming_; };
    if (StatisticForm) {
        StatisticForm->visualShown = [this] { return VisualCheckBox->isChecked(); };
        StatisticForm->recordingName = [this] {
            const QString label = FileLabel->text();
            return label.isEmpty() ? label : QFileInfo(label).absoluteFilePath();
        };
    }
    if (VisualForm) {
        VisualForm->profileShown = [this] { return ProfileCheckBox->isChecked(); };
        VisualForm->deviceName = [this] { return DeviceLabel->text(); };
        VisualForm->fileName = [this] { return FileLabel->text(); };
    }
    if (TimerForm)
        TimerForm->SetScheduleActions([this] { ScheduledRecordStart(); }, [this] { ScheduledRecordStop(); });
}

void TMainForm::PlayCommandLineFile()
{
    const QString& arg = commandLineFile;
    if (arg.isEmpty())
        return;
    // The protocol switch comes first: its handler names the default file,
    // which must not replace the file named here.
    (commandLineBinr ? BINRRadioButton : NMEARadioButton)->setChecked(true);
    if (TakeFileName(arg))
        PlayButtonClick(nullptr);
}

bool TMainForm::TakeFileName(const QString& path)
{
    const QFileInfo info(path);
    if (path.contains(QLatin1Char('/')) && ::chdir(QFile::encodeName(info.absolutePath()).constData()) != 0) {
        InfoLabel->setText(QStringLiteral("Cannot enter folder ") + info.absolutePath() + QStringLiteral(": ")
                           + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    FileLabel->setText(info.fileName());
    return true;
}

// ---------------------------------------------------------------- shut-down

void TMainForm::closeEvent(QCloseEvent* event)
{
    ShutDown();
    QWidget::closeEvent(event);
}

void TMainForm::ShutDown()
{
    if (!shutDown_) {
        shutDown_ = true;
        if (mode == amSync || mode == amRecord || mode == amWatch || mode == amPlay || mode == amFastPlay || mode == amPause)
            StopButtonClick(nullptr);
        WatchTimer->stop();
        SynchroTimer->stop();
    }
    JoinCycles();
}

void TMainForm::JoinCycles()
{
    bool deferred = false;
    const std::vector<TReadCycle*> cycles = liveCycles_;
    for (TReadCycle* cycle : cycles)
        cycle->RequestStop();
    for (TReadCycle* cycle : cycles) {
        if (cycle->InHandOff()) {
            // It waits for the call we are inside: it ends once we return.
            deferred = true;
            continue;
        }
        // A thread blocked in its hand-off to this thread needs that call
        // served (it returns at once after a stop request); nothing else is.
        while (!cycle->wait(5))
            QCoreApplication::sendPostedEvents(cycle, QEvent::MetaCall);
        ReapCycle(cycle);
    }
    if (deferred)
        QMetaObject::invokeMethod(this, [this] { JoinCycles(); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------- settings

// The stored values of the panel, in the order they are read. Each key is
// named here once, for load and save.
struct TMainForm::StoredValue {
    const char* key;
    int low;
    int high;
    std::function<int()> get;
    std::function<void(int)> set;
};

std::vector<TMainForm::StoredValue> TMainForm::StoredValues()
{
    std::vector<StoredValue> values = {
        {"Left", -kPositionLimit, kPositionLimit, [this] { return x(); }, [this](int v) { move(v, y()); }},
        // The switches below place their views beside the panel: the panel
        // is settled as soon as its position is read.
        {"Top", -kPositionLimit, kPositionLimit, [this] { return y(); },
         [this](int v) { move(x(), v); KeepTitleStripOnScreen(); }},
        {"BaudComboBox", 0, int(kBaudRates.size()) - 1, [this] { return BaudComboBox->currentIndex(); },
         [this](int v) { BaudComboBox->setCurrentIndex(v); }},
    };
    const std::pair<const char*, QAbstractButton*> switches[] = {
        {"BINRRadioButton", BINRRadioButton},       {"NMEARadioButton", NMEARadioButton},
        {"PositionCheckBox", PositionCheckBox},     {"StatisticCheckBox", StatisticCheckBox},
        {"SatellitesCheckBox", SatellitesCheckBox}, {"VisualCheckBox", VisualCheckBox},
        {"ProfileCheckBox", ProfileCheckBox},
    };
    for (const auto& [key, button] : switches) {
        values.push_back({key, 0, 1,
                          [this, button] {
                              // A view shown for one run only keeps its stored state.
                              const auto once = oneOffViews_.find(button);
                              return int(once != oneOffViews_.end() ? once->second : button->isChecked());
                          },
                          [button](int v) { button->setChecked(v == 1); }});
    }
    values.push_back({"soundEnabled", 0, 1, [this] { return int(soundEnabled); }, [this](int v) { soundEnabled = v == 1; }});
    values.push_back({"_02CheckBox", 0, 1, [this] { return int(_02CheckBox->isChecked()); },
                      [this](int v) { _02CheckBox->setChecked(v == 1); }});
    return values;
}

void TMainForm::LoadSettings()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    // Applied one at a time; the first value that cannot be read ends the
    // reading and the defaults take over (the position read so far stays).
    bool ok = stored != nullptr;
    if (ok) {
        for (const StoredValue& value : StoredValues()) {
            int v = 0;
            ok = ReadSetting(*stored, value.key, value.low, value.high, &v);
            if (!ok)
                break;
            value.set(v);
        }
    }
    _02CheckBox->setEnabled(!NMEARadioButton->isChecked());
    if (!ok)
        ApplyDefaultSettings();
    if (stored) {
        ReadWeekRollovers(*stored);
        // A key of its own, outside the chain above: a settings file from
        // before the option still reads whole.
        LoadMultiGnssSetting(*stored);
    }
    KeepTitleStripOnScreen();
}

void TMainForm::SelectStoredPort()
{
    // A port that is not offered now (unplugged, held by another program)
    // leaves the list's own choice.
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    const QVariant port = stored->value(kPortKey);
    if (port.typeId() != QMetaType::QString)
        return;
    const int index = PortComboBox->findText(port.toString(), Qt::MatchExactly);
    if (index >= 0)
        PortComboBox->setCurrentIndex(index);
}

void TMainForm::ShowViewOnce(QCheckBox* view)
{
    if (!view || view->isChecked())
        return;
    oneOffViews_.emplace(view, false);
    view->setChecked(true);
}

void TMainForm::KeepTitleStripOnScreen()
{
    // A position stored on a screen that is gone would leave a frameless
    // panel nobody can reach or drag back.
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return;
    // Only a strip that is whole on the screens can be grabbed and dragged
    // back; a few visible pixels do not count.
    QRegion desktop;
    for (const QScreen* screen : screens)
        desktop += screen->geometry();
    const QRect strip(pos(), QSize(width(), kTopPanelHeight));
    if (!QRegion(strip).subtracted(desktop).isEmpty())
        move(kDesignPosition);
}

void TMainForm::ApplyDefaultSettings()
{
    BaudComboBox->setCurrentIndex(0);
    NMEARadioButton->setChecked(true);
    for (QCheckBox* box : {PositionCheckBox, StatisticCheckBox, SatellitesCheckBox, VisualCheckBox, ProfileCheckBox})
        box->setChecked(false);
    soundEnabled = false;
    _02CheckBox->setChecked(true);
    _02CheckBox->setEnabled(false);
}

// Each change is written as it happens, so that a crash or a kill keeps the
// settings of that moment: the keys and values a clean exit would write
// then. Changes made together (a protocol switch and its file name, a
// one-off view) make one write, once the event loop comes round.
void TMainForm::SettingChanged()
{
    if (headless || !settingsLoaded_ || settingsSavePending_)
        return;
    settingsSavePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            settingsSavePending_ = false;
            SaveSettings();
        },
        Qt::QueuedConnection);
}

void TMainForm::StoreSettingsOnChange()
{
    settingsLoaded_ = true;
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             BINRRadioButton, NMEARadioButton, PositionCheckBox, StatisticCheckBox, SatellitesCheckBox, VisualCheckBox,
             ProfileCheckBox, _02CheckBox})
        connect(b, &QAbstractButton::toggled, this, &TMainForm::SettingChanged);
    // A view switched by the user after a one-off show is read once the
    // one-off mark is gone: the write waits for the event loop.
    connect(BaudComboBox, &QComboBox::currentIndexChanged, this, &TMainForm::SettingChanged);
    connect(PortComboBox, &QComboBox::currentIndexChanged, this, &TMainForm::SettingChanged);
    if (QAction* reconnect = TitleMenu()->findChild<QAction*>(QStringLiteral("ReconnectAction")))
        connect(reconnect, &QAction::toggled, this, &TMainForm::SettingChanged);
}

void TMainForm::SaveSettings()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    for (const StoredValue& value : StoredValues())
        stored->setValue(value.key, value.get());
    // With the receiver unplugged the list is empty: the stored port stays.
    if (!PortComboBox->currentText().isEmpty())
        stored->setValue(kPortKey, PortComboBox->currentText());
    SaveMultiGnssSetting(*stored);
    stored->sync();
    SaveLiveSettings(*this);
}

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

void TMainForm::TopPanelMouseDown(int x, int y)
{
    dragging = true;
    dragX = x;
    dragY = y;
}

void TMainForm::TopPanelMouseMove(int x, int y)
{
    if (!dragging)
        return;
    const int dx = x - dragX;
    const int dy = y - dragY;
    move(pos() + QPoint(dx, dy));
    MoveViews(dx, dy);
}

void TMainForm::TopPanelMouseUp()
{
    if (!dragging)
        return;
    dragging = false;
    SettingChanged();
    emit PanelPlaced();
}

QMenu* TMainForm::TitleMenu()
{
    if (!titleMenu_)
        titleMenu_ = new QMenu(this);
    return titleMenu_;
}

void TMainForm::MoveViews(int dx, int dy)
{
    for (QWidget* view : std::initializer_list<QWidget*>{PositionForm, StatisticForm, SatellitesForm, VisualForm, ProfileForm})
        if (view)
            view->move(view->pos() + QPoint(dx, dy));
}

// ---------------------------------------------------------------- view switches

void TMainForm::PositionCheckBoxClick()
{
    if (!PositionForm)
        return;
    const int h = PositionForm->height();
    if (PositionCheckBox->isChecked()) {
        PositionForm->move(x(), y() + height());
        if (StatisticForm)
            StatisticForm->move(StatisticForm->x(), StatisticForm->y() + h);
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() + h);
        PositionForm->show();
    } else {
        PositionForm->hide();
        if (StatisticForm)
            StatisticForm->move(StatisticForm->x(), StatisticForm->y() - h);
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() - h);
    }
    if (BINRRadioButton->isChecked() && mode == amRecord)
        SendPositionCommands(PositionCheckBox->isChecked());
    PlaceProfile();
}

void TMainForm::StatisticCheckBoxClick()
{
    if (!StatisticForm)
        return;
    const int h = StatisticForm->height();
    if (StatisticCheckBox->isChecked()) {
        int top = y() + height();
        if (PositionCheckBox->isChecked() && PositionForm)
            top += PositionForm->height();
        StatisticForm->move(x(), top);
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() + h);
        StatisticForm->show();
        StatisticForm->ResetStatistics();
    } else {
        StatisticForm->hide();
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() - h);
    }
    PlaceProfile();
}

void TMainForm::SatellitesCheckBoxClick()
{
    if (!SatellitesForm)
        return;
    if (SatellitesCheckBox->isChecked()) {
        int top = y() + height();
        if (PositionCheckBox->isChecked() && PositionForm)
            top += PositionForm->height();
        if (StatisticCheckBox->isChecked() && StatisticForm)
            top += StatisticForm->height();
        SatellitesForm->move(x(), top);
        SatellitesForm->show();
    } else {
        SatellitesForm->hide();
    }
    PlaceProfile();
}

void TMainForm::VisualCheckBoxClick()
{
    if (!VisualForm)
        return;
    if (VisualCheckBox->isChecked()) {
        VisualForm->move(x() + width(), y());
        VisualForm->show();
    } else {
        VisualForm->hide();
    }
}

void TMainForm::ProfileCheckBoxClick()
{
    if (!ProfileForm)
        return;
    if (ProfileCheckBox->isChecked()) {
        PlaceProfile();
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
    if (!TimerForm)
        return;
    TimerForm->move(x() + width() / 2 - TimerForm->width() / 2, y());
    TimerForm->ShowModal();
    const bool armed = TimerForm && TimerForm->TimerArmed;
    TimerLabel->setText(armed ? QStringLiteral("timer on") : QStringLiteral("timer off"));
    SetTextColour(TimerLabel, armed ? kLime : kRed);
}

void TMainForm::TitleImageClick()
{
    if (!AboutForm)
        return;
    AboutForm->move(x() - AboutForm->width(), y());
    AboutForm->exec();
}

void TMainForm::CloseSpeedButtonClick() { close(); }

void TMainForm::MinimizeSpeedButtonClick() { showMinimized(); }
