#include "CommandWriter.h"

#include "MonotonicClock.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return fd >= 0 && poll(&p, 1, 0) > 0;
}

} // namespace

WriteResult WriteAll(int fd, bool socket, const uint8_t* bytes, int count, int stallMs, int cancelFd)
{
    WriteResult r;
    int64_t lastProgressMs = MonotonicMs();
    while (r.written < count) {
        const size_t left = size_t(count - r.written);
        const ssize_t n = socket ? send(fd, bytes + r.written, left, MSG_NOSIGNAL) : write(fd, bytes + r.written, left);
        if (n > 0) {
            r.written += int(n);
            lastProgressMs = MonotonicMs();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            r.end = CommandEnd::Gone;
            return r;
        }
        const int64_t waitMs = lastProgressMs + stallMs - MonotonicMs();
        if (waitMs <= 0) {
            r.end = CommandEnd::Stalled;
            return r;
        }
        pollfd p[2] = {{fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
        const int ready = poll(p, cancelFd >= 0 ? 2 : 1, int(std::min<int64_t>(waitMs, INT32_MAX)));
        if (ready < 0 && errno != EINTR) {
            r.end = CommandEnd::Gone;
            return r;
        }
        if (Readable(cancelFd)) {
            r.end = CommandEnd::Closed;
            return r;
        }
        if (ready > 0 && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            r.end = CommandEnd::Gone;
            return r;
        }
    }
    r.end = CommandEnd::Whole;
    return r;
}

CommandWriter::CommandWriter(int fd, bool socket, std::vector<uint8_t> bytes, std::function<void(WriteResult)> ended)
{
    cancelFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd_ < 0) {
        // No way to stop it: write nothing rather than risk a wait nobody can end.
        ended(WriteResult{0, CommandEnd::Gone});
        return;
    }
    thread_ = std::thread([fd, socket, bytes = std::move(bytes), ended = std::move(ended), cancelFd = cancelFd_] {
        ended(WriteAll(fd, socket, bytes.data(), int(bytes.size()), kCommandStallMs, cancelFd));
    });
}

CommandWriter::~CommandWriter()
{
    Stop();
    if (cancelFd_ >= 0)
        close(cancelFd_);
}

void CommandWriter::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void CommandWriter::Stop()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        if (write(cancelFd_, &one, sizeof one) < 0) {
            // Only a counter overflow fails, and the writer is woken then.
        }
    }
    Join();
}
