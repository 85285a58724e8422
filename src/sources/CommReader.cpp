#include "CommReader.h"

#include "MonotonicClock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Under a steady stream the reader gathers what arrives for this long before
// handing it over: every block costs the main thread a repaint of all windows,
// and a few hundred of them a second would eat a core for nothing. A lone
// burst after a quiet spell goes over at once.
constexpr int64_t kHandOffSpacingMs = 25;

} // namespace

void ReadThread::run()
{
    bool counters = source_.serial && ReadCounters(&lastCounters_);
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    bool lost = false;
    int64_t lastHandOffMs = MonotonicMs() - kHandOffSpacingMs;
    const int64_t noDataDeadlineMs = MonotonicMs() + kGpsdNoDataMs;
    while (!StopRequested()) {
        // Bytes held back wait at most until the spacing since the last
        // hand-off has passed; otherwise sleep until something happens.
        int timeoutMs = -1;
        if (filled_ > 0)
            timeoutMs = int(std::max<int64_t>(0, lastHandOffMs + kHandOffSpacingMs - MonotonicMs()));
        if (source_.gpsd && !gotData_) {
            const int64_t left = noDataDeadlineMs - MonotonicMs();
            if (left <= 0) {
                HandOver(HandOff::NoData, 0);
                return;
            }
            timeoutMs = timeoutMs < 0 ? int(left) : std::min(timeoutMs, int(left));
        }
        if (poll(fds, 2, timeoutMs) < 0) {
            if (errno == EINTR)
                continue;
            lost = true;
            break;
        }
        if (StopRequested() || fds[1].revents != 0)
            break;
        const short ev = fds[0].revents;
        const bool hangUp = (ev & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if ((ev & POLLIN) || hangUp) {
            const bool goOn = source_.datagram ? ReadDatagrams(&lost, &lastHandOffMs)
                                               : ReadQueued(hangUp, &lost, &lastHandOffMs);
            if (!goOn)
                return;   // stopped inside a hand-off: the descriptors may be gone
        }
        if (hangUp || lost) {
            // Everything read so far still reaches the main thread.
            if (filled_ > 0 && !HandOverBlock(&lastHandOffMs))
                return;
            lost = true;
            break;
        }
        if (filled_ > 0 && MonotonicMs() >= lastHandOffMs + kHandOffSpacingMs && !HandOverBlock(&lastHandOffMs))
            return;
        if (counters) {
            LineCounters now;
            counters = ReadCounters(&now);
            if (counters && !(now == lastCounters_)) {
                lastCounters_ = now;
                if (!HandOver(HandOff::LineError, 0))
                    return;
            }
        }
    }
    if (lost && !StopRequested())
        HandOver(HandOff::Lost, 0);
}

// Reads everything queued into the buffer, handing it over whenever it
// is full, so the kernel's queue never holds more than one burst.
// Returns false when the main thread asked to stop.
bool ReadThread::ReadQueued(bool hangUp, bool* lost, int64_t* lastHandOffMs)
{
    for (;;) {
        ssize_t n = read(fd_, buffer_ + filled_, size_t(kReadBufferSize - filled_));
        if (n > 0 && source_.gpsd) {
            n = gpsdFilter_.Filter(buffer_ + filled_, int(n));
            if (n == 0)
                continue;   // only gpsd's reports: no raw data yet
            gotData_ = true;
        }
        if (n > 0) {
            filled_ += int(n);
            if (filled_ == kReadBufferSize && !HandOverBlock(lastHandOffMs))
                return false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            *lost = true;   // 0 bytes in raw non-blocking mode, or EIO: hung up
        else if (hangUp)
            *lost = true;
        return true;
    }
}

// Each datagram whole: one that does not fit behind what is held goes
// after a hand-off, one larger than the buffer in slices, in order.
bool ReadThread::ReadDatagrams(bool* lost, int64_t* lastHandOffMs)
{
    for (;;) {
        // The size of the datagram at the head of the queue, which stays
        // there until it is taken: MSG_TRUNC tells it even when it does
        // not fit the room left.
        const ssize_t next = recv(fd_, buffer_ + filled_, size_t(kReadBufferSize - filled_), MSG_PEEK | MSG_TRUNC);
        if (next < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                *lost = true;
            return true;
        }
        if (next > kReadBufferSize - filled_ && filled_ > 0) {
            if (!HandOverBlock(lastHandOffMs))
                return false;
            continue;
        }
        if (next > kReadBufferSize) {
            if (!ReadLargeDatagram(lastHandOffMs))
                return false;
            continue;
        }
        const ssize_t n = recv(fd_, buffer_ + filled_, size_t(kReadBufferSize - filled_), 0);
        if (n < 0)
            continue;   // EINTR; nothing else can take the datagram peeked at
        filled_ += int(n);
        if (filled_ == kReadBufferSize && !HandOverBlock(lastHandOffMs))
            return false;
    }
}

bool ReadThread::ReadLargeDatagram(int64_t* lastHandOffMs)
{
    std::vector<uint8_t> big(kMaxDatagram);
    const ssize_t n = recv(fd_, big.data(), big.size(), 0);
    for (ssize_t at = 0; at < n; at += kReadBufferSize) {
        filled_ = int(std::min<ssize_t>(kReadBufferSize, n - at));
        std::memcpy(buffer_, big.data() + at, size_t(filled_));
        if (!HandOverBlock(lastHandOffMs))
            return false;
    }
    return true;
}

bool ReadThread::HandOverBlock(int64_t* lastHandOffMs)
{
    const int length = filled_;
    filled_ = 0;
    const bool goOn = HandOver(HandOff::Bytes, length);
    *lastHandOffMs = MonotonicMs();
    return goOn;
}

bool ReadThread::HandOver(HandOff what, int length)
{
    QObject* target = mainSide_.load();
    if (!target)
        return false;
    QMetaObject::invokeMethod(
        target, [this, what, length] { deliver_(context_, this, what, length); }, Qt::BlockingQueuedConnection);
    return !StopRequested();
}

// False when the driver keeps no counters (a pty answers ENOTTY).
bool ReadThread::ReadCounters(LineCounters* out) const
{
    serial_icounter_struct ic;
    std::memset(&ic, 0, sizeof ic);
    if (ioctl(fd_, TIOCGICOUNT, &ic) != 0)
        return false;
    out->frame = ic.frame;
    out->parity = ic.parity;
    out->overrun = ic.overrun;
    out->brk = ic.brk;
    out->bufOverrun = ic.buf_overrun;
    return true;
}
