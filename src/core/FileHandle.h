#pragma once
// An owning stdio handle: the file is closed when the handle goes, on every
// path out of a function. Where the result of the close matters (a write
// that only fails at the close), call CloseFile and read its answer.
#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

inline FileHandle OpenFile(const char* name, const char* mode) { return FileHandle(std::fopen(name, mode)); }

// Closes now; false when there was nothing to close or the close failed.
inline bool CloseFile(FileHandle& file)
{
    std::FILE* f = file.release();
    return f && std::fclose(f) == 0;
}
