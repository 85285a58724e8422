// A source's link on POSIX termios and sockets.
//
// One source is open at a time per link. A reader thread sleeps in poll()
// on the port and on an eventfd; it reads everything queued into one buffer
// and hands the block to the main thread synchronously, through a blocking
// queued call to the link's own object there, so the buffer needs no lock
// and links open side by side never wait for each other's hand-offs. The
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
#include "SourceLink.h"

#include "CommandWriter.h"
#include "CommReader.h"
#include "Comm.h"
#include "LineRates.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

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

// A CONSOLE command whose rest a writer thread writes. The writer touches
// only the descriptor and `result`; it reports through a queued call that
// carries the serial, as an open does.
struct PendingCommand {
    uint64_t serial = 0;
    int count = 0;
    int sentBefore = 0;   // what the port took at once, on the main thread
    std::function<void(CommandSent)> done;
    WriteResult result;   // written by the writer, read once it is joined
    std::unique_ptr<CommandWriter> writer;
};

namespace {

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

// What the reader is told about a network source.
ReadSource NetworkSource(const SourceAddress& address, bool datagram)
{
    ReadSource source;
    source.serial = false;
    source.datagram = datagram;
    source.gpsd = address.kind == SourceKind::Gpsd;
    source.takesCommands = address.kind == SourceKind::Tcp;
    return source;
}

// A serial port opened exclusively with the line settings taken, or -1.
int OpenSerial(const QString& path, speed_t speed, uint8_t parity)
{
    const QByteArray native = path.toLocal8Bit();
    const int fd = open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // Root ignores TIOCEXCL; the lock keeps out every other opener, root or not.
    termios t;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || tcgetattr(fd, &t) != 0) {
        close(fd);
        return -1;
    }
    ioctl(fd, TIOCEXCL);
    ApplyLineSettings(&t, speed, parity);
    if (tcsetattr(fd, TCSANOW, &t) != 0 && !SettingsTook(fd, t)) {
        ioctl(fd, TIOCNXCL);
        close(fd);
        return -1;
    }
    // DTR and RTS held off; a pty has no modem lines and says so, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void Wake(int eventFd)
{
    const uint64_t one = 1;
    if (write(eventFd, &one, sizeof one) < 0) {
        // An eventfd write fails only on counter overflow; whoever waits on
        // it is awake already then.
    }
}

} // namespace

SourceLink::SourceLink() = default;

SourceLink::~SourceLink()
{
    Close();
    JoinRetired();
    delete command_;   // its report can no longer come: the main side goes below
    // Still set while the application lives: its queued calls go with it.
    if (QObject* side = mainSide_.load())
        delete side;
}

void SourceLink::SetHandlers(CommHandlers handlers) { handlers_ = std::move(handlers); }

// Runs on the main thread while the reader waits for it.
void SourceLink::Deliver(void* context, ReadThread* from, HandOff what, int length)
{
    static_cast<SourceLink*>(context)->DeliverHere(from, what, length);
}

void SourceLink::DeliverHere(ReadThread* from, HandOff what, int length)
{
    if (from->StopRequested() || from != reader_)
        return;   // the port is being closed: nobody wants these any more
    ReadThread* outer = delivering_;
    delivering_ = from;
    switch (what) {
    case HandOff::Bytes:
        if (handlers_.receiveBytes)
            handlers_.receiveBytes(from->Buffer(), length);
        break;
    case HandOff::LineError:
        if (handlers_.countLineError)
            handlers_.countLineError();
        break;
    case HandOff::Lost:
    case HandOff::NoData:
        lostText_ = what == HandOff::Lost
                        ? QStringLiteral("Connection lost")
                        : QStringLiteral("gpsd: no data from the device within %1 s").arg(kGpsdNoDataMs / 1000);
        if (handlers_.connectionLost)
            handlers_.connectionLost();
        break;
    }
    delivering_ = outer;
}

void SourceLink::JoinReader(ReadThread* t)
{
    // The reader may be blocked in a hand-off to this very thread: serve it
    // (Deliver drops the block, the stop flag is set) until it has ended.
    while (!t->wait(5)) {
        if (QObject* side = mainSide_.load())
            QCoreApplication::sendPostedEvents(side, QEvent::MetaCall);
    }
    delete t;
}

void SourceLink::JoinRetired()
{
    std::vector<ReadThread*> done;
    done.swap(retiring_);
    for (ReadThread* t : done) {
        if (t == delivering_)
            retiring_.push_back(t);   // still waiting for the call we are in
        else
            JoinReader(t);
    }
}

