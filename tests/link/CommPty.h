#pragma once
// A real pty for the serial-link tests: the test plays the receiver on the
// master side, Kestrova opens the slave as its port.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <pty.h>
#include <poll.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

struct TestPty {
    int master = -1;
    int slave = -1;   // held so the master never sees "no slave open"
    QString path;

    TestPty()
    {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&master, &slave, name, &raw, nullptr) == 0) {
            path = QString::fromLocal8Bit(name);
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TestPty() { Close(); }
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    bool Ok() const { return master >= 0; }
    void Close()
    {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
        master = slave = -1;
    }
    // The receiver's side goes away: the port sees a hang-up.
    void Hangup()
    {
        if (slave >= 0)
            close(slave);
        slave = -1;
        if (master >= 0)
            close(master);
        master = -1;
    }
    bool Send(const std::vector<uint8_t>& bytes) const
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{master, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }
    // What Kestrova wrote, waiting up to timeoutMs for `count` bytes; the main
    // thread's events run meanwhile, so answers made in a hand-off arrive.
    std::vector<uint8_t> Receive(size_t count, int timeoutMs = 2000) const
    {
        std::vector<uint8_t> got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count && t.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) {
                uint8_t buf[4096];
                const ssize_t n = read(master, buf, sizeof buf);
                if (n > 0)
                    got.insert(got.end(), buf, buf + n);
            }
        }
        return got;
    }
    termios Settings() const
    {
        termios t{};
        tcgetattr(master, &t);
        return t;
    }
};

// Runs the main thread's events until pred holds or the time is up.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Lets events run for a while whatever happens.
inline void RunEvents(int ms)
{
    WaitFor([] { return false; }, ms);
}

// CPU time of the whole process, both user and system, in milliseconds.
inline double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}
