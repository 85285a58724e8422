#pragma once
// Receive times of a recording: FILE.times beside the record file holds one
// record per block read from the port, so a paced replay can reproduce the
// original delivery, bursts and gaps included.
//
// Format (all integers little-endian):
//   header, 16 bytes: "KSTIMES1", then the monotonic clock (CLOCK_MONOTONIC,
//                     microseconds) when the recording started, int64;
//   records, 24 bytes each, one per block in the order received:
//     int64 file offset just after the block (bytes in the record file);
//           negative (the offset negated) when the times of the bytes since
//           the record before are not known: they arrived after it and by
//           this record's time, in blocks whose records were lost (FILE.times
//           could not be written or was removed, or a crash came between the
//           two writes, or they were in the file before its FILE.times);
//     int64 milliseconds since the recording started,
//     int64 monotonic clock when the block arrived, microseconds.
// A file without negative offsets is exactly the format of before them.
// A reader trusts the file only whole: the size must be the header plus
// whole records, offsets (negated ones taken positive) must rise strictly,
// times must not fall, each time must equal its clock reading less the
// start, and the last offset must be the record file's size. Anything else
// is ignored with a reason.
//
// The file is made only as a regular file beside a regular record file; a
// symbolic link, a FIFO or anything else under its name is never opened for
// writing, and a reader refuses what is not a regular file without waiting
// on it. The writer never shrinks a file in place that a reader may have
// checked: a new recording or a record file made anew gets a new file under
// the name, so a reader's mapping of the old one stays whole.
#include "MonotonicClock.h"
#include "ReceiveTimeList.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr char kTimesMagic[8] = {'K', 'S', 'T', 'I', 'M', 'E', 'S', '1'};
constexpr int kTimesHeaderSize = 16;

// The side file's name: the record file's name plus ".times".
std::string TimesFileName(const std::string& recordFile);

// Something the writer tells its user about the file ("write error: No
// space left on device"), to be said after the file's name.
struct TimesNote {
    std::string what;
    bool lost;   // receive times were lost (a write error, a removed file, a refused name)
};

class ReceiveTimesWriter {
public:
    ReceiveTimesWriter() = default;
    ~ReceiveTimesWriter();
    ReceiveTimesWriter(const ReceiveTimesWriter&) = delete;
    ReceiveTimesWriter& operator=(const ReceiveTimesWriter&) = delete;

    // Makes TimesFileName(recordFile) anew (a regular file there is replaced,
    // anything else refused) and writes the header. A record file that
    // already holds existingSize bytes gets one record for them, at the
    // start, marked not exact. False, with a note, when the record file is
    // not a regular file or the times cannot be written; the recording goes
    // on without them.
    bool Create(const std::string& recordFile, int64_t startUs, int64_t existingSize = 0);
    // Goes on with the times of a record file of recordSize bytes that is
    // continued. The monotonic clock of another process or boot is not the
    // one the old records read, so the old clock goes on virtually: the next
    // reading is the last one recorded plus pausedUs, however far the clock
    // of this process is from it. Every whole record that checks out against
    // the record file is kept; a torn last record and records past the
    // record file's end (or after one that does not check out) are cut off,
    // with a note. Bytes of the record file past the last record (a crash
    // between the two writes) get one record, not exact, at that reading.
    // False when nothing of the old file could be kept: then it is started
    // anew as Create does (with a note when there was something to keep).
    bool Continue(const std::string& recordFile, int64_t recordSize, int64_t nowUs, int64_t pausedUs);
    // The record file now ends at endOffset, at clock reading nowUs. Nothing
    // is written when the file did not grow; a record file that shrank was
    // made anew under the same name, and the records start again in a new
    // file. A write that fails is cut back to the last whole record and
    // noted; the next block tries again, and the first record written then
    // covers every byte since the last one, marked not exact. A file removed
    // under us is noted and made anew, its first record likewise.
    void Append(int64_t endOffset, int64_t nowUs);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // True from a failed write until a record is written again.
    bool Failing() const { return failing_; }
    // Everything noted since Create or Continue, oldest first (at most
    // kMaxTimesNotes; the last one says when more were left out).
    const std::vector<TimesNote>& Notes() const { return notes_; }
    bool AnyLost() const { return anyLost_; }
    // The file of the last Create or Continue, as its record file was named.
    const std::string& Name() const { return file_; }

private:
    bool Start(const std::string& recordFile, int64_t startUs, int64_t existingSize);
    // Continue's way out: the file started anew, and false.
    bool StartAnew(const std::string& recordFile, int64_t nowUs, int64_t recordSize);
    bool OpenNew(int64_t startUs, bool replace, std::string* why);
    bool WriteRecord(int64_t endOffset, int64_t clockUs, bool exact);
    bool Vanished() const;
    void Remake(int64_t endOffset, int64_t clockUs);
    void Note(const std::string& what, bool lost);

    std::string file_;
    std::string name_;          // file_ while it is being written, else empty
    int fd_ = -1;
    int64_t startUs_ = 0;
    int64_t shiftUs_ = 0;       // added to every clock reading (continued files)
    int64_t lastOffset_ = 0;
    int64_t lastClockUs_ = 0;
    int64_t fileSize_ = 0;      // header plus whole records written
    bool failing_ = false;      // a write failed; no record has gone in since
    bool gap_ = false;          // the next record covers bytes whose times were lost
    bool remake_ = false;       // removed under us: made anew at the next block
    int64_t dev_ = 0, ino_ = 0; // the file we made, to tell it from another under the name
    std::vector<TimesNote> notes_;
    bool anyLost_ = false;
};

constexpr size_t kMaxTimesNotes = 1000;

struct ReceiveTimesRead {
    ReceiveTimeList times;            // empty unless the whole file passed
    std::string problem;              // why it was ignored; empty when missing or good
    int64_t startUs = 0;              // the header's clock reading, when the file passed
};

// Reads and checks name against a record file of recordSize bytes. The file
// is mapped, checked a window at a time, and the records stay on disk.
ReceiveTimesRead ReadReceiveTimes(const std::string& name, int64_t recordSize);
