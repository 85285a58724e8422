// The PLAYER on a test folder (Player.h): the same controls drive a
// BenchReplay of every recording in step instead of a paced playback of
// one file, and the panel shows the replay's receivers in the BENCH window.
// The time line is the test's: milliseconds from its start, shown as UTC
// from bench.json's start time.
#include "Player.h"

#include "PanelLink.h"

#include <QComboBox>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {

int64_t MsOfDay(int64_t unixMs) { return ((unixMs % kMsPerDay) + kMsPerDay) % kMsPerDay; }

} // namespace

bool TPlayerForm::IsTestFolder(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QFileInfo::exists(QDir(info.absoluteFilePath()).filePath(QLatin1String(kBenchJsonName)));
    return info.fileName() == QLatin1String(kBenchJsonName);
}

bool TPlayerForm::OpenBench(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    const QDateTime modified = QFileInfo(QDir(folder).filePath(QLatin1String(kBenchJsonName))).lastModified();
    if (BenchOpen() && bench_->Folder() == folder && modified == benchModified_)
        return true;
    // One thing plays in the PLAYER: a paced file stops, and the panel lets
    // go of the receivers before they go.
    if (panel_ && Cycle())
        panel_->StopRequest();
    if (panel_)
        panel_->ShowBenchReplay(nullptr);
    bench_->SetHandlers({[this] {
                             ShowBenchPosition();
                             if (panel_)
                                 panel_->BenchReplayUpdated();
                         },
                         [this] { BenchEnded(); }});
    QString problem;
    if (!bench_->Open(folder, &problem)) {
        Note(QStringLiteral("not a test folder that plays"));
        if (panel_)
            panel_->SetStatusText(problem.section(QLatin1Char('\n'), 0, 0));
        ShowIndexed();
        return false;
    }
    benchModified_ = modified;
    bench_->SetSpeed(BenchSpeed());
    TimelineSlider->SetGapMarks({});
    Note(QStringLiteral("test of %1 receivers").arg(bench_->Receivers().size()));
    if (panel_) {
        QStringList notes;
        for (const QString& note : bench_->Notes())
            notes << note;
        panel_->SetStatusText(notes.join(QStringLiteral("; ")));
        panel_->ShowBenchReplay(bench_);
    }
    ShowBenchPosition();
    return true;
}

void TPlayerForm::CloseBench()
{
    if (!BenchOpen())
        return;
    if (panel_)
        panel_->ShowBenchReplay(nullptr);
    bench_->Close();
    Note(QString());
    ShowIndexed();
}

double TPlayerForm::BenchSpeed() const
{
    const int speed = SpeedComboBox->currentIndex();
    return speed >= kMaxSpeedIndex ? 0 : kSpeeds[std::clamp(speed, 0, kMaxSpeedIndex - 1)];
}

QString TPlayerForm::BenchTimeText(int64_t ms) const
{
    return QDateTime::fromMSecsSinceEpoch(bench_->Manifest().startUnixMs + ms, Qt::UTC)
        .toString(QStringLiteral("dd.MM.yy hh:mm:ss"));
}

void TPlayerForm::ShowBenchPosition()
{
    const int64_t position = bench_->PositionMs();
    const int64_t duration = bench_->DurationMs();
    FirstLabel->setText(BenchTimeText(0));
    LastLabel->setText(BenchTimeText(duration));
    CurrentLabel->setText(BenchTimeText(position));
    ElapsedLabel->setText(QStringLiteral("elapsed ") + FromText(DurationText(position)));
    RemainingLabel->setText(QStringLiteral("remaining ") + FromText(DurationText(duration - position)));
    if (!TimelineSlider->isSliderDown()) {
        const QSignalBlocker block(TimelineSlider);
        TimelineSlider->setRange(0, duration > 0 ? kTimelineSteps : 0);
        TimelineSlider->setValue(duration > 0 ? int(position * kTimelineSteps / duration) : 0);
    }
    UpdateToggle();
}

void TPlayerForm::BenchEnded()
{
    ShowBenchPosition();
    if (panel_)
        panel_->BenchReplayUpdated();
    // Round again once the end has been shown, not from inside the replay's own end.
    if (LoopCheckBox->isChecked() && bench_->DurationMs() > 0)
        QTimer::singleShot(0, this, [this] {
            if (BenchOpen() && bench_->AtEnd() && LoopCheckBox->isChecked()) {
                bench_->Seek(0);
                bench_->Play();
                ShowBenchPosition();
            }
        });
}

void TPlayerForm::SeekSlider(int value)
{
    if (!BenchOpen()) {
        SeekTo(EpochAtSlider(value));
        return;
    }
    bench_->Seek(int64_t(std::clamp(value, 0, kTimelineSteps)) * bench_->DurationMs() / kTimelineSteps);
    ShowBenchPosition();
}

bool TPlayerForm::SeekBenchTime(const QString& typed)
{
    const int64_t start = bench_->Manifest().startUnixMs;
    const int64_t ms = TypedTimeOfDayMs(typed.toStdString(), MsOfDay(start + bench_->PositionMs()));
    if (ms == kNoTime) {
        Note(QStringLiteral("time as hh:mm:ss or mm:ss"));
        return false;
    }
    // The first moment of the test at that time of day.
    int64_t at = ms - MsOfDay(start);
    if (at < 0)
        at += kMsPerDay;
    if (at > bench_->DurationMs()) {
        Note(QStringLiteral("time not in the test"));
        return false;
    }
    Note(QString());
    bench_->Seek(at);
    ShowBenchPosition();
    return true;
}
