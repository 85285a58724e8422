#include "ReceiveTimes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kUsPerMs = 1000;
// A .times file past this size is not one of ours (about 350 days of 10 blocks a second).
constexpr int64_t kTimesFileLimit = int64_t(1) << 31;

void PutI64(uint8_t* out, int64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = uint8_t(uint64_t(value) >> (8 * i));
}

int64_t GetI64(const uint8_t* in)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | in[i];
    return int64_t(v);
}

bool WriteAll(int fd, const uint8_t* bytes, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool ReadAll(int fd, uint8_t* bytes, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

ReceiveTimesRead Ignored(const char* why) { return {{}, why}; }

// Records are read a batch at a time: the file's bytes are never held whole.
constexpr size_t kRecordsPerRead = 2730;

ReceiveTimesRead ReadOpenTimes(int fd, int64_t recordSize)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kTimesFileLimit)
        return Ignored("not a times file");
    const int64_t size = int64_t(st.st_size);
    if (size < kTimesHeaderSize || (size - kTimesHeaderSize) % kTimesRecordSize != 0)
        return Ignored("truncated");
    const size_t count = size_t((size - kTimesHeaderSize) / kTimesRecordSize);
    // Offsets rise by at least a byte per record: a file with more records
    // than the recording has bytes cannot be its own, and is not read.
    if (recordSize < 0 || int64_t(count) > recordSize)
        return Ignored("does not match the file");
    uint8_t header[kTimesHeaderSize];
    if (!ReadAll(fd, header, sizeof header))
        return Ignored("truncated");
    if (std::memcmp(header, kTimesMagic, sizeof kTimesMagic) != 0)
        return Ignored("not a times file");
    const int64_t startUs = GetI64(header + 8);
    ReceiveTimesRead result;
    result.startUs = startUs;
    result.times.reserve(count);
    std::vector<uint8_t> batch(kRecordsPerRead * kTimesRecordSize);
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(count - done, kRecordsPerRead);
        if (!ReadAll(fd, batch.data(), n * kTimesRecordSize))
            return Ignored("truncated");
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* r = batch.data() + i * kTimesRecordSize;
            const ReceiveTime t {GetI64(r), GetI64(r + 8)};
            const int64_t clockUs = GetI64(r + 16);
            const bool rising = result.times.empty() ? t.endOffset > 0
                                                     : t.endOffset > result.times.back().endOffset && t.ms >= result.times.back().ms;
            int64_t sinceStartUs = 0;
            if (!rising || t.ms < 0 || clockUs < startUs || __builtin_sub_overflow(clockUs, startUs, &sinceStartUs)
                || sinceStartUs / kUsPerMs != t.ms)
                return Ignored("inconsistent");
            result.times.push_back(t);
        }
        done += n;
    }
    if (result.times.empty() || result.times.back().endOffset != recordSize)
        return Ignored("does not match the file");
    return result;
}

} // namespace

std::string TimesFileName(const std::string& recordFile) { return recordFile + ".times"; }

ReceiveTimesWriter::~ReceiveTimesWriter() { Close(); }

bool ReceiveTimesWriter::Create(const std::string& name, int64_t startUs, int64_t existingSize)
{
    Close();
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0)
        return false;
    startUs_ = startUs;
    shiftUs_ = 0;
    lastOffset_ = 0;
    lastClockUs_ = startUs;
    fileSize_ = 0;
    uint8_t header[kTimesHeaderSize];
    std::memcpy(header, kTimesMagic, sizeof kTimesMagic);
    PutI64(header + 8, startUs);
    if (!WriteAll(fd_, header, sizeof header)) {
        Close();
        return false;
    }
    fileSize_ = kTimesHeaderSize;
    if (existingSize > 0)
        return WriteRecord(existingSize, startUs);
    return true;
}

bool ReceiveTimesWriter::Continue(const std::string& name, int64_t recordSize, int64_t nowUs, int64_t pausedUs)
{
    Close();
    const int fd = ::open(name.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The last record first: the bytes a crash left after it are allowed.
    struct stat st {};
    uint8_t header[kTimesHeaderSize];
    uint8_t last[kTimesRecordSize];
    int64_t shift = 0;
    const bool ok = ::fstat(fd, &st) == 0 && st.st_size >= kTimesHeaderSize + kTimesRecordSize
        && ::pread(fd, header, sizeof header, 0) == ssize_t(sizeof header)
        && ::pread(fd, last, sizeof last, st.st_size - kTimesRecordSize) == ssize_t(sizeof last)
        && GetI64(last) <= recordSize && ReadReceiveTimes(name, GetI64(last)).problem.empty()
        && !__builtin_add_overflow(GetI64(last + 16), std::max<int64_t>(pausedUs, 0), &shift)
        && !__builtin_sub_overflow(shift, nowUs, &shift);
    if (!ok) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    startUs_ = GetI64(header + 8);
    shiftUs_ = shift;
    lastOffset_ = GetI64(last);
    lastClockUs_ = GetI64(last + 16);
    fileSize_ = int64_t(st.st_size);
    // Bytes that reached the record file after its last record (a crash
    // between the two writes) count as received when it goes on.
    Append(recordSize, nowUs);
    return IsOpen();
}

bool ReceiveTimesWriter::WriteRecord(int64_t endOffset, int64_t clockUs)
{
    int64_t sinceStartUs = 0;
    if (__builtin_sub_overflow(clockUs, startUs_, &sinceStartUs)) {
        Close();
        return false;
    }
    uint8_t record[kTimesRecordSize];
    PutI64(record, endOffset);
    PutI64(record + 8, sinceStartUs / kUsPerMs);
    PutI64(record + 16, clockUs);
    if (!WriteAll(fd_, record, sizeof record)) {
        // Half a record would make the whole file "truncated".
        if (::ftruncate(fd_, off_t(fileSize_)) != 0) {
            // Nothing more to do: the reader will say why it is ignored.
        }
        Close();
        return false;
    }
    fileSize_ += kTimesRecordSize;
    lastOffset_ = endOffset;
    lastClockUs_ = clockUs;
    return true;
}

void ReceiveTimesWriter::Append(int64_t endOffset, int64_t nowUs)
{
    if (fd_ < 0)
        return;
    if (endOffset < lastOffset_) {
        if (::ftruncate(fd_, kTimesHeaderSize) != 0) {
            Close();
            return;
        }
        fileSize_ = kTimesHeaderSize;
        lastOffset_ = 0;
    }
    if (endOffset == lastOffset_)
        return;
    int64_t clockUs = 0;
    if (__builtin_add_overflow(nowUs, shiftUs_, &clockUs)) {
        Close();
        return;
    }
    WriteRecord(endOffset, std::max(clockUs, lastClockUs_));
}

void ReceiveTimesWriter::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

ReceiveTimesRead ReadReceiveTimes(const std::string& name, int64_t recordSize)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const ReceiveTimesRead result = ReadOpenTimes(fd, recordSize);
    ::close(fd);
    return result;
}
