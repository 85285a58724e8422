#include "PtyServer.h"

#include "BinrDecoder.h"
#include "LineRates.h"
#include "MonotonicClock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kMaxWaitMs = 100;            // longest sleep: bounds the reaction to a stop
constexpr int kHangupPollMs = 20;          // how often a missing slave is looked for again
constexpr double kHeartbeatS = 1.0;
constexpr double kLateResyncS = 1.0;       // further behind than this: skip, don't catch up
constexpr size_t kReadBlock = 4096;
constexpr size_t kFloodLow = 16 * 1024;
constexpr size_t kFloodBlock = 32 * 1024;
constexpr double kFloodSaveS = 0.1;        // --flood-rate: the most saved up while idle
constexpr size_t kMaxGarbleExpansion = 4;
// A reader this far behind loses whole blocks (epochs), as on a line nobody
// reads, instead of the simulator growing without end.
constexpr size_t kMaxPending = 4 * 1024 * 1024;

double Now() { return double(MonotonicUs()) / double(kClockUsPerSecond); }

void SleepMs(int ms)
{
    timespec ts{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);   // a signal cutting it short is fine: the loop checks
}

// Garbage never holds the bytes that start or end a sentence or a frame: a
// mismatched line must not hand the program a valid message by chance.
bool Framing(uint8_t b) { return b == kDle || b == kEtx || b == '$' || b == '\n' || b == '\r'; }

} // namespace

PtyServer::PtyServer(const SimOptions& options, Receiver& receiver, SimLog& log)
    : options_(options), receiver_(receiver), log_(log)
{
}

PtyServer::~PtyServer()
{
    if (master_ >= 0)
        close(master_);
    if (listen_ >= 0)
        close(listen_);
}

bool PtyServer::OpenTcp(int port, std::string& address, std::string& error)
{
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    // A restarted simulator takes its port again at once.
    if (listen_ < 0 || setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_, 1) != 0
        || getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    address = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    return true;
}

void PtyServer::AcceptClient()
{
    const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    master_ = fd;
    slaveOpen_ = true;
}

// The client closed or broke the connection: as a slave closed, and the
// next one is waited for.
void PtyServer::ClientGone()
{
    close(master_);
    master_ = -1;
    SlaveGone();
}

bool PtyServer::Open(std::string& slavePath, std::string& error)
{
    termios t{};
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (receiver_.OddParity())
        t.c_cflag |= PARENB | PARODD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, SpeedCode(receiver_.Baud()));
    cfsetospeed(&t, SpeedCode(receiver_.Baud()));
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, &t, nullptr) != 0) {
        error = std::string("cannot create a pty: ") + std::strerror(errno);
        return false;
    }
    // The slave is the program's to open; holding it would hide its closing.
    close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    slavePath = name;
    return true;
}

PtyServer::Line PtyServer::ReadLine() const
{
    if (listen_ >= 0)
        return {receiver_.Baud(), receiver_.OddParity()};
    termios t{};
    if (tcgetattr(master_, &t) != 0)
        return {0, false};
    return {BaudOf(cfgetospeed(&t)), (t.c_cflag & PARODD) != 0};
}

bool PtyServer::Matches(const Line& line) const
{
    return line.baud == receiver_.Baud() && line.oddParity == receiver_.OddParity();
}

void PtyServer::Deliver(const Bytes& data)
{
    if (!slaveOpen_ || data.empty() || PendingSize() > kMaxPending)
        return;
    const Line line = ReadLine();
    if (Matches(line))
        pending_.insert(pending_.end(), data.begin(), data.end());
    else
        Garble(data, line);
}

// What the program's port makes of the receiver's bytes at another rate or
// parity: a different number of characters (fewer at a slower rate, more at a
// faster one), none of them what was sent.
void PtyServer::Garble(const Bytes& data, const Line& line)
{
    double ratio = 1.0;
    if (line.baud > 0)
        ratio = std::min(double(line.baud) / receiver_.Baud(), double(kMaxGarbleExpansion));
    garbleCarry_ += double(data.size()) * ratio;
    const size_t count = size_t(garbleCarry_);
    garbleCarry_ -= double(count);
    for (size_t j = 0; j < count; ++j) {
        const uint8_t in = data[std::min(data.size() - 1, size_t(double(j) / ratio))];
        garbleState_ = garbleState_ * 1103515245u + 12345u + in;
        uint8_t b = uint8_t(garbleState_ >> 23);
        if (Framing(b))
            b ^= 0x40;
        pending_.push_back(b);
    }
}

void PtyServer::DropOutput()
{
    pending_.clear();
    sentUpTo_ = 0;
}

// Whatever was on its way is lost with the reader, as on a pulled cable.
void PtyServer::SlaveGone()
{
    slaveOpen_ = false;
    DropOutput();
    receiver_.DropInput();
}

void PtyServer::ReadInput()
{
    uint8_t buf[kReadBlock];
    for (;;) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) {
            log_.Received(buf, size_t(n));
            if (Matches(ReadLine())) {
                // Answers leave on the line the command came in on, before
                // the receiver applies a new rate it was just given.
                Bytes answers;
                receiver_.Receive(buf, size_t(n), answers);
                pending_.insert(pending_.end(), answers.begin(), answers.end());
            } else {
                receiver_.DropInput();
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (listen_ >= 0 && (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)))
            ClientGone();
        else if (n < 0 && errno == EIO)
            SlaveGone();
        return;
    }
}

