// The PLAYER's timeline (Player.h): indexing the file on a worker, the
// slider with its gap marks, and the texts of the epoch shown.
#include "Player.h"

#include "PanelLink.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>

#include <cstdio>
#include <mutex>

namespace {

constexpr size_t kIndexBlock = size_t(1) << 20;
// Gaps marked on the groove when "skip gaps" is off: this many epoch intervals.
constexpr int64_t kGapMarkIntervals = 10;
constexpr int kWheelNotch = 120;   // QWheelEvent's angle delta of one notch
constexpr int kWheelParts = 100;   // a notch moves a hundredth of the recording

} // namespace

// ---------------------------------------------------------------- index worker

TIndexWorker::TIndexWorker(const QString& fileName, std::shared_ptr<SharedEpochIndex> index, QObject* parent)
    : QThread(parent), fileName_(fileName), index_(std::move(index))
{
}

void TIndexWorker::run()
{
    std::FILE* f = std::fopen(QFile::encodeName(fileName_).constData(), "rb");
    if (!f)
        return;
    const int64_t size = QFileInfo(fileName_).size();
    std::vector<uint8_t> block(kIndexBlock);
    int64_t done = 0;
    int shown = -1;
    while (!isInterruptionRequested()) {
        const size_t got = std::fread(block.data(), 1, block.size(), f);
        if (got == 0)
            break;
        {
            std::unique_lock lock(index_->lock);
            index_->index.Feed(block.data(), got);
        }
        done += int64_t(got);
        const int percent = size > 0 ? int(std::min<int64_t>(done * 100 / size, 100)) : 100;
        if (percent != shown)
            emit Progress(shown = percent);
    }
    std::fclose(f);
    if (!isInterruptionRequested())
        times_ = ReadReceiveTimes(QFile::encodeName(fileName_).toStdString() + ".times", done);
}

// ---------------------------------------------------------------- timeline

TTimelineSlider::TTimelineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TTimelineSlider::SetGapMarks(std::vector<std::pair<int, int>> marks)
{
    if (marks != gapMarks_) {
        gapMarks_ = std::move(marks);
        update();
    }
}

void TTimelineSlider::mousePressEvent(QMouseEvent* event)
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || maximum() <= minimum()
        || style()->hitTestComplexControl(QStyle::CC_Slider, &opt, at, this) == QStyle::SC_SliderHandle) {
        QSlider::mousePressEvent(event);
        return;
    }
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = std::max(groove.width() - handle.width(), 1);
    const int value = QStyle::sliderValueFromPosition(minimum(), maximum(), at.x() - groove.x() - handle.width() / 2,
                                                      span, opt.upsideDown);
    setValue(value);
    event->accept();
    emit Clicked(value);
}

void TTimelineSlider::wheelEvent(QWheelEvent* event)
{
    // QSlider's own wheel moves the handle by three single steps without
    // seeking; here a notch is a hundredth of the recording, and a seek.
    const QPoint delta = event->angleDelta();
    wheelRest_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = wheelRest_ / kWheelNotch;
    wheelRest_ -= notches * kWheelNotch;
    event->accept();
    if (notches != 0 && maximum() > minimum())
        emit Wheeled(notches);
}

void TTimelineSlider::paintEvent(QPaintEvent* event)
{
    QSlider::paintEvent(event);
    if (gapMarks_.empty())
        return;
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = std::max(groove.width() - handle.width(), 1);
    const int left = groove.x() + handle.width() / 2;
    QPainter painter(this);
    const QColor gap(190, 40, 40);
    for (const auto& [from, to] : gapMarks_) {
        const int x0 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), from, span);
        const int x1 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), to, span);
        painter.fillRect(QRect(x0, height() - 4, std::max(x1 - x0, 2), 3), gap);
    }
}

// ---------------------------------------------------------------- index

