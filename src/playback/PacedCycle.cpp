#include "PacedCycle.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMetaObject>
#include <QMutexLocker>

#include <algorithm>
#include <mutex>
#include <sys/stat.h>

namespace {

constexpr int64_t kUsPerMs = 1000;
constexpr unsigned long kFollowPollMs = 200;   // how often a followed file is looked at
constexpr size_t kGrowthReadBlock = size_t(1) << 20;

} // namespace

int64_t ReplayClock::NowUs() const { return MonotonicUs(); }

TPacedCycle::TPacedCycle(PacedStart start, PlaybackCallbacks callbacks, PacedCallbacks paced)
    : TReadCycle(nullptr, std::move(callbacks), true), start_(std::move(start)), callbacks_(std::move(paced))
{
    if (!start_.clock)
        start_.clock = std::make_shared<ReplayClock>();
    newOptions_ = start_.options;
    newLoop_ = start_.loop;
}

TPacedCycle::~TPacedCycle()
{
    if (paced_)
        std::fclose(paced_);
}

void TPacedCycle::SeekTo(size_t epoch)
{
    QMutexLocker lock(&suspendMutex_);
    command_ = Command::Seek;
    commandEpoch_ = epoch;
    resumed_.wakeAll();
}

void TPacedCycle::StepForward()
{
    QMutexLocker lock(&suspendMutex_);
    command_ = Command::StepForward;
    resumed_.wakeAll();
}

void TPacedCycle::StepBack()
{
    QMutexLocker lock(&suspendMutex_);
    command_ = Command::StepBack;
    resumed_.wakeAll();
}

void TPacedCycle::SetOptions(const PaceOptions& options, bool loop)
{
    QMutexLocker lock(&suspendMutex_);
    command_ = Command::Options;
    newOptions_ = options;
    newLoop_ = loop;
    resumed_.wakeAll();
}

std::vector<TPacedCycle::Sent> TPacedCycle::DeliveryTimes() const
{
    QMutexLocker lock(&timesMutex_);
    return sent_;
}

bool TPacedCycle::Reached(size_t& epoch, int64_t& sinceMs) const
{
    PaceProgress p;
    {
        QMutexLocker lock(&progressMutex_);
        p = progress_;
    }
    if (!p.delivered)
        return false;
    epoch = p.epoch;
    sinceMs = p.ReachedMs(start_.clock->NowUs()) - p.lastRec;
    return true;
}

void TPacedCycle::Publish()
{
    const PaceProgress p = pace_->Progress();
    QMutexLocker lock(&progressMutex_);
    progress_ = p;
}

bool TPacedCycle::TakeCommand(Command& command, size_t& epoch, bool& suspended)
{
    QMutexLocker lock(&suspendMutex_);
    // A pause stops the replay's clock where it was, inside a gap too.
    if (suspended_ && !wasSuspended_) {
        pace_->Pause(start_.clock->NowUs());
        wasSuspended_ = true;
        Publish();
    }
    while (suspended_ && stepsLeft_ == 0 && command_ == Command::None && !isInterruptionRequested())
        resumed_.wait(&suspendMutex_);
    command = command_;
    epoch = commandEpoch_;
    command_ = Command::None;
    suspended = suspended_;
    if (command == Command::Options) {
        start_.options = newOptions_;
        start_.loop = newLoop_;
    }
    return !isInterruptionRequested();
}

bool TPacedCycle::WaitUntilDue(int64_t dueUs)
{
    QMutexLocker lock(&suspendMutex_);
    for (;;) {
        if (isInterruptionRequested() || suspended_ || command_ != Command::None)
            return false;
        const int64_t now = start_.clock->NowUs();
        if (now >= dueUs)
            return true;
        if (start_.clock->Jumps()) {
            start_.clock->JumpTo(dueUs);
            return true;
        }
        const int64_t leftMs = (dueUs - now + kUsPerMs - 1) / kUsPerMs;
        resumed_.wait(&suspendMutex_, QDeadlineTimer(leftMs, Qt::PreciseTimer));
    }
}

void TPacedCycle::Seek(size_t epoch)
{
    pace_->Seek(epoch, start_.clock->NowUs());
    const int64_t offset = pace_->Cursor();
    // Read here, routed on the main thread: the window waits only for the routing.
    std::vector<uint8_t> before;
    if (offset > 0 && paced_) {
        const size_t at = pace_->EpochAt(offset);
        const int64_t from = pace_->EpochBegin(at > kPrimeEpochs ? at - kPrimeEpochs : 0);
        before.resize(size_t(std::max<int64_t>(offset - from, 0)));
        if (::fseeko(paced_, off_t(from), SEEK_SET) != 0)
            before.clear();
        before.resize(std::fread(before.data(), 1, before.size(), paced_));
    }
    if (callbacks_.seekReset)
        OnMainThread([this, offset, &before] { callbacks_.seekReset(offset, before); });
    deliveredAny_ = false;
}

