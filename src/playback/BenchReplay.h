#pragma once
// The bench replayed: a test folder's recordings played in step on their
// receive times (.times), each into its own BenchReceiver, so the bench's
// table fills as it did live. Seek, step and speed as for one file.
//
// Main thread only; driven by the PLAYER through the panel.
#include "BenchFolder.h"
#include "BenchReceiver.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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
    void SetSpeed(double speed) { speed_ = speed; }
    double Speed() const { return speed_; }
    // To a time of the test: every receiver starts afresh and is fed up to it.
    void Seek(int64_t ms);
    // One second on, or back.
    void Step(int seconds);

    const std::vector<std::unique_ptr<BenchReceiver>>& Receivers() const { return receivers_; }

private:
    Handlers handlers_;
    BenchManifest manifest_;
    std::vector<std::unique_ptr<BenchReceiver>> receivers_;
    int64_t durationMs_ = 0;
    int64_t positionMs_ = 0;
    double speed_ = 1;
    bool playing_ = false;
};
