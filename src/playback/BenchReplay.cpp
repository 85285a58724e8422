// The bench replayed (BenchReplay.h): the folder opened, the recordings
// lined up on one time line, and the timer that feeds them in slices.
#include "BenchReplay.h"

#include "MonotonicClock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <set>

namespace {

constexpr int64_t kUsPerMs = 1000;
// Longest receiver name taken from bench.json, in bytes.
constexpr size_t kMaxNameBytes = 100;
// Recordings whose clocks started further apart than this are not of one
// test: each is then taken as starting at the line's start.
constexpr int64_t kMaxStartSpreadMs = kMsPerDay;
// A slice of work on the timer: at most this many bytes or this long.
constexpr int64_t kSliceBytes = int64_t(4) << 20;
constexpr qint64 kSliceMs = 40;
constexpr size_t kReadBytes = size_t(64) << 10;
// The timer of a paced replay; one "as fast as it goes" runs slice after slice.
constexpr int kPacedTickMs = 20;
// The figures move on once a second of the test, and no more often than
// this on the clock, so a fast replay does not spend itself on them.
constexpr int64_t kMinUpdateGapUs = 200 * kUsPerMs;

// A name bench.json gives a receiver becomes a file name in the folder: it
// must stay one, however the file was made.
bool FitRecordingName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxNameBytes || name.front() == '.')
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || c == '\\' || (unsigned char)c < 0x20 || c == 0x7f; });
}

} // namespace

BenchReplay::BenchReplay() : timer_(std::make_unique<QTimer>()), buffer_(kReadBytes)
{
    timer_->callOnTimeout([this] { Tick(); });
}

BenchReplay::~BenchReplay() = default;

void BenchReplay::SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void BenchReplay::SetClock(std::function<int64_t()> nowUs) { clock_ = std::move(nowUs); }

int64_t BenchReplay::NowUs() const { return clock_ ? clock_() : MonotonicUs(); }

BenchPacing BenchReplay::PacingOf(size_t receiver) const
{
    return receiver < tracks_.size() ? tracks_[receiver]->Pacing() : BenchPacing::None;
}

// ---------------------------------------------------------------- open

