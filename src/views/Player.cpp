// The PLAYER window (Player.h): its controls, settings and keys, and the
// paced playback it drives through the panel. The timeline and the index
// are in PlayerTimeline.cpp.
#include "Player.h"

#include "PanelLink.h"
#include "SettingsFile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMoveEvent>
#include <QPushButton>
#include <QSettings>
#include <memory>
#include <QSlider>
#include <QSpinBox>

#include <cstdio>

namespace {

constexpr int kWidth = 421;   // the panel's width: it sits right above it
constexpr int kHeight = 136;
constexpr int kSkipDefaultS = 10;
constexpr int kSkipMaxS = 3600;
constexpr int kOneTimesIndex = 2;   // "1" in the speed list

// Settings keys of the window, each written once here.
constexpr const char* kLeftKey = "PlayerLeft";
constexpr const char* kTopKey = "PlayerTop";
constexpr const char* kVisibleKey = "PlayerVisible";
constexpr const char* kSpeedKey = "PlayerSpeed";
constexpr const char* kSkipKey = "PlayerSkipGaps";
constexpr const char* kSkipSecondsKey = "PlayerSkipSeconds";
constexpr const char* kLoopKey = "PlayerLoop";
constexpr int kPositionLimit = 100000;
constexpr int64_t kKeySeekMs = 10 * kMsPerSecond;   // Shift+arrow
const QString kPlayText = QStringLiteral(">");
const QString kPauseText = QStringLiteral("||");

bool PlaybackMode(uint32_t mode) { return mode == amPlay || mode == amFastPlay || mode == amPause; }

// An integer setting within [low, high], or fallback.
int ReadSetting(const QSettings& s, const char* key, int low, int high, int fallback)
{
    bool ok = false;
    const int v = s.value(key).toString().trimmed().toInt(&ok);
    return ok && v >= low && v <= high ? v : fallback;
}

QLabel* MakeLabel(QWidget* parent, const QRect& geometry, Qt::Alignment align, bool bold = false)
{
    auto* label = new QLabel(parent);
    label->setGeometry(geometry);
    label->setAlignment(align | Qt::AlignVCenter);
    label->setFont(UiFont(bold));
    return label;
}

// One line per delivery: file offset, due and sent time on the replay
// clock (microseconds).
void WritePaceLog(const QString& name, const std::vector<TPacedCycle::Sent>& sent)
{
    std::FILE* f = std::fopen(QFile::encodeName(name).constData(), "w");
    if (!f)
        return;
    for (const TPacedCycle::Sent& s : sent)
        std::fprintf(f, "%lld %lld %lld\n", static_cast<long long>(s.offset), static_cast<long long>(s.dueUs),
                     static_cast<long long>(s.sentUs));
    std::fclose(f);
}

} // namespace

// ---------------------------------------------------------------- window

TPlayerForm::TPlayerForm(QWidget* parent)
    : TViewForm(kWidth, kHeight, QRect(2, 2, kWidth - 5, 17), QString(80, QLatin1Char(' ')) + "PLAYER", parent)
{
    BuildControls();
}

void TPlayerForm::SetPanel(PanelLink* panel)
{
    panel_ = panel;
    if (!panel_)
        return;
    panelWindow_ = panel_->PanelWindow();
    panel_->PanelWindow()->installEventFilter(this);
    panelPos_ = panel_->PanelWindow()->pos();
    panel_->OnModeChanged(this, [this] { UpdateToggle(); });
}

TPlayerForm::~TPlayerForm()
{
    bench_->SetHandlers({});   // the replay may outlive the window by a moment
    if (worker_) {
        worker_->requestInterruption();
        worker_->wait();
    }
    if (settingsLoaded_)
        SaveSettings();
}

