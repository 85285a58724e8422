// Action modes and the transport: open, play, fast play, pause, stop,
// record, the watch timer and the scheduled start and stop. Every playback,
// recording and synchronization ends through StopButtonClick.
#include "Mainfile.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Comm.h"
#include "Controls.h"
#include "Cycle.h"
#include "Glyphs.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "Nmeafile.h"
#include "PathIdentity.h"
#include "Satellites.h"
#include "Sound.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"
#include "WeekRollover.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QThread>

#include <algorithm>
#include <ctime>
#include <sys/stat.h>

namespace {

constexpr unsigned long kCommandGapMs = 200;   // between commands to the receiver
constexpr int kNoDataTicks = 3;                 // watch ticks without data before "Wait..."
constexpr int kBlinkTicks = 4;                  // the overwrite warning ends after this
constexpr int kCueFrequencyHz = 1000;
constexpr int kCueDurationMs = 100;

const QString kOverwriteWarning = QStringLiteral("File exist! For overwrite push Record");

struct ModeLook {
    uint32_t mode;
    const char* caption;
    QRgb colour;
};
constexpr ModeLook kModeLooks[] = {
    {amSync, "SYNC", kLime},  {amOpen, "OPEN", kLime},    {amPlay, "PLAY", kLime}, {amFastPlay, "  FF", kLime},
    {amPause, "PAUSE", kLime}, {amStop, "STOP", kLime},   {amRecord, " REC", kRed},
    {amWatch, "WATCH", kLime},
};

// Which buttons a row enables: Synchro, Eject, Play, Rewind, Pause, Stop,
// Record, and the protocol panel with the port and rate boxes.
struct RowState {
    ButtonRow row;
    bool on[8];
};
constexpr RowState kRows[] = {
    {ButtonRow::Sync, {false, false, false, false, false, true, false, false}},
    {ButtonRow::Play, {false, false, false, true, true, true, false, false}},
    {ButtonRow::FastPlay, {false, false, true, false, true, true, false, false}},
    {ButtonRow::Pause, {false, false, true, true, false, true, false, false}},
    {ButtonRow::Stop, {true, true, true, true, false, false, true, true}},
    {ButtonRow::Record, {false, false, false, false, false, true, false, false}},
    {ButtonRow::Watch, {false, false, false, false, false, true, true, false}},
};

bool TraceModes() { return qEnvironmentVariableIsSet("KESTROVA_TRACE_MODES"); }

// The side file's name by the naming rule alone, beside the file.
QString UsualSideFile(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString side = QFile::decodeName(SideFileName(QFile::encodeName(info.fileName()).toStdString()).c_str());
    return fileName.contains(QLatin1Char('/')) ? info.path() + QLatin1Char('/') + side : side;
}

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

} // namespace

// ---------------------------------------------------------------- mode and buttons

void TMainForm::SetActionMode(uint32_t m)
{
    mode = m;
    const bool drawn = DrawActionGlyph(actionBitmap, m);
    const auto look = std::find_if(std::begin(kModeLooks), std::end(kModeLooks),
                                   [m](const ModeLook& l) { return l.mode == m; });
    if (drawn && look != std::end(kModeLooks)) {
        ActionLabel->setText(QString::fromLatin1(look->caption));
        SetTextColour(ActionLabel, look->colour);
    }
    ActionImage->setPixmap(QPixmap::fromImage(actionBitmap));
    if (TraceModes())
        std::fprintf(stderr, "kestrova: mode %s\n", ActionLabel->text().trimmed().toLatin1().constData());
    emit ModeChanged(m);
}

void TMainForm::SetButtons(ButtonRow row)
{
    const auto state = std::find_if(std::begin(kRows), std::end(kRows), [row](const RowState& r) { return r.row == row; });
    if (state == std::end(kRows))
        return;
    FlatGlyphButton* const buttons[] = {SynchroButton, EjectButton, PlayButton, RewindButton,
                                        PauseButton, StopButton, RecordButton};
    for (size_t i = 0; i < std::size(buttons); ++i)
        buttons[i]->setEnabled(state->on[i]);
    SetProtocolControlsEnabled(state->on[7]);
}

void TMainForm::SetProtocolControlsEnabled(bool on)
{
    // The panel decides for its children; "0x02" keeps its own state,
    // which follows the protocol, and shows it again when the panel is on.
    ModePanel->setEnabled(on);
    PortComboBox->setEnabled(on);
    BaudComboBox->setEnabled(on);
}

// ---------------------------------------------------------------- helpers

