#pragma once
// Playback: a recorded file goes back through the main window's intake,
// block by block, exactly as the receiver's bytes would. The thread reads a
// block, hands it to the main thread and waits until it has been routed,
// counted and painted; that hand-off is its only pacing. One byte per block
// at normal speed, 2048 at fast speed.
//
// Each thread owns its file. At its end it acts on the main window only
// while it is still the current playback there, so a thread finishing after
// a Stop can never close or stop a playback started after it.
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <cstdint>
#include <cstdio>

constexpr int kPlaybackBlockSize = 2048;
constexpr int kSmallFileSize = 1024;   // up to this size progress shows 100 % at once
constexpr unsigned long kEndPauseMs = 200;

// Opens the file for the next TReadCycle and takes its size. False when it
// cannot be opened; nothing else changes then.
bool OpenPlaybackFile(const QString& fileName);
// Size of the file opened last, in bytes.
int64_t PlaybackFileSize();
// "File reading... N%" for the bytes delivered so far.
QString ProgressText(int64_t delivered, int64_t fileSize);

class TReadCycle : public QThread {
    Q_OBJECT
public:
    // Takes the file opened by the last successful OpenPlaybackFile; the
    // speed is in place before the first read.
    explicit TReadCycle(bool normalSpeed);
    ~TReadCycle() override;

    // Set: one byte per block; clear: 2048. Read afresh before every block.
    std::atomic<bool> NormalSpeed;

    // No block is read or delivered while suspended; the block already
    // handed over is still processed.
    void Suspend();
    void Resume();
    // Finish the block in hand and end (wakes a suspended thread).
    void RequestStop();

signals:
    // On the main thread, after each block's progress has been shown.
    void ProgressShown(const QString& text);

protected:
    void run() override;

private:
    bool WaitWhileSuspended();
    void Deliver();   // main thread, once per block
    void Finish();    // main thread, once at the end

    std::FILE* file_ = nullptr;
    int64_t fileSize_ = 0;
    uint8_t block_[kPlaybackBlockSize];
    int blockLength_ = 0;

protected:
    // A subclass with its own loop waits and is woken on these too.
    QMutex suspendMutex_;
    QWaitCondition resumed_;
    bool suspended_ = false;
};
