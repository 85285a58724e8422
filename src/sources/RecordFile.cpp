#include "RecordFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RecordFile::~RecordFile() { Close(); }

bool RecordFile::Open(const QString& name, bool append)
{
    Close();
    name_ = name;
    failing_ = false;
    lostBytes_ = 0;
    reopenCount_ = 0;
    size_ = 0;
    if (append)
        return OpenForAppend();
    fd_ = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool RecordFile::OpenForAppend()
{
    fd_ = ::open(QFile::encodeName(name_).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
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
        Close();
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
    Close();
    ++reopenCount_;
    if (!OpenForAppend()) {
        failing_ = true;
        return false;
    }
    return true;
}

void RecordFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

QString RecordStatusText(int64_t lostBytes)
{
    if (lostBytes <= 0)
        return QStringLiteral("Receive...");
    return QStringLiteral("File write error: ") + QString::number(lostBytes) + QStringLiteral(" bytes lost");
}