void TPlayerForm::BuildControls()
{
    TimelineSlider = new TTimelineSlider(this);
    TimelineSlider->setGeometry(8, 24, kWidth - 16, 18);
    TimelineSlider->setRange(0, 0);
    TimelineSlider->setSingleStep(kTimelineSteps / 100);
    TimelineSlider->setPageStep(kTimelineSteps / 10);
    TimelineSlider->setFocusPolicy(Qt::NoFocus);
    FirstLabel = MakeLabel(this, QRect(8, 44, 110, 14), Qt::AlignLeft);
    CurrentLabel = MakeLabel(this, QRect(118, 44, 136, 14), Qt::AlignHCenter, true);
    LastLabel = MakeLabel(this, QRect(kWidth - 118, 44, 110, 14), Qt::AlignRight);
    ElapsedLabel = MakeLabel(this, QRect(8, 60, 150, 14), Qt::AlignLeft);
    RemainingLabel = MakeLabel(this, QRect(kWidth - 158, 60, 150, 14), Qt::AlignRight);

    BackButton = new QPushButton(QStringLiteral("|<"), this);
    BackButton->setGeometry(8, 80, 30, 22);
    BackButton->setToolTip(QStringLiteral("One epoch back"));
    PlayButton = new QPushButton(QStringLiteral(">"), this);
    PlayButton->setGeometry(40, 80, 30, 22);
    PlayButton->setToolTip(QStringLiteral("Play at the recording's pace / pause (Space)"));
    ForwardButton = new QPushButton(QStringLiteral(">|"), this);
    ForwardButton->setGeometry(72, 80, 30, 22);
    ForwardButton->setToolTip(QStringLiteral("One epoch forward"));
    SpeedComboBox = new QComboBox(this);
    SpeedComboBox->setGeometry(108, 80, 56, 22);
    for (const char* s : {"1/4x", "1/2x", "1x", "2x", "4x", "8x", "16x", "64x", "max"})
        SpeedComboBox->addItem(QString::fromLatin1(s));
    SpeedComboBox->setCurrentIndex(kOneTimesIndex);
    SpeedComboBox->setToolTip(QStringLiteral("Speed, times the recording's pace ([ and ])"));
    TimeEdit = new QLineEdit(this);
    TimeEdit->setGeometry(170, 80, 64, 22);
    TimeEdit->setMaxLength(12);
    TimeEdit->setPlaceholderText(QStringLiteral("hh:mm:ss"));
    TimeEdit->setToolTip(QStringLiteral("Go to a UTC time: hh:mm:ss, hhmmss, or mm:ss in the current hour (Enter)"));
    TimeEdit->installEventFilter(this);
    LoopCheckBox = new QCheckBox(QStringLiteral("loop"), this);
    LoopCheckBox->setGeometry(kWidth - 60, 82, 52, 18);
    SkipCheckBox = new QCheckBox(QStringLiteral("skip gaps longer than"), this);
    SkipCheckBox->setGeometry(8, 108, 150, 18);
    SkipSpinBox = new QSpinBox(this);
    SkipSpinBox->setGeometry(160, 106, 60, 22);
    SkipSpinBox->setRange(1, kSkipMaxS);
    SkipSpinBox->setValue(kSkipDefaultS);
    SkipSpinBox->setSuffix(QStringLiteral(" s"));
    NoteLabel = MakeLabel(this, QRect(226, 108, kWidth - 234, 18), Qt::AlignRight);
    for (QWidget* w : std::initializer_list<QWidget*>{BackButton, PlayButton, ForwardButton, SpeedComboBox, TimeEdit,
                                                      LoopCheckBox, SkipCheckBox, SkipSpinBox})
        w->setFont(UiFont());
    // The keys belong to the window (Space, arrows, Home/End, [ ]): only the
    // boxes that take typing take the focus.
    for (QWidget* w : std::initializer_list<QWidget*>{BackButton, PlayButton, ForwardButton, SpeedComboBox,
                                                      LoopCheckBox, SkipCheckBox})
        w->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);

    connect(BackButton, &QPushButton::clicked, this, &TPlayerForm::StepBack);
    connect(ForwardButton, &QPushButton::clicked, this, &TPlayerForm::StepForward);
    connect(PlayButton, &QPushButton::clicked, this, &TPlayerForm::PlayClick);
    connect(SpeedComboBox, &QComboBox::currentIndexChanged, this, &TPlayerForm::OptionsChanged);
    connect(SkipCheckBox, &QCheckBox::toggled, this, &TPlayerForm::OptionsChanged);
    connect(SkipSpinBox, &QSpinBox::valueChanged, this, &TPlayerForm::OptionsChanged);
    connect(SkipCheckBox, &QCheckBox::toggled, this, &TPlayerForm::UpdateGapMarks);
    connect(SkipSpinBox, &QSpinBox::valueChanged, this, &TPlayerForm::UpdateGapMarks);
    connect(LoopCheckBox, &QCheckBox::toggled, this, &TPlayerForm::OptionsChanged);
    connect(TimeEdit, &QLineEdit::returnPressed, this, &TPlayerForm::TypedTime);
    connect(TimelineSlider, &QSlider::valueChanged, this, &TPlayerForm::SliderMoved);
    // A drag seeks once, where it is let go; a click on the groove at once,
    // to the clicked time; the wheel by a hundredth.
    connect(TimelineSlider, &QSlider::sliderReleased, this, [this] { SeekSlider(TimelineSlider->value()); });
    connect(TimelineSlider, &TTimelineSlider::Clicked, this, [this](int value) { SeekSlider(value); });
    connect(TimelineSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(
                this, [this] { SeekSlider(TimelineSlider->value()); }, Qt::QueuedConnection);
    });
    ShowIndexed();
}

