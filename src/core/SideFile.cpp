#include "SideFile.h"

#include "PathIdentity.h"
#include "ReceiveTimes.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kMarkWord[] = "side-file ";
// A marker is one short line; anything longer is not one.
constexpr size_t kMarkMaxBytes = 8192;

struct Mark {
    int64_t inode = 0;
    int64_t size = -1;   // -1: still being written
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    std::string recording;
};

std::string BareName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads "side-file INODE SIZE SECONDS NANOSECONDS RECORDING\n" whole.
std::optional<Mark> ParseMark(const std::string& text)
{
    const size_t wordLength = sizeof kMarkWord - 1;
    if (text.size() < wordLength + 2 || text.compare(0, wordLength, kMarkWord) != 0 || text.back() != '\n')
        return std::nullopt;
    Mark m;
    const char* at = text.c_str() + wordLength;
    for (int64_t* field : {&m.inode, &m.size, &m.seconds, &m.nanoseconds}) {
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(at, &end, 10);
        if (end == at || errno != 0 || *end != ' ')
            return std::nullopt;
        *field = value;
        at = end + 1;
    }
    m.recording.assign(at, text.c_str() + text.size() - 1);
    if (m.recording.empty() || m.recording.find('\n') != std::string::npos)
        return std::nullopt;
    return m;
}

std::string MarkText(const Mark& m)
{
    return kMarkWord + std::to_string(m.inode) + ' ' + std::to_string(m.size) + ' ' + std::to_string(m.seconds) + ' ' +
           std::to_string(m.nanoseconds) + ' ' + m.recording + '\n';
}

// What fd holds from its start, or nothing past kMarkMaxBytes or on an error.
std::optional<std::string> ReadSmall(int fd)
{
    std::string text;
    char block[1024];
    for (;;) {
        const ssize_t n = ::pread(fd, block, sizeof block, off_t(text.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(block, size_t(n));
        if (text.size() > kMarkMaxBytes)
            return std::nullopt;
    }
}

// The marker of side, opened without following a link and without waiting
// (a FIFO under its name is no marker).
int OpenMark(const std::string& side, int flags)
{
    const int fd = ::open(SideMarkName(side).c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<Mark> ReadMark(const std::string& side)
{
    const int fd = OpenMark(side, O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    const std::optional<std::string> text = ReadSmall(fd);
    ::close(fd);
    return text ? ParseMark(*text) : std::nullopt;
}

bool MarkedAsOurs(const std::string& side, const struct stat& st, const std::string& recordingPath)
{
    const std::optional<Mark> m = ReadMark(side);
    if (!m || m->recording != BareName(recordingPath))
        return false;
    if (m->size >= 0)
        return m->size == int64_t(st.st_size) && m->seconds == int64_t(st.st_mtim.tv_sec) &&
               m->nanoseconds == int64_t(st.st_mtim.tv_nsec);
    struct stat recording {};
    return m->inode == int64_t(st.st_ino) && ::stat(recordingPath.c_str(), &recording) == 0 &&
           int64_t(st.st_mtim.tv_sec) <= int64_t(recording.st_mtim.tv_sec) + kSideFileSlackS;
}

// Why the name side cannot take the side file of the recording, or No.
SideKept KeptFrom(const std::string& side, const std::string& recordingPath)
{
    if (HoldsRecording(side))
        return SideKept::Recording;
    struct stat st {};
    // A name that cannot even be looked at is tried: the open says why it fails.
    if (::stat(side.c_str(), &st) != 0)
        return SideKept::No;
    if (S_ISREG(st.st_mode) && (st.st_size == 0 || MarkedAsOurs(side, st, recordingPath)))
        return SideKept::No;
    return SideKept::Foreign;
}

const char* Why(SideKept kept)
{
    return kept == SideKept::Recording ? "a recording" : "not a side file Kestrova wrote";
}

} // namespace

std::string SideFileName(const std::string& fileName)
{
    const auto dot = fileName.find('.');
    return (dot == std::string::npos ? std::string() : fileName.substr(0, dot + 1)) + "nme";
}

bool HoldsRecording(const std::string& path)
{
    struct stat st {};
    return ::stat(TimesFileName(path).c_str(), &st) == 0;
}

std::string SideMarkName(const std::string& side) { return side + ".side"; }

SideFileChoice ChooseSideFile(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = path.substr(0, nameAt);
    const std::string name = path.substr(nameAt);
    const auto dot = name.find('.');
    SideFileChoice c;
    c.usual = folder + SideFileName(name);
    c.apart = folder + (dot == std::string::npos ? std::string() : name.substr(0, dot + 1)) + "side.nme";
    // The recording itself under the side file's name (a BINR stream in a
    // .nme file, a link): there is no side file.
    if (SameFile(c.usual, path))
        return c;
    c.usualKept = KeptFrom(c.usual, path);
    if (c.usualKept == SideKept::No) {
        c.path = c.usual;
        return c;
    }
    c.apartKept = SameFile(c.apart, path) ? SideKept::Foreign : KeptFrom(c.apart, path);
    if (c.apartKept == SideKept::No)
        c.path = c.apart;
    return c;
}

std::string SideFilePath(const std::string& path) { return ChooseSideFile(path).path; }

std::string SideFileNotice(const SideFileChoice& c)
{
    if (c.usualKept == SideKept::No)
        return {};
    if (!c.path.empty())
        return c.usual + " kept (" + Why(c.usualKept) + "); side file: " + c.path;
    const std::string why = c.usualKept == c.apartKept ? std::string(Why(c.usualKept))
                                                      : std::string(Why(c.usualKept)) + "; " + Why(c.apartKept);
    return c.usual + " and " + c.apart + " kept (" + why + "); no side file";
}

bool MarkSideFile(int fd, const std::string& side, const std::string& recording, bool closed)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int mark = OpenMark(side, O_RDWR | O_CREAT);
    if (mark < 0)
        return false;
    // Only an empty file or a marker of ours is written over.
    const std::optional<std::string> old = ReadSmall(mark);
    bool ok = old && (old->empty() || ParseMark(*old));
    if (ok) {
        Mark m;
        m.inode = int64_t(st.st_ino);
        m.size = closed ? int64_t(st.st_size) : -1;
        m.seconds = int64_t(st.st_mtim.tv_sec);
        m.nanoseconds = int64_t(st.st_mtim.tv_nsec);
        m.recording = BareName(recording);
        const std::string text = MarkText(m);
        ok = ::ftruncate(mark, 0) == 0 && ::pwrite(mark, text.data(), text.size(), 0) == ssize_t(text.size());
    }
    return ::close(mark) == 0 && ok;
}
