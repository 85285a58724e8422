#pragma once
// Paced playback: the playback thread of the main window, delivering a
// recording epoch by epoch at the recording's own pace (ReplayPace), with
// seek and step. It is a TReadCycle, so the main window's Pause and Stop
// work on it unchanged, and its bytes take the same road (ReceiveBytes).
//
// Commands from the main thread (seek, step, new options) are posted under
// the thread's lock and wake it. Everything the thread does to windows goes
// through blocking calls on the main thread, in order with the blocks, so a
// seek's reset can never be overtaken by a block from before it.
#include "Cycle.h"
#include "EpochIndex.h"
#include "ReplayPace.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>

// The index shared by the player window (reading) and the thread that
// extends it when the file grows (writing).
struct SharedEpochIndex {
    explicit SharedEpochIndex(bool binr) : index(binr) {}
    mutable std::shared_mutex lock;
    EpochIndex index;
};

// The replay clock. Tests give a virtual one whose waits end at once with
// the clock moved to the due time, so no test sleeps through a recording.
class ReplayClock {
public:
    virtual ~ReplayClock() = default;
    virtual int64_t NowUs() const;
    // True: waiting for a due time is done by moving the clock there.
    virtual bool Jumps() const { return false; }
    virtual void JumpTo(int64_t) {}
};

// The epochs a seek reads back to prime the decoders and views: what a
// receiver repeats at least this often (date, fix status, satellites, the
// BINR messages before a fix) shows after a seek exactly as in a play.
constexpr size_t kPrimeEpochs = 120;

struct PacedStart {
    QString fileName;
    std::shared_ptr<SharedEpochIndex> index;
    ReceiveTimeList times;    // empty: none
    PaceOptions options;
    size_t epoch = 0;         // where to start
    bool loop = false;
    std::shared_ptr<ReplayClock> clock;   // null: the monotonic clock
};

// Besides the blocks and the end (PlaybackCallbacks), on the main thread.
struct PacedCallbacks {
    // Blocking: decoders and views reset for a seek to offset, then primed
    // with the bytes just before it (the epochs before the one sought, up
    // to kPrimeEpochs of them) so that it shows as in a play from the start.
    std::function<void(int64_t offset, const std::vector<uint8_t>& before)> seekReset;
    // Queued: the epoch just delivered, and the epoch count.
    std::function<void(size_t epoch, size_t count)> position;
    // Blocking, just before the finished callback.
    std::function<void()> ended;
};

class TPacedCycle : public TReadCycle {
    Q_OBJECT
public:
    TPacedCycle(PacedStart start, PlaybackCallbacks callbacks, PacedCallbacks paced);
    ~TPacedCycle() override;

    // Posted to the thread; each wakes it. A seek while suspended also
    // delivers the epoch sought, so the views show it.
    void SeekTo(size_t epoch);
    void StepForward();
    void StepBack();
    void SetOptions(const PaceOptions& options, bool loop);

    // Delivery times of the blocks on the replay clock, when asked for (tests
    // and the pace benchmark): offset of each block's first byte and its time.
    struct Sent {
        int64_t offset;
        int64_t dueUs;
        int64_t sentUs;
    };
    void KeepDeliveryTimes(bool on) { keepTimes_ = on; }

    // Main thread: the epoch delivered last and the recording time since
    // it, in ms, on the replay clock now: inside a gap this grows evenly
    // until the next epoch is due. False before any delivery.
    bool Reached(size_t& epoch, int64_t& sinceMs) const;
    std::vector<Sent> DeliveryTimes() const;

protected:
    void run() override;

private:
    enum class Command { None, Seek, StepForward, StepBack, Options };
    bool TakeCommand(Command& command, size_t& epoch, bool& suspended);
    bool WaitUntilDue(int64_t dueUs);
    bool DeliverRange(const Delivery& d);
    bool Follow(bool waitForGrowth);
    void Seek(size_t epoch);

    PacedStart start_;
    PacedCallbacks callbacks_;
    std::FILE* paced_ = nullptr;
    std::unique_ptr<ReplayPace> pace_;

    // Guarded by the base's suspendMutex_.
    Command command_ = Command::None;
    size_t commandEpoch_ = 0;
    PaceOptions newOptions_;
    bool newLoop_ = false;

    // Thread side.
    int stepsLeft_ = 0;            // epochs to deliver at once while suspended
    bool wasSuspended_ = false;
    bool wasNormal_ = true;
    bool following_ = false;
    size_t lastEpoch_ = 0;
    bool deliveredAny_ = false;

    void Publish();
    mutable QMutex progressMutex_;
    PaceProgress progress_;   // guarded by progressMutex_

    bool keepTimes_ = false;
    mutable QMutex timesMutex_;
    std::vector<Sent> sent_;
};
