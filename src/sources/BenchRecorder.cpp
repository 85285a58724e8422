// The bench's live side.
//
// Each source has its own SourceLink, so its own reader thread and its own
// hand-off target in the main thread: a source that stalls holds up nobody,
// and one that floods is held back by its own kernel queue while the
// others' blocks are posted behind at most one of its blocks. What runs on
// the main thread per block is kept to the few things that must happen
// there, in this order: the block is appended to its record file (one write
// to the operating system, no buffer of ours, so nothing waits in memory to
// be lost), its receive time is appended, and its receiver decodes it. The
// figures are made once a second, never per block.
//
// A lost source is closed inside its own hand-off (the link allows that) and
// its record file stays open: with reconnect on it is tried again every
// kReconnectIntervalMs, as the panel tries its single source, and what it
// sends then goes on at the end of the same file, with receive times on the
// same clock as every other source's, so a replay keeps them in step. A
// source that could not be opened at Start is tried the same way.
//
// A BINR source that takes commands is told what to send, with the classic
// window's sequence (BinrStartSequence.h), each time its link opens. The
// classic window waits between commands on the main thread; here each
// source's own timer paces its steps, so no other source's hand-off waits.
// As in a classic recording, the commands are not written into the file.
//
// An NMEA source that takes commands is told once per Start, when its link
// first opens, to start cold ($PVKTC,COLD): a receiver that answers it (the
// simulator does) then shows a real time to first fix counted from Start,
// not from whenever it was switched on. Receivers that do not know the
// sentence ignore it, as they ignore every proprietary sentence not theirs.
#include "BenchRecorder.h"

#include "BenchManifestCheck.h"
#include "BinrStartSequence.h"
#include "Comm.h"
#include "MonotonicClock.h"
#include "NmeaChecksum.h"
#include "ReceiverReport.h"
#include "SourceAddress.h"
#include "SourceLink.h"
#include "RecordFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace {

constexpr int kUpdateIntervalMs = 1000;
// The rate a serial source is opened at when its setup names none.
constexpr int kDefaultBaud = 4800;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Makes the folder and the folders above it; why not, else empty.
QString MakeFolders(const QString& path)
{
    std::error_code error;
    const std::filesystem::path folder(QFile::encodeName(path).toStdString());
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    return error ? QString::fromLocal8Bit(error.message().c_str()) : QString();
}

} // namespace

struct BenchRecorder::Channel {
    SourceLink link;
    RecordFile file;
    QString why;   // why it failed or was lost; empty while fine
    bool opened = false;   // at some time in this test
    // The start sequence under way: the step sent next, and its timer.
    std::vector<BinrCommandStep> commands;
    size_t nextCommand = 0;
    QTimer commandTimer;
    bool coldStartSent = false;   // this Start's cold start, NMEA
};

BenchRecorder::BenchRecorder()
    : secondTimer_(std::make_unique<QTimer>()), reconnectTimer_(std::make_unique<QTimer>())
{
    secondTimer_->setInterval(kUpdateIntervalMs);
    QObject::connect(secondTimer_.get(), &QTimer::timeout, [this] { EverySecond(); });
    reconnectTimer_->setInterval(kReconnectIntervalMs);
    QObject::connect(reconnectTimer_.get(), &QTimer::timeout, [this] { ReconnectTick(); });
}

BenchRecorder::~BenchRecorder()
{
    Stop();
    channels_.clear();   // each link ends its threads
}

void BenchRecorder::SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void BenchRecorder::SetSources(std::vector<BenchSourceSetup> sources)
{
    if (running_)
        return;
    MakeSourceNamesSafe(sources);
    sources_ = std::move(sources);
    MakeReceivers();
}

void BenchRecorder::MakeReceivers()
{
    receivers_.clear();
    for (const BenchSourceSetup& s : sources_)
        receivers_.push_back(std::make_unique<BenchReceiver>(s));
}

QString BenchRecorder::RecordFileName(int index) const
{
    if (folder_.isEmpty() || index < 0 || index >= int(channels_.size()))
        return {};
    return channels_[size_t(index)]->file.Name();
}