void PtyServer::WritePending()
{
    while (PendingSize() > 0) {
        const ssize_t n = listen_ >= 0 ? send(master_, pending_.data() + sentUpTo_, PendingSize(), MSG_NOSIGNAL)
                                       : write(master_, pending_.data() + sentUpTo_, PendingSize());
        if (n > 0) {
            log_.Sent(pending_.data() + sentUpTo_, size_t(n));
            sentUpTo_ += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (listen_ >= 0 && n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            ClientGone();
        else if (n < 0 && errno == EIO)
            SlaveGone();
        break;
    }
    if (sentUpTo_ == pending_.size()) {
        DropOutput();
    } else if (sentUpTo_ > kFloodBlock) {
        pending_.erase(pending_.begin(), pending_.begin() + long(sentUpTo_));
        sentUpTo_ = 0;
    }
}

void PtyServer::Prepare(pollfd& watch, double& wakeAt)
{
    const double now = Now();
    if (!running_) {
        running_ = true;
        nextEpoch_ = now;
        lastEpoch_ = now;
        period_ = 1.0 / receiver_.Rate();
        nextHeartbeat_ = now + kHeartbeatS;
        floodAt_ = now;
    }
    if (options_.flood && options_.floodBytesPerS > 0) {
        // A tenth of a second's worth saved up at most: no burst after a pause.
        const double cap = double(options_.floodBytesPerS) * kFloodSaveS;
        floodBudget_ = std::min(cap, floodBudget_ + (now - floodAt_) * double(options_.floodBytesPerS));
        floodAt_ = now;
    }
    const bool floodDue = options_.floodBytesPerS == 0 || floodBudget_ > 0;
    if (options_.flood && slaveOpen_ && PendingSize() < kFloodLow && floodDue) {
        Bytes more;
        receiver_.AppendFlood(more, kFloodBlock);
        floodBudget_ -= double(more.size());
        Deliver(more);
    }

    double wake = now + kMaxWaitMs / 1000.0;
    if (!options_.flood)
        wake = std::min(wake, nextEpoch_);
    if (receiver_.HeartbeatOn())
        wake = std::min(wake, nextHeartbeat_);
    watch = {-1, 0, 0};
    if (listen_ >= 0 && master_ < 0)
        watch = {listen_, POLLIN, 0};
    else if (now < quietUntil_)
        wake = std::min(wake, quietUntil_);
    else
        watch = {master_, short(POLLIN | (PendingSize() > 0 ? POLLOUT : 0)), 0};
    wakeAt = std::min(wakeAt, wake);
}

void PtyServer::Serve(const pollfd& watch)
{
    if (watch.fd >= 0 && watch.fd == listen_) {
        if (watch.revents & POLLIN)
            AcceptClient();
    } else if (watch.fd >= 0 && listen_ >= 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        ClientGone();
    } else if (watch.fd >= 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        // Nobody on the other side: poll would report this at once, every
        // time, so look again only a little later.
        if (slaveOpen_)
            SlaveGone();
        quietUntil_ = Now() + kHangupPollMs / 1000.0;
    } else if (watch.fd >= 0) {
        slaveOpen_ = true;
        if (watch.revents & POLLIN)
            ReadInput();
        if ((watch.revents & POLLOUT) && master_ >= 0)
            WritePending();
    }
    Tick();
}

void PtyServer::Tick()
{
    const double now = Now();
    const double period = 1.0 / receiver_.Rate();
    if (period != period_) {
        // A new rate ($PVKTR) counts from the last epoch, not from the next
        // one on the old beat, and never makes up for epochs it did not have.
        period_ = period;
        nextEpoch_ = std::max(now, std::min(nextEpoch_, lastEpoch_ + period));
    }
    if (!options_.flood && now >= nextEpoch_) {
        Bytes epoch;
        receiver_.AppendEpoch(epoch);   // the receiver's clock runs even with nobody listening
        Deliver(epoch);
        lastEpoch_ = nextEpoch_;
        nextEpoch_ += period;
        if (now - nextEpoch_ > kLateResyncS)
            nextEpoch_ = now + period;
    }
    if (now >= nextHeartbeat_) {
        if (receiver_.HeartbeatOn()) {
            Bytes beat;
            receiver_.AppendHeartbeat(beat);
            Deliver(beat);
        }
        nextHeartbeat_ += kHeartbeatS;
        if (now - nextHeartbeat_ > kLateResyncS)
            nextHeartbeat_ = now + kHeartbeatS;
    }
    if (slaveOpen_ && master_ >= 0 && PendingSize() > 0)
        WritePending();
}

void ServeAll(const std::vector<PtyServer*>& servers, const volatile std::sig_atomic_t& stop)
{
    std::vector<pollfd> watches(servers.size());
    std::vector<pollfd> polled;
    std::vector<size_t> owner;
    while (!stop) {
        double wakeAt = Now() + kMaxWaitMs / 1000.0;
        for (size_t i = 0; i < servers.size(); ++i)
            servers[i]->Prepare(watches[i], wakeAt);
        polled.clear();
        owner.clear();
        for (size_t i = 0; i < servers.size(); ++i)
            if (watches[i].fd >= 0) {
                polled.push_back(watches[i]);
                owner.push_back(i);
            }
        const int waitMs = std::max(0, int((wakeAt - Now()) * 1000.0 + 0.999));
        // With nothing to watch (every terminal hung up) a plain sleep: the
        // tests see the simulator idle in it.
        const int ready = polled.empty() ? (SleepMs(waitMs), 0) : poll(polled.data(), nfds_t(polled.size()), waitMs);
        for (size_t k = 0; k < polled.size(); ++k)
            watches[owner[k]].revents = ready >= 0 ? polled[k].revents : 0;
        if (ready < 0)
            for (pollfd& w : watches)
                w.fd = -1;   // interrupted: only the clocks move this turn
        for (size_t i = 0; i < servers.size(); ++i)
            servers[i]->Serve(watches[i]);
    }
}
