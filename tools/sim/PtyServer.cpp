#include "PtyServer.h"

#include "BinrDecoder.h"
#include "LineRates.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
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
constexpr size_t kMaxGarbleExpansion = 4;

double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

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
    if (!slaveOpen_ || data.empty())
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
        if (n < 0 && errno == EIO)
            SlaveGone();
        return;
    }
}

void PtyServer::WritePending()
{
    while (PendingSize() > 0) {
        const ssize_t n = write(master_, pending_.data() + sentUpTo_, PendingSize());
        if (n > 0) {
            log_.Sent(pending_.data() + sentUpTo_, size_t(n));
            sentUpTo_ += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EIO)
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

void PtyServer::Run(const volatile std::sig_atomic_t& stop)
{
    const double period = 1.0 / options_.rate;
    double nextEpoch = Now();
    double nextHeartbeat = nextEpoch + kHeartbeatS;
    while (!stop) {
        if (options_.flood && slaveOpen_ && PendingSize() < kFloodLow) {
            Bytes more;
            receiver_.AppendFlood(more, kFloodBlock);
            Deliver(more);
        }

        double wait = kMaxWaitMs / 1000.0;
        if (!options_.flood)
            wait = std::min(wait, nextEpoch - Now());
        if (receiver_.HeartbeatOn())
            wait = std::min(wait, nextHeartbeat - Now());
        pollfd p{master_, short(POLLIN | (PendingSize() > 0 ? POLLOUT : 0)), 0};
        const int waitMs = std::max(0, int(wait * 1000.0 + 0.999));
        const int ready = poll(&p, 1, waitMs);
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Nobody on the other side: poll would report this at once, every
            // time, so sleep instead of spinning.
            if (slaveOpen_)
                SlaveGone();
            SleepMs(std::min(waitMs, kHangupPollMs));
        } else if (ready >= 0) {
            slaveOpen_ = true;
            if (p.revents & POLLIN)
                ReadInput();
            if (p.revents & POLLOUT)
                WritePending();
        }

        const double now = Now();
        if (!options_.flood && now >= nextEpoch) {
            Bytes epoch;
            receiver_.AppendEpoch(epoch);   // the receiver's clock runs even with nobody listening
            Deliver(epoch);
            nextEpoch += period;
            if (now - nextEpoch > kLateResyncS)
                nextEpoch = now + period;
        }
        if (now >= nextHeartbeat) {
            if (receiver_.HeartbeatOn()) {
                Bytes beat;
                receiver_.AppendHeartbeat(beat);
                Deliver(beat);
            }
            nextHeartbeat += kHeartbeatS;
            if (now - nextHeartbeat > kLateResyncS)
                nextHeartbeat = now + kHeartbeatS;
        }
        if (slaveOpen_ && PendingSize() > 0)
            WritePending();
    }
}
