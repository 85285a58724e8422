#include "ReceiveTimes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kUsPerMs = 1000;
// Records checked between two releases of the pages read: the check reads
// a whole file, and keeps no more than this much of it resident.
constexpr size_t kRecordsPerWindow = size_t(1) << 20;   // 24 MiB

bool WriteAll(int fd, const uint8_t* bytes, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// A read-only mapping of a whole file, unmapped with its last owner.
struct Mapping {
    void* at = MAP_FAILED;
    size_t length = 0;
    Mapping(int fd, size_t size) : length(size)
    {
        if (size > 0)
            at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    }
    ~Mapping()
    {
        if (at != MAP_FAILED)
            ::munmap(at, length);
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    const uint8_t* Bytes() const { return static_cast<const uint8_t*>(at); }
};

// The last record that passed, and why the first that did not failed.
struct Scan {
    size_t good = 0;
    int64_t offset = 0;
    int64_t ms = 0;
    int64_t clockUs = 0;
    const char* why = nullptr;
};

// Checks count records of the file mapped at map, in order, until one fails
// or its offset passes maxOffset. Pages are released a window at a time, so
// checking a file of any size keeps a bounded part of it in memory.
Scan ScanRecords(const Mapping& map, size_t count, int64_t startUs, int64_t maxOffset)
{
    Scan s;
    const uint8_t* base = map.Bytes();
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    size_t released = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i % kRecordsPerWindow == 0 && i > 0) {
            const size_t upTo = (kTimesHeaderSize + i * kTimesRecordSize) / page * page;
            ::madvise(const_cast<uint8_t*>(base) + released, upTo - released, MADV_DONTNEED);
            released = upTo;
        }
        const uint8_t* r = base + kTimesHeaderSize + i * kTimesRecordSize;
        int64_t offset = GetTimesI64(r);
        if (offset < 0 && offset != INT64_MIN)
            offset = -offset;
        const int64_t ms = GetTimesI64(r + 8);
        const int64_t clockUs = GetTimesI64(r + 16);
        const bool rising = i == 0 ? offset > 0 : offset > s.offset && ms >= s.ms;
        int64_t sinceStartUs = 0;
        if (!rising || ms < 0 || clockUs < startUs || __builtin_sub_overflow(clockUs, startUs, &sinceStartUs)
            || sinceStartUs / kUsPerMs != ms) {
            s.why = "inconsistent";
            break;
        }
        if (offset > maxOffset) {
            s.why = "does not match the file";
            break;
        }
        s = {i + 1, offset, ms, clockUs, nullptr};
    }
    ::madvise(const_cast<uint8_t*>(base), map.length, MADV_DONTNEED);
    return s;
}

ReceiveTimesRead Ignored(const std::string& why)
{
    ReceiveTimesRead r;
    r.problem = why;
    return r;
}

ReceiveTimesRead ReadOpenTimes(int fd, int64_t recordSize)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Ignored(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return Ignored("not a regular file");
    const int64_t size = int64_t(st.st_size);
    if (size < kTimesHeaderSize || (size - kTimesHeaderSize) % kTimesRecordSize != 0)
        return Ignored("truncated");
    const size_t count = size_t((size - kTimesHeaderSize) / kTimesRecordSize);
    // Offsets rise by at least a byte per record: a file with more records
    // than the recording has bytes cannot be its own, and is not read.
    if (recordSize < 0 || int64_t(count) > recordSize)
        return Ignored("does not match the file");
    auto map = std::make_shared<Mapping>(fd, size_t(size));
    if (map->at == MAP_FAILED)
        return Ignored(std::strerror(errno));
    if (std::memcmp(map->Bytes(), kTimesMagic, sizeof kTimesMagic) != 0)
        return Ignored("not a times file");
    const int64_t startUs = GetTimesI64(map->Bytes() + 8);
    const Scan scan = ScanRecords(*map, count, startUs, INT64_MAX);
    if (scan.why)
        return Ignored(scan.why);
    if (count == 0 || scan.offset != recordSize)
        return Ignored("does not match the file");
    ReceiveTimesRead result;
    result.startUs = startUs;
    const uint8_t* records = map->Bytes() + kTimesHeaderSize;
    result.times = ReceiveTimeList(std::move(map), records, count);
    return result;
}

std::string Plural(int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What Continue cuts off the end of an old file, in words.
std::string Dropped(size_t count, const Scan& scan, int64_t tornBytes)
{
    std::string what;
    if (scan.good < count) {
        const int64_t n = int64_t(count - scan.good);
        what = std::strcmp(scan.why, "does not match the file") == 0
                   ? Plural(n, "record", "records") + " past the end of the record file"
                   : Plural(n, "record", "records") + " from the first that does not check out (" + scan.why + ")";
    }
    if (tornBytes > 0)
        what += (what.empty() ? "" : " and ") + std::string("a torn last record (") + Plural(tornBytes, "byte", "bytes") + ")";
    return what;
}

} // namespace

