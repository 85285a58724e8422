#pragma once
// The last messages received, for the CONSOLE window: a ring the intake fills
// and the window reads at its own pace, and a table of message types.
//
// Policy. The intake may deliver 7 MB/s, so Append is O(1) and allocates
// nothing: the ring of kMessageLogCapacity entries is allocated once, each
// entry keeps the first kMessageBytesKept bytes of its message and its full
// length (a longer message is shown cut, its length stays true). Every
// message gets a sequence number from 0 on; a reader remembers the last one
// it drew and asks for those after it, and At() tells it when the ring has
// overwritten them. The log is not shared between threads by itself: the
// window draws under whatever lock or hand-off carries the bytes to it.
//
// Types. NMEA by its address: "$GPGGA" is type "GGA" with talker "GP";
// a proprietary sentence ("$P...") by its whole address ("PVKTD"), without
// talker. Characters other than A-Z and 0-9 in an address read as "?", an
// empty address as "?", and an address is cut to 11 characters. BINR by its
// ID, "0x88". Bytes that belong to no sentence or frame (noise, or a whole
// stream on a wrong line rate) come as raw chunks of type "undecoded", each
// a decoding error, shown in hex. Checksums: NMEA "*hh" before the line end is ok or bad, a
// sentence without one is none, BINR (which has none) is none. A message
// counts as a decoding error for its type when the decoder refused it or
// its checksum is bad. The table holds kMessageTypesMax - 1 types; later
// ones are counted together under "other".
//
// Rate: the messages of a type received in the current whole second of the
// receive clock and the nine before it, divided by 10 (Hz).
#include <cstdint>
#include <memory>
#include <string>

constexpr int kMessageLogCapacity = 20000;
constexpr int kMessageBytesKept = 256;
constexpr int kMessageTypesMax = 64;
constexpr int kMessageTypeNameMax = 11;
constexpr int kRateWindowSeconds = 10;

// Raw: bytes outside any sentence or frame, as received.
enum class MessageProtocol : uint8_t { Nmea, Binr, Raw };
enum class ChecksumStatus : uint8_t { None, Ok, Bad };

// What the intake hands over for one message: its bytes as received (NMEA
// from "$" to the line feed, BINR from the DLE to DLE ETX, stuffing included).
struct MessageIn {
    int64_t receiveMs = 0;
    uint8_t source = 0;          // which source, numbered by the caller
    MessageProtocol protocol = MessageProtocol::Nmea;
    const uint8_t* bytes = nullptr;
    int length = 0;
    bool decodeError = false;    // the decoder refused it (bad checksum, length, overflow)
};

struct MessageClass {
    char name[kMessageTypeNameMax + 1] = {};
    char talker[3] = {};
    ChecksumStatus checksum = ChecksumStatus::None;
};

struct MessageEntry {
    int64_t receiveMs = 0;
    uint64_t sequence = 0;
    uint32_t length = 0;         // as received
    uint16_t type = 0;           // row of the type table
    uint8_t source = 0;
    MessageProtocol protocol = MessageProtocol::Nmea;
    ChecksumStatus checksum = ChecksumStatus::None;
    bool error = false;
    char talker[3] = {};
    // Aligned, so that the copy of each message into the ring runs in whole
    // words.
    alignas(32) uint8_t bytes[kMessageBytesKept];

    int KeptLength() const { return length < uint32_t(kMessageBytesKept) ? int(length) : kMessageBytesKept; }
};

struct MessageTypeRow {
    char name[kMessageTypeNameMax + 1] = {};
    uint64_t count = 0;
    uint64_t errors = 0;
    // Messages per whole second of the receive clock, for the rate.
    int64_t bucketSecond[kRateWindowSeconds] = {};
    uint32_t bucketCount[kRateWindowSeconds] = {};
};

// Copies a message's bytes (count of them, at most the bytes kept). A
// message is mostly a few dozen bytes: sixteen at a time, the last sixteen
// overlapping, costs less than the string instructions that a memcpy of a
// length known only to be at most kMessageBytesKept becomes.
void CopyMessageBytes(uint8_t* to, const uint8_t* from, int count);

// The type and checksum of one message.
MessageClass ClassifyMessage(MessageProtocol protocol, const uint8_t* bytes, int length);

class MessageLog {
public:
    MessageLog();

    // The sequence number given to the message.
    uint64_t Append(const MessageIn& message);
    void Clear();

    // Messages appended since the start or the last Clear; the next one gets
    // this sequence number.
    uint64_t Appended() const { return appended_; }
    // The entries still held: the last min(Appended(), capacity).
    int Size() const;
    // The entry of a sequence number, nullptr when it is overwritten or not
    // yet appended.
    const MessageEntry* At(uint64_t sequence) const;

    int TypeCount() const { return typeCount_; }
    const MessageTypeRow& Type(int row) const { return types_[row]; }
    double RateHz(int row, int64_t nowMs) const;

private:
    int TypeRow(const char* name);

    std::unique_ptr<MessageEntry[]> ring_;
    uint64_t appended_ = 0;
    MessageTypeRow types_[kMessageTypesMax];
    int typeCount_ = 0;
    int lastRow_ = -1;
    // The rate bucket of the last receive time appended.
    bool bucketKnown_ = false;
    int64_t bucketMs_ = 0;
    int64_t bucketSecond_ = 0;
    int bucket_ = 0;
};

// NMEA as text without its line end, each control or non-ASCII byte as "?";
// BINR as "0x88"; "..." after a message longer than the bytes kept. ASCII
// only, whatever the message held.
std::string MessageText(const MessageEntry& entry);
// The kept bytes in hex, "24 47 50", with " ..." when the message was longer.
std::string MessageHex(const MessageEntry& entry);
// One line: NMEA as MessageText; BINR as its ID and what it says
// ("0x88: lat 55.7520570 lon 37.6083330 alt 145.3 m, valid diff"), or why it
// says nothing (a wrong length, a frame longer than the bytes kept).
std::string MessageSummary(const MessageEntry& entry);
