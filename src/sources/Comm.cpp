// The serial link on POSIX termios.
//
// One port is open at a time. A reader thread sleeps in poll() on the port and
// on an eventfd; it reads everything queued into one buffer and hands the
// block to the main thread synchronously, so the buffer needs no lock. The
// main thread owns the descriptors: it closes them only while the reader is
// provably not using them (ended, or blocked inside a hand-off that will see
// the stop flag first), so a reused descriptor number is never touched.
//
// A vanished device (USB adapter pulled, the other side of a pty closed) makes
// poll report a hang-up for ever; the reader delivers what was still queued,
// tells the main thread through connectionLost and ends instead of spinning.
//
// A network source (NetLink) is one more descriptor for the same reader: a
// closed TCP connection reads as a hang-up; a UDP socket is read a datagram
// at a time, never cut, and a 0-byte datagram is no hang-up; gpsd's own
// reports are filtered out of its pass-through before the hand-off. The
// hand-off waits for the main thread, so a peer that floods is held back by
// the kernel's socket buffer, never by memory of ours.
//
// Opening a network source may wait seconds (a name server, a host that
// drops the connection request, a gpsd hunting its device), so the window
// opens it through a worker: the worker only opens, and hands the finished
// descriptor back through a queued call; the main thread then starts the
// reader exactly as for a port it opened itself. A stop wakes the worker
// through an eventfd and joins it, which takes milliseconds in every state.
#include "Comm.h"

#include "LineRates.h"
#include "NetLink.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Under a steady stream the reader gathers what arrives for this long before
// handing it over: every block costs the main thread a repaint of all windows,
// and a few hundred of them a second would eat a core for nothing. A lone
// burst after a quiet spell goes over at once.
constexpr int64_t kHandOffSpacingMs = 25;

// A write that makes no progress for this long is given up: with flow
// control off only a dead or stalled device does that.
constexpr int kWriteStallMs = 5000;

// Line error counters of the kernel, the ones that mean a damaged byte.
struct LineCounters {
    int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
    bool operator==(const LineCounters&) const = default;
};

class ReadThread;

// A network source being opened by a worker. The worker touches nothing
// but this; it reports through queued calls that carry the serial, and the
// main thread ignores a call whose open is no longer the pending one.
struct PendingOpen {
    uint64_t serial = 0;
    SourceAddress address;
    OpenCallbacks callbacks;
    int cancelFd = -1;
    NetSource result;   // written by the worker, read after its report
    std::thread worker;
};

// What the reader hands to the main thread.
enum class HandOff { Bytes, LineError, Lost, NoData };

// What kind of descriptor the reader serves.
struct Source {
    bool serial = true;
    bool datagram = false;
    bool gpsd = false;
    bool takesCommands = true;
};

struct Link {
    CommHandlers handlers;
    int fd = -1;
    int wakeFd = -1;
    Source source;
    QString openError;
    QString openDetail;
    QString lostText;
    PendingOpen* opening = nullptr;
    uint64_t openSerial = 0;
    ReadThread* reader = nullptr;
    // Readers whose port was closed from inside their own hand-off: they end
    // as soon as that hand-off returns and are joined later.
    std::vector<ReadThread*> retiring;
    // The reader whose block the main thread is processing right now.
    ReadThread* delivering = nullptr;
    // Lives in the main thread, target of the hand-offs; gone with the application.
    std::atomic<QObject*> mainSide{nullptr};
};
Link port;

void Deliver(ReadThread* from, HandOff what, int length);

class ReadThread : public QThread {
public:
    ReadThread(int fd, int wakeFd, Source source) : fd_(fd), wakeFd_(wakeFd), source_(source) {}

