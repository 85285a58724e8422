#pragma once
// One recording of a test folder on the bench's time line: its blocks in
// file order, each with the time it is due, read from the file a piece at a
// time (the file is never held whole).
//
// With good receive times (FILE.times) a block is one read of the port, due
// at its receive time plus the recording's start on the line; those times
// are taken as they are, gaps of any length included, since the recordings
// must stay in step. Without them the recording is paced as a single file
// without them is (ReplayPace: its epochs' UTC times, else its bytes at the
// line's rate), starting at the line's start.
#include "BenchFolder.h"
#include "EpochIndex.h"
#include "FileHandle.h"
#include "ReplayPace.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

enum class BenchPacing { None, ReceiveTimes, EpochTimes, ByteCount };

class BenchTrack {
public:
    // Opens the recording at path and reads its receive times; a file
    // without good ones is indexed for its epochs. *note gets a line for the
    // user when something is amiss (a missing file plays nothing).
    BenchTrack(const QString& path, const BenchSourceSetup& source, QString* note);
    ~BenchTrack();
    BenchTrack(const BenchTrack&) = delete;
    BenchTrack& operator=(const BenchTrack&) = delete;

    bool HasFile() const { return file_ != nullptr; }
    BenchPacing Pacing() const { return pacing_; }
    // The clock reading the receive times count from (Pacing ReceiveTimes).
    int64_t TimesStartUs() const { return timesStartUs_; }
    // Where the recording starts on the line.
    void SetShiftMs(int64_t ms) { shiftMs_ = ms; }
    // The time of its last block on the line (0 for an empty recording).
    int64_t LastMs() const;

    // The next block: its time on the line and the file offset it ends at.
    // False when every block is delivered.
    bool Peek(int64_t* ms, int64_t* end);
    // Up to room bytes of the block under way. 0 when the file ended short
    // of it (cut while open): the track then has nothing more.
    size_t Read(uint8_t* out, size_t room);
    // Back to the first block.
    void Rewind();

private:
    void Advance();

    FileHandle file_;
    int64_t size_ = 0;
    BenchPacing pacing_ = BenchPacing::None;
    int64_t shiftMs_ = 0;
    int64_t timesStartUs_ = 0;
    ReceiveTimeList times_;
    std::unique_ptr<EpochIndex> index_;   // only without receive times
    std::unique_ptr<ReplayPace> pace_;    // reads index_
    size_t next_ = 0;                     // receive times: the next record
    int64_t done_ = 0;                    // bytes read so far
    bool cut_ = false;                    // the file ended before its size
    bool peeked_ = false;
    int64_t peekMs_ = 0;
    int64_t peekEnd_ = 0;
    int64_t pacedLastMs_ = 0;
};
