// Network sources. Names are resolved and connections made with a deadline,
// so an unknown host, a refused port and a silent one all end in the same
// "Connection failed" within kConnectTimeoutMs. gpsd is asked for the raw
// bytes of its device ("raw":2) and its answer is read a line at a time
// with MSG_PEEK, so not one byte of the device's data that may follow the
// answer in the same segment is taken from the socket here.
#include "NetLink.h"

#include "TerminalText.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A burst of datagrams must not be dropped by the kernel while the reader is
// in a hand-off; as root the size is taken even above the system's limit.
constexpr int kUdpReceiveBuffer = 4 * 1024 * 1024;
constexpr size_t kGpsdLineMax = 64 * 1024;

int64_t NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

NetSource Failed(const std::string& detail, const std::string& error = "Connection failed")
{
    NetSource s;
    s.error = error;
    s.detail = detail;
    return s;
}

struct AddrList {
    addrinfo* head = nullptr;
    ~AddrList()
    {
        if (head)
            freeaddrinfo(head);
    }
};

bool Resolve(const SourceAddress& a, int sockType, AddrList* list, std::string* detail)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = sockType;
    if (a.host.empty())
        hints.ai_flags = AI_PASSIVE;
    const std::string service = std::to_string(a.port);
    const int rc = getaddrinfo(a.host.empty() ? nullptr : a.host.c_str(), service.c_str(), &hints, &list->head);
    if (rc != 0) {
        *detail = "unknown host " + a.host + ": " + gai_strerror(rc);
        return false;
    }
    return true;
}

// Waits for a non-blocking connect; false with errno set on failure.
bool FinishConnect(int fd, int64_t deadlineMs)
{
    for (;;) {
        const int64_t left = deadlineMs - NowMs();
        if (left <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        const int r = poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;   // the deadline check above ends it
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            return false;
        if (err != 0) {
            errno = err;
            return false;
        }
        return true;
    }
}

int ConnectTcp(const SourceAddress& a, int timeoutMs, std::string* detail)
{
    AddrList list;
    if (!Resolve(a, SOCK_STREAM, &list, detail))
        return -1;
    const int64_t deadline = NowMs() + timeoutMs;
    std::string why = "no address";
    for (addrinfo* ai = list.head; ai; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0)
            continue;
        if (connect(fd, ai->ai_addr, ai->ai_addrlen) == 0 || (errno == EINPROGRESS && FinishConnect(fd, deadline))) {
            // Commands are a few bytes each and wait for answers.
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        why = std::strerror(errno);
        close(fd);
    }
    *detail = a.host + ":" + std::to_string(a.port) + ": " + why;
    return -1;
}

bool SendAll(int fd, const std::string& text, int64_t deadlineMs)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && NowMs() < deadlineMs) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, int(deadlineMs - NowMs()));
            continue;
        }
        return false;
    }
    return true;
}

// One line of gpsd's answer, taken from the socket up to and including its
// newline and not a byte further.
bool ReadLine(int fd, int64_t deadlineMs, std::string* line)
{
    line->clear();
    char buf[4096];
    while (line->size() < kGpsdLineMax) {
        const ssize_t n = recv(fd, buf, sizeof buf, MSG_PEEK);
        if (n > 0) {
            const void* nl = std::memchr(buf, '\n', size_t(n));
            const size_t take = nl ? size_t(static_cast<const char*>(nl) - buf) + 1 : size_t(n);
            const ssize_t got = recv(fd, buf, take, 0);
            if (got <= 0)
                return false;
            line->append(buf, size_t(got));
            if (nl)
                return true;
            continue;
        }
        if (n == 0)
            return false;   // gpsd closed the connection
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const int64_t left = deadlineMs - NowMs();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, int(left));
    }
    return false;
}

// The text of "message" in {"class":"ERROR","message":"..."}. It is shown
// on the information line and printed on a terminal, so whatever control
// characters the peer put in it are made harmless here.
std::string ErrorMessage(const std::string& line)
{
    const std::string key = "\"message\":\"";
    const size_t at = line.find(key);
    if (at == std::string::npos)
        return "refused";
    const size_t start = at + key.size();
    const size_t end = line.find('"', start);
    return TerminalText(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

NetSource OpenGpsd(const SourceAddress& a, int timeoutMs)
{
    NetSource s;
    const int fd = ConnectTcp(a, timeoutMs, &s.detail);
    if (fd < 0)
        return Failed(s.detail);
    const int64_t deadline = NowMs() + timeoutMs;
    std::string watch = R"(?WATCH={"enable":true,"raw":2)";
    if (!a.device.empty())
        watch += R"(,"device":")" + a.device + "\"";
    watch += "}\n";
    if (!SendAll(fd, watch, deadline)) {
        close(fd);
        return Failed("gpsd did not take the watch request");
    }
    // VERSION on connecting, then DEVICES and WATCH, or an ERROR when the
    // device is unknown to it or cannot be had.
    std::string line;
    while (ReadLine(fd, deadline, &line)) {
        if (line.find("\"class\":\"ERROR\"") != std::string::npos) {
            close(fd);
            const std::string why = ErrorMessage(line);
            return Failed(why, "gpsd: " + why);
        }
        if (line.find("\"class\":\"WATCH\"") != std::string::npos) {
            s.fd = fd;
            return s;
        }
    }
    close(fd);
    return Failed("no answer to the watch request", "gpsd does not answer");
}

NetSource OpenUdp(const SourceAddress& a)
{
    NetSource s;
    AddrList list;
    if (!Resolve(a, SOCK_DGRAM, &list, &s.detail))
        return Failed(s.detail);
    std::string why = "no address";
    for (addrinfo* ai = list.head; ai; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0)
            continue;
        const int size = kUdpReceiveBuffer;
        if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
            s.fd = fd;
            s.datagram = true;
            return s;
        }
        why = std::strerror(errno);
        close(fd);
    }
    return Failed("cannot listen on port " + std::to_string(a.port) + ": " + why);
}

} // namespace

NetSource OpenNetSource(const SourceAddress& a, int timeoutMs)
{
    switch (a.kind) {
    case SourceKind::Tcp: {
        NetSource s;
        s.fd = ConnectTcp(a, timeoutMs, &s.detail);
        if (s.fd < 0)
            return Failed(s.detail);
        return s;
    }
    case SourceKind::Udp:
        return OpenUdp(a);
    case SourceKind::Gpsd:
        return OpenGpsd(a, timeoutMs);
    case SourceKind::Serial:
        break;
    }
    return Failed("not a network address");
}

int GpsdJsonFilter::Filter(uint8_t* bytes, int length)
{
    int kept = 0;
    for (int i = 0; i < length; ++i) {
        const uint8_t b = bytes[i];
        if (lineStart_ && b == '{')
            dropping_ = true;
        lineStart_ = b == '\n';
        if (dropping_) {
            if (b == '\n')
                dropping_ = false;
            continue;
        }
        bytes[kept++] = b;
    }
    return kept;
}