void TMainForm::ResetCounters()
{
    receivedTotal = 0;
    errorCount = 0;
    ReceiveBytesLabel->setText(QStringLiteral("0 kB"));
    ErrorBytesLabel->setText(QStringLiteral("0"));
}

void TMainForm::ResetDecodersAndViews()
{
    ProgramBinr().Reset();
    ProgramNmea().Reset();
    ProgramGnss().Reset();
    ResetConsoleViews();
    if (SatellitesForm)
        SatellitesForm->ClearIndicators();
    if (VisualForm)
        VisualForm->ClearPlot();
}

QString TMainForm::SideFileFor(const QString& fileName) const
{
    const QString side = QFile::decodeName(SideFilePath(QFile::encodeName(fileName).toStdString()).c_str());
    if (side.isEmpty())
        return {};
    // Another name may still lead to the same file (a link).
    if (SameFile(QFile::encodeName(side).toStdString(), QFile::encodeName(fileName).toStdString()))
        return {};
    return side;
}

void TMainForm::OpenSideFile(bool append)
{
    // A BINR stream in a file named *.nme would have the side file truncate
    // the very file being played or recorded: then there is no side file.
    const QString name = FileLabel->text();
    const QString side = SideFileFor(name);
    if (!side.isEmpty())
        OpenNmeaOutput(QFile::encodeName(side).constData(), kNmeaLiveFlushBytes, append);
    if (!side.isEmpty() && side != UsualSideFile(name))
        InfoLabel->setText(QStringLiteral("Side file: ") + side);
}

QString TMainForm::RecordWarning(const QString& name, bool binr) const
{
    if (QFileInfo::exists(name))
        return kOverwriteWarning;
    if (binr && HoldsRecording(QFile::encodeName(UsualSideFile(name)).toStdString())) {
        const QString side = SideFileFor(name);
        return QStringLiteral("Side file: ") + (side.isEmpty() ? QStringLiteral("none") : side)
            + QStringLiteral(". For record push Record");
    }
    return {};
}

bool TMainForm::BeginRecordFile(const QString& name)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat before {};
    const bool existed = ::stat(path.constData(), &before) == 0;
    if (!recordFile.Open(name, recordAppend_)) {
        InfoLabel->setText(QStringLiteral("File open error"));
        return false;
    }
    const std::string times = TimesFileName(path.toStdString());
    const int64_t nowUs = MonotonicUs();
    if (!recordAppend_ || !recordTimes.Continue(times, recordFile.Size(), nowUs, existed ? UsSinceModified(before) : 0))
        recordTimes.Create(times, nowUs, recordFile.Size());
    ResetCounters();
    return true;
}

void TMainForm::StartPlaybackThread(std::unique_ptr<PlaybackSource> source, bool normalSpeed)
{
    StartCycle([&](PlaybackCallbacks callbacks) {
        return new TReadCycle(std::move(source), std::move(callbacks), normalSpeed);
    });
}

void TMainForm::StartCycle(const std::function<TReadCycle*(PlaybackCallbacks)>& make)
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
    readCycle = cycle;
    currentPlayback_ = serial;
    connect(cycle, &QThread::finished, this, [this, p = QPointer<TReadCycle>(cycle)] {
        if (p)
            ReapCycle(p);
    }, Qt::QueuedConnection);
    cycle->start();
}

void TMainForm::DeliverPlaybackBlock(const uint8_t* bytes, int length)
{
    ReceiveBytes(bytes, length);
    if (mode != amPlay && mode != amFastPlay && mode != amPause)
        return;
    const QString progress = ProgressText(receivedTotal, playbackSize_);
    InfoLabel->setText(progress);
    if (readCycle)
        emit readCycle->ProgressShown(progress);
}

void TMainForm::FinishPlayback()
{
    if (mode != amPlay && mode != amFastPlay && mode != amPause)
        return;
    InfoLabel->setText(QString());
    StopButtonClick(nullptr);
}

void TMainForm::ReapCycle(TReadCycle* cycle)
{
    cycle->wait();
    liveCycles_.erase(std::remove(liveCycles_.begin(), liveCycles_.end(), cycle), liveCycles_.end());
    if (readCycle == cycle) {
        readCycle = nullptr;
        currentPlayback_ = 0;
    }
    delete cycle;
}

// ---------------------------------------------------------------- transport