std::string TimesFileName(const std::string& recordFile) { return recordFile + ".times"; }

ReceiveTimesWriter::~ReceiveTimesWriter() { Close(); }

void ReceiveTimesWriter::Note(const std::string& what, bool lost)
{
    anyLost_ = anyLost_ || lost;
    if (notes_.size() + 1 < kMaxTimesNotes)
        notes_.push_back({what, lost});
    else if (notes_.size() + 1 == kMaxTimesNotes)
        notes_.push_back({"further notes left out", lost});
    else
        notes_.back().lost = notes_.back().lost || lost;
}

// Makes name_ a new regular file holding the header. A new recording
// replaces a regular file under the name; otherwise only the file made here
// may be replaced, never one that someone else put under the name.
bool ReceiveTimesWriter::OpenNew(int64_t startUs, bool replace, std::string* why)
{
    struct stat st {};
    if (::lstat(name_.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode) || !S_ISREG(st.st_mode)) {
            *why = S_ISLNK(st.st_mode) ? "a symbolic link" : "not a regular file";
            return false;
        }
        if (!replace && (int64_t(st.st_dev) != dev_ || int64_t(st.st_ino) != ino_)) {
            *why = "another file took its name";
            return false;
        }
        // A new file, not this one cut short: a reader may have it mapped.
        ::unlink(name_.c_str());
    }
    fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        *why = std::strerror(errno);
        return false;
    }
    uint8_t header[kTimesHeaderSize];
    std::memcpy(header, kTimesMagic, sizeof kTimesMagic);
    PutTimesI64(header + 8, startUs);
    if (::fstat(fd_, &st) != 0 || !WriteAll(fd_, header, sizeof header)) {
        *why = std::string("write error: ") + std::strerror(errno);
        ::unlink(name_.c_str());
        Close();
        return false;
    }
    dev_ = int64_t(st.st_dev);
    ino_ = int64_t(st.st_ino);
    startUs_ = startUs;
    fileSize_ = kTimesHeaderSize;
    lastOffset_ = 0;
    return true;
}

bool ReceiveTimesWriter::Create(const std::string& recordFile, int64_t startUs, int64_t existingSize)
{
    notes_.clear();
    anyLost_ = false;
    return Start(recordFile, startUs, existingSize);
}

bool ReceiveTimesWriter::Start(const std::string& recordFile, int64_t startUs, int64_t existingSize)
{
    Close();
    name_ = file_ = TimesFileName(recordFile);
    shiftUs_ = 0;
    lastClockUs_ = startUs;
    failing_ = gap_ = remake_ = false;
    dev_ = ino_ = 0;
    struct stat st {};
    const bool found = ::stat(recordFile.c_str(), &st) == 0;
    if (!found || !S_ISREG(st.st_mode)) {
        Note(found ? std::string("not made: the record file is not a regular file")
                   : std::string("not made: the record file: ") + std::strerror(errno),
             false);
        name_.clear();
        return false;
    }
    std::string why;
    if (!OpenNew(startUs, true, &why)) {
        Note(why + "; this recording has no receive times", true);
        name_.clear();
        return false;
    }
    if (existingSize > 0) {
        gap_ = true;   // the bytes of before came at times unknown
        Append(existingSize, startUs);
    }
    return IsOpen();
}

bool ReceiveTimesWriter::StartAnew(const std::string& recordFile, int64_t nowUs, int64_t recordSize)
{
    Start(recordFile, nowUs, recordSize);
    return false;
}

bool ReceiveTimesWriter::Continue(const std::string& recordFile, int64_t recordSize, int64_t nowUs, int64_t pausedUs)
{
    Close();
    notes_.clear();
    anyLost_ = false;
    name_ = file_ = TimesFileName(recordFile);
    failing_ = gap_ = remake_ = false;
    struct stat st {};
    const int fd = ::stat(recordFile.c_str(), &st) == 0 && S_ISREG(st.st_mode)
        ? ::open(name_.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
        : -1;
    // Missing, or what is there is refused with its reason when started anew.
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return StartAnew(recordFile, nowUs, recordSize);
    }
    const int64_t size = int64_t(st.st_size);
    const size_t count = size >= kTimesHeaderSize ? size_t((size - kTimesHeaderSize) / kTimesRecordSize) : 0;
    Scan scan;
    scan.why = "truncated";
    int64_t startUs = 0;
    if (count > 0) {
        const Mapping map(fd, size_t(size));
        if (map.at == MAP_FAILED)
            scan.why = std::strerror(errno);
        else if (std::memcmp(map.Bytes(), kTimesMagic, sizeof kTimesMagic) != 0)
            scan.why = "not a times file";
        else
            scan = ScanRecords(map, count, startUs = GetTimesI64(map.Bytes() + 8), recordSize);
    }
    int64_t shift = 0;
    if (scan.good == 0 || __builtin_add_overflow(scan.clockUs, std::max<int64_t>(pausedUs, 0), &shift)
        || __builtin_sub_overflow(shift, nowUs, &shift)) {
        ::close(fd);
        if (size > kTimesHeaderSize)
            Note(std::string("not continued (") + (scan.why ? scan.why : "clock out of range") + "); started anew", false);
        return StartAnew(recordFile, nowUs, recordSize);
    }
    const int64_t keep = kTimesHeaderSize + int64_t(scan.good) * kTimesRecordSize;
    if (keep < size) {
        if (::ftruncate(fd, off_t(keep)) != 0) {
            Note(std::string("not continued: ") + std::strerror(errno) + "; started anew", false);
            ::close(fd);
            return StartAnew(recordFile, nowUs, recordSize);
        }
        Note("dropped " + Dropped(count, scan, (size - kTimesHeaderSize) % kTimesRecordSize) + "; kept "
                 + Plural(int64_t(scan.good), "record", "records"),
             false);
    }
    fd_ = fd;
    dev_ = int64_t(st.st_dev);
    ino_ = int64_t(st.st_ino);
    startUs_ = startUs;
    shiftUs_ = shift;
    lastOffset_ = scan.offset;
    lastClockUs_ = scan.clockUs;
    fileSize_ = keep;
    // Bytes that reached the record file after its last record (a crash
    // between the two writes) count as received when it goes on; when,
    // before that, is not known.
    gap_ = true;
    Append(recordSize, nowUs);
    gap_ = false;
    return IsOpen();
}