bool TPlayerForm::IndexCurrentFile()
{
    if (!panel_)
        return false;
    const QString file = QFileInfo(panel_->FileName()).absoluteFilePath();
    // No name on the panel reads as the current folder: that is no test.
    if (!panel_->FileName().isEmpty() && IsTestFolder(file))
        return OpenBench(file);
    CloseBench();
    const bool binr = panel_->Binr();
    // A file recorded anew under the same name is indexed anew.
    const QDateTime modified = QFileInfo(file).lastModified();
    if (file == indexedFile_ && binr == indexedBinr_ && modified == indexedModified_ && index_)
        return true;
    if (!QFileInfo(file).isFile()) {
        Note(QStringLiteral("no file"));
        return false;
    }
    if (worker_) {
        worker_->requestInterruption();
        worker_->wait();
    }
    indexedFile_ = file;
    indexedBinr_ = binr;
    indexedModified_ = modified;
    index_ = std::make_shared<SharedEpochIndex>(binr);
    times_ = ReceiveTimeList();
    timesProblem_.clear();
    scale_.Clear();
    current_ = 0;
    auto* worker = new TIndexWorker(file, index_, this);
    worker_ = worker;
    connect(worker, &TIndexWorker::Progress, this, [this](int percent) {
        if (panel_->Mode() == amStop)
            panel_->SetStatusText(QStringLiteral("Indexing... %1%").arg(percent));
    });
    connect(worker, &QThread::finished, this, [this, worker] {
        if (worker == worker_)
            IndexFinished(worker);
        worker->deleteLater();
    });
    ShowIndexed();
    worker->start();
    return true;
}

void TPlayerForm::IndexFinished(TIndexWorker* worker)
{
    worker_ = nullptr;
    ReceiveTimesRead times = worker->TakeTimes();
    timesProblem_ = QString::fromStdString(times.problem);
    times_ = std::move(times.times);
    {
        std::unique_lock lock(index_->lock);
        index_->index.Compact();
    }
    if (panel_ && panel_->Mode() == amStop)
        panel_->SetStatusText(QString());
    ShowIndexed();
    if (startPending_) {
        startPending_ = false;
        StartPaced(pendingEpoch_, pendingPaused_);
    }
}

bool TPlayerForm::IndexReady() const { return index_ && !worker_; }

