#include "SmallFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kReadBlock = 64 * 1024;

bool Fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

std::string NotRegularText(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return {};
    case S_IFDIR: return "a folder, not a file";
    case S_IFIFO: return "not a regular file (a FIFO)";
    case S_IFCHR: return "not a regular file (a character device)";
    case S_IFBLK: return "not a regular file (a block device)";
    case S_IFSOCK: return "not a regular file (a socket)";
    default: return "not a regular file";
    }
}

bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string* text, std::string* why)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Fail(why, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return Fail(why, NotRegularText(st.st_mode));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(why, std::strerror(errno));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string reason = NotRegularText(st.st_mode);
        ::close(fd);
        return Fail(why, reason.empty() ? std::string("cannot be looked at") : reason);
    }
    std::string read;
    char block[kReadBlock];
    int error = 0;
    while (read.size() <= maxBytes) {
        const ssize_t n = ::read(fd, block, std::min(sizeof block, maxBytes + 1 - read.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        read.append(block, size_t(n));
    }
    ::close(fd);
    if (error)
        return Fail(why, std::strerror(error));
    if (text)
        *text = std::move(read);
    return true;
}
