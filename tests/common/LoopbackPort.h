#pragma once
// A port on 127.0.0.1 that nothing listens on right now (the kernel's pick).
#include <arpa/inet.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline int FreeLoopbackPort(int type)
{
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in a = LoopbackAddress(0);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A TCP socket listening on a free port of 127.0.0.1; the port in *port.
inline int ListenOnLoopback(int backlog, int* port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = LoopbackAddress(0);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, backlog);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

// A port on 127.0.0.1 where a connection never completes: it listens with
// a backlog of 0 and never accepts, and a first connection fills that
// backlog, so the kernel drops every further connection request unanswered.
struct UnansweredPort {
    int listenFd = -1;
    int fillers[4] = {-1, -1, -1, -1};
    int port = 0;

    UnansweredPort()
    {
        listenFd = ListenOnLoopback(0, &port);
        // Fill until a connection request goes unanswered (the first or the
        // second, depending on how the kernel counts the backlog).
        for (int& f : fillers) {
            f = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const sockaddr_in to = LoopbackAddress(port);
            if (connect(f, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
                continue;
            pollfd p{f, POLLOUT, 0};
            if (poll(&p, 1, 200) == 0)
                break;
        }
    }
    ~UnansweredPort()
    {
        for (int f : fillers)
            if (f >= 0)
                close(f);
        close(listenFd);
    }
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;
};
