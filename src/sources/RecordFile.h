#pragma once
// The recording's output file. Every block goes straight to the operating
// system (no user-space buffer), so a failed write is seen at once and never
// leaves half a block waiting in memory to be lost later. A failed write or a
// file that has vanished under us marks the file failing; the next append
// tries again, reopening for appending when the handle is gone. What could
// not be kept is counted: once a recording has a hole, the user must know.
//
// Only a regular file or a character device (/dev/null) is recorded into,
// and it is opened without waiting, so a FIFO under the name is refused at
// once instead of blocking the open until a reader comes. A regular file is
// locked (flock, exclusive) from Open to Close, the reopens included, so a
// second recorder of the same file, in this process or another, is refused
// instead of interleaving two streams; the lock is taken before the file is
// truncated.
#include <QString>
#include <cstdint>

class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Creates or truncates the file ("wb").
    bool Create(const QString& name) { return Open(name, false); }
    // Creates or truncates the file, or with append goes on at its end.
    bool Open(const QString& name, bool append);
    // Why the last Open failed: RecordFileProblem's texts, or the system's
    // reason; empty after an Open that succeeded.
    const QString& OpenProblem() const { return openProblem_; }
    // True when the last Open was refused for another recorder's lock or for
    // a file that is neither regular nor a character device.
    bool Refused() const { return refused_; }
    // Appends the whole block; false when any byte could not be written.
    bool Append(const uint8_t* bytes, int length);
    // Closes and opens again for appending ("ab"): pushes the data out and
    // picks up a file that was removed or replaced meanwhile.
    bool Reopen();
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // True from a failed write or reopen until the next write that succeeds.
    bool Failing() const { return failing_; }
    // Bytes of this recording that are not in the file: blocks or parts of
    // blocks that could not be written, and everything written to a file
    // that was removed under us. Counted from Create.
    int64_t LostBytes() const { return lostBytes_; }
    const QString& Name() const { return name_; }
    // The size of the file as written: what it held when opened (or reopened)
    // plus every byte written since, a part of a failed block included.
    int64_t Size() const { return size_; }
    int ReopenCount() const { return reopenCount_; }

private:
    // Opens the name for writing (O_APPEND with append), checked and locked
    // as the header says; -1 with openProblem_ set when it cannot.
    int OpenChecked(bool append);
    bool OpenForAppend();
    // Closes the writing descriptor only; the lock stays.
    void CloseWriter();
    // The bytes written to the open file when it has been removed, else -1.
    int64_t VanishedSize() const;

    int fd_ = -1;
    int lockFd_ = -1;   // holds the lock across reopens
    QString name_;
    QString openProblem_;
    bool refused_ = false;
    bool failing_ = false;
    int64_t lostBytes_ = 0;
    int64_t size_ = 0;
    int reopenCount_ = 0;
};

// What stops the file at name from being recorded into, checked before a
// source is opened: "a folder, not a file", "not a regular file" (a FIFO, a
// socket, a block device) or "being recorded by another process"; empty
// when nothing does (a missing file is created).
QString RecordFileProblem(const QString& name);

// The information line while recording: "Receive...", or once anything was
// lost, "File write error: N bytes lost" until the recording stops.
QString RecordStatusText(int64_t lostBytes);
