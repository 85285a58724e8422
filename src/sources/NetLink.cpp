// Network sources. Name lookup, connection and gpsd's answer share one
// deadline, so an unknown host, a refused port and a silent one all end in
// "Connection failed" within kConnectTimeoutMs; only a gpsd that took the
// connection and is still hunting its device is waited for longer (it
// answers nobody meanwhile). Every wait, the name lookup included, also
// watches the caller's cancel descriptor, so a worker doing this is stopped
// within milliseconds in every state. gpsd is asked for the raw bytes of
// its device ("raw":2) and its answer is read a line at a time with
// MSG_PEEK, so not one byte of the device's data that may follow the answer
// in the same segment is taken from the socket here.
#include "NetLink.h"

#include "MonotonicClock.h"
#include "TerminalText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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
// A name lookup is not a descriptor: it is looked at this often for its end,
// the deadline and a stop.
constexpr int kLookupSliceMs = 10;

const std::string kStopped = "Stopped";

NetSource Failed(const std::string& detail, const std::string& error = "Connection failed")
{
    NetSource s;
    s.error = error;
    s.detail = detail;
    return s;
}

// The one deadline of an open, and the way it is stopped.
struct Deadline {
    int64_t atMs;
    const NetOpenControl& control;
    bool stopped = false;

    int LeftMs() const { return int(std::max<int64_t>(0, atMs - MonotonicMs())); }
    bool Cancelled()
    {
        if (!stopped && control.cancelFd >= 0) {
            pollfd p{control.cancelFd, POLLIN, 0};
            stopped = poll(&p, 1, 0) > 0;
        }
        return stopped;
    }
};

enum class Waited { Ready, TimedOut, Stopped };

// Waits until fd shows events, the deadline passes or a stop is asked for.
Waited WaitFor(int fd, short events, Deadline* d, int64_t untilMs)
{
    for (;;) {
        const int64_t left = untilMs - MonotonicMs();
        if (left <= 0)
            return Waited::TimedOut;
        pollfd p[2] = {{fd, events, 0}, {d->control.cancelFd, POLLIN, 0}};
        const int r = poll(p, d->control.cancelFd >= 0 ? 2 : 1, int(left));
        if (r < 0 && errno != EINTR)
            return Waited::TimedOut;
        if (d->Cancelled())
            return Waited::Stopped;
        if (r > 0 && p[0].revents != 0)
            return Waited::Ready;
    }
}

struct AddrList {
    addrinfo* head = nullptr;
    ~AddrList()
    {
        if (head)
            freeaddrinfo(head);
    }
};

// A lookup handed to the C library's resolver threads, with everything it
// points to kept together.
struct Lookup {
    std::string host, service;
    addrinfo hints{};
    gaicb request{};
};

// Looks a name up without blocking past the deadline or a stop. A lookup
// the resolver cannot take back once started is left to finish on its own
// and its few hundred bytes are not freed: freeing them would race with the
// resolver's thread writing its late answer there.
bool LookUp(Lookup* l, Deadline* d, AddrList* list, std::string* detail)
{
    gaicb* requests[1] = {&l->request};
    if (getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) {
        *detail = "name lookup could not start";
        delete l;
        return false;
    }
    while (gai_error(&l->request) == EAI_INPROGRESS) {
        if (d->Cancelled() || d->LeftMs() == 0) {
            const int rc = gai_cancel(&l->request);
            *detail = d->stopped ? kStopped : "no answer from the name server for " + l->host;
            if (rc == EAI_ALLDONE && l->request.ar_result)
                freeaddrinfo(l->request.ar_result);
            if (rc != EAI_NOTCANCELED)
                delete l;
            return false;
        }
        const int sliceMs = std::min(kLookupSliceMs, d->LeftMs());
        const timespec slice{0, long(sliceMs) * 1000000L};
        gai_suspend(requests, 1, &slice);
    }
    const int rc = gai_error(&l->request);
    if (rc != 0)
        *detail = "unknown host " + l->host + ": " + gai_strerror(rc);
    else
        list->head = l->request.ar_result;
    delete l;
    return rc == 0;
}

bool Resolve(const SourceAddress& a, int sockType, Deadline* d, AddrList* list, std::string* detail)
{
    auto* l = new Lookup;
    l->host = a.host;
    l->service = std::to_string(a.port);
    l->hints.ai_family = AF_UNSPEC;
    l->hints.ai_socktype = sockType;
    if (a.host.empty())
        l->hints.ai_flags = AI_PASSIVE;
    // An address in digits needs no resolver.
    addrinfo numeric = l->hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    const char* host = a.host.empty() ? nullptr : a.host.c_str();
    if (getaddrinfo(host, l->service.c_str(), &numeric, &list->head) == 0) {
        delete l;
        return true;
    }
    list->head = nullptr;
    l->request.ar_name = l->host.c_str();
    l->request.ar_service = l->service.c_str();
    l->request.ar_request = &l->hints;
    return LookUp(l, d, list, detail);
}