bool BenchReplay::Open(const QString& path, QString* problem)
{
    Close();
    const auto fail = [problem](const QString& why) {
        if (problem)
            *problem = why;
        return false;
    };
    const QFileInfo given(path);
    QString folder;
    if (given.isDir())
        folder = given.absoluteFilePath();
    else if (given.fileName() == QLatin1String(kBenchJsonName))
        folder = given.absolutePath();
    else
        return fail(path + QStringLiteral(": not a test folder (no ") + kBenchJsonName + QLatin1Char(')'));
    const QString jsonPath = QDir(folder).filePath(QLatin1String(kBenchJsonName));
    const QFileInfo json(jsonPath);
    if (!json.exists())
        return fail(folder + QStringLiteral(": not a test folder (no ") + kBenchJsonName + QLatin1Char(')'));
    // Looked at before it is opened: the open of a FIFO would wait for a writer.
    if (!json.isFile())
        return fail(jsonPath + QStringLiteral(": not a regular file"));
    BenchManifest manifest;
    std::string why;
    if (!ReadBenchFolder(QFile::encodeName(folder).toStdString(), &manifest, &why))
        return fail(QString::fromStdString(why));
    if (manifest.sources.empty())
        return fail(jsonPath + QStringLiteral(": names no receiver"));

    std::vector<QString> notes;
    std::vector<std::unique_ptr<BenchReceiver>> receivers;
    std::vector<std::unique_ptr<BenchTrack>> tracks;
    std::set<std::string> names;
    for (const BenchSourceSetup& source : manifest.sources) {
        const QString shown = QString::fromStdString(source.name);
        if (!FitRecordingName(source.name)) {
            notes.push_back(QStringLiteral("\"%1\": no name for a recording in the folder; left out").arg(shown));
            continue;
        }
        if (!names.insert(source.name).second) {
            notes.push_back(shown + QStringLiteral(": named twice; left out the second time"));
            continue;
        }
        if (receivers.size() >= size_t(kBenchMaxSources)) {
            notes.push_back(shown + QStringLiteral(": more than %1 receivers; left out").arg(kBenchMaxSources));
            continue;
        }
        QString note;
        const QString recording = QDir(folder).filePath(QString::fromStdString(BenchFileName(source)));
        tracks.push_back(std::make_unique<BenchTrack>(recording, source, &note));
        receivers.push_back(std::make_unique<BenchReceiver>(source));
        if (!tracks.back()->HasFile())
            receivers.back()->SetState(BenchState::Failed);
        if (!note.isEmpty())
            notes.push_back(note);
    }
    if (std::none_of(tracks.begin(), tracks.end(), [](const auto& t) { return t->HasFile(); })) {
        QString why = folder + QStringLiteral(": no recording of bench.json can be played");
        for (const QString& note : notes)
            why += QStringLiteral("\n") + note;
        return fail(why);
    }

    // The line starts with the earliest recording; the others start as much
    // later as their clocks say.
    int64_t originUs = 0;
    bool any = false;
    for (const auto& t : tracks)
        if (t->Pacing() == BenchPacing::ReceiveTimes) {
            originUs = any ? std::min(originUs, t->TimesStartUs()) : t->TimesStartUs();
            any = true;
        }
    int64_t duration = 0;
    for (const auto& t : tracks) {
        int64_t spreadUs = 0;
        if (t->Pacing() == BenchPacing::ReceiveTimes && !__builtin_sub_overflow(t->TimesStartUs(), originUs, &spreadUs)
            && spreadUs / kUsPerMs <= kMaxStartSpreadMs)
            t->SetShiftMs(spreadUs / kUsPerMs);
        duration = std::max(duration, t->LastMs());
    }

    manifest_ = std::move(manifest);
    receivers_ = std::move(receivers);
    tracks_ = std::move(tracks);
    notes_ = std::move(notes);
    folder_ = folder;
    durationMs_ = duration;
    Restart();
    positionMs_ = 0;
    for (const auto& r : receivers_)
        if (r->State() != BenchState::Failed)
            r->SetState(BenchState::Idle);
    return true;
}

void BenchReplay::Close()
{
    timer_->stop();
    playing_ = false;
    catchUpMs_ = -1;
    ended_ = false;
    tracks_.clear();
    receivers_.clear();
    notes_.clear();
    manifest_ = {};
    folder_.clear();
    durationMs_ = 0;
    positionMs_ = 0;
}

// ---------------------------------------------------------------- time line

void BenchReplay::Restart()
{
    for (size_t i = 0; i < receivers_.size(); ++i) {
        tracks_[i]->Rewind();
        BenchReceiver& r = *receivers_[i];
        r.In().Restart();
        r.Start(0);
        if (r.State() != BenchState::Failed)
            r.SetState(BenchState::Live);
    }
    ended_ = false;
    lastFedMs_ = 0;
    lastUpdateSecond_ = -1;
}

bool BenchReplay::FeedTo(int64_t targetMs)
{
    QElapsedTimer slice;
    slice.start();
    int64_t fed = 0;
    // Every pass delivers at least a byte or ends a track, and the slice's
    // budget ends the loop long before the files do.
    for (;;) {
        BenchTrack* next = nullptr;
        size_t who = 0;
        int64_t nextMs = 0;
        for (size_t i = 0; i < tracks_.size(); ++i) {
            int64_t ms = 0, end = 0;
            // Equal times go in the order of bench.json.
            if (tracks_[i]->Peek(&ms, &end) && ms <= targetMs && (!next || ms < nextMs)) {
                next = tracks_[i].get();
                who = i;
                nextMs = ms;
            }
        }
        if (!next)
            return true;
        if (fed >= kSliceBytes || slice.elapsed() >= kSliceMs)
            return false;
        const size_t got = next->Read(buffer_.data(), buffer_.size());
        if (got > 0)
            receivers_[who]->Receive(buffer_.data(), int(got), nextMs * kUsPerMs);
        fed += int64_t(std::max<size_t>(got, 1));
        lastFedMs_ = nextMs;
    }
}