bool TPlayerForm::WaitForIndex()
{
    while (worker_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return index_ != nullptr;
}

size_t TPlayerForm::EpochCount() const
{
    if (!IndexReady())
        return 0;
    std::shared_lock lock(index_->lock);
    return index_->index.Count();
}

int64_t TPlayerForm::EpochTime(size_t epoch) const
{
    if (!IndexReady())
        return kNoTime;
    std::shared_lock lock(index_->lock);
    return epoch < index_->index.Count() ? index_->index.Epochs()[epoch].timeMs : kNoTime;
}

size_t TPlayerForm::EpochAtTimeOfDay(int msOfDay) const
{
    if (!IndexReady())
        return 0;
    std::shared_lock lock(index_->lock);
    return index_->index.FirstAtOrAfterTimeOfDay(msOfDay);
}

void TPlayerForm::ShowIndexed()
{
    int64_t first = kNoTime, last = kNoTime;
    size_t count = 0;
    if (IndexReady()) {
        std::shared_lock lock(index_->lock);
        first = index_->index.FirstTime();
        last = index_->index.LastTime();
        count = index_->index.Count();
        intervalMs_ = TypicalEpochIntervalMs(index_->index);
    }
    decimals_ = count > 0 ? TimeDecimals(intervalMs_) : 0;
    FirstLabel->setText(TimeText(first));
    LastLabel->setText(TimeText(last));
    UpdateScale(count);
    const QSignalBlocker block(TimelineSlider);
    TimelineSlider->setRange(0, count > 0 ? kTimelineSteps : 0);
    ShowPosition(std::min(current_, count > 0 ? count - 1 : 0), count);
}

void TPlayerForm::UpdateScale(size_t count)
{
    if (!IndexReady()) {
        scale_.Clear();
    } else {
        std::shared_lock lock(index_->lock);
        if (index_->index.Count() == 0)
            scale_.Uniform(count, kMsPerSecond);   // paced by its bytes: a step per second of them
        else
            scale_.Update(index_->index, intervalMs_);
    }
    UpdateGapMarks();
}

int64_t TPlayerForm::GapMinMs() const
{
    return SkipCheckBox->isChecked() ? int64_t(SkipSpinBox->value()) * kMsPerSecond : kGapMarkIntervals * intervalMs_;
}

void TPlayerForm::UpdateGapMarks()
{
    const int64_t minMs = GapMinMs();
    std::vector<std::pair<int, int>> marks;
    for (const TimelineGap& gap : scale_.Gaps(minMs))
        marks.emplace_back(scale_.Position(gap.before, kTimelineSteps), scale_.Position(gap.before + 1, kTimelineSteps));
    TimelineSlider->SetGapMarks(std::move(marks));
}

size_t TPlayerForm::EpochAtSlider(int value) const { return scale_.EpochAtPosition(value, kTimelineSteps); }

void TPlayerForm::ShowPosition(size_t epoch, size_t count, int64_t sinceMs)
{
    if (count > 0 && scale_.Count() != count) {
        // A followed file grew.
        UpdateScale(count);
        const QSignalBlocker block(TimelineSlider);
        TimelineSlider->setMaximum(kTimelineSteps);
        std::shared_lock lock(index_->lock);
        LastLabel->setText(TimeText(index_->index.LastTime()));
    }
    current_ = epoch;
    // Times on the timeline's scale, so that they agree with the handle
    // (joined files: a jump counts one interval there too).
    const int64_t stepMs = scale_.StepMs(epoch);
    sinceMs_ = std::clamp<int64_t>(sinceMs, 0, stepMs);
    const int64_t at = scale_.OffsetMs(epoch) + sinceMs_;
    if (!TimelineSlider->isSliderDown()) {
        const QSignalBlocker block(TimelineSlider);
        TimelineSlider->setValue(scale_.PositionAt(at, kTimelineSteps));
    }
    const bool inGap = sinceMs_ > 0 && stepMs > GapMinMs();
    CurrentLabel->setText(inGap ? QString::fromStdString(GapText(stepMs)) : TimeText(EpochTime(epoch)));
    ShowGapHint(inGap);
    const bool timed = scale_.Count() > 0;
    const auto duration = [this](int64_t ms) {
        return FromText(DurationText(ms)) + QString::fromStdString(FractionText(ms, decimals_));
    };
    ElapsedLabel->setText(QStringLiteral("elapsed ") + (timed ? duration(at) : QStringLiteral("--:--:--")));
    RemainingLabel->setText(QStringLiteral("remaining ")
                            + (timed ? duration(scale_.SpanMs() - at) : QStringLiteral("--:--:--")));
    UpdateToggle();
}

void TPlayerForm::ShowProgress()
{
    TPacedCycle* const cycle = Cycle();
    size_t epoch = 0;
    int64_t sinceMs = 0;
    if (!cycle || !cycle->Reached(epoch, sinceMs) || epoch != current_ || sinceMs == sinceMs_)
        return;
    ShowPosition(current_, scale_.Count(), sinceMs);
}

void TPlayerForm::ShowGapHint(bool inGap)
{
    if (inGap == gapShown_)
        return;
    gapShown_ = inGap;
    NoteLabel->setText(inGap ? QStringLiteral("S skips the gap") : note_);
}

bool TPlayerForm::SkipGap()
{
    if (BenchOpen() || scale_.StepMs(current_) <= GapMinMs())
        return false;
    SeekTo(current_ + 1);
    return true;
}

void TPlayerForm::WheelSeek(int notches)
{
    if (BenchOpen()) {
        bench_->Seek(bench_->PositionMs() + notches * bench_->DurationMs() / kWheelParts);
        ShowBenchPosition();
        return;
    }
    SeekByMs(notches * std::max<int64_t>(scale_.SpanMs() / kWheelParts, 1));
}

void TPlayerForm::SliderMoved(int value)
{
    // While dragging, show where a release would go.
    if (TimelineSlider->isSliderDown() && BenchOpen())
        CurrentLabel->setText(BenchTimeText(int64_t(value) * bench_->DurationMs() / kTimelineSteps));
    else if (TimelineSlider->isSliderDown())
        CurrentLabel->setText(TimeText(EpochTime(EpochAtSlider(value))));
}

QString TPlayerForm::TimeText(int64_t timeMs) const
{
    const QString text = FromText(EpochTimeText(timeMs, indexedBinr_ && panel_ ? &panel_->SourceDates() : nullptr));
    return timeMs == kNoTime ? text : text + QString::fromStdString(FractionText(timeMs, decimals_));
}