void TPlayerForm::AddMenuItem()
{
    if (panel_ && !menuItemAdded_) {
        // First in the menu: the way into the recordings, before the live
        // sources' items.
        QMenu* menu = panel_->TitleMenu();
        auto* item = new QAction(QStringLiteral("Player..."), menu);
        connect(item, &QAction::triggered, this, &TPlayerForm::ShowBesidePanel);
        menu->insertAction(menu->actions().value(0, nullptr), item);
        menuItemAdded_ = true;
    }
}

void TPlayerForm::ShowBesidePanel()
{
    if (!isVisible() && panel_ && !placed_)
        move(panel_->PanelWindow()->x(), panel_->PanelWindow()->y() - height());
    placed_ = true;
    show();
    raise();
    IndexCurrentFile();
}

bool TPlayerForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TimeEdit) {
        // Typing replaces the box's time: all of it is selected once the
        // click that gave the focus is through.
        if (event->type() == QEvent::FocusIn)
            QTimer::singleShot(0, TimeEdit, &QLineEdit::selectAll);
        else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            setFocus();
        return false;
    }
    // Shown or hidden by itself, not with the panel going away: the state a
    // clean exit would store.
    // Not asked of the panel link: this also runs while the panel is being
    // destroyed (its children hidden), when the link is gone already.
    QWidget* const panel = panelWindow_;
    if (watched == this && (event->type() == QEvent::Show || event->type() == QEvent::Hide) && panel
        && panel->isVisible())
        QMetaObject::invokeMethod(this, [this] { SaveSettings(); }, Qt::QueuedConnection);
    if (watched == panel && panel) {
        if (event->type() == QEvent::Move) {
            // Follow the panel as the views do.
            const QPoint delta = panel->pos() - panelPos_;
            panelPos_ = panel->pos();
            if (!delta.isNull())
                move(pos() + delta);
        } else if (event->type() == QEvent::Show && !settingsLoaded_ && !panel_->Headless()) {
            LoadSettings();
        }
    }
    return TViewForm::eventFilter(watched, event);
}

void TPlayerForm::LoadSettings()
{
    settingsLoaded_ = true;
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    const QSettings& s = *stored;
    SpeedComboBox->setCurrentIndex(ReadSetting(s, kSpeedKey, 0, kMaxSpeedIndex, kOneTimesIndex));
    SkipCheckBox->setChecked(ReadSetting(s, kSkipKey, 0, 1, 0) == 1);
    SkipSpinBox->setValue(ReadSetting(s, kSkipSecondsKey, 1, kSkipMaxS, kSkipDefaultS));
    LoopCheckBox->setChecked(ReadSetting(s, kLoopKey, 0, 1, 0) == 1);
    // The place once the panel has taken its own from the settings.
    QMetaObject::invokeMethod(this, &TPlayerForm::LoadPlace, Qt::QueuedConnection);
    StoreSettingsOnChange();
}

void TPlayerForm::StoreSettingsOnChange()
{
    // Written as they change, so that a crash or a kill keeps them; the
    // place once a drag of the panel ends, not at every step of it.
    const auto store = [this] { SaveSettings(); };
    connect(SpeedComboBox, &QComboBox::currentIndexChanged, this, store);
    connect(SkipCheckBox, &QCheckBox::toggled, this, store);
    connect(SkipSpinBox, &QSpinBox::valueChanged, this, store);
    connect(LoopCheckBox, &QCheckBox::toggled, this, store);
    panel_->OnPanelPlaced(this, store);
    installEventFilter(this);
}

void TPlayerForm::LoadPlace()
{
    if (!panel_)
        return;
    const QWidget* panel = panel_->PanelWindow();
    panelPos_ = panel->pos();
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    const QSettings& s = *stored;
    if (s.contains(kLeftKey) && s.contains(kTopKey)) {
        move(ReadSetting(s, kLeftKey, -kPositionLimit, kPositionLimit, panel->x()),
             ReadSetting(s, kTopKey, -kPositionLimit, kPositionLimit, panel->y() - height()));
        placed_ = true;
    }
    if (ReadSetting(s, kVisibleKey, 0, 1, 0) == 1)
        ShowBesidePanel();
}