int64_t BenchRecorder::LostBytes(int index) const
{
    return index >= 0 && index < int(channels_.size()) ? channels_[size_t(index)]->file.LostBytes() : 0;
}

QString BenchRecorder::StateText(int index) const
{
    return index >= 0 && index < int(channels_.size()) ? channels_[size_t(index)]->why : QString();
}

// ---------------------------------------------------------------- start and stop

bool BenchRecorder::MakeFolder(const QString& recordDir, const QString& title)
{
    // What the folder's own reader would refuse is refused before any folder is made.
    const BenchManifest manifest =
        MakeBenchManifest(title.toStdString(), startUnixMs_, reference_, sources_, ProgramVersionText());
    if (const std::string why = BenchManifestProblem(manifest); !why.empty()) {
        startProblem_ = QStringLiteral("Cannot start the test: ") + Q(why);
        return false;
    }
    if (const QString why = MakeFolders(recordDir); !why.isEmpty()) {
        startProblem_ = QStringLiteral("Cannot make folder ") + recordDir + QStringLiteral(": ") + why;
        return false;
    }
    const QString path =
        QDir(recordDir).absoluteFilePath(Q(BenchFolderName(startUnixMs_, title.toStdString())));
    // A test folder is never written into twice: two starts within one second
    // under one title are refused rather than mixed.
    if (QFileInfo::exists(path)) {
        startProblem_ = path + QStringLiteral(": exists");
        return false;
    }
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
        startProblem_ = QStringLiteral("Cannot make folder ") + path + QStringLiteral(": ") +
                        QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    std::string problem;
    if (!WriteBenchFolder(QFile::encodeName(path).toStdString(), manifest, &problem)) {
        startProblem_ = Q(problem);
        return false;
    }
    folder_ = path;
    return true;
}

bool BenchRecorder::Start(const QString& recordDir, const QString& title)
{
    if (running_)
        return true;
    problems_.clear();
    startProblem_.clear();
    folder_.clear();
    if (sources_.empty()) {
        problems_ << QStringLiteral("No sources");
        return false;
    }
    if (receivers_.size() != sources_.size())
        MakeReceivers();
    startUnixMs_ = QDateTime::currentMSecsSinceEpoch();
    startUs_ = MonotonicUs();
    recording_ = !recordDir.isEmpty();
    channels_.clear();
    for (size_t i = 0; i < sources_.size(); ++i) {
        channels_.push_back(std::make_unique<Channel>());
        QTimer& timer = channels_.back()->commandTimer;
        timer.setSingleShot(true);
        timer.callOnTimeout([this, i] { SendDueCommands(int(i)); });
    }
    if (recording_ && !MakeFolder(recordDir, title)) {
        recording_ = false;
        problems_ << startProblem_;
        return false;
    }
    // Every file exists before the first source opens: no byte arrives
    // before its file can take it.
    for (size_t i = 0; recording_ && i < sources_.size(); ++i) {
        const QString name = QDir(folder_).absoluteFilePath(Q(BenchFileName(sources_[i])));
        if (!channels_[i]->file.Create(name)) {
            startProblem_ = QStringLiteral("Cannot create ") + name + QStringLiteral(": ") + channels_[i]->file.OpenProblem();
            problems_ << startProblem_;
            CloseFiles();
            recording_ = false;
            return false;
        }
        // All with the one Start reading, so a replay puts them in step.
        receivers_[i]->In().Times().Create(QFile::encodeName(name).toStdString(), startUs_);
    }
    running_ = true;
    for (size_t i = 0; i < sources_.size(); ++i) {
        receivers_[i]->Start(startUs_);
        SetState(int(i), BenchState::Idle);   // what the last test left is no state of this one
        OpenChannel(int(i));
    }
    secondTimer_->start();
    return true;
}