    void RequestStop() { stop_.store(true); }
    bool StopRequested() const { return stop_.load(); }
    const uint8_t* Buffer() const { return buffer_; }

protected:
    void run() override
    {
        bool counters = source_.serial && ReadCounters(&lastCounters_);
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        bool lost = false;
        int64_t lastHandOffMs = NowMs() - kHandOffSpacingMs;
        const int64_t noDataDeadlineMs = NowMs() + kGpsdNoDataMs;
        while (!StopRequested()) {
            // Bytes held back wait at most until the spacing since the last
            // hand-off has passed; otherwise sleep until something happens.
            int timeoutMs = -1;
            if (filled_ > 0)
                timeoutMs = int(std::max<int64_t>(0, lastHandOffMs + kHandOffSpacingMs - NowMs()));
            if (source_.gpsd && !gotData_) {
                const int64_t left = noDataDeadlineMs - NowMs();
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
            if (filled_ > 0 && NowMs() >= lastHandOffMs + kHandOffSpacingMs && !HandOverBlock(&lastHandOffMs))
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

private:
    static int64_t NowMs()
    {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

    // Reads everything queued into the buffer, handing it over whenever it
    // is full, so the kernel's queue never holds more than one burst.
    // Returns false when the main thread asked to stop.
    bool ReadQueued(bool hangUp, bool* lost, int64_t* lastHandOffMs)
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
    bool ReadDatagrams(bool* lost, int64_t* lastHandOffMs)
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

    bool ReadLargeDatagram(int64_t* lastHandOffMs)
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

    bool HandOverBlock(int64_t* lastHandOffMs)
    {
        const int length = filled_;
        filled_ = 0;
        const bool goOn = HandOver(HandOff::Bytes, length);
        *lastHandOffMs = NowMs();
        return goOn;
    }

    bool HandOver(HandOff what, int length)
    {
        QObject* target = port.mainSide.load();
        if (!target)
            return false;
        QMetaObject::invokeMethod(
            target, [this, what, length] { Deliver(this, what, length); }, Qt::BlockingQueuedConnection);
        return !StopRequested();
    }

    // False when the driver keeps no counters (a pty answers ENOTTY).
    bool ReadCounters(LineCounters* out) const
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

    static constexpr size_t kMaxDatagram = 65536;

    const int fd_;
    const int wakeFd_;
    const Source source_;
    GpsdJsonFilter gpsdFilter_;
    bool gotData_ = false;
    std::atomic<bool> stop_{false};
    LineCounters lastCounters_;
    int filled_ = 0;   // bytes read and not yet handed over
    uint8_t buffer_[kReadBufferSize];
};

// Runs on the main thread while the reader waits for it.
void Deliver(ReadThread* from, HandOff what, int length)
{
    if (from->StopRequested() || from != port.reader)
        return;   // the port is being closed: nobody wants these any more
    ReadThread* outer = port.delivering;
    port.delivering = from;
    switch (what) {
    case HandOff::Bytes:
        if (port.handlers.receiveBytes)
            port.handlers.receiveBytes(from->Buffer(), length);
        break;
    case HandOff::LineError:
        if (port.handlers.countLineError)
            port.handlers.countLineError();
        break;
    case HandOff::Lost:
    case HandOff::NoData:
        port.lostText = what == HandOff::Lost
                            ? QStringLiteral("Connection lost")
                            : QStringLiteral("gpsd: no data from the device within %1 s").arg(kGpsdNoDataMs / 1000);
        if (port.handlers.connectionLost)
            port.handlers.connectionLost();
        break;
    }
    port.delivering = outer;
}

void ApplyLineSettings(termios* t, speed_t speed, uint8_t parity)
{
    t->c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t->c_oflag &= ~tcflag_t(OPOST);
    t->c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    t->c_cflag |= CS8 | CLOCAL | CREAD;
    if (parity != 0)
        t->c_cflag |= PARENB | PARODD;
    // With O_NONBLOCK a read returns what is queued; VMIN 1 makes a 0-byte
    // read mean hang-up.
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
    cfsetispeed(t, speed);
    cfsetospeed(t, speed);
}

// The C library reports EINVAL when the driver silently drops PARENB, as a
// pty always does, and nothing else changed; that is no failure here.
bool SettingsTook(int fd, const termios& wanted)
{
    termios now;
    if (errno != EINVAL || tcgetattr(fd, &now) != 0)
        return false;
    return now.c_iflag == wanted.c_iflag && now.c_oflag == wanted.c_oflag && now.c_lflag == wanted.c_lflag &&
           (now.c_cflag & ~tcflag_t(PARENB)) == (wanted.c_cflag & ~tcflag_t(PARENB)) &&
           cfgetospeed(&now) == cfgetospeed(&wanted) && cfgetispeed(&now) == cfgetispeed(&wanted);
}

void JoinReader(ReadThread* t)
{
    // The reader may be blocked in a hand-off to this very thread: serve it
    // (Deliver drops the block, the stop flag is set) until it has ended.
    while (!t->wait(5)) {
        if (QObject* side = port.mainSide.load())
            QCoreApplication::sendPostedEvents(side, QEvent::MetaCall);
    }
    delete t;
}

void JoinRetired()
{
    std::vector<ReadThread*> done;
    done.swap(port.retiring);
    for (ReadThread* t : done) {
        if (t == port.delivering)
            port.retiring.push_back(t);   // still waiting for the call we are in
        else
            JoinReader(t);
    }
}

void CloseDescriptors()
{
    if (port.fd >= 0) {
        if (port.source.serial)
            ioctl(port.fd, TIOCNXCL);
        close(port.fd);   // also releases the flock
        port.fd = -1;
    }
    if (port.wakeFd >= 0) {
        close(port.wakeFd);
        port.wakeFd = -1;
    }
}

void CancelOpening();

bool EnsureMainSide()
{
    if (port.mainSide.load())
        return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    QObject* side = new QObject(app);
    // A port left open at exit must not leave a running thread behind.
    QObject::connect(app, &QCoreApplication::aboutToQuit, side, [] {
        ClosePort();
        JoinRetired();
    });
    // A worker still opening would report to it: it is ended first.
    QObject::connect(side, &QObject::destroyed, [] {
        CancelOpening();
        port.mainSide.store(nullptr);
    });
    port.mainSide.store(side);
    return true;
}

} // namespace

void SetCommHandlers(CommHandlers h) { port.handlers = std::move(h); }

bool PortOpen() { return port.fd >= 0; }
bool PortTakesCommands() { return port.fd >= 0 && port.source.takesCommands; }
QString PortOpenError() { return port.openError; }
QString PortOpenDetail() { return port.openDetail; }
QString PortLostText() { return port.lostText; }
bool PortOpening() { return port.opening != nullptr; }

namespace {

bool StartReader(int fd, Source source)
{
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        if (source.serial)
            ioctl(fd, TIOCNXCL);
        close(fd);
        return false;
    }
    port.fd = fd;
    port.wakeFd = wakeFd;
    port.source = source;
    port.lostText = QStringLiteral("Connection lost");
    port.reader = new ReadThread(fd, wakeFd, source);
    port.reader->start();
    return true;
}

// What the reader is told about a network source.
Source NetworkSource(const SourceAddress& address, bool datagram)
{
    Source source;
    source.serial = false;
    source.datagram = datagram;
    source.gpsd = address.kind == SourceKind::Gpsd;
    source.takesCommands = address.kind == SourceKind::Tcp;
    return source;
}

// A malformed address is told as the Add-source dialog tells it.
bool CheckNetworkAddress(const QString& name, uint8_t parity, SourceAddress* address)
{
    std::string reason;
    if (!ParseSourceAddress(name.toStdString(), address, &reason)) {
        port.openError = QString::fromStdString(reason);
        port.openDetail = port.openError;
        return false;
    }
    // gpsd does not lock onto BINR's odd parity, and could not pass commands.
    if (address->kind == SourceKind::Gpsd && parity != 0) {
        port.openError = QStringLiteral("BINR cannot pass through gpsd");
        port.openDetail = port.openError;
        return false;
    }
    return true;
}

bool StartNetwork(const SourceAddress& address, const NetSource& s)
{
    if (s.fd < 0) {
        port.openError = QString::fromStdString(s.error);
        port.openDetail = QString::fromStdString(s.detail);
        return false;
    }
    return StartReader(s.fd, NetworkSource(address, s.datagram));
}

bool OpenNetwork(const QString& name, uint8_t parity)
{
    SourceAddress address;
    return CheckNetworkAddress(name, parity, &address) && StartNetwork(address, OpenNetSource(address));
}

// Ends a pending open without its report: the worker sees the eventfd in
// whatever it waits for and returns within milliseconds.
void CancelOpening()
{
    PendingOpen* p = port.opening;
    if (!p)
        return;
    port.opening = nullptr;
    const uint64_t one = 1;
    if (write(p->cancelFd, &one, sizeof one) < 0) {
        // Only a counter overflow fails, and the worker is woken then.
    }
    p->worker.join();
    if (p->result.fd >= 0)
        close(p->result.fd);
    close(p->cancelFd);
    delete p;
}

void GpsdBusy(uint64_t serial)
{
    if (port.opening && port.opening->serial == serial && port.opening->callbacks.gpsdBusy)
        port.opening->callbacks.gpsdBusy();
}

void FinishOpening(uint64_t serial)
{
    PendingOpen* p = port.opening;
    if (!p || p->serial != serial)
        return;   // stopped meanwhile
    port.opening = nullptr;
    p->worker.join();   // this report was its last act
    close(p->cancelFd);
    const bool opened = StartNetwork(p->address, p->result);
    const OpenCallbacks callbacks = std::move(p->callbacks);
    delete p;
    if (callbacks.done)
        callbacks.done(opened);
}

} // namespace

bool OpenPort(const QString& name, int baud, uint8_t parity)
{
    ClosePort();
    JoinRetired();
    port.openError.clear();
    port.openDetail.clear();
    if (LooksLikeNetworkSource(name.toStdString()))
        return EnsureMainSide() && OpenNetwork(name, parity);
    const speed_t speed = SpeedCode(baud);
    const QString path = PortPath(name);
    if (speed == B0 || path.isEmpty() || !EnsureMainSide())
        return false;

    const QByteArray native = path.toLocal8Bit();
    const int fd = open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Root ignores TIOCEXCL; the lock keeps out every other opener, root or not.
    termios t;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || tcgetattr(fd, &t) != 0) {
        close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    ApplyLineSettings(&t, speed, parity);
    if (tcsetattr(fd, TCSANOW, &t) != 0 && !SettingsTook(fd, t)) {
        ioctl(fd, TIOCNXCL);
        close(fd);
        return false;
    }
    // DTR and RTS held off; a pty has no modem lines and says so, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
    tcflush(fd, TCIOFLUSH);
    return StartReader(fd, Source{});
}

OpenStart BeginOpenPort(const QString& name, uint8_t parity, OpenCallbacks callbacks)
{
    ClosePort();
    JoinRetired();
    port.openError.clear();
    port.openDetail.clear();
    SourceAddress address;
    if (!LooksLikeNetworkSource(name.toStdString()) || !CheckNetworkAddress(name, parity, &address))
        return OpenStart::Failed;
    const int cancelFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!EnsureMainSide() || cancelFd < 0) {
        if (cancelFd >= 0)
            close(cancelFd);
        port.openError = QStringLiteral("Connection failed");
        port.openDetail = QStringLiteral("no event loop or eventfd for the connection");
        return OpenStart::Failed;
    }
    auto* p = new PendingOpen;
    p->serial = ++port.openSerial;
    p->address = address;
    p->callbacks = std::move(callbacks);
    p->cancelFd = cancelFd;
    QObject* side = port.mainSide.load();
    p->worker = std::thread([p, side, serial = p->serial] {
        NetOpenControl control;
        control.cancelFd = p->cancelFd;
        control.gpsdBusy = [side, serial] {
            QMetaObject::invokeMethod(side, [serial] { GpsdBusy(serial); }, Qt::QueuedConnection);
        };
        p->result = OpenNetSource(p->address, kConnectTimeoutMs, control);
        QMetaObject::invokeMethod(side, [serial] { FinishOpening(serial); }, Qt::QueuedConnection);
    });
    port.opening = p;
    return OpenStart::Pending;
}

void ClosePort()
{
    CancelOpening();
    ReadThread* t = port.reader;
    port.reader = nullptr;
    if (t) {
        t->RequestStop();
        if (t == port.delivering) {
            // Called from inside this reader's own hand-off: it is blocked
            // until we return and then sees the flag before touching anything,
            // so the descriptors can go now and the thread is joined later.
            port.retiring.push_back(t);
        } else {
            const uint64_t one = 1;
            if (write(port.wakeFd, &one, sizeof one) < 0) {
                // An eventfd write fails only on counter overflow; the reader
                // is awake already then.
            }
            JoinReader(t);
        }
    }
    CloseDescriptors();
}

int WritePort(const uint8_t* bytes, int count)
{
    if (port.fd < 0 || count <= 0 || !bytes || !port.source.takesCommands)
        return 0;
    if (count > kWriteBufferSize)
        count = kWriteBufferSize;
    int written = 0;
    while (written < count) {
        // send() on a socket: a peer gone must not kill us with SIGPIPE.
        const ssize_t n = port.source.serial ? write(port.fd, bytes + written, size_t(count - written))
                                             : send(port.fd, bytes + written, size_t(count - written), MSG_NOSIGNAL);
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{port.fd, POLLOUT, 0};
            const int r = poll(&p, 1, kWriteStallMs);
            if (r > 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                continue;
            if (r < 0 && errno == EINTR)
                continue;
        }
        break;   // device gone, or stalled for good
    }
    return written;
}

bool SetPortBaud(int baud)
{
    if (port.fd < 0)
        return false;
    if (!port.source.serial)
        return true;   // a network source has no line rate
    termios before;
    if (tcgetattr(port.fd, &before) != 0)
        return false;
    const speed_t speed = SpeedCode(baud);
    if (speed == B0)
        return false;   // B0 would hang up the line
    termios t = before;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    // TCSANOW keeps the queued bytes. A driver may refuse the rate with an
    // error or by keeping the old one silently (a locked line, an adapter
    // without that rate); the C library's own result is no proof either way
    // (a pty's dropped PARENB reads as EINVAL), so the rate read back decides.
    tcsetattr(port.fd, TCSANOW, &t);
    termios now;
    if (tcgetattr(port.fd, &now) == 0 && cfgetospeed(&now) == speed && cfgetispeed(&now) == speed)
        return true;
    tcsetattr(port.fd, TCSANOW, &before);
    return false;
}
