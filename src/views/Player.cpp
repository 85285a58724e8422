// The PLAYER window (Player.h): its controls and keys, and the
// paced playback it drives through the panel. The timeline and the index
// are in PlayerTimeline.cpp.
#include "Player.h"

#include "PanelLink.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMoveEvent>
#include <QPushButton>
#include <memory>
#include <QSlider>
#include <QSpinBox>

#include <cstdio>

namespace {

constexpr int kWidth = 421;   // the panel's width: it sits right above it
constexpr int kHeight = 136;

constexpr int64_t kKeySeekMs = 10 * kMsPerSecond;   // Shift+arrow
constexpr int kProgressTickMs = 100;   // the handle's steps inside a gap
const QString kPlayText = QStringLiteral(">");
const QString kPauseText = QStringLiteral("||");

bool PlaybackMode(uint32_t mode) { return mode == amPlay || mode == amFastPlay || mode == amPause; }

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
    // Room for tenths and for "gap: 10:31 without data", centred.
    CurrentLabel = MakeLabel(this, QRect(118, 44, kWidth - 236, 14), Qt::AlignHCenter, true);
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
    connect(TimelineSlider, &TTimelineSlider::Wheeled, this, &TPlayerForm::WheelSeek);
    // Inside a gap the handle and the times move on between the epochs.
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(kProgressTickMs);
    connect(progressTimer_, &QTimer::timeout, this, &TPlayerForm::ShowProgress);
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
        TimeBoxEvent(event);
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

void TPlayerForm::TimeBoxEvent(QEvent* event)
{
    // Typing replaces the box's time: a click selects all of it (unless it
    // dragged over a part), whether it gave the focus or the box had it
    // already, and whichever of the focus, the press and the window's
    // activation came first; so does the keyboard's focus.
    switch (event->type()) {
    case QEvent::FocusIn:
        QTimer::singleShot(0, TimeEdit, &QLineEdit::selectAll);
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && !TimeEdit->hasSelectedText())
            TimeEdit->selectAll();
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            setFocus();
        break;
    default:
        break;
    }
}

void TPlayerForm::UpdateToggle()
{
    const bool playing = BenchOpen() ? bench_->Playing() : Cycle() && panel_->Mode() != amPause;
    PlayButton->setText(playing ? kPauseText : kPlayText);
    const bool paced = !BenchOpen() && Cycle();
    if (progressTimer_ && paced != progressTimer_->isActive())
        paced ? progressTimer_->start() : progressTimer_->stop();
}

void TPlayerForm::Note(const QString& text)
{
    note_ = text;
    if (!gapShown_)
        NoteLabel->setText(text);
}

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
    // At the last epoch a play starts again from the first.
    const size_t count = std::max(EpochCount(), scale_.Count());
    const bool atEnd = count > 0 && current_ + 1 >= count;
    if (TPacedCycle* cycle = Cycle()) {
        if (form->Mode() == amPause) {
            if (atEnd) {
                cycle->SeekTo(0);
                current_ = 0;
            }
            form->PlayRequest();
        } else {
            form->PauseRequest();
        }
    } else {
        StartPaced(atEnd ? 0 : current_, false);
    }
    UpdateToggle();
}

void TPlayerForm::SeekTo(size_t epoch)
{
    const size_t count = std::max(EpochCount(), scale_.Count());
    if (count == 0)
        return;
    epoch = std::min(epoch, count - 1);
    // From STOP a seek shows the epoch in the views and waits in PAUSE,
    // as a seek while paused does.
    if (TPacedCycle* cycle = Cycle())
        cycle->SeekTo(epoch);
    else if (panel_ && panel_->Mode() == amStop && IndexReady())
        StartPaced(epoch, true);
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
    case Qt::Key_S:
        SkipGap();
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
    // A refused time stays, all selected: the next typing replaces it.
    if (ms == kNoTime) {
        Note(QStringLiteral("time as hh:mm:ss or mm:ss"));
        TimeEdit->selectAll();
        return;
    }
    const size_t epoch = EpochAtTimeOfDay(int(ms));
    if (epoch >= EpochCount()) {
        Note(QStringLiteral("time not in the file"));
        TimeEdit->selectAll();
        return;
    }
    Note(QString());
    SeekTo(epoch);
    setFocus();
}
