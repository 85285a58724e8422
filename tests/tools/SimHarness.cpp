#include "SimHarness.h"

#include "BinrDecoder.h"
#include "BinrEncoder.h"
#include "LineRates.h"
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"
#include "TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace {

double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

SimProcess::~SimProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        close(out_);
}

bool SimProcess::Start(const std::vector<std::string>& args, int lines)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    std::vector<std::string> all{KESTROVA_SIM_BIN};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    // The first lines, within a few seconds.
    const double deadline = Now() + 5;
    std::string line;
    char c;
    while (Now() < deadline) {
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        if (read(out_, &c, 1) != 1)
            return false;
        if (c != '\n') {
            line += c;
            continue;
        }
        addresses_.push_back(line);
        line.clear();
        if (int(addresses_.size()) == lines)
            return true;
    }
    return false;
}

int SimProcess::Stop(double timeoutS)
{
    if (pid_ <= 0)
        return -1;
    kill(pid_, SIGTERM);
    const double deadline = Now() + timeoutS;
    int status = 0;
    while (Now() < deadline) {
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(5000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

bool SetLine(int fd, int baud, bool oddParity)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (oddParity)
        t.c_cflag |= PARENB | PARODD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, SpeedCode(baud));
    cfsetospeed(&t, SpeedCode(baud));
    // A pty drops PARENB and glibc then reports EINVAL although the rate and
    // PARODD were taken: judge by reading them back.
    tcsetattr(fd, TCSANOW, &t);
    termios back{};
    return tcgetattr(fd, &back) == 0 && cfgetospeed(&back) == SpeedCode(baud) &&
           ((back.c_cflag & PARODD) != 0) == oddParity;
}

int OpenLine(const std::string& path, int baud, bool oddParity)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (!SetLine(fd, baud, oddParity)) {
        close(fd);
        return -1;
    }
    return fd;
}

int ConnectTcp(const std::string& address)
{
    const std::string prefix = "tcp://127.0.0.1:";
    if (address.rfind(prefix, 0) != 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(std::atoi(address.c_str() + prefix.size())));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

ByteVec ReadFor(int fd, double seconds)
{
    ByteVec out;
    const double deadline = Now() + seconds;
    uint8_t buf[8192];
    for (;;) {
        const double left = deadline - Now();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left * 1000) + 1) <= 0)
            continue;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

bool WriteAll(int fd, const ByteVec& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return true;
}

ByteVec Frame(uint8_t id, const ByteVec& payload) { return BinrFrame(id, payload); }

ByteVec PortSetting(uint32_t baud, uint8_t mode) { return PortSettingPayload(baud, mode); }

ByteVec Sentence(const std::string& body)
{
    const std::string s = NmeaSentence(body);
    return ByteVec(s.begin(), s.end());
}

std::vector<int> DecodeBinr(const ByteVec& stream)
{
    BinrDecoder decoder;
    std::vector<int> results;
    for (uint8_t b : stream)
        if (const int r = decoder.PushByte(b))
            results.push_back(r);
    return results;
}

std::vector<int> DecodeNmea(const ByteVec& stream)
{
    NmeaAssembler assembler;
    std::vector<int> results;
    for (uint8_t b : stream)
        if (const int r = assembler.PushByte(char(b)))
            results.push_back(r);
    return results;
}

SimLogContent ReadSimLog(const std::string& path)
{
    SimLogContent log;
    const ByteVec raw = ReadBinaryFile(path);
    size_t i = 0;
    while (i + 5 <= raw.size()) {
        const uint8_t direction = raw[i];
        const uint32_t n = uint32_t(raw[i + 1]) | uint32_t(raw[i + 2]) << 8 |
                           uint32_t(raw[i + 3]) << 16 | uint32_t(raw[i + 4]) << 24;
        i += 5;
        if ((direction != 'R' && direction != 'S') || n == 0 || i + n > raw.size())
            return log;
        ByteVec& to = direction == 'R' ? log.received : log.sent;
        to.insert(to.end(), raw.begin() + long(i), raw.begin() + long(i + n));
        i += n;
    }
    log.wellFormed = i == raw.size();
    return log;
}

std::string TempPath(const std::string& name)
{
    const char* dir = std::getenv("TMPDIR");
    std::ostringstream s;
    s << (dir && *dir ? dir : "/tmp") << "/kestrova-simtest-" << getpid() << "-" << name;
    return s.str();
}

namespace {

// The system call the process's (only) thread is blocked in; -1 while it runs.
long BlockedIn(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    return in >> number ? number : -1;
}

bool InIdleSleep(pid_t pid)
{
    const long call = BlockedIn(pid);
    return call == SYS_nanosleep || call == SYS_clock_nanosleep;
}

} // namespace

bool WaitForReceived(const std::string& path, size_t count, double timeoutS)
{
    const double deadline = Now() + timeoutS;
    struct stat st{};
    while (stat((path + ".rx").c_str(), &st) != 0 || size_t(st.st_size) < count) {
        if (Now() >= deadline)
            return false;
        usleep(1000);
    }
    return true;
}

bool WaitsIdle(pid_t pid, double timeoutS)
{
    constexpr int kSamples = 10;
    const double deadline = Now() + timeoutS;
    int inARow = 0;
    while (Now() < deadline) {
        inARow = InIdleSleep(pid) ? inARow + 1 : 0;
        if (inARow == kSamples)
            return true;
        usleep(1000);
    }
    return false;
}
