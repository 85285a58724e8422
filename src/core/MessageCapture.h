#pragma once
// Cuts the bytes the intake's decoder consumed into the messages as they
// were received, for the CONSOLE's log.
//
// Policy. The decoder keeps only what it understood; the console shows what
// arrived. So the capture follows the same framing on the same bytes: NMEA
// from "$" (which always restarts) to the line feed, BINR from a DLE and an
// ID outside a frame to DLE ETX, stuffing included, a DLE pair inside a frame
// being data. It is fed, in order, exactly the bytes each PushBlock consumed
// together with that call's result, which falls on the last byte consumed:
// -1 there marks the message ending at that byte as refused (a bad checksum,
// a wrong length), and -1 while the capture is still inside a message is the
// decoder's overflow, which ends the message there. A sentence cut by a new
// "$" is dropped silently, as the decoder drops it. Only the first
// kMessageBytesKept bytes of a message are held, with its true length.
// Bytes outside any message (binary noise, a whole stream on a wrong line
// rate) go to the log as undecoded chunks of up to kMessageBytesKept bytes,
// each closed by the next message's start, when full, or once a fed call's
// receive time is kStrayChunkMs past the chunk's first byte (a port hands
// over a few bytes at a time: a row each would flood the table). NMEA line
// ends alone are no noise.
#include "MessageLog.h"
#include "NmeaAssembler.h"

#include <cstdint>

constexpr int64_t kStrayChunkMs = 500;

class MessageCapture {
public:
    explicit MessageCapture(MessageProtocol protocol) : protocol_(protocol) {}
    void Reset();
    // The bytes one PushBlock consumed and its result; each message completed
    // in them goes into the log with the receive time and source given.
    void Feed(const uint8_t* bytes, int used, int result, int64_t receiveMs, uint8_t source, MessageLog& log);
    // A message is under way: the last bytes fed end inside it.
    bool InMessage() const { return inMessage_; }

private:
    int FeedNmea(const uint8_t* bytes, int used, int from);
    int FeedBinr(const uint8_t* bytes, int used, int from);
    void Keep(const uint8_t* bytes, int count);
    void KeepStray(const uint8_t* bytes, int count);
    void EmitStray();
    void EndMessage();
    // The message ends with the byte before `end`.
    void Emit(int end);

    MessageProtocol protocol_;
    bool inMessage_ = false;
    bool dlePending_ = false;        // BINR: the last byte was a DLE not yet paired
    uint32_t length_ = 0;            // the message's true length so far
    uint8_t kept_[kMessageBytesKept];
    uint8_t stray_[kMessageBytesKept];
    int strayLength_ = 0;
    int64_t strayStartMs_ = 0;     // the receive time of the chunk's first byte
    bool overflowRest_ = false;   // after an overflow, up to the line end (NMEA) or the frame's end (BINR)
    // Set for the duration of one Feed.
    MessageLog* log_ = nullptr;
    int used_ = 0;
    bool refused_ = false;
    int64_t receiveMs_ = 0;
    uint8_t source_ = 0;
};

// The recording's own time of a played NMEA stream, Unix milliseconds: the
// last GGA's time of day (an RMC's without one) on the last RMC's date, or
// on todayDay (days from 1970) before any date came; fallbackMs before any
// time came.
int64_t NmeaRecordingMs(const NmeaAssembler& nmea, int64_t todayDay, int64_t fallbackMs);
