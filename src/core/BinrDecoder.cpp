#include "BinrDecoder.h"

#include "BinrLayouts.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kVector = 16; // bytes searched at once

} // namespace

// Policy: outside a frame only DLE followed by a byte other than DLE or ETX
// starts one; inside a frame only DLE ETX ends it and nothing resynchronises.
// Every ID that completes is returned, whether or not it is understood; an
// understood ID whose un-stuffed length is wrong, and an overflow, give -1 and
// leave the kept payloads untouched.

BinrDecoder::BinrDecoder()
{
    std::memset(nav_, 0, sizeof nav_);
    std::memset(dop_, 0, sizeof dop_);
    std::memset(device_, 0, sizeof device_);
    std::memset(statusHeader_, 0, sizeof statusHeader_);
    std::memset(badSatNumber_, 0, sizeof badSatNumber_);
    std::memset(badSatValue_, 0, sizeof badSatValue_);
    std::memset(satInView_, 0, sizeof satInView_);
    std::memset(frame_, 0, sizeof frame_);
}

void BinrDecoder::Reset()
{
    length_ = 0;
    dlePending_ = false;
    inFrame_ = false;
}

// The bytes the inline path leaves: DLE, the byte after a DLE, anything
// outside a frame, and the byte that fills the buffer.
int BinrDecoder::PushSpecial(uint8_t b)
{
    if (dlePending_) {
        dlePending_ = false;
        return PushAfterDle(b);
    }
    if (b == kDle) {
        dlePending_ = true;
        return 0;
    }
    return inFrame_ ? Store(b) : 0;
}

// The byte after a DLE: it ends the frame (ETX), starts one (outside, any
// byte but DLE and ETX), or is stored.
int BinrDecoder::PushAfterDle(uint8_t b)
{
    if (inFrame_ && b == kEtx)
        return Finish();
    if (!inFrame_) {
        if (b == kEtx || b == kDle)
            return 0;
        inFrame_ = true;
        length_ = 0;
    }
    return Store(b);
}

int BinrDecoder::Store(uint8_t b)
{
    frame_[length_++] = b;
    if (length_ >= kBinrFrameMax) {
        Reset();
        return -1;
    }
    return 0;
}

// Runs inside a frame are a few tens of bytes, where calls to search and
// to copy cost more than the bytes: 16 at a time are stored and searched
// together. What is stored past the DLE lies beyond the frame's length.
inline int BinrDecoder::StoreRun(const uint8_t* data, int limit)
{
    uint8_t* const to = frame_ + length_;
    int n = 0;
#if defined(__SSE2__)
    const __m128i dle = _mm_set1_epi8(char(kDle));
    const auto dlesAt = [&](int at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), bytes);
        return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, dle)));
    };
    for (; n + kVector <= limit; n += kVector) {
        if (const unsigned found = dlesAt(n)) {
            n += std::countr_zero(found);
            length_ += n;
            return n;
        }
    }
    if (n < limit && limit >= kVector) {
        // The last 16 before the limit, overlapping what was searched: the
        // bytes already searched hold no DLE.
        const int last = limit - kVector;
        const unsigned found = dlesAt(last);
        n = found ? last + std::countr_zero(found) : limit;
        length_ += n;
        return n;
    }
#endif
    for (; n < limit && data[n] != kDle; ++n)
        to[n] = data[n];
    length_ += n;
    return n;
}

