#pragma once
// A file written whole or not at all: a page or a table replaces the one
// there only once it is complete on the disk. The text goes to a temporary
// file beside the target (".NAME.XXXXXX" in the same folder, so the rename
// stays on one file system), is flushed to the disk and renamed over the
// target. A full disk, a write error or a kill half-way leaves the previous
// file as it was; on an error we see, the temporary is removed.
//
// A target that is there and is not a regular file (/dev/null, a FIFO, a
// terminal) is written directly, as before: a rename would replace the
// device or the pipe with a file. A symbolic link keeps pointing where it
// did: the file it names is replaced. A folder where no file can be made but
// the target can be written is written in place, as the only way left.
// A replaced file keeps its permissions; a new one gets 0666 less the umask.
#include <functional>
#include <ostream>
#include <string>

// write(out) writes the whole text; 0 once the file holds it, else the errno
// of what failed (EIO when the stream failed without saying why).
int WriteWholeFile(const std::string& path, const std::function<void(std::ostream&)>& write);
