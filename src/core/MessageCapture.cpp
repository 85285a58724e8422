#include "MessageCapture.h"

#include "BinrDecoder.h"
#include "EpochIndex.h"
#include "NmeaDate.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr uint8_t kStart = '$';
constexpr uint8_t kLineFeed = '\n';
constexpr int kRefused = -1;   // both decoders' error result

} // namespace

void MessageCapture::Reset()
{
    EndMessage();
    strayLength_ = 0;
    overflowRest_ = false;
}

void MessageCapture::EndMessage()
{
    inMessage_ = false;
    dlePending_ = false;
    length_ = 0;
}

void MessageCapture::KeepStray(const uint8_t* bytes, int count)
{
    for (int i = 0; i < count;) {
        if (strayLength_ == 0) {
            while (protocol_ == MessageProtocol::Nmea && i < count && (bytes[i] == '\r' || bytes[i] == '\n'))
                ++i;
            if (i == count)
                return;
            strayStartMs_ = receiveMs_;
        }
        const int take = std::min(count - i, kMessageBytesKept - strayLength_);
        std::memcpy(stray_ + strayLength_, bytes + i, size_t(take));
        strayLength_ += take;
        i += take;
        if (strayLength_ == kMessageBytesKept)
            EmitStray();
    }
}

void MessageCapture::EmitStray()
{
    if (strayLength_ == 0)
        return;
    MessageIn m;
    m.receiveMs = receiveMs_;
    m.source = source_;
    m.protocol = protocol_;
    m.bytes = stray_;
    m.length = strayLength_;
    m.undecoded = true;
    log_->Append(m);
    strayLength_ = 0;
}

void MessageCapture::Keep(const uint8_t* bytes, int count)
{
    if (length_ < uint32_t(kMessageBytesKept)) {
        const int room = kMessageBytesKept - int(length_);
        CopyMessageBytes(kept_ + length_, bytes, std::min(count, room));
    }
    // A message never reaches 4 GiB: the decoders refuse theirs long before.
    length_ += uint32_t(count);
}

void MessageCapture::Emit(int end)
{
    MessageIn m;
    m.receiveMs = receiveMs_;
    m.source = source_;
    m.protocol = protocol_;
    m.bytes = kept_;
    m.length = int(std::min<uint32_t>(length_, uint32_t(INT_MAX)));
    // The result belongs to the last byte consumed.
    m.decodeError = refused_ && end == used_;
    log_->Append(m);
    EndMessage();
}

void MessageCapture::Feed(const uint8_t* bytes, int used, int result, int64_t receiveMs, uint8_t source, MessageLog& log)
{
    if (bytes == nullptr || used < 0)
        used = 0;
    log_ = &log;
    receiveMs_ = receiveMs;
    source_ = source;
    used_ = used;
    refused_ = result == kRefused;
    for (int i = 0; i < used;)
        i = protocol_ == MessageProtocol::Nmea ? FeedNmea(bytes, used, i) : FeedBinr(bytes, used, i);
    // Refused with the message still open: the decoder's buffer overflowed
    // on the last byte and it dropped the message there.
    if (refused_ && inMessage_) {
        Emit(used);
        overflowRest_ = true;
    }
    if (strayLength_ > 0 && receiveMs_ - strayStartMs_ >= kStrayChunkMs)
        EmitStray();
    log_ = nullptr;
}

// Up to and including the next byte that starts or ends a sentence.
int MessageCapture::FeedNmea(const uint8_t* bytes, int used, int from)
{
    const uint8_t* at = bytes + from;
    const int size = used - from;
    const void* start = std::memchr(at, kStart, size_t(size));
    const int toStart = start ? int(static_cast<const uint8_t*>(start) - at) : size;
    if (inMessage_) {
        if (const void* lineFeed = std::memchr(at, kLineFeed, size_t(toStart))) {
            const int end = int(static_cast<const uint8_t*>(lineFeed) - at) + 1;
            Keep(at, end);
            Emit(from + end);
            return from + end;
        }
        Keep(at, toStart);
    } else if (toStart > 0) {
        int skip = 0;
        // The rest of an overflowed sentence belongs to it, not to noise.
        if (overflowRest_) {
            const void* lineFeed = std::memchr(at, kLineFeed, size_t(toStart));
            skip = lineFeed ? int(static_cast<const uint8_t*>(lineFeed) - at) + 1 : toStart;
            overflowRest_ = lineFeed == nullptr;
        }
        KeepStray(at + skip, toStart - skip);
    }
    if (start == nullptr)
        return used;
    EmitStray();
    overflowRest_ = false;
    // A "$" drops the sentence under way, as the decoder does.
    EndMessage();
    inMessage_ = true;
    Keep(at + toStart, 1);
    return from + toStart + 1;
}

// Up to and including the next byte that starts or ends a frame, or the
// next DLE.
int MessageCapture::FeedBinr(const uint8_t* bytes, int used, int from)
{
    const uint8_t b = bytes[from];
    if (dlePending_) {
        dlePending_ = false;
        if (inMessage_) {
            Keep(&b, 1);
            if (b == kEtx)
                Emit(from + 1);
        } else if (b != kEtx && b != kDle) {
            EmitStray();
            overflowRest_ = false;
            inMessage_ = true;
            const uint8_t start[] = {kDle, b};
            Keep(start, 2);
        } else if (overflowRest_) {
            // The rest of an overflowed frame belongs to it, up to its end.
            overflowRest_ = b != kEtx;
        } else {
            const uint8_t pair[] = {kDle, b};
            KeepStray(pair, 2);
        }
        return from + 1;
    }
    const uint8_t* at = bytes + from;
    const void* dle = std::memchr(at, kDle, size_t(used - from));
    const int run = dle ? int(static_cast<const uint8_t*>(dle) - at) : used - from;
    if (inMessage_)
        Keep(at, dle ? run + 1 : run);
    else if (!overflowRest_)
        KeepStray(at, run);
    if (dle == nullptr)
        return used;
    dlePending_ = true;
    return from + run + 1;
}

int64_t NmeaRecordingMs(const NmeaAssembler& nmea, int64_t todayDay, int64_t fallbackMs)
{
    constexpr int kTimeSlot = 1;
    constexpr int kRmcDateSlot = 9;
    const NmeaFields& gga = nmea.Stored(NmeaKind::Gga);
    const NmeaFields& rmc = nmea.Stored(NmeaKind::Rmc);
    int64_t ms = gga.count > kTimeSlot ? NmeaTimeOfDayMs(gga.slot[kTimeSlot]) : kNoTime;
    if (ms == kNoTime && rmc.count > kTimeSlot)
        ms = NmeaTimeOfDayMs(rmc.slot[kTimeSlot]);
    if (ms == kNoTime)
        return fallbackMs;
    const int64_t day = rmc.count > kRmcDateSlot ? RmcDateDay(rmc.slot[kRmcDateSlot]) : -1;
    return (day >= 0 ? day : todayDay) * kMsPerDay + ms;
}