void TPlayerForm::SaveSettings() const
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    QSettings& s = *stored;
    s.setValue(kLeftKey, x());
    s.setValue(kTopKey, y());
    s.setValue(kVisibleKey, int(isVisible()));
    s.setValue(kSpeedKey, SpeedComboBox->currentIndex());
    s.setValue(kSkipKey, int(SkipCheckBox->isChecked()));
    s.setValue(kSkipSecondsKey, SkipSpinBox->value());
    s.setValue(kLoopKey, int(LoopCheckBox->isChecked()));
    s.sync();
}

void TPlayerForm::UpdateToggle()
{
    const bool playing = BenchOpen() ? bench_->Playing() : Cycle() && panel_->Mode() != amPause;
    PlayButton->setText(playing ? kPauseText : kPlayText);
}

void TPlayerForm::Note(const QString& text) { NoteLabel->setText(text); }

// ---------------------------------------------------------------- playback

PaceOptions TPlayerForm::Options() const
{
    PaceOptions o;
    const int speed = SpeedComboBox->currentIndex();
    o.max = speed >= kMaxSpeedIndex;
    o.speed = o.max ? kMaxSpeed : kSpeeds[std::clamp(speed, 0, kMaxSpeedIndex - 1)];
    o.skipGapsMs = SkipCheckBox->isChecked() ? int64_t(SkipSpinBox->value()) * kMsPerSecond : 0;
    o.bytesPerSecond = panel_ ? std::max(panel_->LineRate() / 10, 1) : 960;
    return o;
}

void TPlayerForm::SetSpeed(double speed)
{
    for (int i = 0; i < kMaxSpeedIndex; ++i)
        if (kSpeeds[i] == speed) {
            SpeedComboBox->setCurrentIndex(i);
            return;
        }
}

TPacedCycle* TPlayerForm::Cycle() const
{
    return cycle_ && panel_ && panel_->ReadCycle() == cycle_ && PlaybackMode(panel_->Mode()) ? cycle_.data() : nullptr;
}

void TPlayerForm::OptionsChanged()
{
    UpdateToggle();
    if (BenchOpen())
        bench_->SetSpeed(BenchSpeed());
    if (TPacedCycle* cycle = Cycle())
        cycle->SetOptions(Options(), LoopCheckBox->isChecked());
}

bool TPlayerForm::StartPaced(size_t epoch, bool paused)
{
    PanelLink* const form = panel_;
    if (!form)
        return false;
    if (PlaybackMode(form->Mode()))
        form->StopRequest();
    if (form->Mode() != amStop)
        return false;
    if (!IndexCurrentFile()) {
        // A test folder that cannot be played has said why.
        if (!IsTestFolder(QFileInfo(form->FileName()).absoluteFilePath()))
            form->SetStatusText(QStringLiteral("File open error"));
        return false;
    }
    if (BenchOpen()) {
        if (!paused)
            bench_->Play();
        ShowBenchPosition();
        return true;
    }
    if (!IndexReady()) {
        startPending_ = true;
        pendingEpoch_ = epoch;
        pendingPaused_ = paused;
        return true;
    }
    PacedStart start;
    start.fileName = indexedFile_;
    start.index = index_;
    start.options = Options();
    start.loop = LoopCheckBox->isChecked();
    start.epoch = epoch;
    start.clock = clock;
    start.times = times_;
    Note(!timesProblem_.isEmpty() ? QStringLiteral("times ignored: ") + timesProblem_
         : !times_.empty() ? QStringLiteral("receive times")
                                      : QString());

    auto self = std::make_shared<QPointer<TPacedCycle>>();
    auto current = [form, self] { return *self && form->ReadCycle() == *self && PlaybackMode(form->Mode()); };
    PacedCallbacks paced;
    paced.seekReset = [form, current](int64_t offset, const std::vector<uint8_t>& before) {
        if (current())
            form->SeekReset(offset, before);
    };
    paced.position = [this, current](size_t e, size_t count) {
        if (!current())
            return;
        ShowPosition(e, count);
        ++positionsShown;
    };
    // The pace benchmark names a file for the delivery times.
    const QString paceLog = qEnvironmentVariable("KESTROVA_PACE_LOG");
    paced.ended = [this, self, paceLog] {
        if (!*self || (!keepDeliveryTimes && paceLog.isEmpty()))
            return;
        deliveryTimes = (*self)->DeliveryTimes();
        if (!paceLog.isEmpty())
            WritePaceLog(paceLog, deliveryTimes);
    };
    const bool made = form->PlayCycle(indexedFile_, [&](PlaybackCallbacks callbacks) {
        auto* cycle = new TPacedCycle(std::move(start), std::move(callbacks), std::move(paced));
        cycle->KeepDeliveryTimes(keepDeliveryTimes || !paceLog.isEmpty());
        // Paused from its first block on: it shows the epoch and waits.
        if (paused)
            cycle->Suspend();
        *self = cycle;
        return cycle;
    });
    if (!made)
        return false;
    cycle_ = *self;
    if (paused) {
        form->PauseRequest();
        cycle_->StepForward();
    }
    if (!timesProblem_.isEmpty())
        form->SetStatusText(QStringLiteral("Times file ignored: ") + timesProblem_);
    return true;
}