bool ReceiveTimesWriter::WriteRecord(int64_t endOffset, int64_t clockUs, bool exact)
{
    int64_t sinceStartUs = 0;
    if (__builtin_sub_overflow(clockUs, startUs_, &sinceStartUs)) {
        errno = EOVERFLOW;
        return false;
    }
    uint8_t record[kTimesRecordSize];
    PutTimesI64(record, exact ? endOffset : -endOffset);
    PutTimesI64(record + 8, sinceStartUs / kUsPerMs);
    PutTimesI64(record + 16, clockUs);
    if (!WriteAll(fd_, record, sizeof record)) {
        // Half a record would make the whole file "truncated".
        const int error = errno;
        if (::ftruncate(fd_, off_t(fileSize_)) != 0) {
            // Nothing more to do: the next record that goes in says why not.
        }
        errno = error;
        return false;
    }
    fileSize_ += kTimesRecordSize;
    lastOffset_ = endOffset;
    lastClockUs_ = clockUs;
    return true;
}

bool ReceiveTimesWriter::Vanished() const
{
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

// The file was removed under us: a new one under the name, whose first
// record covers all the record file holds, its times lost.
void ReceiveTimesWriter::Remake(int64_t endOffset, int64_t clockUs)
{
    std::string why;
    if (!OpenNew(startUs_, false, &why)) {
        if (!remake_)
            Note("cannot be made again: " + why + "; trying at every block", true);
        remake_ = true;
        return;
    }
    remake_ = false;
    if (!WriteRecord(endOffset, clockUs, false)) {
        Note(std::string("write error: ") + std::strerror(errno), true);
        failing_ = gap_ = true;
        return;
    }
    Note("made again; the times of its first " + Plural(endOffset, "byte", "bytes") + " are not exact", false);
}

void ReceiveTimesWriter::Append(int64_t endOffset, int64_t nowUs)
{
    if (name_.empty() || (fd_ < 0 && !remake_))
        return;
    int64_t clockUs = 0;
    if (__builtin_add_overflow(nowUs, shiftUs_, &clockUs))
        return;
    clockUs = std::max(clockUs, lastClockUs_);
    if (fd_ < 0) {
        Remake(endOffset, clockUs);
        return;
    }
    if (endOffset < lastOffset_) {
        // The record file was made anew under its name: so are its times.
        Close();
        std::string why;
        failing_ = gap_ = false;
        if (!OpenNew(startUs_, false, &why)) {
            Note(why + "; the receive times end here", true);
            return;
        }
    }
    if (endOffset == lastOffset_)
        return;
    const int64_t from = lastOffset_;
    if (!WriteRecord(endOffset, clockUs, !gap_)) {
        if (!failing_)
            Note(std::string("write error: ") + std::strerror(errno), true);
        failing_ = gap_ = true;
        return;
    }
    if (failing_)
        Note("written again; the times of bytes " + std::to_string(from) + " to " + std::to_string(endOffset)
                 + " are not exact",
             false);
    failing_ = gap_ = false;
    if (Vanished()) {
        Close();
        Note("removed during the recording", true);
        Remake(endOffset, clockUs);
    }
}

void ReceiveTimesWriter::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

ReceiveTimesRead ReadReceiveTimes(const std::string& name, int64_t recordSize)
{
    // Never waits: a FIFO under the name opens at once and is refused.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReceiveTimesRead {} : Ignored(std::strerror(errno));
    ReceiveTimesRead result = ReadOpenTimes(fd, recordSize);
    ::close(fd);
    return result;
}