void BenchRecorder::CloseFiles()
{
    for (size_t i = 0; i < channels_.size(); ++i) {
        RecordFile& file = channels_[i]->file;
        file.Close();
        if (i < receivers_.size())
            receivers_[i]->In().Times().Close();
        // A source that never opened leaves no recording: the folder's
        // report shows it as a receiver without one. One that opened and
        // sent nothing leaves its empty recording, which says so.
        if (recording_ && !channels_[i]->opened && !file.Name().isEmpty() && file.Size() == 0 && file.LostBytes() == 0 &&
            QFileInfo(file.Name()).size() == 0) {
            QFile::remove(file.Name());
            QFile::remove(QFile::decodeName(TimesFileName(QFile::encodeName(file.Name()).toStdString()).c_str()));
        }
    }
}

void BenchRecorder::Stop()
{
    if (!running_)
        return;
    running_ = false;
    secondTimer_->stop();
    reconnectTimer_->stop();
    // Closing is safe from inside a hand-off, this source's or another's;
    // each reader has delivered its last block once its link is closed.
    for (const auto& c : channels_) {
        c->commandTimer.stop();
        c->link.Close();
    }
    for (size_t i = 0; i < receivers_.size(); ++i) {
        receivers_[i]->Finish(reference_);
        if (receivers_[i]->State() != BenchState::Failed)
            SetState(int(i), BenchState::Ended);
    }
    CloseFiles();
    recording_ = false;
    RebuildProblems();
    if (handlers_.updated)
        handlers_.updated();
}

// ---------------------------------------------------------------- sources

void BenchRecorder::OpenChannel(int index)
{
    Channel& c = *channels_[size_t(index)];
    const BenchSourceSetup& s = sources_[size_t(index)];
    const QString address = Q(s.address);
    const uint8_t parity = s.binr ? 1 : 0;
    c.link.SetHandlers({[this, index](const uint8_t* bytes, int length) { OnBytes(index, bytes, length); },
                        {},
                        [this, index] { OnLost(index); }});
    if (LooksLikeNetworkSource(s.address)) {
        OpenCallbacks callbacks;
        callbacks.done = [this, index](bool opened) { OpenedChannel(index, opened); };
        if (c.link.BeginOpen(address, parity, std::move(callbacks)) == OpenStart::Pending) {
            if (receivers_[size_t(index)]->State() != BenchState::Lost)
                SetState(index, BenchState::Opening);
            return;
        }
        OpenedChannel(index, false);
        return;
    }
    OpenedChannel(index, c.link.Open(address, s.baud > 0 ? s.baud : kDefaultBaud, parity));
}

void BenchRecorder::OpenedChannel(int index, bool opened)
{
    Channel& c = *channels_[size_t(index)];
    BenchReceiver& r = *receivers_[size_t(index)];
    if (opened) {
        c.opened = true;
        c.why.clear();
        SetState(index, BenchState::Live);
        StartCommands(index);
    } else {
        const QString address = Q(sources_[size_t(index)].address);
        QString why = c.link.OpenError();
        if (why.isEmpty() && !LooksLikeNetworkSource(address.toStdString()))
            why = PortProblem(PortPath(address));
        if (why.isEmpty())
            why = QStringLiteral("Port open error");
        // A lost source that does not answer yet stays lost, not failed.
        if (r.State() != BenchState::Lost) {
            c.why = why;
            SetState(index, BenchState::Failed);
        }
        if (reconnect_)
            reconnectTimer_->start();
    }
    RebuildProblems();
}

// Runs inside the source's hand-off while its reader waits.
void BenchRecorder::OnBytes(int index, const uint8_t* bytes, int length)
{
    const int64_t nowUs = MonotonicUs();
    BenchReceiver& r = *receivers_[size_t(index)];
    if (recording_) {
        Channel& c = *channels_[size_t(index)];
        const int64_t lostBefore = c.file.LostBytes();
        const size_t notesBefore = r.In().Times().Notes().size();
        c.file.Append(bytes, length);
        // The times describe the file as written, as a single recording's do.
        if (c.file.IsOpen())
            r.In().Times().Append(c.file.Size(), nowUs);
        if (c.file.LostBytes() != lostBefore || r.In().Times().Notes().size() != notesBefore)
            RebuildProblems();
    }
    r.Receive(bytes, length, nowUs);
    if (handlers_.received)
        handlers_.received(index, length, nowUs);
}