void TPlayerForm::PlayClick()
{
    PanelLink* const form = panel_;
    if (!form)
        return;
    if (BenchOpen()) {
        bench_->Playing() ? bench_->Pause() : bench_->Play();
        ShowBenchPosition();
        return;
    }
    if (Cycle()) {
        if (form->Mode() == amPause)
            form->PlayRequest();
        else
            form->PauseRequest();
    } else {
        StartPaced(current_, false);
    }
    UpdateToggle();
}

void TPlayerForm::SeekTo(size_t epoch)
{
    const size_t count = std::max(EpochCount(), scale_.Count());
    if (count == 0)
        return;
    epoch = std::min(epoch, count - 1);
    if (TPacedCycle* cycle = Cycle())
        cycle->SeekTo(epoch);
    ShowPosition(epoch, count);
}

void TPlayerForm::SeekByMs(int64_t ms)
{
    if (BenchOpen()) {
        bench_->Seek(bench_->PositionMs() + ms);
        ShowBenchPosition();
        return;
    }
    if (scale_.Count() == 0)
        return;
    const int64_t target = std::max<int64_t>(scale_.OffsetMs(current_) + ms, 0);
    size_t epoch = scale_.EpochAtOffset(target);
    if (ms < 0 && epoch > 0 && scale_.OffsetMs(epoch) > target)
        --epoch;
    SeekTo(epoch);
}

void TPlayerForm::StepForward()
{
    if (BenchOpen()) {
        bench_->Step(1);
        ShowBenchPosition();
        return;
    }
    TPacedCycle* cycle = Cycle();
    if (!cycle) {
        StartPaced(current_, true);
        return;
    }
    if (panel_->Mode() != amPause)
        panel_->PauseRequest();
    cycle->StepForward();
}

void TPlayerForm::StepBack()
{
    if (BenchOpen()) {
        bench_->Step(-1);
        ShowBenchPosition();
        return;
    }
    TPacedCycle* cycle = Cycle();
    if (!cycle) {
        StartPaced(current_ > 0 ? current_ - 1 : 0, true);
        return;
    }
    if (panel_->Mode() != amPause)
        panel_->PauseRequest();
    cycle->StepBack();
}

void TPlayerForm::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Space:
        PlayClick();
        break;
    case Qt::Key_Left:
        shift ? SeekByMs(-kKeySeekMs) : StepBack();
        break;
    case Qt::Key_Right:
        shift ? SeekByMs(kKeySeekMs) : StepForward();
        break;
    case Qt::Key_Home:
        BenchOpen() ? SeekSlider(0) : SeekTo(0);
        break;
    case Qt::Key_End:
        if (BenchOpen())
            SeekSlider(kTimelineSteps);
        else
            SeekTo(std::max(EpochCount(), scale_.Count()) - 1);   // SeekTo keeps within the file
        break;
    case Qt::Key_BracketLeft:
        SpeedComboBox->setCurrentIndex(std::max(SpeedComboBox->currentIndex() - 1, 0));
        break;
    case Qt::Key_BracketRight:
        SpeedComboBox->setCurrentIndex(std::min(SpeedComboBox->currentIndex() + 1, kMaxSpeedIndex));
        break;
    default:
        TViewForm::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TPlayerForm::TypedTime()
{
    if (BenchOpen()) {
        if (SeekBenchTime(TimeEdit->text()))
            setFocus();
        return;
    }
    // "mm:ss" is read in the hour of the epoch shown (of the first one
    // before any is shown).
    int64_t now = EpochTime(current_);
    if (now == kNoTime)
        now = EpochTime(0);
    const int64_t ms = TypedTimeOfDayMs(TimeEdit->text().toStdString(), now == kNoTime ? kNoTime : now % kMsPerDay);
    if (ms == kNoTime) {
        Note(QStringLiteral("time as hh:mm:ss or mm:ss"));
        return;
    }
    const size_t epoch = EpochAtTimeOfDay(int(ms));
    if (epoch >= EpochCount()) {
        Note(QStringLiteral("time not in the file"));
        return;
    }
    Note(QString());
    SeekTo(epoch);
    setFocus();
}
