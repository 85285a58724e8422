#pragma once
// Writing bytes to a link's descriptor: the one write loop of the serial
// ports and TCP sources, and a writer thread for the CONSOLE's commands, so
// that a port that takes a long command slowly, or stalls, never holds the
// window's thread.
//
// The descriptor stays the link's: the writer only writes to it, and the
// link stops and joins the writer before it closes the descriptor, so a
// descriptor number reused meanwhile is never touched. Plain C++, no Qt.
#include "ReceiverCommand.h"

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

struct WriteResult {
    int written = 0;
    CommandEnd end = CommandEnd::Whole;
};

// Writes count bytes to the non-blocking fd (send() without SIGPIPE on a
// socket), waiting while the port takes nothing, up to stallMs without
// progress (0: not at all, what the port takes at once). A readable
// cancelFd (an eventfd, or -1 for none) ends the wait as Closed.
WriteResult WriteAll(int fd, bool socket, const uint8_t* bytes, int count, int stallMs, int cancelFd = -1);

class CommandWriter {
public:
    // Starts a thread that writes the bytes whole (WriteAll, kCommandStallMs)
    // and then calls ended, on that thread, once.
    CommandWriter(int fd, bool socket, std::vector<uint8_t> bytes, std::function<void(WriteResult)> ended);
    // Stops and joins.
    ~CommandWriter();
    CommandWriter(const CommandWriter&) = delete;
    CommandWriter& operator=(const CommandWriter&) = delete;

    // Waits for the write to end, however it ends.
    void Join();
    // Ends the write within milliseconds (as Closed, unless it had ended) and joins.
    void Stop();

private:
    int cancelFd_ = -1;
    std::thread thread_;
};
