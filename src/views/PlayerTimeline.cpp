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

void TPlayerForm::UpdateGapMarks()
{
    const int64_t minMs = SkipCheckBox->isChecked() ? int64_t(SkipSpinBox->value()) * kMsPerSecond
                                                    : kGapMarkIntervals * intervalMs_;
    std::vector<std::pair<int, int>> marks;
    for (const TimelineGap& gap : scale_.Gaps(minMs))
        marks.emplace_back(scale_.Position(gap.before, kTimelineSteps), scale_.Position(gap.before + 1, kTimelineSteps));
    TimelineSlider->SetGapMarks(std::move(marks));
}

size_t TPlayerForm::EpochAtSlider(int value) const { return scale_.EpochAtPosition(value, kTimelineSteps); }

void TPlayerForm::ShowPosition(size_t epoch, size_t count)
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
    if (!TimelineSlider->isSliderDown()) {
        const QSignalBlocker block(TimelineSlider);
        TimelineSlider->setValue(scale_.Position(epoch, kTimelineSteps));
    }
    const int64_t now = EpochTime(epoch);
    int64_t first = kNoTime, last = kNoTime;
    if (IndexReady()) {
        std::shared_lock lock(index_->lock);
        first = index_->index.FirstTime();
        last = index_->index.LastTime();
    }
    CurrentLabel->setText(TimeText(now));
    const bool timed = now != kNoTime && first != kNoTime;
    ElapsedLabel->setText(QStringLiteral("elapsed ") + (timed ? FromText(DurationText(now - first)) : QStringLiteral("--:--:--")));
    RemainingLabel->setText(QStringLiteral("remaining ") + (timed ? FromText(DurationText(last - now)) : QStringLiteral("--:--:--")));
    UpdateToggle();
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
    return FromText(EpochTimeText(timeMs, indexedBinr_ && panel_ ? &panel_->SourceDates() : nullptr));
}

