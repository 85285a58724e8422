#pragma once
// BINR frame decoder.
//
// Frames are DLE, ID, payload with every DLE doubled, DLE ETX. There is no
// length field and no checksum: the ID and the un-stuffed length are the only
// checks. Outside a frame everything but DLE followed by an ID is ignored;
// inside a frame a lone DLE is dropped and the following byte kept, so a lost
// frame end joins two frames and the joined frame fails its length check.
// The latest payload of each understood message is kept for the views and the
// NMEA synthesis to read in place. Nothing is allocated after construction.
//
// A 0x52 with more than 32 records or a 0x93 with more than 24 entries is
// accepted and cut to the records that fit; its length must still be whole.
#include <cstdint>

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;
constexpr int kBinrFrameMax = 1024;      // ID plus payload, after un-stuffing
constexpr int kNavSolutionSize = 69;     // message 0x88
constexpr int kDopInfoSize = 10;         // message 0x60
constexpr int kDeviceInfoSize = 76;      // message 0x70
constexpr int kStatusHeaderSize = 16;    // message 0x93, before its entries
constexpr int kStatusEntrySize = 5;
constexpr int kBadSatMax = 24;
constexpr int kSatRecordSize = 7;        // one record of message 0x52
constexpr int kSatInViewMax = 32;

class BinrDecoder {
public:
    BinrDecoder();

    // The message ID when a frame ends and passes its check, -1 on an error,
    // 0 otherwise.
    // Inline: it runs once per received byte, and almost every byte is plain
    // data inside a frame.
    int PushByte(uint8_t b)
    {
        if (inFrame_ && !dlePending_ && b != kDle && length_ < kBinrFrameMax - 1) {
            frame_[length_++] = b;
            return 0;
        }
        return PushSpecial(b);
    }
    // Feeds bytes in turn until one gives a non-zero result or the block ends:
    // returns that result (0 at the end of the block) and sets used to the
    // bytes consumed, the deciding byte included. The results are exactly those
    // of PushByte on each byte; plain data is copied in runs.
    int PushBlock(const uint8_t* data, int size, int& used);
    void Reset();

    const uint8_t* NavSolution() const { return nav_; }
    const uint8_t* DopInfo() const { return dop_; }
    const uint8_t* DeviceInfo() const { return device_; }
    const uint8_t* StatusHeader() const { return statusHeader_; }
    int BadSatCount() const { return badSatCount_; }
    uint8_t BadSatNumber(int i) const { return badSatNumber_[i]; }
    const uint8_t* BadSatValue(int i) const { return badSatValue_[i]; }
    int SatInViewCount() const { return satCount_; }
    const uint8_t* SatInViewRecord(int i) const { return satInView_[i]; }

private:
    int PushSpecial(uint8_t b);
    int PushAfterDle(uint8_t b);
    int Store(uint8_t b);
    int StoreRun(const uint8_t* data, int limit);
    int Finish();
    int Decode();
    static bool KeepFixed(const uint8_t* payload, int size, uint8_t* kept, int keptSize);
    bool KeepSatInView(const uint8_t* payload, int size);
    bool KeepSolutionStatus(const uint8_t* payload, int size);

    uint8_t nav_[kNavSolutionSize];
    uint8_t dop_[kDopInfoSize];
    uint8_t device_[kDeviceInfoSize];
    uint8_t statusHeader_[kStatusHeaderSize];
    uint8_t badSatNumber_[kBadSatMax];
    uint8_t badSatValue_[kBadSatMax][4];
    int8_t badSatCount_ = 0;
    int8_t satCount_ = 0;
    uint8_t satInView_[kSatInViewMax][kSatRecordSize];
    uint8_t frame_[kBinrFrameMax];
    int32_t length_ = 0;
    bool dlePending_ = false;
    bool inFrame_ = false;
};
