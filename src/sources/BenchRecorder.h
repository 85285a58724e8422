#pragma once
// The bench's live side: every source of a bench open at once, each with its
// own link and reader thread, its own record file and receive times, feeding
// its own BenchReceiver. One Start opens them all (a source that cannot be
// opened is named and the others start); one Stop ends them all. A source
// that is lost shows so and, with reconnect on, comes back appending to its
// file. A stalled or flooding source never delays another's bytes.
//
// Main thread only, like the window that drives it; the headless bench
// drives it the same way.
#include "BenchFolder.h"
#include "BenchReceiver.h"

#include <QString>
#include <QStringList>

#include <cstdint>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

class BenchRecorder {
public:
    BenchRecorder();
    ~BenchRecorder();
    BenchRecorder(const BenchRecorder&) = delete;
    BenchRecorder& operator=(const BenchRecorder&) = delete;

    struct Handlers {
        std::function<void()> updated;              // once a second, after every receiver's Update
        std::function<void(int index)> stateChanged;   // a receiver opened, was lost, came back
        // A block of receiver index's bytes, after it was recorded and its
        // receiver took it; nowUs is its arrival clock. For measurements:
        // keep it small, it runs inside the hand-off.
        std::function<void(int index, int length, int64_t nowUs)> received = {};
    };
    void SetHandlers(Handlers handlers);

    // Names are made fit for file names and unique (BenchSafeNames), so no
    // two sources ever write one file. Not while running.
    void SetSources(std::vector<BenchSourceSetup> sources);
    const std::vector<BenchSourceSetup>& Sources() const { return sources_; }
    void SetReference(std::optional<BenchReference> reference) { reference_ = reference; }
    const std::optional<BenchReference>& Reference() const { return reference_; }
    void SetReconnect(bool on) { reconnect_ = on; }

    // Opens every source. With recordDir set, records into a new test folder
    // there (BenchFolder.h) named by the start time and title; without,
    // only watches. False, nothing started, when the folder or its
    // bench.json cannot be made (Problems() says why); sources that cannot
    // be opened are in Problems() and the others run.
    bool Start(const QString& recordDir, const QString& title);
    // Ends every source; the recordings are complete when it returns. A
    // source that never sent a byte leaves no recording (nor .times).
    void Stop();
    bool Running() const { return running_; }
    // The test folder of the recording under way or last made; empty when watching.
    const QString& Folder() const { return folder_; }
    // "NAME: why", one per source that failed or lost data.
    const QStringList& Problems() const { return problems_; }

    const std::vector<std::unique_ptr<BenchReceiver>>& Receivers() const { return receivers_; }

    // The monotonic clock (µs) and the UTC time (ms) of the last Start.
    int64_t StartUs() const { return startUs_; }
    int64_t StartUnixMs() const { return startUnixMs_; }
    // The record file of receiver index in Folder() (empty when watching).
    QString RecordFileName(int index) const;
    // Bytes of receiver index that could not be written to its file.
    int64_t LostBytes(int index) const;
    // Why receiver index failed or was lost last, empty while it is fine.
    QString StateText(int index) const;

private:
    struct Channel;
    void MakeReceivers();
    bool MakeFolder(const QString& recordDir, const QString& title);
    void OpenChannel(int index);
    void OpenedChannel(int index, bool opened);
    void OnBytes(int index, const uint8_t* bytes, int length);
    void OnLost(int index);
    void StartCommands(int index);
    void SendDueCommands(int index);
    void SetState(int index, BenchState state);
    void EverySecond();
    void ReconnectTick();
    void RebuildProblems();
    void CloseFiles();

    Handlers handlers_;
    std::vector<BenchSourceSetup> sources_;
    std::optional<BenchReference> reference_;
    bool reconnect_ = false;
    bool running_ = false;
    QString folder_;
    QStringList problems_;
    std::vector<std::unique_ptr<BenchReceiver>> receivers_;
    std::vector<std::unique_ptr<Channel>> channels_;
    std::unique_ptr<QTimer> secondTimer_;
    std::unique_ptr<QTimer> reconnectTimer_;
    int64_t startUs_ = 0;
    int64_t startUnixMs_ = 0;
    bool recording_ = false;
    QString startProblem_;
};
