#pragma once
// One live source's link: a serial port opened exclusively, raw 8-N-1 or
// 8-O-1, or a network source (SourceAddress.h), with a reader thread that
// hands every burst of received bytes to the main thread synchronously.
// Several links may be open at once, each with its own descriptors, reader
// and hand-off target, so one link's hand-off never waits for another's.
// Main thread only, except the reader itself. The program's single source
// (Comm.h) is one SourceLink; the bench has one per receiver.
#include "NetLink.h"
#include "ReceiverCommand.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class QObject;
class ReadThread;
enum class HandOff;
struct PendingOpen;
struct PendingCommand;

constexpr int kReadBufferSize = 10240;
constexpr int kWriteBufferSize = 1024;
// A lost source being reconnected is tried again this often.
constexpr int kReconnectIntervalMs = 1000;

// Where the reader delivers, always on the main thread and synchronously.
struct CommHandlers {
    std::function<void(const uint8_t* bytes, int length)> receiveBytes;
    std::function<void()> countLineError;
    std::function<void()> connectionLost;   // the device vanished or hung up
};

struct OpenCallbacks {
    std::function<void(bool opened)> done;
    std::function<void()> gpsdBusy;
};
enum class OpenStart { Failed, Pending };

// What kind of descriptor the reader serves.
struct ReadSource {
    bool serial = true;
    bool datagram = false;
    bool gpsd = false;
    bool takesCommands = true;
};

class SourceLink {
public:
    SourceLink();
    // Closes the source and ends every thread of the link. Not from inside
    // one of its own hand-offs.
    ~SourceLink();
    SourceLink(const SourceLink&) = delete;
    SourceLink& operator=(const SourceLink&) = delete;

    void SetHandlers(CommHandlers handlers);

    // name: as listed (ttyUSB0, or a full path outside /dev), or a network
    // address (tcp://, udp://, gpsd://), for which baud means nothing and
    // parity 1 (BINR) is refused through gpsd; parity 0 none, 1 odd. A
    // connection is waited for on the calling thread, kConnectTimeoutMs at
    // most (and a busy gpsd up to kGpsdBusyMs more).
    bool Open(const QString& name, int baud, uint8_t parity);
    // Why the last Open of a network source failed, for the info label
    // ("Connection failed", or gpsd's refusal), and in more words for a log;
    // empty after a serial port's failure.
    const QString& OpenError() const { return openError_; }
    const QString& OpenDetail() const { return openDetail_; }
    // A network source opened off the main thread (see Comm.h, BeginOpenPort).
    OpenStart BeginOpen(const QString& name, uint8_t parity, OpenCallbacks callbacks);
    bool Opening() const { return opening_ != nullptr; }
    // What the last connectionLost meant: "Connection lost", or gpsd's silence.
    const QString& LostText() const { return lostText_; }
    // False for read-only sources (udp, gpsd) and when nothing is open.
    bool TakesCommands() const { return fd_ >= 0 && source_.takesCommands; }
    // Safe inside a hand-off (it does not wait for the reader then); elsewhere
    // it returns once the reader has ended, so the same port can be opened again.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Blocks until the bytes are written (at most kWriteBufferSize); 0 when no
    // source is open or the device is gone. A command under way is waited for
    // first, so the two never interleave on the line.
    int Write(const uint8_t* bytes, int count);
    // A command written whole, not held to kWriteBufferSize, and never
    // waited for on the calling thread: what the port takes at once goes at
    // once; if that is all, the result says so (not pending) and done is not
    // called. Otherwise a writer thread writes the rest, waiting while the
    // port takes nothing for kCommandStallMs at most, and done runs later on
    // the main thread with the whole count that reached the port and why it
    // ended (Close ends it as Closed). A command still under way when the
    // next begins is waited for and reported first.
    CommandSent BeginCommand(const std::vector<uint8_t>& bytes, std::function<void(CommandSent)> done);
    // Moves the open serial port to another rate (Comm.h, SetPortBaud).
    bool SetBaud(int baud);

private:
    static void Deliver(void* context, ReadThread* from, HandOff what, int length);
    void DeliverHere(ReadThread* from, HandOff what, int length);
    bool EnsureMainSide();
    bool StartReader(int fd, ReadSource source);
    bool CheckNetworkAddress(const QString& name, uint8_t parity, SourceAddress* address);
    bool StartNetwork(const SourceAddress& address, const NetSource& s);
    bool OpenNetwork(const QString& name, uint8_t parity);
    void CancelOpening();
    void GpsdBusy(uint64_t serial);
    void FinishOpening(uint64_t serial);
    void FinishCommand(uint64_t serial);
    void JoinReader(ReadThread* t);
    void JoinRetired();
    void CloseDescriptors();

    CommHandlers handlers_;
    int fd_ = -1;
    int wakeFd_ = -1;
    ReadSource source_;
    QString openError_;
    QString openDetail_;
    QString lostText_;
    PendingOpen* opening_ = nullptr;
    uint64_t openSerial_ = 0;
    PendingCommand* command_ = nullptr;
    uint64_t commandSerial_ = 0;
    ReadThread* reader_ = nullptr;
    // Readers whose port was closed from inside their own hand-off: they end
    // as soon as that hand-off returns and are joined later.
    std::vector<ReadThread*> retiring_;
    // The reader whose block the main thread is processing right now.
    ReadThread* delivering_ = nullptr;
    // Lives in the main thread, target of this link's hand-offs; gone with
    // the link, or with the application when that goes first.
    std::atomic<QObject*> mainSide_{nullptr};
};
