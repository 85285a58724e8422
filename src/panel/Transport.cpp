// The transport (Transport.h): what the panel's transport buttons, the
// watch and the timer's schedule do, and the playback threads' lifetime.
#include "Transport.h"

#include "LiveSources.h"
#include "Mainfile.h"
#include "SourceFeed.h"

#include "BinrLayouts.h"
#include "BinrDecoder.h"
#include "Comm.h"
#include "ConsoleDock.h"
#include "Controls.h"
#include "Cycle.h"
#include "NmeaAssembler.h"
#include "Nmeafile.h"
#include "Position.h"
#include "PathIdentity.h"
#include "Sound.h"
#include "Statistic.h"
#include "Synchro.h"
#include "TerminalText.h"
#include "Timerfile.h"
#include "Visual.h"
#include "WeekRollover.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned long kCommandGapMs = 200;   // between commands to the receiver
constexpr int kNoDataTicks = 3;                 // watch ticks without data before "Wait..."
constexpr int kBlinkTicks = 4;                  // the overwrite warning ends after this
constexpr int kCueFrequencyHz = 1000;
constexpr int kCueDurationMs = 100;

const QString kOverwriteWarning = QStringLiteral("File exist! For overwrite push Record");

// How long ago a file was last written, by the wall clock: the pause a
// continued recording's receive times carry across a restart.
int64_t UsSinceModified(const struct stat& st)
{
    constexpr int64_t kUsPerS = 1'000'000;
    constexpr int64_t kNsPerUs = 1000;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t us = (int64_t(now.tv_sec) - int64_t(st.st_mtim.tv_sec)) * kUsPerS
        + (int64_t(now.tv_nsec) - int64_t(st.st_mtim.tv_nsec)) / kNsPerUs;
    return std::max<int64_t>(us, 0);
}

// The side file chosen, unless another name still leads to the recording
// itself (a link).
QString UsableSideFile(const SideFileChoice& choice, const QString& fileName)
{
    if (choice.path.empty() || SameFile(choice.path, QFile::encodeName(fileName).toStdString()))
        return {};
    return QFile::decodeName(choice.path.c_str());
}

} // namespace


Transport::Transport(TMainForm& panel) : panel_(panel) {}

Transport::~Transport() = default;

// ---------------------------------------------------------------- files

QString SideFileFor(const QString& fileName)
{
    return UsableSideFile(ChooseSideFile(QFile::encodeName(fileName).toStdString()), fileName);
}

void Transport::OpenSideFile(bool append)
{
    // A BINR stream in a file named *.nme would have the side file truncate
    // the very file being played or recorded: then there is no side file.
    const QString name = panel_.FileLabel->text();
    const SideFileChoice choice = ChooseSideFile(QFile::encodeName(name).toStdString());
    const QString side = UsableSideFile(choice, name);
    if (!side.isEmpty())
        OpenSideOutput(QFile::encodeName(side).constData(), QFile::encodeName(name).constData(), kNmeaLiveFlushBytes,
                       append);
    const std::string notice = SideFileNotice(choice);
    if (notice.empty())
        return;
    panel_.InfoLabel->setText(QStringLiteral("Side file: ") + (side.isEmpty() ? QStringLiteral("none") : side));
    // Nobody reads a headless run's information line as it starts.
    if (panel_.headless)
        std::fprintf(stderr, "kestrova: %s\n", TerminalText(notice).c_str());
}

QString Transport::RecordWarning(const QString& name, bool binr) const
{
    if (QFileInfo::exists(name))
        return kOverwriteWarning;
    const SideFileChoice choice = ChooseSideFile(QFile::encodeName(name).toStdString());
    if (!binr || SideFileNotice(choice).empty())
        return {};
    const QString side = UsableSideFile(choice, name);
    return QStringLiteral("Side file: ") + (side.isEmpty() ? QStringLiteral("none") : side)
        + QStringLiteral(". For record push Record");
}

