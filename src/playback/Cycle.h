#pragma once
// Playback: a recorded file goes back through the main window's intake,
// block by block, exactly as the receiver's bytes would. The thread takes a
// block from its source, hands it to the main thread and waits until it has
// been routed, counted and painted; that hand-off is its only pacing unless
// the source names a later time for the block.
//
// The thread knows nothing of the window that started it: it owns its source
// and calls two functions on the main thread, one per block and one at the
// end. Once a stop has been requested it calls neither, so a thread finishing
// after a Stop can never touch a playback started after it, nor a window
// that is going away.
#include "FileHandle.h"
#include "MonotonicClock.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

constexpr int kPlaybackBlockSize = 2048;
constexpr int kSmallFileSize = 1024;   // up to this size progress shows 100 % at once
constexpr unsigned long kEndPauseMs = 200;

// "File reading... N%" for the bytes delivered so far.
QString ProgressText(int64_t delivered, int64_t fileSize);

// Where a playback's blocks come from, and when each is due. Called on the
// playback thread only, one block at a time.
class PlaybackSource {
public:
    using Clock = MonotonicChronoClock;
    struct Block {
        int length = 0;
        // The last block: the thread ends after delivering it.
        bool last = true;
        // Not handed over before this time; the default is at once.
        Clock::time_point due{};
    };
    virtual ~PlaybackSource() = default;
    // Fills bytes (room for kPlaybackBlockSize) with the next block.
    // normalSpeed is the pace chosen on the panel when the block is taken.
    virtual Block Next(uint8_t* bytes, bool normalSpeed) = 0;
};

// A recorded file read as fast as the intake takes it: one byte per block at
// normal speed, 2048 at fast speed. The block that comes back short (0 bytes
// at the end) is delivered too, and is the last.
// A recording opened for reading, or null (why says it, errno's text or
// "not a regular file"): opened without waiting, since the open of a FIFO
// would itself block until a writer came, and refused unless it is a
// regular file, since a device would block its reader for good and a folder
// reads as nothing. size and modifiedS (Unix seconds) as opened.
FileHandle OpenRecording(const QString& fileName, int64_t* size, int64_t* modifiedS = nullptr, QString* why = nullptr);

class FilePlaybackSource : public PlaybackSource {
public:
    // Null when the file cannot be opened or is not a regular file: a FIFO
    // or a device would block the reader for good, and a folder reads as
    // nothing.
    static std::unique_ptr<FilePlaybackSource> Open(const QString& fileName);
    int64_t Size() const { return size_; }
    int64_t ModifiedS() const { return modifiedS_; }   // Unix seconds, when opened
    Block Next(uint8_t* bytes, bool normalSpeed) override;

private:
    FilePlaybackSource(FileHandle file, int64_t size, int64_t modifiedS)
        : file_(std::move(file)), size_(size), modifiedS_(modifiedS) {}
    FileHandle file_;
    int64_t size_ = 0;
    int64_t modifiedS_ = 0;
};

// What the thread calls on the main thread. Either may be empty.
struct PlaybackCallbacks {
    // Once per block, while the thread waits for it to return.
    std::function<void(const uint8_t* bytes, int length)> deliver;
    // Once, after the last block and the end pause, when the playback ran
    // out by itself (not after a stop request).
    std::function<void()> finished;
};

class TReadCycle : public QThread {
    Q_OBJECT
public:
    // The speed is in place before the first block is taken.
    TReadCycle(std::unique_ptr<PlaybackSource> source, PlaybackCallbacks callbacks, bool normalSpeed);
    ~TReadCycle() override;

    // Set: one byte per block; clear: 2048. Read afresh before every block.
    std::atomic<bool> NormalSpeed;

    // No block is taken or delivered while suspended; the block already
    // handed over is still processed.
    void Suspend();
    void Resume();
    // Finish the block in hand and end (wakes a suspended or waiting thread).
    // No callback runs after this.
    void RequestStop();
    // Main thread: true while one of this thread's callbacks is running, so
    // the thread is blocked on the caller and must not be waited for.
    bool InHandOff() const { return inHandOff_; }

signals:
    // Emitted by the owner's deliver callback once it has shown the block's
    // progress.
    void ProgressShown(const QString& text);

protected:
    void run() override;
    // For a subclass with its own loop (the paced playback). Each runs on
    // the main thread while this thread waits, as a hand-off, and does
    // nothing once a stop has been requested: one block to the deliver
    // callback; any other call; the finished callback.
    void HandOver(const uint8_t* bytes, int length);
    void OnMainThread(const std::function<void()>& call);
    void Finished();

private:
    bool WaitWhileSuspended();
    // Sleeps until due; false when a stop was requested meanwhile.
    bool WaitUntil(PlaybackSource::Clock::time_point due);
    void Deliver();   // main thread, once per block
    void Finish();    // main thread, once at the end

    std::unique_ptr<PlaybackSource> source_;
    PlaybackCallbacks callbacks_;
    uint8_t block_[kPlaybackBlockSize];
    int blockLength_ = 0;
    bool inHandOff_ = false;

protected:
    // A subclass with its own loop waits and is woken on these too.
    QMutex suspendMutex_;
    QWaitCondition resumed_;
    bool suspended_ = false;
};
