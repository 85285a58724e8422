#pragma once
// The simulator's end of the line: a pseudo-terminal whose slave the program
// opens as its serial port. A pty carries bytes whatever the settings, so the
// line's rate and parity are read back from the master (it reports the
// slave's settings; PARODD survives, PARENB does not) and, while they differ
// from the receiver's, both directions turn to garbage as on a real line.
// With no slave open the master reports a hang-up: the receiver then talks to
// nobody, and its bytes are dropped rather than queued for a later reader.
// With --tcp the line is a TCP connection on the loopback instead: one client
// at a time, no line settings (they always match), and a client gone is a
// slave closed.
#include "Receiver.h"
#include "SimLog.h"

#include <csignal>
#include <string>

class PtyServer {
public:
    PtyServer(const SimOptions& options, Receiver& receiver, SimLog& log);
    ~PtyServer();

    // Creates the pty with the receiver's own line settings.
    bool Open(std::string& slavePath, std::string& error);
    // Listens on 127.0.0.1:port (0: a free one); address is tcp://127.0.0.1:PORT.
    bool OpenTcp(int port, std::string& address, std::string& error);
    // Serves until stop becomes non-zero.
    void Run(const volatile std::sig_atomic_t& stop);

private:
    struct Line {
        int baud;
        bool oddParity;
    };
    Line ReadLine() const;
    bool Matches(const Line& line) const;
    void Deliver(const Bytes& data);
    void Garble(const Bytes& data, const Line& line);
    void ReadInput();
    void WritePending();
    void DropOutput();
    void SlaveGone();
    void ClientGone();
    void AcceptClient(int waitMs);
    size_t PendingSize() const { return pending_.size() - sentUpTo_; }

    SimOptions options_;
    Receiver& receiver_;
    SimLog& log_;
    int master_ = -1;      // the pty's master, or the connected client
    int listen_ = -1;      // --tcp only
    bool slaveOpen_ = false;
    Bytes pending_;
    size_t sentUpTo_ = 0;
    uint32_t garbleState_ = 0x2545F491u;
    double garbleCarry_ = 0;
};