bool Transport::BeginRecordFile(const QString& name)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat before {};
    const bool existed = ::stat(path.constData(), &before) == 0;
    if (!panel_.recordFile.Open(name, recordAppend_)) {
        // Another recorder's file or a FIFO is refused with its reason.
        const RecordFile& file = panel_.recordFile;
        panel_.InfoLabel->setText(QStringLiteral("File open error")
                                  + (file.Refused() ? QStringLiteral(": ") + file.OpenProblem() : QString()));
        return false;
    }
    const int64_t nowUs = MonotonicUs();
    ReceiveTimesWriter& writer = panel_.intake_.Times();
    if (recordAppend_)
        writer.Continue(path.toStdString(), panel_.recordFile.Size(), nowUs, existed ? UsSinceModified(before) : 0);
    else
        writer.Create(path.toStdString(), nowUs, panel_.recordFile.Size());
    panel_.ResetCounters();
    return true;
}

// ---------------------------------------------------------------- playback threads

void Transport::StartPlaybackThread(std::unique_ptr<PlaybackSource> source, bool normalSpeed)
{
    StartCycle([&](PlaybackCallbacks callbacks) {
        return new TReadCycle(std::move(source), std::move(callbacks), normalSpeed);
    });
}

void Transport::StartCycle(const std::function<TReadCycle*(PlaybackCallbacks)>& make)
{
    const uint64_t serial = ++playbackSerial_;
    // A thread that is no longer the current playback must not feed its
    // leftovers into the playback that replaced it, nor stop it.
    PlaybackCallbacks callbacks;
    callbacks.deliver = [this, serial](const uint8_t* bytes, int length) {
        if (serial == currentPlayback_)
            DeliverPlaybackBlock(bytes, length);
    };
    callbacks.finished = [this, serial] {
        if (serial == currentPlayback_)
            FinishPlayback();
    };
    TReadCycle* cycle = make(std::move(callbacks));
    liveCycles_.push_back(cycle);
    readCycle_ = cycle;
    currentPlayback_ = serial;
    connect(cycle, &QThread::finished, this, [this, p = QPointer<TReadCycle>(cycle)] {
        if (p)
            ReapCycle(p);
    }, Qt::QueuedConnection);
    cycle->start();
}

void Transport::DeliverPlaybackBlock(const uint8_t* bytes, int length)
{
    panel_.ReceiveBytes(bytes, length);
    const uint32_t mode = panel_.Mode();
    if (mode != amPlay && mode != amFastPlay && mode != amPause)
        return;
    const QString progress = ProgressText(panel_.ReceivedTotal(), playbackSize_);
    panel_.InfoLabel->setText(panel_.feed_->Line(progress));
    if (readCycle_)
        emit readCycle_->ProgressShown(progress);
}

void Transport::FinishPlayback()
{
    const uint32_t mode = panel_.Mode();
    if (mode != amPlay && mode != amFastPlay && mode != amPause)
        return;
    panel_.InfoLabel->setText(QString());
    Stop(false);
}

void Transport::ReapCycle(TReadCycle* cycle)
{
    cycle->wait();
    liveCycles_.erase(std::remove(liveCycles_.begin(), liveCycles_.end(), cycle), liveCycles_.end());
    if (readCycle_ == cycle) {
        readCycle_ = nullptr;
        currentPlayback_ = 0;
    }
    delete cycle;
}

void Transport::ShutDown()
{
    if (!shutDown_) {
        shutDown_ = true;
        const uint32_t mode = panel_.Mode();
        if (mode == amSync || mode == amRecord || mode == amWatch || mode == amPlay || mode == amFastPlay || mode == amPause)
            Stop(false);
        panel_.WatchTimer->stop();
        panel_.SynchroTimer->stop();
    }
    JoinCycles();
}

void Transport::JoinCycles()
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

void Transport::Abandon()
{
    for (TReadCycle* cycle : liveCycles_) {
        cycle->setParent(nullptr);
        connect(cycle, &QThread::finished, cycle, &QObject::deleteLater);
    }
    liveCycles_.clear();
    readCycle_ = nullptr;
}