// Waits for a non-blocking connect; false with errno set on failure.
bool FinishConnect(int fd, Deadline* d)
{
    switch (WaitFor(fd, POLLOUT, d, d->atMs)) {
    case Waited::Ready:
        break;
    case Waited::TimedOut:
        errno = ETIMEDOUT;
        return false;
    case Waited::Stopped:
        errno = ECANCELED;
        return false;
    }
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

int ConnectTcp(const SourceAddress& a, Deadline* d, std::string* detail)
{
    AddrList list;
    if (!Resolve(a, SOCK_STREAM, d, &list, detail))
        return -1;
    std::string why = "no address";
    for (addrinfo* ai = list.head; ai && !d->stopped; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0)
            continue;
        if (connect(fd, ai->ai_addr, ai->ai_addrlen) == 0 || (errno == EINPROGRESS && FinishConnect(fd, d))) {
            // Commands are a few bytes each and wait for answers.
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        why = std::strerror(errno);
        close(fd);
    }
    *detail = d->stopped ? kStopped : a.host + ":" + std::to_string(a.port) + ": " + why;
    return -1;
}

bool SendAll(int fd, const std::string& text, Deadline* d)
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
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, d, d->atMs) == Waited::Ready)
            continue;
        return false;
    }
    return true;
}

// One line of gpsd's answer, taken from the socket up to and including its
// newline and not a byte further.
bool ReadLine(int fd, Deadline* d, std::string* line)
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
        if (WaitFor(fd, POLLIN, d, d->atMs) != Waited::Ready)
            return false;
    }
    return false;
}

// gpsd's first word may be long in coming while it hunts its device. Once
// it has been silent for kGpsdBusyAfterMs the caller hears that it is
// waited for, and the time spent so is added to the deadline. False when
// gpsd stays silent for kGpsdBusyMs, hangs up or a stop comes.
bool AwaitGpsd(int fd, Deadline* d, std::string* detail)
{
    const int64_t startMs = MonotonicMs();
    Waited w = WaitFor(fd, POLLIN, d, std::min(d->atMs, startMs + kGpsdBusyAfterMs));
    if (w == Waited::TimedOut && !d->stopped) {
        if (d->control.gpsdBusy)
            d->control.gpsdBusy();
        w = WaitFor(fd, POLLIN, d, startMs + kGpsdBusyMs);
    }
    d->atMs += MonotonicMs() - startMs;
    if (w == Waited::Ready)
        return true;
    *detail = w == Waited::Stopped ? kStopped : "no answer within " + std::to_string(kGpsdBusyMs / 1000) + " s";
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

NetSource OpenGpsd(const SourceAddress& a, Deadline* d)
{
    NetSource s;
    const int fd = ConnectTcp(a, d, &s.detail);
    if (fd < 0)
        return Failed(s.detail);
    std::string watch = R"(?WATCH={"enable":true,"raw":2)";
    if (!a.device.empty())
        watch += R"(,"device":")" + a.device + "\"";
    watch += "}\n";
    if (!SendAll(fd, watch, d)) {
        close(fd);
        return Failed(d->stopped ? kStopped : "gpsd did not take the watch request");
    }
    if (!AwaitGpsd(fd, d, &s.detail)) {
        close(fd);
        return d->stopped ? Failed(kStopped) : Failed(s.detail, "gpsd does not answer");
    }
    // VERSION on connecting, then DEVICES and WATCH, or an ERROR when the
    // device is unknown to it or cannot be had.
    std::string line;
    while (ReadLine(fd, d, &line)) {
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
    if (d->stopped)
        return Failed(kStopped);
    return Failed("no answer to the watch request", "gpsd does not answer");
}

NetSource OpenUdp(const SourceAddress& a, Deadline* d)
{
    NetSource s;
    AddrList list;
    if (!Resolve(a, SOCK_DGRAM, d, &list, &s.detail))
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

NetSource Open(const SourceAddress& a, Deadline* d)
{
    switch (a.kind) {
    case SourceKind::Tcp: {
        NetSource s;
        s.fd = ConnectTcp(a, d, &s.detail);
        if (s.fd < 0)
            return Failed(s.detail);
        return s;
    }
    case SourceKind::Udp:
        return OpenUdp(a, d);
    case SourceKind::Gpsd:
        return OpenGpsd(a, d);
    case SourceKind::Serial:
        break;
    }
    return Failed("not a network address");
}

} // namespace

NetSource OpenNetSource(const SourceAddress& a, int timeoutMs, const NetOpenControl& control)
{
    Deadline d{MonotonicMs() + timeoutMs, control};
    NetSource s = Open(a, &d);
    if (d.stopped) {
        if (s.fd >= 0)
            close(s.fd);
        s = Failed(kStopped, kStopped);
    }
    return s;
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
