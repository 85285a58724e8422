#include "MessageCapture.h"

#include "BinrDecoder.h"

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
    inMessage_ = false;
    dlePending_ = false;
    length_ = 0;
}

void MessageCapture::KeepRaw(const uint8_t* bytes, int count)
{
    if (rawLength_ == 0 && count > 0)
        rawStartMs_ = receiveMs_;
    while (count > 0) {
        const int part = std::min(count, kMessageBytesKept - rawLength_);
        for (int i = 0; i < part; ++i)
            rawOnlyLineEnds_ = rawOnlyLineEnds_ && (bytes[i] == '\r' || bytes[i] == '\n');
        std::memcpy(raw_ + rawLength_, bytes, size_t(part));
        rawLength_ += part;
        bytes += part;
        count -= part;
        if (rawLength_ == kMessageBytesKept) {
            EmitRaw();
            rawStartMs_ = receiveMs_;
        }
    }
}

void MessageCapture::EmitRaw()
{
    if (rawLength_ > 0 && !rawOnlyLineEnds_) {
        MessageIn m;
        m.receiveMs = receiveMs_;
        m.source = source_;
        m.protocol = MessageProtocol::Raw;
        m.bytes = raw_;
        m.length = rawLength_;
        log_->Append(m);
    }
    rawLength_ = 0;
    rawOnlyLineEnds_ = true;
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
    Reset();
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
    if (refused_ && inMessage_)
        Emit(used);
    if (rawLength_ > 0 && receiveMs_ - rawStartMs_ >= kRawChunkMs)
        EmitRaw();
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
    } else {
        KeepRaw(at, toStart);
    }
    if (start == nullptr)
        return used;
    EmitRaw();
    // A "$" drops the sentence under way, as the decoder does.
    Reset();
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
            EmitRaw();
            inMessage_ = true;
            const uint8_t start[] = {kDle, b};
            Keep(start, 2);
        } else {
            const uint8_t pair[] = {kDle, b};
            KeepRaw(pair, 2);
        }
        return from + 1;
    }
    const uint8_t* at = bytes + from;
    const void* dle = std::memchr(at, kDle, size_t(used - from));
    const int run = dle ? int(static_cast<const uint8_t*>(dle) - at) : used - from;
    if (inMessage_)
        Keep(at, dle ? run + 1 : run);
    else
        KeepRaw(at, run);
    if (dle == nullptr)
        return used;
    dlePending_ = true;
    return from + run + 1;
}