// ---------------------------------------------------------------- play

void Transport::PlayCommandLineFile()
{
    const QString& arg = panel_.commandLineFile;
    if (arg.isEmpty())
        return;
    // The protocol switch comes first: its handler names the default file,
    // which must not replace the file named here.
    (panel_.commandLineBinr ? panel_.BINRRadioButton : panel_.NMEARadioButton)->setChecked(true);
    if (TakeFileName(arg))
        Play();
}

bool Transport::TakeFileName(const QString& path)
{
    const QFileInfo info(path);
    if (path.contains(QLatin1Char('/')) && ::chdir(QFile::encodeName(info.absolutePath()).constData()) != 0) {
        panel_.InfoLabel->setText(QStringLiteral("Cannot enter folder ") + info.absolutePath() + QStringLiteral(": ")
                           + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    panel_.FileLabel->setText(info.fileName());
    return true;
}

void Transport::Eject()
{
    panel_.SetActionMode(amOpen);
    const bool nmea = panel_.NMEARadioButton->isChecked();
    const QString filter = nmea ? QStringLiteral("NMEA files (*.nme);;All files (*)")
                                : QStringLiteral("BINR files (*.dat);;All files (*)");
    const QString path = panel_.openFileDialog ? panel_.openFileDialog(QDir::currentPath(), filter) : QString();
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        QString name = info.fileName();
        if (!name.contains(QLatin1Char('.')))
            name += nmea ? QStringLiteral(".nme") : QStringLiteral(".dat");
        panel_.FileLabel->setText(name);
        // The bare name in FileLabel must lead to the file chosen.
        QDir::setCurrent(info.absolutePath());
    }
    panel_.SetActionMode(amStop);
}

void Transport::Play(bool firstBlocksNormal)
{
    const uint32_t mode = panel_.Mode();
    if (mode != amStop && mode != amPause && mode != amPlay && mode != amFastPlay)
        return;
    if (mode == amPause && readCycle_)
        readCycle_->Resume();
    if (mode == amStop) {
        std::unique_ptr<FilePlaybackSource> source = FilePlaybackSource::Open(panel_.FileLabel->text());
        if (!source) {
            panel_.InfoLabel->setText(QStringLiteral("File open error"));
            return;
        }
        PrepareForPlayback(source->Size(), source->ModifiedS());
        StartPlaybackThread(std::move(source), firstBlocksNormal);
    }
    if (readCycle_ && firstBlocksNormal)
        readCycle_->NormalSpeed = true;
    panel_.SetActionMode(amPlay);
    panel_.SetButtons(ButtonRow::Play);
}

void Transport::PrepareForPlayback(int64_t fileSize, int64_t modifiedS)
{
    playbackSize_ = fileSize;
    panel_.InfoLabel->setText(QStringLiteral("File reading... 0%"));
    // A recording is dated by the time it was written, not by today.
    panel_.intake_.Dates().UseFileTime(modifiedS);
    // The name of a receiver met before is not the file's; a BINR
    // recording names its own receiver as it plays.
    panel_.DeviceLabel->setText(QStringLiteral("unknown"));
    panel_.ResetCounters();
    panel_.ResetDecodersAndViews();
    if (panel_.BINRRadioButton->isChecked())
        OpenSideFile(false);
    if (StatisticForm)
        StatisticForm->ResetStatistics();
}

bool Transport::PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make)
{
    if (panel_.Mode() != amStop)
        return false;
    const QFileInfo file(fileName);
    PrepareForPlayback(file.size(), file.lastModified().toSecsSinceEpoch());
    StartCycle(make);
    panel_.SetActionMode(amPlay);
    panel_.SetButtons(ButtonRow::Play);
    return true;
}

