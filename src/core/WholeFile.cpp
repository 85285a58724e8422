#include "WholeFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kTemporaryTries = 100;         // names taken by others before giving up
constexpr mode_t kNewFileMode = 0666;        // less the umask, as any new file
constexpr mode_t kPermissionBits = 07777;

// Truncated and written through a stream: the old way, for what cannot be
// replaced, and the filling of a temporary; an errno value, 0 when whole.
int WriteInPlace(const std::string& path, const std::function<void(std::ostream&)>& write)
{
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        write(out);
    out.close();
    if (!out)
        return errno ? errno : EIO;
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new file beside the target, made by this call alone (O_EXCL); -1 and
// errno when none could be made.
int MakeTemporary(const std::string& target, std::string* name)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem = FolderOf(target) + "/." + NameOf(target) + ".";
    for (int i = 0; i < kTemporaryTries; ++i) {
        const auto ticks = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        const uint64_t mix = (ticks * 0x9E3779B97F4A7C15ull) ^ (uint64_t(::getpid()) << 20) ^ counter++;
        char suffix[7];
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int k = 0; k < 6; ++k)
            suffix[k] = kLetters[(mix >> (k * 6)) % 36];
        suffix[6] = 0;
        *name = stem + suffix;
        const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The file a symbolic link names, to be replaced in its own folder.
bool ResolveLink(const std::string& path, std::string* target)
{
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        *target = path;
        return true;
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return false;
    *target = real;
    std::free(real);
    return true;
}

// The temporary's text, its permissions and its bytes on the disk; 0 or errno.
int FillTemporary(int fd, const std::string& name, const struct stat* old,
                  const std::function<void(std::ostream&)>& write)
{
    if (old && ::fchmod(fd, old->st_mode & kPermissionBits) != 0)
        return errno;
    if (const int error = WriteInPlace(name, write))
        return error;
    return ::fsync(fd) == 0 ? 0 : errno;
}

} // namespace

int WriteWholeFile(const std::string& path, const std::function<void(std::ostream&)>& write)
{
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    std::string target;
    if ((exists && !S_ISREG(st.st_mode)) || !ResolveLink(path, &target))
        return WriteInPlace(path, write);
    std::string temporary;
    const int fd = MakeTemporary(target, &temporary);
    if (fd < 0) {
        const int error = errno;
        return error == EACCES || error == EPERM ? WriteInPlace(path, write) : error;
    }
    int error = FillTemporary(fd, temporary, exists ? &st : nullptr, write);
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename itself on the disk: a power cut now keeps the new file.
    const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return 0;
}
