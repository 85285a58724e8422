#pragma once
// Whether two names reach one file, asked before a program writes to a name
// it also reads from (or writes twice). An existing file is known by its
// device and inode, so "./a", "dir/../a", a symbolic link and a hard link to
// it all match. A file not made yet is known by the path it would be created
// at: absolute, with the symbolic links of the part that exists resolved, and
// a dangling link followed to the file it would create.
#include <string>

bool SameFile(const std::string& a, const std::string& b);
