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
// Several servers share one loop (ServeAll): each watches its own descriptor
// in one poll and never blocks, so a stalled client holds up nobody else.
#include "Receiver.h"
#include "SimLog.h"

#include <poll.h>

#include <csignal>
#include <string>
#include <vector>

class PtyServer {
public:
    PtyServer(const SimOptions& options, Receiver& receiver, SimLog& log);
    ~PtyServer();

    // Creates the pty with the receiver's own line settings.
    bool Open(std::string& slavePath, std::string& error);
    // Listens on 127.0.0.1:port (0: a free one); address is tcp://127.0.0.1:PORT.
    bool OpenTcp(int port, std::string& address, std::string& error);

    // One turn of the shared loop. Prepare sends what is due, says what to
    // watch (fd -1: nothing now) and lowers wakeAt to when it needs the loop
    // again; Serve takes what poll found and keeps the receiver's clock.
    void Prepare(pollfd& watch, double& wakeAt);
    void Serve(const pollfd& watch);

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
    void AcceptClient();
    void Tick();
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
    bool running_ = false;
    double nextEpoch_ = 0;
    double lastEpoch_ = 0;
    double period_ = 1;
    double nextHeartbeat_ = 0;
    double floodBudget_ = 0;  // --flood-rate: bytes that may go now (negative: owed)
    double floodAt_ = 0;
    double quietUntil_ = 0;   // a hung-up pty is not watched before then: it would report at once
};

// Serves every server in one loop until stop becomes non-zero.
void ServeAll(const std::vector<PtyServer*>& servers, const volatile std::sig_atomic_t& stop);
