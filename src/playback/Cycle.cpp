#include "Cycle.h"

#include <QFile>
#include <QMetaObject>
#include <QDeadlineTimer>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString ProgressText(int64_t delivered, int64_t fileSize)
{
    if (fileSize <= kSmallFileSize)
        return QStringLiteral("File reading... 100%");
    const int64_t percent = (delivered / 1024) * 100 / (fileSize / 1024);
    return QStringLiteral("File reading... ") + QString::number(percent) + QLatin1Char('%');
}

// ---------------------------------------------------------------- file source

FileHandle OpenRecording(const QString& fileName, int64_t* size, int64_t* modifiedS, QString* why)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (why)
            *why = QStringLiteral("not a regular file");
        return nullptr;
    }
    FileHandle f(::fdopen(fd, "rb"));
    if (!f) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    *size = int64_t(st.st_size);
    if (modifiedS)
        *modifiedS = int64_t(st.st_mtim.tv_sec);
    return f;
}

std::unique_ptr<FilePlaybackSource> FilePlaybackSource::Open(const QString& fileName)
{
    int64_t size = 0, modifiedS = 0;
    FileHandle f = OpenRecording(fileName, &size, &modifiedS);
    if (!f)
        return nullptr;
    return std::unique_ptr<FilePlaybackSource>(new FilePlaybackSource(std::move(f), size, modifiedS));
}

PlaybackSource::Block FilePlaybackSource::Next(uint8_t* bytes, bool normalSpeed)
{
    const int wanted = normalSpeed ? 1 : kPlaybackBlockSize;
    Block block;
    block.length = int(std::fread(bytes, 1, size_t(wanted), file_.get()));
    block.last = block.length != wanted;   // end of file or read failure
    if (block.last)
        file_.reset();   // let go of the file before the end pause
    return block;
}

// ---------------------------------------------------------------- thread

TReadCycle::TReadCycle(std::unique_ptr<PlaybackSource> source, PlaybackCallbacks callbacks, bool normalSpeed)
    : NormalSpeed(normalSpeed), source_(std::move(source)), callbacks_(std::move(callbacks))
{
}

TReadCycle::~TReadCycle() = default;

void TReadCycle::Suspend()
{
    QMutexLocker lock(&suspendMutex_);
    suspended_ = true;
    // A thread waiting for a due time notes the pause now, not at the due time.
    resumed_.wakeAll();
}

void TReadCycle::Resume()
{
    QMutexLocker lock(&suspendMutex_);
    suspended_ = false;
    resumed_.wakeAll();
}

void TReadCycle::RequestStop()
{
    requestInterruption();
    Resume();
}

bool TReadCycle::WaitWhileSuspended()
{
    QMutexLocker lock(&suspendMutex_);
    while (suspended_ && !isInterruptionRequested())
        resumed_.wait(&suspendMutex_);
    return !isInterruptionRequested();
}

bool TReadCycle::WaitUntil(PlaybackSource::Clock::time_point due)
{
    QMutexLocker lock(&suspendMutex_);
    while (!isInterruptionRequested()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - PlaybackSource::Clock::now());
        if (left.count() <= 0)
            break;
        resumed_.wait(&suspendMutex_, QDeadlineTimer(left.count()));
    }
    return !isInterruptionRequested();
}

void TReadCycle::run()
{
    bool last = source_ == nullptr;
    if (last)
        blockLength_ = 0;
    while (WaitWhileSuspended()) {
        if (source_) {
            const PlaybackSource::Block block = source_->Next(block_, NormalSpeed.load());
            blockLength_ = std::clamp(block.length, 0, kPlaybackBlockSize);
            last = block.last;
            // A block due at once (every block of a file played as fast as
            // the intake takes it) costs no clock reading and no lock.
            if (block.due != PlaybackSource::Clock::time_point{} && !WaitUntil(block.due))
                break;
        }
        // The main thread routes, counts and paints the block while we wait.
        QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::BlockingQueuedConnection);
        if (isInterruptionRequested() || last)
            break;
    }
    source_.reset();
    {
        // Leave the last picture up a moment; a stop request cuts it short.
        QMutexLocker lock(&suspendMutex_);
        if (!isInterruptionRequested())
            resumed_.wait(&suspendMutex_, kEndPauseMs);
    }
    // After a stop nobody waits for the end: the thread ends without
    // needing the main thread, which may be shutting down.
    if (!isInterruptionRequested())
        QMetaObject::invokeMethod(this, [this] { Finish(); }, Qt::BlockingQueuedConnection);
}

void TReadCycle::HandOver(const uint8_t* bytes, int length)
{
    blockLength_ = std::clamp(length, 0, kPlaybackBlockSize);
    std::copy(bytes, bytes + blockLength_, block_);
    if (!isInterruptionRequested())
        QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::BlockingQueuedConnection);
}

void TReadCycle::OnMainThread(const std::function<void()>& call)
{
    if (isInterruptionRequested() || !call)
        return;
    QMetaObject::invokeMethod(this, [this, &call] {
        if (isInterruptionRequested())
            return;
        inHandOff_ = true;
        call();
        inHandOff_ = false;
    }, Qt::BlockingQueuedConnection);
}

void TReadCycle::Finished()
{
    if (!isInterruptionRequested())
        QMetaObject::invokeMethod(this, [this] { Finish(); }, Qt::BlockingQueuedConnection);
}

void TReadCycle::Deliver()
{
    if (isInterruptionRequested() || !callbacks_.deliver)
        return;
    inHandOff_ = true;
    callbacks_.deliver(block_, blockLength_);
    inHandOff_ = false;
}

void TReadCycle::Finish()
{
    if (isInterruptionRequested() || !callbacks_.finished)
        return;
    inHandOff_ = true;
    callbacks_.finished();
    inHandOff_ = false;
}