void BenchReplay::Tick()
{
    if (catchUpMs_ >= 0) {
        if (!FeedTo(catchUpMs_))
            return;   // on in the next slice
        positionMs_ = catchUpMs_;
        catchUpMs_ = -1;
        if (positionMs_ >= durationMs_) {
            End();
            return;
        }
        UpdateReceivers(true);
        if (playing_) {
            Anchor();
            Schedule();
        } else {
            timer_->stop();
        }
        return;
    }
    if (!playing_) {
        timer_->stop();
        return;
    }
    int64_t target = durationMs_;
    if (speed_ > 0) {
        const double ms = double(NowUs() - anchorUs_) * speed_ / double(kUsPerMs);
        target = std::min<int64_t>(anchorMs_ + int64_t(std::min(ms, double(durationMs_))), durationMs_);
    }
    const bool all = FeedTo(target);
    positionMs_ = std::max(positionMs_, all ? target : lastFedMs_);
    if (all && target >= durationMs_) {
        End();
        return;
    }
    UpdateReceivers(false);
}

void BenchReplay::Schedule()
{
    timer_->setInterval(playing_ && speed_ > 0 && !Busy() ? kPacedTickMs : 0);
    if (!timer_->isActive())
        timer_->start();
}

void BenchReplay::Anchor()
{
    anchorUs_ = NowUs();
    anchorMs_ = positionMs_;
}

void BenchReplay::UpdateReceivers(bool force)
{
    const int64_t second = positionMs_ / kMsPerSecond;
    const int64_t now = NowUs();
    if (!force && (second == lastUpdateSecond_ || now - lastUpdateUs_ < kMinUpdateGapUs))
        return;
    lastUpdateSecond_ = second;
    lastUpdateUs_ = now;
    for (const auto& r : receivers_)
        r->Update(manifest_.reference);
    if (handlers_.updated)
        handlers_.updated();
}

void BenchReplay::End()
{
    timer_->stop();
    playing_ = false;
    catchUpMs_ = -1;
    positionMs_ = durationMs_;
    ended_ = true;
    for (const auto& r : receivers_) {
        r->Finish(manifest_.reference);
        if (r->State() != BenchState::Failed)
            r->SetState(BenchState::Ended);
    }
    // The handlers may seek or close: nothing here touches the replay after them.
    if (handlers_.updated)
        handlers_.updated();
    if (handlers_.ended)
        handlers_.ended();
}

// ---------------------------------------------------------------- controls

void BenchReplay::Play()
{
    if (!IsOpen() || playing_)
        return;
    if (ended_)
        Seek(0);
    playing_ = true;
    Anchor();
    Schedule();
}

void BenchReplay::Pause()
{
    if (!playing_)
        return;
    playing_ = false;
    if (!Busy())
        timer_->stop();
}

void BenchReplay::SetSpeed(double speed)
{
    // Anything but a positive speed is "as fast as it goes".
    speed_ = std::isfinite(speed) && speed > 0 ? speed : 0;
    Anchor();
    if (timer_->isActive())
        Schedule();
}

void BenchReplay::Seek(int64_t ms)
{
    if (!IsOpen())
        return;
    Restart();
    positionMs_ = std::clamp<int64_t>(ms, 0, durationMs_);
    catchUpMs_ = positionMs_;
    // A first slice at once: a short seek is done on return.
    Tick();
    if (Busy())
        Schedule();
}

void BenchReplay::Step(int seconds)
{
    if (!IsOpen() || seconds == 0)
        return;
    Pause();
    const int64_t target = std::clamp<int64_t>(positionMs_ + int64_t(seconds) * kMsPerSecond, 0, durationMs_);
    if (seconds < 0) {
        Seek(target);
        return;
    }
    // Forward needs no fresh start: the receivers go on from where they are.
    if (ended_)
        return;
    positionMs_ = target;
    catchUpMs_ = target;
    Tick();
    if (Busy())
        Schedule();
}