void Transport::SeekReset(int64_t offset, const std::vector<uint8_t>& before)
{
    panel_.ResetDecodersAndViews();
    panel_.intake_.Restart();
    if (PositionForm)
        PositionForm->ForgetKeptTexts();
    // The epochs before it set what a play would show at this epoch (the
    // date, the fix, the satellites); what counts and collects starts afresh.
    panel_.PrimeFromBytes(before.data(), before.size());
    if (VisualForm)
        VisualForm->ClearPlot();
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    panel_.SetReceivedTotal(offset);
}

void Transport::FastPlay()
{
    // Fast play from STOP starts the thread at fast pace from its very first
    // read, so the blocks do not depend on how soon the flag is cleared.
    Play(false);
    // A file that would not open leaves the mode in STOP: nothing to speed up.
    if (panel_.Mode() != amPlay)
        return;
    if (readCycle_)
        readCycle_->NormalSpeed = false;
    panel_.SetActionMode(amFastPlay);
    panel_.SetButtons(ButtonRow::FastPlay);
}

void Transport::Pause()
{
    const uint32_t mode = panel_.Mode();
    if (mode != amPlay && mode != amFastPlay)
        return;
    if (readCycle_)
        readCycle_->Suspend();
    panel_.SetActionMode(amPause);
    panel_.SetButtons(ButtonRow::Pause);
}

// ---------------------------------------------------------------- stop

void Transport::Stop(bool byUser)
{
    const uint32_t mode = panel_.Mode();
    // The end of the data completes the last Multi-GNSS epoch.
    if (mode == amPlay || mode == amFastPlay || mode == amPause || mode == amRecord || mode == amWatch)
        panel_.feed_->CompleteGnssEpoch();
    switch (mode) {
    case amSync:
        if (byUser)
            panel_.DeviceLabel->setText(QStringLiteral("unknown"));
        panel_.SynchroTimer->stop();
        ClosePort();
        break;
    case amPlay:
    case amFastPlay:
    case amPause:
        // RequestStop also wakes a paused thread so that it can end.
        if (readCycle_)
            readCycle_->RequestStop();
        CloseNmeaOutput();
        break;
    case amRecord:
    case amWatch:
        panel_.Sources().StopReconnecting();
        if (panel_.BINRRadioButton->isChecked()) {
            panel_.SendBinr(kCmdStopOutput, nullptr, 0);
            if (panel_._02CheckBox->isChecked()) {
                const uint8_t off[] = {0x00};
                panel_.SendBinr(kCmdHeartbeat, off, 1);
            }
            QThread::msleep(kCommandGapMs);
            CloseNmeaOutput();
        }
        panel_.WatchTimer->stop();
        ClosePort();
        // Commands still waiting for a block that will not come.
        if (panel_.mode == amRecord)
            panel_.console_->RecordSentCommands(true);
        panel_.recordFile.Close();
        panel_.intake_.Times().Close();
        break;
    case amStop:
        ClosePort();   // a network source still being opened
        break;
    default:
        break;
    }
    if (byUser)
        panel_.InfoLabel->setText(QString());
    panel_.SetActionMode(amStop);
    panel_.SetButtons(ButtonRow::Stop);
}

// ---------------------------------------------------------------- record and watch

bool Transport::PassedWarning(const QString& name, bool binr, bool byUser)
{
    if (panel_.Mode() == amWatch) {
        // The watch timer keeps watching the data: the warning stays on the
        // line until the next press, which records.
        if (byUser && !overwriteArmed_) {
            const QString warning = RecordWarning(name, binr);
            if (!warning.isEmpty()) {
                overwriteArmed_ = true;
                panel_.InfoLabel->setText(warning);
                return false;
            }
        }
        overwriteArmed_ = false;
        return true;
    }
    // From STOP the warning blinks on the watch timer; a press while it
    // blinks records.
    if (byUser && !panel_.WatchTimer->isActive()) {
        recordWarning_ = RecordWarning(name, binr);
        if (!recordWarning_.isEmpty()) {
            panel_.watchTicks = 0;
            panel_.WatchTimer->start();
            panel_.InfoLabel->setText(recordWarning_);
            return false;
        }
    }
    return true;
}

