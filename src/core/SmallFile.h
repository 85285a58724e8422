#pragma once
// A small file read whole beside the recordings: a test folder's bench.json,
// the notes of a report. Only a regular file is taken, and nothing waits: the
// name is looked at before it is opened (opening a device can act on it), the
// open does not wait for a FIFO's writer should the name change in between,
// and what was opened is looked at again. What is refused is refused at once,
// with the reason a user can act on.
#include <cstddef>
#include <string>

// Reads at most maxBytes + 1 bytes of PATH (one more than wanted tells the
// caller it is too long). False with a reason when it is not a readable
// regular file: the system's text ("No such file or directory",
// "Permission denied"), "a folder, not a file" or "not a regular file (a
// FIFO)" and the like.
bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string* text, std::string* why);

// "not a regular file (a FIFO)", "a folder, not a file"...; empty for a
// regular file.
std::string NotRegularText(unsigned mode);
