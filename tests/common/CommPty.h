#pragma once
// A real pty for the serial-link tests: the test plays the receiver on the
// master side, Kestrova opens the slave as its port.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <set>
#include <sys/syscall.h>
#include <pty.h>
#include <poll.h>
#include <fcntl.h>
#include <sys/ioctl.h>
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
        constexpr int kGiveUpMs = 30000;
        QElapsedTimer t;
        t.start();
        size_t done = 0;
        while (done < bytes.size() && t.elapsed() < kGiveUpMs) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && errno == EAGAIN) {
                // The reader may be waiting for the main thread to take its
                // block before it reads on: serve it, or both wait for good.
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                pollfd p{master, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return done == bytes.size();
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
    // Bytes the receiver sent that no reader has taken from the line yet.
    int Unread() const
    {
        int n = 0;
        return slave >= 0 && ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }
    // Locks the line's rate, as an adapter that lacks a rate keeps its old
    // one: tcsetattr says yes and the rate stays. False without the
    // privilege (CAP_SYS_ADMIN).
    bool LockRate(bool locked) const
    {
        termios lock{};
        if (locked) {
            lock.c_cflag = CBAUD | CBAUDEX;
            lock.c_ispeed = lock.c_ospeed = 1;
        }
        return ioctl(slave, TIOCSLCKTRMIOS, &lock) == 0;
    }
    termios Settings() const
    {
        termios t{};
        tcgetattr(master, &t);
        return t;
    }
};

// Polls pred every millisecond until it holds or the time is up, serving the
// main thread's events meanwhile when asked.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs, bool serveEvents)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        if (serveEvents)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Waits serving events. The default time is generous: the machine may be
// loaded by other builds.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000)
{
    return WaitUntil(pred, timeoutMs, true);
}

// Waits without serving events: a reader that has handed a block over stays
// blocked in that hand-off meanwhile.
inline bool WaitWithoutEvents(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    return WaitUntil(pred, timeoutMs, false);
}

// Lets events run for a while whatever happens.
inline void RunEvents(int ms)
{
    WaitFor([] { return false; }, ms);
}

// The threads of this process.
inline std::set<int> ThreadIds()
{
    std::set<int> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ids.insert(std::atoi(e->d_name));
        closedir(d);
    }
    return ids;
}

// The one thread that is new since `before` (the port's reader), or 0.
inline int NewThread(const std::set<int>& before)
{
    int found = 0;
    for (int id : ThreadIds())
        if (!before.count(id)) {
            if (found)
                return 0;
            found = id;
        }
    return found;
}

// The system call a thread of this process is blocked in; -1 while it runs
// or once it has ended.
inline long BlockedIn(int tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    return in >> number ? number : -1;
}

// The reader waits on the line, or waits for the main thread to take a block.
inline bool WaitsOnTheLine(int tid)
{
    const long call = BlockedIn(tid);
#ifdef SYS_poll
    if (call == SYS_poll)
        return true;
#endif
    return call == SYS_ppoll;
}
inline bool WaitsForTheMainThread(int tid) { return BlockedIn(tid) == SYS_futex; }
