#include "RecordFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kNotRegular = QStringLiteral("not a regular file");
const QString kBusy = QStringLiteral("being recorded by another process");

bool Recordable(const struct stat& st) { return S_ISREG(st.st_mode) || S_ISCHR(st.st_mode); }

// Takes the exclusive lock without waiting; false only when another open
// file holds it (a file system without locks records unlocked).
bool TakeLock(int fd)
{
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    return result == 0 || errno != EWOULDBLOCK;
}

bool SameInode(int a, int b)
{
    struct stat sa {}, sb {};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

QString RecordFileProblem(const QString& name)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return {};
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a folder, not a file");
    if (!Recordable(st))
        return kNotRegular;
    if (!S_ISREG(st.st_mode))
        return {};
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    const bool free = TakeLock(fd);
    ::close(fd);
    return free ? QString() : kBusy;
}

RecordFile::~RecordFile() { Close(); }

bool RecordFile::Open(const QString& name, bool append)
{
    Close();
    name_ = name;
    failing_ = false;
    lostBytes_ = 0;
    reopenCount_ = 0;
    size_ = 0;
    openProblem_.clear();
    refused_ = false;
    if (append)
        return OpenForAppend();
    fd_ = OpenChecked(false);
    return fd_ >= 0;
}

int RecordFile::OpenChecked(bool append)
{
    const QByteArray path = QFile::encodeName(name_);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | (append ? O_APPEND : 0) | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        // A FIFO without a reader answers ENXIO to an open that does not wait.
        const int error = errno;
        struct stat named {};
        refused_ = ::stat(path.constData(), &named) == 0 && !S_ISDIR(named.st_mode) && !Recordable(named);
        openProblem_ = refused_ ? kNotRegular : QString::fromLocal8Bit(std::strerror(error));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const bool regular = S_ISREG(st.st_mode);
    // A reopen of the file already locked keeps that lock; a file made anew
    // under the name (the old one removed) is locked afresh.
    const bool locked = regular && lockFd_ >= 0 && SameInode(fd, lockFd_);
    QString problem;
    if (!Recordable(st))
        problem = kNotRegular;
    else if (regular && !locked && !TakeLock(fd))
        problem = kBusy;
    if (!problem.isEmpty()) {
        ::close(fd);
        refused_ = true;
        openProblem_ = problem;
        return -1;
    }
    if (regular && !locked) {
        if (lockFd_ >= 0)
            ::close(lockFd_);
        lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    // Locked first, then emptied: a refused second recorder leaves the file whole.
    if (!append && regular && ::ftruncate(fd, 0) != 0) {
        openProblem_ = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool RecordFile::OpenForAppend()
{
    fd_ = OpenChecked(true);
    if (fd_ < 0)
        return false;
    // Whatever is there now, a file made anew under the name included.
    struct stat st {};
    size_ = ::fstat(fd_, &st) == 0 ? int64_t(st.st_size) : 0;
    return true;
}

int64_t RecordFile::VanishedSize() const
{
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0)
        return int64_t(st.st_size);
    return -1;
}

bool RecordFile::Append(const uint8_t* bytes, int length)
{
    if (name_.isEmpty())
        return false;
    if (fd_ < 0 && !OpenForAppend()) {
        failing_ = true;
        lostBytes_ += length;
        return false;
    }
    int done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, size_t(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failing_ = true;
            lostBytes_ += length - done;
            return false;
        }
        done += int(n);
        size_ += n;
    }
    if (const int64_t gone = VanishedSize(); gone >= 0) {
        // Removed under us: all that went into it is gone. Let go of it, so
        // the next block opens the name afresh.
        lostBytes_ += gone;
        CloseWriter();
        failing_ = true;
        return false;
    }
    failing_ = false;
    return true;
}

bool RecordFile::Reopen()
{
    if (name_.isEmpty())
        return false;
    CloseWriter();
    ++reopenCount_;
    if (!OpenForAppend()) {
        failing_ = true;
        return false;
    }
    return true;
}

void RecordFile::CloseWriter()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void RecordFile::Close()
{
    CloseWriter();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

QString RecordStatusText(int64_t lostBytes)
{
    if (lostBytes <= 0)
        return QStringLiteral("Receive...");
    return QStringLiteral("File write error: ") + QString::number(lostBytes) + QStringLiteral(" bytes lost");
}
