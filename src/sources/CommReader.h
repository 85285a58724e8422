#pragma once
// The reader thread of a link (SourceLink): it sleeps in poll() on the source's
// descriptor and an eventfd, reads everything queued into one buffer and
// hands the block to the main thread synchronously, through a blocking
// queued call to the main side's object, so the buffer needs no lock. The
// main thread owns the descriptors; a stop is the atomic flag plus a write
// to the eventfd, seen after the hand-off in progress returns.
#include "NetLink.h"
#include "SourceLink.h"

#include <QThread>

#include <atomic>
#include <cstdint>

// What the reader hands to the main thread.
enum class HandOff { Bytes, LineError, Lost, NoData };

// Line error counters of the kernel, the ones that mean a damaged byte.
struct LineCounters {
    int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
    bool operator==(const LineCounters&) const = default;
};

class ReadThread : public QThread {
public:
    // Runs on the main thread, inside the hand-off, while the reader waits;
    // context is the one the reader was made with (its link).
    using Deliver = void (*)(void* context, ReadThread* from, HandOff what, int length);

    // mainSide: the object in the main thread the hand-offs go to; while it
    // is null (gone with the application) the reader hands nothing over
    // and ends.
    ReadThread(int fd, int wakeFd, ReadSource source, const std::atomic<QObject*>& mainSide, Deliver deliver,
               void* context)
        : fd_(fd), wakeFd_(wakeFd), source_(source), mainSide_(mainSide), deliver_(deliver), context_(context)
    {
    }

    void RequestStop() { stop_.store(true); }
    bool StopRequested() const { return stop_.load(); }
    const uint8_t* Buffer() const { return buffer_; }

protected:
    void run() override;

private:
    bool ReadQueued(bool hangUp, bool* lost, int64_t* lastHandOffMs);
    bool ReadDatagrams(bool* lost, int64_t* lastHandOffMs);
    bool ReadLargeDatagram(int64_t* lastHandOffMs);
    bool HandOverBlock(int64_t* lastHandOffMs);
    bool HandOver(HandOff what, int length);
    bool ReadCounters(LineCounters* out) const;

    static constexpr size_t kMaxDatagram = 65536;

    const int fd_;
    const int wakeFd_;
    const ReadSource source_;
    const std::atomic<QObject*>& mainSide_;
    const Deliver deliver_;
    void* const context_;
    GpsdJsonFilter gpsdFilter_;
    bool gotData_ = false;
    std::atomic<bool> stop_{false};
    LineCounters lastCounters_;
    int filled_ = 0;   // bytes read and not yet handed over
    uint8_t buffer_[kReadBufferSize];
};