void TMainForm::EjectButtonClick(QObject*)
{
    SetActionMode(amOpen);
    const bool nmea = NMEARadioButton->isChecked();
    const QString filter = nmea ? QStringLiteral("NMEA files (*.nme);;All files (*)")
                                : QStringLiteral("BINR files (*.dat);;All files (*)");
    const QString path = openFileDialog ? openFileDialog(QDir::currentPath(), filter) : QString();
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        QString name = info.fileName();
        if (!name.contains(QLatin1Char('.')))
            name += nmea ? QStringLiteral(".nme") : QStringLiteral(".dat");
        FileLabel->setText(name);
        // The bare name in FileLabel must lead to the file chosen.
        QDir::setCurrent(info.absolutePath());
    }
    SetActionMode(amStop);
}

void TMainForm::PlayButtonClick(QObject*) { PlayAction(true); }

void TMainForm::PlayAction(bool firstBlocksNormal)
{
    if (mode != amStop && mode != amPause && mode != amPlay && mode != amFastPlay)
        return;
    if (mode == amPause && readCycle)
        readCycle->Resume();
    if (mode == amStop) {
        std::unique_ptr<FilePlaybackSource> source = FilePlaybackSource::Open(FileLabel->text());
        if (!source) {
            InfoLabel->setText(QStringLiteral("File open error"));
            return;
        }
        PrepareForPlayback(source->Size(), source->ModifiedS());
        StartPlaybackThread(std::move(source), firstBlocksNormal);
    }
    if (readCycle && firstBlocksNormal)
        readCycle->NormalSpeed = true;
    SetActionMode(amPlay);
    SetButtons(ButtonRow::Play);
}

void TMainForm::PrepareForPlayback(int64_t fileSize, int64_t modifiedS)
{
    playbackSize_ = fileSize;
    InfoLabel->setText(QStringLiteral("File reading... 0%"));
    // A recording is dated by the time it was written, not by today.
    UseFileTimeForDates(modifiedS);
    // The name of a receiver met before is not the file's; a BINR
    // recording names its own receiver as it plays.
    DeviceLabel->setText(QStringLiteral("unknown"));
    ResetCounters();
    ResetDecodersAndViews();
    if (BINRRadioButton->isChecked())
        OpenSideFile(false);
    if (StatisticForm)
        StatisticForm->ResetStatistics();
}

bool TMainForm::PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make)
{
    if (mode != amStop)
        return false;
    const QFileInfo file(fileName);
    PrepareForPlayback(file.size(), file.lastModified().toSecsSinceEpoch());
    StartCycle(make);
    SetActionMode(amPlay);
    SetButtons(ButtonRow::Play);
    return true;
}

void TMainForm::RewindButtonClick(QObject*)
{
    // Fast play from STOP starts the thread at fast pace from its very first
    // read, so the blocks do not depend on how soon the flag is cleared.
    PlayAction(false);
    // A file that would not open leaves the mode in STOP: nothing to speed up.
    if (mode != amPlay)
        return;
    if (readCycle)
        readCycle->NormalSpeed = false;
    SetActionMode(amFastPlay);
    SetButtons(ButtonRow::FastPlay);
}

void TMainForm::PauseButtonClick(QObject*)
{
    if (mode != amPlay && mode != amFastPlay)
        return;
    if (readCycle)
        readCycle->Suspend();
    SetActionMode(amPause);
    SetButtons(ButtonRow::Pause);
}

void TMainForm::StopButtonClick(QObject* sender)
{
    // The end of the data completes the last Multi-GNSS epoch.
    if (mode == amPlay || mode == amFastPlay || mode == amPause || mode == amRecord || mode == amWatch)
        CompleteGnssEpoch();
    switch (mode) {
    case amSync:
        if (sender)
            DeviceLabel->setText(QStringLiteral("unknown"));
        SynchroTimer->stop();
        ClosePort();
        break;
    case amPlay:
    case amFastPlay:
    case amPause:
        // RequestStop also wakes a paused thread so that it can end.
        if (readCycle)
            readCycle->RequestStop();
        CloseNmeaOutput();
        break;
    case amRecord:
    case amWatch:
        ReconnectTimer->stop();
        if (BINRRadioButton->isChecked()) {
            SendBinr(kCmdStopOutput, nullptr, 0);
            if (_02CheckBox->isChecked()) {
                const uint8_t off[] = {0x00};
                SendBinr(kCmdHeartbeat, off, 1);
            }
            QThread::msleep(kCommandGapMs);
            CloseNmeaOutput();
        }
        WatchTimer->stop();
        ClosePort();
        recordFile.Close();
        recordTimes.Close();
        break;
    case amStop:
        ClosePort();   // a network source still being opened
        break;
    default:
        break;
    }
    if (sender)
        InfoLabel->setText(QString());
    SetActionMode(amStop);
    SetButtons(ButtonRow::Stop);
}

