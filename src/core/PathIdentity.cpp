#include "PathIdentity.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinks = 40;

struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    fs::path path;   // where it would be created, when it does not exist
};

Identity Identify(const std::string& name)
{
    Identity id;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    std::error_code ec;
    fs::path path = fs::absolute(name, ec);
    for (int i = 0; i < kMaxLinks && !ec; ++i) {
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
            break;
        const fs::path target = fs::read_symlink(path, ec);
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(path, ec);
    id.path = (ec ? path : resolved).lexically_normal();
    return id;
}

} // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    const Identity x = Identify(a);
    const Identity y = Identify(b);
    if (x.exists != y.exists)
        return false;
    return x.exists ? x.device == y.device && x.inode == y.inode : x.path == y.path;
}