bool TPacedCycle::DeliverRange(const Delivery& d)
{
    if (keepTimes_) {
        // Taken on the main thread, where the block is about to be routed.
        int64_t sentUs = 0;
        OnMainThread([this, &sentUs] { sentUs = start_.clock->NowUs(); });
        QMutexLocker lock(&timesMutex_);
        sent_.push_back({d.begin, d.dueUs, sentUs});
    }
    if (!paced_ || ::fseeko(paced_, off_t(d.begin), SEEK_SET) != 0)
        return false;
    uint8_t block[kPlaybackBlockSize];
    for (int64_t at = d.begin; at < d.end;) {
        const size_t want = size_t(std::min<int64_t>(d.end - at, kPlaybackBlockSize));
        const size_t got = std::fread(block, 1, want, paced_);
        if (got > 0)
            HandOver(block, int(got));
        if (got != want || isInterruptionRequested())
            return false;
        at += int64_t(got);
    }
    return true;
}

bool TPacedCycle::Follow(bool stepping)
{
    struct stat st {};
    const int64_t indexed = start_.index->index.Size();
    if (paced_ && ::fstat(fileno(paced_), &st) == 0 && int64_t(st.st_size) > indexed) {
        // A recording still in progress: index what it added and go on.
        std::vector<uint8_t> bytes(kGrowthReadBlock);
        ::fseeko(paced_, off_t(indexed), SEEK_SET);
        for (int64_t left = int64_t(st.st_size) - indexed; left > 0;) {
            const size_t got = std::fread(bytes.data(), 1, size_t(std::min<int64_t>(left, int64_t(bytes.size()))), paced_);
            if (got == 0)
                break;
            std::unique_lock lock(start_.index->lock);
            start_.index->index.Feed(bytes.data(), got);
            left -= int64_t(got);
        }
        pace_->DropReceiveTimes(start_.clock->NowUs());
        following_ = true;
        return true;
    }
    if (stepping)
        return true;
    // A loop that delivered nothing since it began again (an empty file)
    // would only seek again at once: it waits for the file instead.
    if (start_.loop && deliveredAny_) {
        Seek(0);
        return true;
    }
    if (!start_.options.max && !following_ && !start_.loop)
        return false;
    // "max" at the end, a file seen growing, or a loop over nothing yet:
    // wait for more like tail -f.
    QMutexLocker lock(&suspendMutex_);
    if (!isInterruptionRequested() && command_ == Command::None)
        resumed_.wait(&suspendMutex_, kFollowPollMs);
    return true;
}

void TPacedCycle::run()
{
    paced_ = std::fopen(QFile::encodeName(start_.fileName).constData(), "rb");
    {
        std::shared_lock lock(start_.index->lock);
        pace_ = std::make_unique<ReplayPace>(start_.index->index, start_.times, start_.options);
    }
    Seek(start_.epoch);
    bool running = paced_ != nullptr;
    while (running) {
        Command command = Command::None;
        size_t epoch = 0;
        bool suspended = false;
        if (!TakeCommand(command, epoch, suspended))
            break;
        const int64_t now = start_.clock->NowUs();
        if (wasSuspended_ && !suspended)
            pace_->Rebase(now);   // the pause does not count as recording time
        wasSuspended_ = suspended;
        // Back from Fast play: the pace goes on from here, not from before it.
        const bool normal = NormalSpeed.load();
        if (normal && !wasNormal_)
            pace_->Rebase(now);
        wasNormal_ = normal;
        switch (command) {
        case Command::Seek:
            Seek(epoch);
            stepsLeft_ = suspended ? 1 : 0;
            break;
        case Command::StepForward:
            stepsLeft_ = suspended ? 1 : 0;
            break;
        case Command::StepBack:
            Seek(deliveredAny_ && lastEpoch_ > 0 ? lastEpoch_ - 1 : 0);
            stepsLeft_ = suspended ? 1 : 0;
            break;
        case Command::Options:
            pace_->SetOptions(start_.options, now);
            break;
        case Command::None:
            break;
        }
        if (suspended)
            pace_->Pause(now);   // a seek or new options while paused start no clock
        Publish();
        if (command != Command::None)
            continue;
        if (suspended && stepsLeft_ == 0)
            continue;
        Delivery d;
        if (!pace_->Next(d)) {
            running = Follow(stepsLeft_ > 0);
            if (stepsLeft_ > 0 && !pace_->Next(d))
                stepsLeft_ = 0;   // nothing more to step to
            continue;
        }
        // Fast play on a paced playback: no waiting, as "max".
        if (stepsLeft_ == 0 && NormalSpeed.load() && !WaitUntilDue(d.dueUs))
            continue;   // woken by a command, a pause or a stop
        running = DeliverRange(d);
        pace_->Done(d);
        Publish();
        lastEpoch_ = d.epoch;
        deliveredAny_ = true;
        if (d.end >= pace_->EpochEnd(d.epoch)) {
            if (stepsLeft_ > 0)
                --stepsLeft_;
            if (callbacks_.position)
                QMetaObject::invokeMethod(this, [cb = callbacks_.position, e = d.epoch, n = pace_->EpochCount()] { cb(e, n); },
                                          Qt::QueuedConnection);
        }
    }
    if (paced_) {
        std::fclose(paced_);
        paced_ = nullptr;
    }
    OnMainThread(callbacks_.ended);
    Finished();
}
