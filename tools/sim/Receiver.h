#pragma once
// The receiver the simulator plays, without any I/O: which protocol it talks
// at which rate, what it answers to the commands it understands, and what it
// sends each epoch. The pty server decides whether the line lets the bytes
// through.
#include "NmeaAssembler.h"
#include "ReceiverProfile.h"
#include "Scenario.h"
#include "SimBinr.h"
#include "SimOptions.h"
#include "SimQueries.h"

#include <string>
#include <vector>

class Receiver {
public:
    // profile: receiver 1's (ProfileOf(options, 0)) unless given.
    Receiver(const SimOptions& options, double startUnixTime);
    Receiver(const SimOptions& options, double startUnixTime, const ReceiverProfile& profile);

    // Reads the --replay file and cuts it into epochs. False, with a message,
    // when it cannot be read or is empty.
    bool LoadReplay(std::string& error);

    SimProtocol Protocol() const { return protocol_; }
    int Baud() const { return baud_; }
    bool OddParity() const { return protocol_ == SimProtocol::Binr; }
    bool HeartbeatOn() const { return protocol_ == SimProtocol::Binr && heartbeat_; }
    int Rate() const { return rate_; }   // epochs per second, changed by $PVKTR

    // Bytes that reached the receiver over a matching line; its answers are
    // appended to answers (they leave before any rate change takes effect).
    void Receive(const uint8_t* data, size_t length, Bytes& answers);
    // Forgets a half-received command: garbage came in between.
    void DropInput();

    // One epoch of the stream, in the receiver's current protocol.
    void AppendEpoch(Bytes& out);
    // At least minBytes of stream, for flooding.
    void AppendFlood(Bytes& out, size_t minBytes);
    void AppendHeartbeat(Bytes& out);

private:
    void ReceiveBinr(uint8_t b, Bytes& answers);
    void ReceiveNmea(char c, Bytes& answers);
    void Command(uint8_t id, const Bytes& payload, Bytes& answers);
    bool Replaying() const { return !replayChunks_.empty() && protocol_ == replayProtocol_; }

    SimOptions options_;
    ReceiverProfile profile_;
    double startUnixTime_;
    bool coldStartPending_ = false;
    SimProtocol protocol_;
    int baud_;
    bool heartbeat_;
    Scenario scenario_;
    int rate_;
    double epochS_;
    CommandReader commands_;
    NmeaAssembler sentences_;
    QueryLineReader queries_;
    uint16_t heartbeatCount_ = 0;

    SimProtocol replayProtocol_;
    Bytes replay_;
    std::vector<std::pair<size_t, size_t>> replayChunks_;   // offset, length
    size_t nextChunk_ = 0;
    size_t floodOffset_ = 0;
};