void Transport::Record(bool byUser)
{
    const uint32_t before = panel_.Mode();
    if (before != amStop && before != amWatch)
        return;
    const QString name = panel_.FileLabel->text();
    const bool binr = panel_.BINRRadioButton->isChecked();
    if (!PassedWarning(name, binr, byUser))
        return;
    if (before == amStop) {
        // The source first: a receiver that is not there must not cost the
        // previous recording its contents. The scheduled start comes back
        // every tick and finds the file as it was.
        if (!panel_.Sources().Open(binr, false, [this] { Record(false); }))
            return;
        if (!BeginRecordFile(name)) {
            ClosePort();
            return;
        }
        BeginLive(binr, amRecord);
    } else {
        // The watch's source and intake go on: the file, its receive times
        // and its size counter start together with the next block.
        if (!BeginRecordFile(name))
            return;
        panel_.SetActionMode(amRecord);
        panel_.SetButtons(ButtonRow::Record);
    }
    if (binr)
        OpenSideFile(recordAppend_);
}

void Transport::Watch()
{
    if (panel_.Mode() != amStop)
        return;
    const bool binr = panel_.BINRRadioButton->isChecked();
    if (!panel_.Sources().Open(binr, false, [this] { Watch(); }))
        return;
    overwriteArmed_ = false;
    panel_.ResetCounters();
    BeginLive(binr, amWatch);
}

void Transport::BeginLive(bool binr, uint32_t mode)
{
    panel_.intake_.Dates().UseClock();
    panel_.InfoLabel->setText(QStringLiteral("Wait..."));
    panel_.feed_->BeginLive();
    panel_.watchTicks = 0;
    panel_.WatchTimer->start();
    panel_.ResetDecodersAndViews();
    panel_.SetActionMode(mode);
    panel_.SetButtons(mode == amRecord ? ButtonRow::Record : ButtonRow::Watch);
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    // The receiver is told what to send; a source that takes no commands is
    // taken as it comes.
    if (binr && PortTakesCommands())
        panel_.Receiver().SendRecordStartSequence();
}

// ---------------------------------------------------------------- timers

void Transport::WatchTick()
{
    const uint32_t mode = panel_.Mode();
    int32_t& ticks = panel_.watchTicks;
    if (mode == amRecord || mode == amWatch) {
        if (panel_.Sources().Reconnecting())
            return;   // "Reconnecting..." says more than "Wait..."
        // No-data watch: every block sets the ticks back to 0.
        ++ticks;
        if (ticks >= kNoDataTicks) {
            panel_.InfoLabel->setText(QStringLiteral("Wait..."));
            if (panel_.soundEnabled) {
                PlayTone(kCueFrequencyHz, kCueDurationMs);
                SystemBeep(kCueFrequencyHz, kCueDurationMs);
            }
        }
        return;
    }
    if (mode != amStop) {
        // The overwrite warning belongs to the stopped panel; a playback or
        // search started meanwhile keeps its own messages.
        ticks = 0;
        panel_.WatchTimer->stop();
        return;
    }
    if (ticks % 2 == 1) {
        panel_.InfoLabel->setText(recordWarning_.isEmpty() ? kOverwriteWarning : recordWarning_);
    } else {
        panel_.InfoLabel->setText(QString());
        if (ticks > kBlinkTicks) {
            ticks = 0;
            panel_.WatchTimer->stop();
        }
    }
    ++ticks;
}

void Transport::ScheduledStart()
{
    if (panel_.Mode() == amStop)
        Record(false);
}

void Transport::ScheduledStop()
{
    if (panel_.Mode() == amRecord) {
        panel_.InfoLabel->setText(QString());
        Stop(false);
    }
    if (TimerForm)
        TimerForm->TimerArmed = 0;
    panel_.TimerLabel->setText(QStringLiteral("timer off"));
    SetTextColour(panel_.TimerLabel, kRed);
}