// The byte-by-byte rules, taken a run at a time: between frames the search
// is for DLE and an ID, inside one for DLE, which with the byte after it
// ends the frame or stands for one byte. A DLE that ends the block is
// remembered for the next.
int BinrDecoder::PushBlock(const uint8_t* data, int size, int& used)
{
    int i = 0;
    if (dlePending_ && size > 0) {
        i = 1;
        if (const int result = PushSpecial(data[0])) {
            used = i;
            return result;
        }
    }
    while (i < size) {
        if (!inFrame_) {
            // Between frames the next DLE is usually the very next byte.
            const uint8_t* from = data + i;
            const void* dle = *from == kDle ? from : std::memchr(from, kDle, size_t(size - i));
            if (dle == nullptr) {
                i = size;
                break;
            }
            i = int(static_cast<const uint8_t*>(dle) - data);
            if (i + 1 == size) {
                dlePending_ = true;
                i = size;
                break;
            }
            const uint8_t id = data[i + 1];
            i += 2;
            if (id != kEtx && id != kDle) {
                inFrame_ = true;
                frame_[0] = id;
                length_ = 1;
            }
            continue;
        }
        i += StoreRun(data + i, std::min(size - i, kBinrFrameMax - 1 - length_));
        if (i == size)
            break;
        if (data[i] != kDle) { // the byte that fills the buffer
            used = i + 1;
            return Store(data[i]);
        }
        if (i + 1 == size) {
            dlePending_ = true;
            i = size;
            break;
        }
        const uint8_t next = data[i + 1];
        i += 2;
        const int result = next == kEtx ? Finish() : Store(next);
        if (result != 0) {
            used = i;
            return result;
        }
    }
    used = i;
    return 0;
}

// DLE ETX: the frame is judged and the decoder waits for the next.
int BinrDecoder::Finish()
{
    const int result = Decode();
    Reset();
    return result;
}

int BinrDecoder::Decode()
{
    if (length_ < 1)
        return -1; // cannot happen: a frame starts with its ID stored
    const uint8_t id = frame_[0];
    const uint8_t* payload = frame_ + 1;
    const int size = length_ - 1;
    switch (id) {
    case kMsgNavSolution:
        return KeepFixed(payload, size, nav_, kNavSolutionSize) ? id : -1;
    case kMsgDopInfo:
        return KeepFixed(payload, size, dop_, kDopInfoSize) ? id : -1;
    case kMsgDeviceInfo:
        return KeepFixed(payload, size, device_, kDeviceInfoSize) ? id : -1;
    case kMsgSatInView:
        return KeepSatInView(payload, size) ? id : -1;
    case kMsgSolutionStatus:
        return KeepSolutionStatus(payload, size) ? id : -1;
    default:
        return id;
    }
}

bool BinrDecoder::KeepFixed(const uint8_t* payload, int size, uint8_t* kept, int keptSize)
{
    if (size != keptSize)
        return false;
    std::memcpy(kept, payload, size_t(keptSize));
    return true;
}

// 0x52: n records of 7 bytes and nothing else.
bool BinrDecoder::KeepSatInView(const uint8_t* payload, int size)
{
    if (size % kSatRecordSize != 0)
        return false;
    const int records = std::min(size / kSatRecordSize, kSatInViewMax);
    // Copied whole: a copy of fixed size is a few vector moves, one of the
    // records' size a slow string instruction, and the frame buffer always
    // holds the bytes (those past the records are never read).
    static_assert(1 + sizeof satInView_ <= sizeof frame_);
    std::memcpy(satInView_, payload, sizeof satInView_);
    satCount_ = int8_t(records);
    return true;
}

// 0x93: a 16-byte header, then n entries of a satellite number and 4 bytes.
bool BinrDecoder::KeepSolutionStatus(const uint8_t* payload, int size)
{
    if (size < kStatusHeaderSize || (size - kStatusHeaderSize) % kStatusEntrySize != 0)
        return false;
    std::memcpy(statusHeader_, payload, kStatusHeaderSize);
    const int entries = std::min((size - kStatusHeaderSize) / kStatusEntrySize, kBadSatMax);
    for (int i = 0; i < entries; ++i) {
        const uint8_t* entry = payload + kStatusHeaderSize + i * kStatusEntrySize;
        badSatNumber_[i] = entry[0];
        std::memcpy(badSatValue_[i], entry + 1, sizeof badSatValue_[i]);
    }
    badSatCount_ = int8_t(entries);
    return true;
}
