#pragma once
// Drives kestrova-sim as a real process on a real pty, the way the program's
// serial link meets it: spawn, read the slave path, open the slave with given
// line settings, talk, stop with SIGTERM.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

using ByteVec = std::vector<uint8_t>;

class SimProcess {
public:
    ~SimProcess();
    // Starts the simulator with these arguments and reads its first lines
    // (one per receiver).
    bool Start(const std::vector<std::string>& args, int lines = 1);
    const std::string& SlavePath() const { return addresses_.front(); }
    const std::vector<std::string>& Addresses() const { return addresses_; }
    pid_t Pid() const { return pid_; }
    // SIGTERM, then waits up to timeoutS. Returns the exit status, or -1 when
    // it did not end (it is then killed) or ended by a signal.
    int Stop(double timeoutS = 2.0);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::vector<std::string> addresses_;
};

// Connects to a tcp://127.0.0.1:PORT address the simulator printed; -1 on failure.
int ConnectTcp(const std::string& address);

// Opens a pty slave as the program's link does: raw, non-blocking, 8 bits,
// odd parity or none.
int OpenLine(const std::string& path, int baud, bool oddParity);
bool SetLine(int fd, int baud, bool oddParity);

// Everything that arrives within seconds (stops early on hang-up).
ByteVec ReadFor(int fd, double seconds);
bool WriteAll(int fd, const ByteVec& bytes);

ByteVec Frame(uint8_t id, const ByteVec& payload);
ByteVec PortSetting(uint32_t baud, uint8_t mode);
ByteVec Sentence(const std::string& body);   // "$body*hh\r\n"

// Results (message ID or -1) of every frame in a stream, by the program's decoder.
std::vector<int> DecodeBinr(const ByteVec& stream);
// NMEA result codes of every completed sentence in a stream.
std::vector<int> DecodeNmea(const ByteVec& stream);

struct SimLogContent {
    ByteVec received;           // 'R' records joined
    ByteVec sent;               // 'S' records joined
    bool wellFormed = false;
};
SimLogContent ReadSimLog(const std::string& path);
// Waits until the --log file's received side (path.rx) holds count bytes.
bool WaitForReceived(const std::string& path, size_t count, double timeoutS = 10.0);

std::string TempPath(const std::string& name);
// True once the simulator is seen blocked in its idle sleep (where it waits
// for a program to open the slave) in ten samples in a row, a millisecond
// apart: it does not spin, and sleeps at least about 10 ms at a time (its
// look-out for a slave wakes it every 20 ms). A loaded machine only delays
// this, so the time allowed is generous.
bool WaitsIdle(pid_t pid, double timeoutS = 15.0);
