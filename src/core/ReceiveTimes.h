#pragma once
// Receive times of a recording: FILE.times beside the record file holds one
// record per block read from the port, so a paced replay can reproduce the
// original delivery, bursts and gaps included.
//
// Format (all integers little-endian):
//   header, 16 bytes: "KSTIMES1", then the monotonic clock (CLOCK_MONOTONIC,
//                     microseconds) when the recording started, int64;
//   records, 24 bytes each, one per block in the order received:
//     int64 file offset just after the block (bytes in the record file),
//     int64 milliseconds since the recording started,
//     int64 monotonic clock when the block arrived, microseconds.
// A reader trusts the file only whole: the size must be the header plus
// whole records, offsets must rise strictly, times must not fall, each time
// must equal its clock reading less the start, and the last offset must be
// the record file's size. Anything else is ignored with a reason.
#include "MonotonicClock.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr char kTimesMagic[8] = {'K', 'S', 'T', 'I', 'M', 'E', 'S', '1'};
constexpr int kTimesHeaderSize = 16;
constexpr int kTimesRecordSize = 24;

struct ReceiveTime {
    int64_t endOffset;   // record file size after the block
    int64_t ms;          // since the recording started
};

// The side file's name: the record file's name plus ".times".
std::string TimesFileName(const std::string& recordFile);

class ReceiveTimesWriter {
public:
    ReceiveTimesWriter() = default;
    ~ReceiveTimesWriter();
    ReceiveTimesWriter(const ReceiveTimesWriter&) = delete;
    ReceiveTimesWriter& operator=(const ReceiveTimesWriter&) = delete;

    // Creates or truncates the file and writes the header. A record file
    // that already holds existingSize bytes gets one record for them, at the
    // start: they are taken as one block received then. False when it cannot
    // be written; the recording goes on without it.
    bool Create(const std::string& name, int64_t startUs, int64_t existingSize = 0);
    // Goes on with the file of a record file of recordSize bytes that is
    // continued. The monotonic clock of another process or boot is not the
    // one the old records read, so the old clock goes on virtually: the next
    // reading is the last one recorded plus pausedUs, however far the clock
    // of this process is from it. Bytes of the record file past the last
    // record (a crash between the two writes) get a record at that reading.
    // False, the file untouched, when the old one does not check out (see
    // ReadReceiveTimes) against the record file up to its last record.
    bool Continue(const std::string& name, int64_t recordSize, int64_t nowUs, int64_t pausedUs);
    // The record file now ends at endOffset, at clock reading nowUs. Nothing
    // is written when the file did not grow; a record file that shrank was
    // made anew under the same name, and the records start again. A write
    // that fails cuts the file back to its last whole record and closes it
    // for good: a gap in the records would make it lie.
    void Append(int64_t endOffset, int64_t nowUs);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    bool WriteRecord(int64_t endOffset, int64_t clockUs);

    int fd_ = -1;
    int64_t startUs_ = 0;
    int64_t shiftUs_ = 0;       // added to every clock reading (continued files)
    int64_t lastOffset_ = 0;
    int64_t lastClockUs_ = 0;
    int64_t fileSize_ = 0;      // header plus whole records written
};

struct ReceiveTimesRead {
    std::vector<ReceiveTime> times;   // empty unless the whole file passed
    std::string problem;              // why it was ignored; empty when missing or good
    int64_t startUs = 0;              // the header's clock reading, when the file passed
};

// Reads and checks name against a record file of recordSize bytes.
ReceiveTimesRead ReadReceiveTimes(const std::string& name, int64_t recordSize);