// Runs inside the source's hand-off: the reader has delivered every byte it got.
void BenchRecorder::OnLost(int index)
{
    Channel& c = *channels_[size_t(index)];
    c.why = c.link.LostText();
    c.commandTimer.stop();
    c.link.Close();
    SetState(index, BenchState::Lost);
    if (reconnect_)
        reconnectTimer_->start();
    RebuildProblems();
}

// The classic default: the heartbeat on, POSITION's messages off (the bench
// shows no POSITION).
void BenchRecorder::StartCommands(int index)
{
    Channel& c = *channels_[size_t(index)];
    c.commandTimer.stop();
    c.commands.clear();
    c.nextCommand = 0;
    if (!c.link.TakesCommands())
        return;
    if (!sources_[size_t(index)].binr) {
        if (!c.coldStartSent) {
            c.coldStartSent = true;
            const std::string cold = NmeaSentence("PVKTC,COLD");
            c.link.Write(reinterpret_cast<const uint8_t*>(cold.data()), int(cold.size()));
        }
        return;
    }
    c.commands = BinrRecordStartSequence(true, false);
    if (!c.commands.empty() && c.commands.front().gapBeforeMs > 0)
        c.commandTimer.start(c.commands.front().gapBeforeMs);
    else
        SendDueCommands(index);
}

// Sends the step due and those after it without a gap, then waits for the next.
void BenchRecorder::SendDueCommands(int index)
{
    Channel& c = *channels_[size_t(index)];
    if (!running_ || !c.link.TakesCommands() || c.nextCommand >= c.commands.size())
        return;
    do {
        const BinrBytes& frame = c.commands[c.nextCommand].frame;
        if (!frame.empty())
            c.link.Write(frame.data(), int(frame.size()));
        ++c.nextCommand;
    } while (c.nextCommand < c.commands.size() && c.commands[c.nextCommand].gapBeforeMs == 0);
    if (c.nextCommand < c.commands.size())
        c.commandTimer.start(c.commands[c.nextCommand].gapBeforeMs);
}

void BenchRecorder::ReconnectTick()
{
    bool waiting = false;
    for (size_t i = 0; running_ && i < channels_.size(); ++i) {
        const BenchState state = receivers_[i]->State();
        if (state != BenchState::Lost && state != BenchState::Failed)
            continue;
        waiting = true;
        if (!channels_[i]->link.Opening())   // an attempt on a worker ends first
            OpenChannel(int(i));
    }
    if (!waiting || !running_)
        reconnectTimer_->stop();
}

void BenchRecorder::SetState(int index, BenchState state)
{
    BenchReceiver& r = *receivers_[size_t(index)];
    if (r.State() == state)
        return;
    r.SetState(state);
    if (handlers_.stateChanged)
        handlers_.stateChanged(index);
}

void BenchRecorder::EverySecond()
{
    for (const auto& r : receivers_)
        r->Update(reference_);
    if (handlers_.updated)
        handlers_.updated();
}

void BenchRecorder::RebuildProblems()
{
    problems_.clear();
    if (!startProblem_.isEmpty())
        problems_ << startProblem_;
    for (size_t i = 0; i < channels_.size() && i < sources_.size(); ++i) {
        const QString name = Q(sources_[i].name);
        if (!channels_[i]->why.isEmpty())
            problems_ << name + QStringLiteral(": ") + channels_[i]->why;
        if (const int64_t lost = channels_[i]->file.LostBytes(); lost > 0)
            problems_ << name + QStringLiteral(": write error: ") + QString::number(lost) + QStringLiteral(" bytes lost");
        if (i < receivers_.size() && receivers_[i]->In().Times().AnyLost())
            problems_ << name + QStringLiteral(": receive times: ") + QString::fromStdString(receivers_[i]->In().Times().Notes().back().what);
    }
}