void TMainForm::RecordButtonClick(QObject* sender)
{
    if (mode == amWatch) {
        RecordFromWatch(sender);
        return;
    }
    if (mode != amStop)
        return;
    const QString name = FileLabel->text();
    const bool binr = BINRRadioButton->isChecked();
    if (sender && !WatchTimer->isActive()) {
        recordWarning_ = RecordWarning(name, binr);
        if (!recordWarning_.isEmpty()) {
            watchTicks = 0;
            WatchTimer->start();
            InfoLabel->setText(recordWarning_);
            return;
        }
    }
    // The port first: a receiver that is not there must not cost the
    // previous recording its contents. The scheduled start comes back every
    // tick and finds the file as it was.
    if (!OpenSelectedSource(binr, false, [this] { RecordButtonClick(nullptr); })) {
        return;
    }
    if (!BeginRecordFile(name)) {
        ClosePort();
        return;
    }
    UseClockForDates();
    InfoLabel->setText(QStringLiteral("Wait..."));
    watchTicks = 0;
    WatchTimer->start();
    ResetDecodersAndViews();
    SetActionMode(amRecord);
    SetButtons(ButtonRow::Record);
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    // A source that takes no commands is recorded as it comes.
    if (binr && PortTakesCommands())
        SendRecordStartSequence();
    if (binr)
        OpenSideFile(recordAppend_);
}

void TMainForm::SendRecordStartSequence()
{
    SendBinr(kCmdStopOutput, nullptr, 0);
    SendBinr(kCmdDeviceInfo, nullptr, 0);
    // Output rates of the six messages the views and the synthesis read.
    for (const uint8_t message : {0x01, 0x04, 0x02, 0x05, 0x03, 0x06}) {
        QThread::msleep(kCommandGapMs);
        const uint8_t rate[] = {0x03, message};
        SendBinr(kCmdOutputRate, rate, 2);
    }
    QThread::msleep(kCommandGapMs);
    if (_02CheckBox->isChecked()) {
        const uint8_t on[] = {0x01};
        SendBinr(kCmdHeartbeat, on, 1);
    }
    if (PositionCheckBox->isChecked())
        SendPositionCommands(true);
}

void TMainForm::SendPositionCommands(bool on)
{
    const uint8_t flag[] = {uint8_t(on ? 0x01 : 0x00)};
    const uint8_t rate[] = {uint8_t(on ? 0x05 : 0x00)};
    SendBinr(kCmdPosition21, flag, 1);
    SendBinr(kCmdPosition27, flag, 1);
    SendBinr(kCmdPosition35, flag, 1);
    SendBinr(kCmdPosition24, rate, 1);
}

void TMainForm::WatchTimerTimer()
{
    if (mode == amRecord || mode == amWatch) {
        if (Reconnecting())
            return;   // "Reconnecting..." says more than "Wait..."
        // No-data watch: every block sets watchTicks back to 0.
        ++watchTicks;
        if (watchTicks >= kNoDataTicks) {
            InfoLabel->setText(QStringLiteral("Wait..."));
            if (soundEnabled) {
                PlayTone(kCueFrequencyHz, kCueDurationMs);
                SystemBeep(kCueFrequencyHz, kCueDurationMs);
            }
        }
        return;
    }
    if (mode != amStop) {
        // The overwrite warning belongs to the stopped panel; a playback or
        // search started meanwhile keeps its own messages.
        watchTicks = 0;
        WatchTimer->stop();
        return;
    }
    if (watchTicks % 2 == 1) {
        InfoLabel->setText(recordWarning_.isEmpty() ? kOverwriteWarning : recordWarning_);
    } else {
        InfoLabel->setText(QString());
        if (watchTicks > kBlinkTicks) {
            watchTicks = 0;
            WatchTimer->stop();
        }
    }
    ++watchTicks;
}

void TMainForm::ScheduledRecordStart()
{
    if (mode == amStop)
        RecordButtonClick(nullptr);
}

void TMainForm::ScheduledRecordStop()
{
    if (mode == amRecord) {
        InfoLabel->setText(QString());
        StopButtonClick(nullptr);
    }
    if (TimerForm)
        TimerForm->TimerArmed = 0;
    TimerLabel->setText(QStringLiteral("timer off"));
    SetTextColour(TimerLabel, kRed);
}
