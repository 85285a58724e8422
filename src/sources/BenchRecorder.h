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

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BenchRecorder {
public:
    BenchRecorder();
    ~BenchRecorder();
    BenchRecorder(const BenchRecorder&) = delete;
    BenchRecorder& operator=(const BenchRecorder&) = delete;

    struct Handlers {
        std::function<void()> updated;              // once a second, after every receiver's Update
        std::function<void(int index)> stateChanged;   // a receiver opened, was lost, came back
    };
    void SetHandlers(Handlers handlers);

    void SetSources(std::vector<BenchSourceSpec> sources);
    const std::vector<BenchSourceSpec>& Sources() const { return sources_; }
    void SetReference(std::optional<BenchReference> reference) { reference_ = reference; }
    const std::optional<BenchReference>& Reference() const { return reference_; }
    void SetReconnect(bool on) { reconnect_ = on; }

    // Opens every source. With recordDir set, records into a new test folder
    // there (BenchFolder.h) named by the start time and title; without,
    // only watches. False, nothing started, when the folder or its
    // bench.json cannot be made (Problems() says why); sources that cannot
    // be opened are in Problems() and the others run.
    bool Start(const QString& recordDir, const QString& title);
    // Ends every source; the recordings are complete when it returns.
    void Stop();
    bool Running() const { return running_; }
    // The test folder of the recording under way or last made; empty when watching.
    const QString& Folder() const { return folder_; }
    // "NAME: why", one per source that failed or lost data.
    const QStringList& Problems() const { return problems_; }

    const std::vector<std::unique_ptr<BenchReceiver>>& Receivers() const { return receivers_; }

private:
    Handlers handlers_;
    std::vector<BenchSourceSpec> sources_;
    std::optional<BenchReference> reference_;
    bool reconnect_ = false;
    bool running_ = false;
    QString folder_;
    QStringList problems_;
    std::vector<std::unique_ptr<BenchReceiver>> receivers_;
};
