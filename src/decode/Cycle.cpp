#include "Cycle.h"

#include "Mainfile.h"

#include <QFile>
#include <QLabel>
#include <QMetaObject>
#include <QMutexLocker>

#include <sys/stat.h>

namespace {

// The file opened by OpenPlaybackFile, waiting for its thread.
std::FILE* pendingFile = nullptr;
int64_t pendingSize = 0;

bool PlaybackMode(uint32_t mode) { return mode == amPlay || mode == amFastPlay || mode == amPause; }

} // namespace

bool OpenPlaybackFile(const QString& fileName)
{
    std::FILE* f = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!f)
        return false;
    // Only a regular file has an end: a FIFO or a device would block the
    // reader for good, and a folder reads as nothing.
    struct stat st {};
    if (::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        return false;
    }
    if (pendingFile)
        std::fclose(pendingFile);
    pendingFile = f;
    pendingSize = int64_t(st.st_size);
    return true;
}

int64_t PlaybackFileSize() { return pendingSize; }

QString ProgressText(int64_t delivered, int64_t fileSize)
{
    if (fileSize <= kSmallFileSize)
        return QStringLiteral("File reading... 100%");
    const int64_t percent = (delivered / 1024) * 100 / (fileSize / 1024);
    return QStringLiteral("File reading... ") + QString::number(percent) + QLatin1Char('%');
}

TReadCycle::TReadCycle(bool normalSpeed) : NormalSpeed(normalSpeed)
{
    file_ = pendingFile;
    fileSize_ = pendingSize;
    pendingFile = nullptr;
}

TReadCycle::~TReadCycle()
{
    if (file_)
        std::fclose(file_);
}

void TReadCycle::Suspend()
{
    QMutexLocker lock(&suspendMutex_);
    suspended_ = true;
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

void TReadCycle::run()
{
    while (WaitWhileSuspended()) {
        const int blockSize = NormalSpeed.load() ? 1 : kPlaybackBlockSize;
        blockLength_ = file_ ? int(std::fread(block_, 1, size_t(blockSize), file_)) : 0;
        // The main thread routes, counts and paints the block while we wait.
        QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::BlockingQueuedConnection);
        if (isInterruptionRequested() || blockLength_ != blockSize)
            break;   // stopped, end of file or read failure
    }
    {
        // Leave the last picture up a moment; a stop request cuts it short.
        QMutexLocker lock(&suspendMutex_);
        if (!isInterruptionRequested())
            resumed_.wait(&suspendMutex_, kEndPauseMs);
    }
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    QMetaObject::invokeMethod(this, [this] { Finish(); }, Qt::BlockingQueuedConnection);
}

void TReadCycle::Deliver()
{
    TMainForm* form = MainForm;
    // A thread that is no longer the main window's playback must not feed
    // its leftovers into the playback that replaced it.
    if (!form || !form->IsCurrentCycle(this))
        return;
    form->ReceiveBytes(block_, blockLength_);
    if (PlaybackMode(form->mode))
        form->InfoLabel->setText(ProgressText(form->receivedTotal, fileSize_));
}

void TReadCycle::Finish()
{
    TMainForm* form = MainForm;
    if (!form || !form->IsCurrentCycle(this) || !PlaybackMode(form->mode))
        return;
    form->InfoLabel->setText(QString());
    form->StopButtonClick(nullptr);
}