void SourceLink::CloseDescriptors()
{
    if (fd_ >= 0) {
        if (source_.serial)
            ioctl(fd_, TIOCNXCL);
        close(fd_);   // also releases the flock
        fd_ = -1;
    }
    if (wakeFd_ >= 0) {
        close(wakeFd_);
        wakeFd_ = -1;
    }
}

bool SourceLink::EnsureMainSide()
{
    if (mainSide_.load())
        return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    QObject* side = new QObject(app);
    // A port left open at exit must not leave a running thread behind.
    QObject::connect(app, &QCoreApplication::aboutToQuit, side, [this] {
        Close();
        JoinRetired();
    });
    // A worker still opening or writing would report to it: it is ended first.
    QObject::connect(side, &QObject::destroyed, [this] {
        CancelOpening();
        if (command_)
            command_->writer->Stop();
        mainSide_.store(nullptr);
    });
    mainSide_.store(side);
    return true;
}

bool SourceLink::StartReader(int fd, ReadSource source)
{
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        if (source.serial)
            ioctl(fd, TIOCNXCL);
        close(fd);
        return false;
    }
    fd_ = fd;
    wakeFd_ = wakeFd;
    source_ = source;
    lostText_ = QStringLiteral("Connection lost");
    reader_ = new ReadThread(fd, wakeFd, source, mainSide_, &SourceLink::Deliver, this);
    reader_->start();
    return true;
}

// A malformed address is told as the Add-source dialog tells it.
bool SourceLink::CheckNetworkAddress(const QString& name, uint8_t parity, SourceAddress* address)
{
    std::string reason;
    if (!ParseSourceAddress(name.toStdString(), address, &reason)) {
        openError_ = QString::fromStdString(reason);
        openDetail_ = openError_;
        return false;
    }
    // gpsd does not lock onto BINR's odd parity, and could not pass commands.
    if (address->kind == SourceKind::Gpsd && parity != 0) {
        openError_ = QStringLiteral("BINR cannot pass through gpsd");
        openDetail_ = openError_;
        return false;
    }
    return true;
}

bool SourceLink::StartNetwork(const SourceAddress& address, const NetSource& s)
{
    if (s.fd < 0) {
        openError_ = QString::fromStdString(s.error);
        openDetail_ = QString::fromStdString(s.detail);
        return false;
    }
    return StartReader(s.fd, NetworkSource(address, s.datagram));
}

bool SourceLink::OpenNetwork(const QString& name, uint8_t parity)
{
    SourceAddress address;
    return CheckNetworkAddress(name, parity, &address) && StartNetwork(address, OpenNetSource(address));
}

// Ends a pending open without its report: the worker sees the eventfd in
// whatever it waits for and returns within milliseconds.
void SourceLink::CancelOpening()
{
    PendingOpen* p = opening_;
    if (!p)
        return;
    opening_ = nullptr;
    Wake(p->cancelFd);
    p->worker.join();
    if (p->result.fd >= 0)
        close(p->result.fd);
    close(p->cancelFd);
    delete p;
}

void SourceLink::GpsdBusy(uint64_t serial)
{
    if (opening_ && opening_->serial == serial && opening_->callbacks.gpsdBusy)
        opening_->callbacks.gpsdBusy();
}

void SourceLink::FinishOpening(uint64_t serial)
{
    PendingOpen* p = opening_;
    if (!p || p->serial != serial)
        return;   // stopped meanwhile
    opening_ = nullptr;
    p->worker.join();   // this report was its last act
    close(p->cancelFd);
    const bool opened = StartNetwork(p->address, p->result);
    const OpenCallbacks callbacks = std::move(p->callbacks);
    delete p;
    if (callbacks.done)
        callbacks.done(opened);
}

bool SourceLink::Open(const QString& name, int baud, uint8_t parity)
{
    Close();
    JoinRetired();
    openError_.clear();
    openDetail_.clear();
    if (LooksLikeNetworkSource(name.toStdString()))
        return EnsureMainSide() && OpenNetwork(name, parity);
    const speed_t speed = SpeedCode(baud);
    const QString path = PortPath(name);
    if (speed == B0 || path.isEmpty() || !EnsureMainSide())
        return false;
    const int fd = OpenSerial(path, speed, parity);
    return fd >= 0 && StartReader(fd, ReadSource{});
}

