#pragma once
// The bench replayed: a test folder's recordings played in step on their
// receive times (.times), each into its own BenchReceiver, so the bench's
// table fills as it did live. Seek, step and speed as for one file.
//
// One time line runs from the test's start (the earliest recording's start
// on the clock its .times were taken by). A block goes to its receiver when
// the line reaches its receive time, blocks of different receivers in the
// order they were received, with the line's time as the receive clock, so
// figures that count from Start (TTFF) come out as they did live. A
// recording without good receive times is still played: from the test's
// start, paced as a single file without them is (ReplayPace: its epochs'
// UTC times, else its bytes at the line's rate), and Notes() says so.
//
// Main thread only; driven by the PLAYER. The work is done on a timer in
// slices of bounded bytes and time, so neither a fast replay nor a long
// seek holds the window up; files are read block by block, never whole.
#include "BenchFolder.h"
#include "BenchReceiver.h"
#include "BenchTrack.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

class BenchReplay {
public:
    BenchReplay();
    ~BenchReplay();
    BenchReplay(const BenchReplay&) = delete;
    BenchReplay& operator=(const BenchReplay&) = delete;

    struct Handlers {
        std::function<void()> updated;   // the receivers' figures moved on (at most once a second of replay)
        std::function<void()> ended;     // every recording played to its end
    };
    void SetHandlers(Handlers handlers);

    // A test folder (or its bench.json). False with a reason fit for a user.
    bool Open(const QString& folder, QString* problem);
    void Close();
    bool IsOpen() const { return !receivers_.empty(); }
    const BenchManifest& Manifest() const { return manifest_; }

    // The test's time line: milliseconds from its start.
    int64_t DurationMs() const { return durationMs_; }
    int64_t PositionMs() const { return positionMs_; }
    void Play();
    void Pause();
    bool Playing() const { return playing_; }
    // speed: times the recording's own pace; 0 as fast as it goes.
    void SetSpeed(double speed);
    double Speed() const { return speed_; }
    // To a time of the test: every receiver starts afresh and is fed up to it.
    void Seek(int64_t ms);
    // One second on, or back.
    void Step(int seconds);

    const std::vector<std::unique_ptr<BenchReceiver>>& Receivers() const { return receivers_; }

    // The test folder open (absolute), empty when none is.
    const QString& Folder() const { return folder_; }
    // One line for each recording a user should know about: refused,
    // missing, empty, or played without its receive times (and how).
    const std::vector<QString>& Notes() const { return notes_; }
    // How a receiver's recording is paced on the time line.
    BenchPacing PacingOf(size_t receiver) const;
    // A seek or step is still feeding the receivers up to its time; the
    // position already reads that time.
    bool Busy() const { return catchUpMs_ >= 0; }
    // Played (or sought) to its end: every receiver's figures are final.
    bool AtEnd() const { return ended_; }
    // The clock the pace is read from, microseconds (tests jump it); the
    // monotonic clock by default.
    void SetClock(std::function<int64_t()> nowUs);

private:
    bool FeedTo(int64_t targetMs);
    void Tick();
    void Schedule();
    void Anchor();
    void UpdateReceivers(bool force);
    void End();
    void Restart();
    int64_t NowUs() const;

    Handlers handlers_;
    BenchManifest manifest_;
    std::vector<std::unique_ptr<BenchReceiver>> receivers_;
    int64_t durationMs_ = 0;
    int64_t positionMs_ = 0;
    double speed_ = 1;
    bool playing_ = false;

    QString folder_;
    std::vector<QString> notes_;
    std::vector<std::unique_ptr<BenchTrack>> tracks_;   // one per receiver, in the same order
    std::unique_ptr<QTimer> timer_;
    std::function<int64_t()> clock_;
    std::vector<uint8_t> buffer_;
    int64_t catchUpMs_ = -1;       // a seek's or step's time still being fed up to
    int64_t lastFedMs_ = 0;        // the time of the last block fed
    int64_t anchorUs_ = 0;         // on the clock: when the line was at anchorMs_
    int64_t anchorMs_ = 0;
    int64_t lastUpdateSecond_ = -1;
    int64_t lastUpdateUs_ = 0;
    bool ended_ = false;
};