OpenStart SourceLink::BeginOpen(const QString& name, uint8_t parity, OpenCallbacks callbacks)
{
    Close();
    JoinRetired();
    openError_.clear();
    openDetail_.clear();
    SourceAddress address;
    if (!LooksLikeNetworkSource(name.toStdString()) || !CheckNetworkAddress(name, parity, &address))
        return OpenStart::Failed;
    const int cancelFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!EnsureMainSide() || cancelFd < 0) {
        if (cancelFd >= 0)
            close(cancelFd);
        openError_ = QStringLiteral("Connection failed");
        openDetail_ = QStringLiteral("no event loop or eventfd for the connection");
        return OpenStart::Failed;
    }
    auto* p = new PendingOpen;
    p->serial = ++openSerial_;
    p->address = address;
    p->callbacks = std::move(callbacks);
    p->cancelFd = cancelFd;
    QObject* side = mainSide_.load();
    // The queued reports go to this link's own object: gone with the link,
    // they are dropped unrun.
    p->worker = std::thread([this, p, side, serial = p->serial] {
        NetOpenControl control;
        control.cancelFd = p->cancelFd;
        control.gpsdBusy = [this, side, serial] {
            QMetaObject::invokeMethod(side, [this, serial] { GpsdBusy(serial); }, Qt::QueuedConnection);
        };
        p->result = OpenNetSource(p->address, kConnectTimeoutMs, control);
        QMetaObject::invokeMethod(side, [this, serial] { FinishOpening(serial); }, Qt::QueuedConnection);
    });
    opening_ = p;
    return OpenStart::Pending;
}

void SourceLink::Close()
{
    CancelOpening();
    // The writer must be off the descriptor before it closes; it reports
    // through its queued call as Closed.
    if (command_)
        command_->writer->Stop();
    ReadThread* t = reader_;
    reader_ = nullptr;
    if (t) {
        t->RequestStop();
        if (t == delivering_) {
            // Called from inside this reader's own hand-off: it is blocked
            // until we return and then sees the flag before touching anything,
            // so the descriptors can go now and the thread is joined later.
            retiring_.push_back(t);
        } else {
            Wake(wakeFd_);
            JoinReader(t);
        }
    }
    CloseDescriptors();
}

int SourceLink::Write(const uint8_t* bytes, int count)
{
    if (command_)
        command_->writer->Join();
    if (fd_ < 0 || count <= 0 || !bytes || !source_.takesCommands)
        return 0;
    return WriteAll(fd_, !source_.serial, bytes, std::min(count, kWriteBufferSize), kCommandStallMs).written;
}

CommandSent SourceLink::BeginCommand(const std::vector<uint8_t>& bytes, std::function<void(CommandSent)> done)
{
    if (command_) {
        command_->writer->Join();
        FinishCommand(command_->serial);
    }
    CommandSent sent;
    sent.count = int(bytes.size());
    if (fd_ < 0 || bytes.empty() || !source_.takesCommands)
        return sent;
    const bool socket = !source_.serial;
    const WriteResult now = WriteAll(fd_, socket, bytes.data(), sent.count, 0);
    sent.written = now.written;
    sent.end = now.end;
    if (now.end != CommandEnd::Stalled || !EnsureMainSide())
        return sent;
    auto* p = new PendingCommand;
    p->serial = ++commandSerial_;
    p->count = sent.count;
    p->sentBefore = now.written;
    p->done = std::move(done);
    command_ = p;
    QObject* side = mainSide_.load();
    std::vector<uint8_t> rest(bytes.begin() + now.written, bytes.end());
    p->writer = std::make_unique<CommandWriter>(fd_, socket, std::move(rest), [this, p, side](WriteResult r) {
        p->result = r;
        QMetaObject::invokeMethod(side, [this, serial = p->serial] { FinishCommand(serial); }, Qt::QueuedConnection);
    });
    sent.pending = true;
    return sent;
}

void SourceLink::FinishCommand(uint64_t serial)
{
    PendingCommand* p = command_;
    if (!p || p->serial != serial)
        return;   // reported already, when the next command began
    command_ = nullptr;
    p->writer->Join();
    const CommandSent sent{p->sentBefore + p->result.written, p->count, p->result.end, false};
    const std::function<void(CommandSent)> done = std::move(p->done);
    delete p;
    if (done)
        done(sent);
}

bool SourceLink::SetBaud(int baud)
{
    if (fd_ < 0)
        return false;
    if (!source_.serial)
        return true;   // a network source has no line rate
    termios before;
    if (tcgetattr(fd_, &before) != 0)
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
    tcsetattr(fd_, TCSANOW, &t);
    termios now;
    if (tcgetattr(fd_, &now) == 0 && cfgetospeed(&now) == speed && cfgetispeed(&now) == speed)
        return true;
    tcsetattr(fd_, TCSANOW, &before);
    return false;
}
