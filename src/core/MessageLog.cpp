#include "MessageLog.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "HexDigit.h"
#include "NmeaChecksum.h"
#include "Util.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr char kOtherType[] = "other";
constexpr char kRawType[] = "undecoded";
constexpr char kEllipsis[] = "...";
constexpr int kTalkerLength = 2;
constexpr int kChecksumTail = 3;     // "*hh"
constexpr int64_t kMsPerSecond = 1000;
constexpr int kCacheLine = 64;
constexpr int kPrefetchLines = 3;   // the entry's head and a sentence of up to 160 bytes

bool IsAddressChar(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "*hh" right before the line end (CR LF, LF, or none when cut).
ChecksumStatus NmeaChecksumStatus(const uint8_t* bytes, int length)
{
    int end = length;
    while (end > 0 && (bytes[end - 1] == '\n' || bytes[end - 1] == '\r'))
        --end;
    const int mark = end - kChecksumTail;
    if (mark < 1 || bytes[mark] != '*')
        return ChecksumStatus::None;
    const int high = HexDigitValue(char(bytes[mark + 1]));
    const int low = HexDigitValue(char(bytes[mark + 2]));
    if (high < 0 || low < 0)
        return ChecksumStatus::None;
    const char* text = reinterpret_cast<const char*>(bytes);
    return NmeaChecksum(text + 1, text + mark) == uint8_t(high << 4 | low) ? ChecksumStatus::Ok : ChecksumStatus::Bad;
}

void ClassifyNmea(const uint8_t* bytes, int length, MessageClass& c)
{
    // The address runs from after "$" to the first "," or "*" or line end.
    int end = 1;
    while (end < length && bytes[end] != ',' && bytes[end] != '*' && bytes[end] != '\r' && bytes[end] != '\n')
        ++end;
    const uint8_t* address = bytes + 1;
    int size = std::max(end - 1, 0);
    int from = 0;
    if (size > kTalkerLength + 1 && address[0] != 'P') {
        for (int i = 0; i < kTalkerLength; ++i)
            c.talker[i] = IsAddressChar(address[i]) ? char(address[i]) : '?';
        from = kTalkerLength;
    }
    size = std::min(size - from, kMessageTypeNameMax);
    for (int i = 0; i < size; ++i)
        c.name[i] = IsAddressChar(address[from + i]) ? char(address[from + i]) : '?';
    if (size <= 0)
        c.name[0] = '?';
    c.checksum = NmeaChecksumStatus(bytes, length);
}

int64_t SecondOf(int64_t ms)
{
    return ms >= 0 ? ms / kMsPerSecond : -((-ms + kMsPerSecond - 1) / kMsPerSecond);
}

int BucketOf(int64_t second)
{
    return int(((second % kRateWindowSeconds) + kRateWindowSeconds) % kRateWindowSeconds);
}

} // namespace

void CopyMessageBytes(uint8_t* to, const uint8_t* from, int count)
{
    constexpr int kWord = 16;
    if (count < kWord) {
        std::memcpy(to, from, size_t(std::max(count, 0)));
        return;
    }
    for (int i = 0; i + kWord <= count; i += kWord)
        std::memcpy(to + i, from + i, kWord);
    std::memcpy(to + count - kWord, from + count - kWord, kWord);
}

MessageClass ClassifyMessage(MessageProtocol protocol, const uint8_t* bytes, int length)
{
    MessageClass c;
    if (bytes == nullptr || length <= 0) {
        c.name[0] = '?';
        return c;
    }
    if (protocol == MessageProtocol::Nmea) {
        ClassifyNmea(bytes, length, c);
        return c;
    }
    if (protocol == MessageProtocol::Raw) {
        std::memcpy(c.name, kRawType, sizeof kRawType);
        return c;
    }
    // DLE, ID, ...: the ID is the byte after the opening DLE.
    const int at = bytes[0] == kDle && length > 1 ? 1 : 0;
    const uint8_t id = bytes[at];
    c.name[0] = '0';
    c.name[1] = 'x';
    c.name[2] = kNmeaHexDigits[id >> 4];
    c.name[3] = kNmeaHexDigits[id & 0x0F];
    return c;
}

MessageLog::MessageLog() : ring_(new MessageEntry[kMessageLogCapacity]) {}

void MessageLog::Clear()
{
    appended_ = 0;
    typeCount_ = 0;
    lastRow_ = -1;
    bucketKnown_ = false;
    for (MessageTypeRow& row : types_)
        row = MessageTypeRow();
}

int MessageLog::TypeRow(const char* name)
{
    // Streams repeat a few types; the last one matches often.
    if (lastRow_ >= 0 && std::memcmp(types_[lastRow_].name, name, sizeof types_[0].name) == 0)
        return lastRow_;
    for (int i = 0; i < typeCount_; ++i)
        if (std::memcmp(types_[i].name, name, sizeof types_[i].name) == 0)
            return lastRow_ = i;
    if (typeCount_ < kMessageTypesMax - 1) {
        std::memcpy(types_[typeCount_].name, name, sizeof types_[0].name);
        return lastRow_ = typeCount_++;
    }
    if (typeCount_ == kMessageTypesMax - 1) {
        std::memcpy(types_[typeCount_].name, kOtherType, sizeof kOtherType);
        ++typeCount_;
    }
    return lastRow_ = kMessageTypesMax - 1;
}

uint64_t MessageLog::Append(const MessageIn& message)
{
    const int length = message.bytes != nullptr ? std::max(message.length, 0) : 0;
    const MessageClass c = ClassifyMessage(message.protocol, message.bytes, length);
    const int row = TypeRow(c.name);
    const uint64_t sequence = appended_++;

    MessageEntry& e = ring_[sequence % kMessageLogCapacity];
    e.receiveMs = message.receiveMs;
    e.sequence = sequence;
    e.length = uint32_t(length);
    e.type = uint16_t(row);
    e.source = message.source;
    e.protocol = message.protocol;
    e.checksum = c.checksum;
    e.error = message.decodeError || c.checksum == ChecksumStatus::Bad || message.protocol == MessageProtocol::Raw;
    std::memcpy(e.talker, c.talker, sizeof e.talker);
    if (length > 0)
        CopyMessageBytes(e.bytes, message.bytes, e.KeptLength());

    MessageTypeRow& t = types_[row];
    ++t.count;
    t.errors += e.error ? 1 : 0;
    // The messages of a block share its receive time: one division for all.
    if (message.receiveMs != bucketMs_ || !bucketKnown_) {
        bucketKnown_ = true;
        bucketMs_ = message.receiveMs;
        bucketSecond_ = SecondOf(message.receiveMs);
        bucket_ = BucketOf(bucketSecond_);
    }
    const int64_t second = bucketSecond_;
    const int bucket = bucket_;
    if (t.bucketSecond[bucket] != second || t.bucketCount[bucket] == 0) {
        t.bucketSecond[bucket] = second;
        t.bucketCount[bucket] = 0;
    }
    ++t.bucketCount[bucket];
    // The ring is larger than the caches: the next entry's first lines are
    // fetched now, while the decoder works on the next message, rather than
    // waited for when it is written.
    const auto* next = reinterpret_cast<const char*>(&ring_[appended_ % kMessageLogCapacity]);
    for (int line = 0; line < kPrefetchLines; ++line)
        __builtin_prefetch(next + line * kCacheLine, 1);
    return sequence;
}

int MessageLog::Size() const
{
    return int(std::min<uint64_t>(appended_, kMessageLogCapacity));
}

const MessageEntry* MessageLog::At(uint64_t sequence) const
{
    if (sequence >= appended_ || appended_ - sequence > uint64_t(kMessageLogCapacity))
        return nullptr;
    return &ring_[sequence % kMessageLogCapacity];
}

double MessageLog::RateHz(int row, int64_t nowMs) const
{
    if (row < 0 || row >= typeCount_)
        return 0;
    const MessageTypeRow& t = types_[row];
    const int64_t now = SecondOf(nowMs);
    uint64_t count = 0;
    for (int i = 0; i < kRateWindowSeconds; ++i)
        if (t.bucketCount[i] != 0 && t.bucketSecond[i] <= now && now - t.bucketSecond[i] < kRateWindowSeconds)
            count += t.bucketCount[i];
    return double(count) / kRateWindowSeconds;
}

std::string MessageText(const MessageEntry& entry)
{
    const int kept = entry.KeptLength();
    std::string text;
    if (entry.protocol == MessageProtocol::Raw)
        return MessageHex(entry);
    if (entry.protocol == MessageProtocol::Binr) {
        const MessageClass c = ClassifyMessage(entry.protocol, entry.bytes, kept);
        return c.name;
    }
    int end = kept;
    while (end > 0 && (entry.bytes[end - 1] == '\n' || entry.bytes[end - 1] == '\r'))
        --end;
    text.reserve(size_t(end) + sizeof kEllipsis);
    for (int i = 0; i < end; ++i) {
        const uint8_t c = entry.bytes[i];
        text += c >= 0x20 && c < 0x7F ? char(c) : '?';
    }
    if (entry.length > uint32_t(kMessageBytesKept))
        text += kEllipsis;
    return text;
}

std::string MessageHex(const MessageEntry& entry)
{
    const int kept = entry.KeptLength();
    std::string hex;
    hex.reserve(size_t(kept) * 3 + sizeof kEllipsis);
    for (int i = 0; i < kept; ++i) {
        if (i > 0)
            hex += ' ';
        hex += kNmeaHexDigits[entry.bytes[i] >> 4];
        hex += kNmeaHexDigits[entry.bytes[i] & 0x0F];
    }
    if (entry.length > uint32_t(kMessageBytesKept)) {
        hex += ' ';
        hex += kEllipsis;
    }
    return hex;
}

namespace {

constexpr double kDegPerRad = 57.29577951308232;

// The payload of a kept frame, DLEs un-doubled, up to DLE ETX. False when
// the frame is cut (longer than the bytes kept) or holds a lone DLE.
bool Unstuff(const MessageEntry& entry, uint8_t* payload, int& size)
{
    const int kept = entry.KeptLength();
    size = 0;
    if (kept < 2 || entry.bytes[0] != kDle)
        return false;
    for (int i = 2; i < kept; ++i) {
        if (entry.bytes[i] != kDle) {
            payload[size++] = entry.bytes[i];
            continue;
        }
        if (i + 1 >= kept)
            return false;
        if (entry.bytes[i + 1] == kEtx)
            return true;
        if (entry.bytes[i + 1] != kDle)
            return false;
        payload[size++] = kDle;
        ++i;
    }
    return false;
}

std::string SizeMismatch(int size, int expected)
{
    return "length " + std::to_string(size) + ", expected " + std::to_string(expected);
}

std::string BinrSummary(uint8_t id, const uint8_t* p, int size)
{
    switch (id) {
    case kMsgNavSolution: {
        if (size != kNavSolutionSize)
            return SizeMismatch(size, kNavSolutionSize);
        const NavSolution n = ReadNavSolution(p);
        return Format("lat %.7f lon %.7f alt %.1f m, %s%s%s", n.latRad * kDegPerRad, n.lonRad * kDegPerRad, n.altM,
                      n.flags & kSolutionValid ? "valid" : "invalid", n.flags & kSolution2D ? " 2D" : "",
                      n.flags & kSolutionDiff ? " diff" : "");
    }
    case kMsgDopInfo: {
        if (size != kDopInfoSize)
            return SizeMismatch(size, kDopInfoSize);
        const DopInfo d = ReadDopInfo(p);
        return Format("HDOP %.1f VDOP %.1f, GPS %d GLONASS %d", double(d.hdop), double(d.vdop), d.gpsCount,
                      d.glonassCount);
    }
    case kMsgSatInView:
        if (size % kSatRecordSize != 0)
            return "length " + std::to_string(size) + ", not whole records";
        return std::to_string(size / kSatRecordSize) + " satellites in view";
    case kMsgSolutionStatus: {
        if (size < kStatusHeaderSize || (size - kStatusHeaderSize) % kStatusEntrySize != 0)
            return "length " + std::to_string(size) + ", not a header and whole entries";
        const SolutionStatus st = ReadSolutionStatus(p);
        return Format("used GPS %d GLONASS %d, bad %d", std::popcount(st.gpsUsed), std::popcount(st.glonassUsed),
                      (size - kStatusHeaderSize) / kStatusEntrySize);
    }
    case kMsgDeviceInfo: {
        if (size != kDeviceInfoSize)
            return SizeMismatch(size, kDeviceInfoSize);
        char text[kDeviceTextMax + 1];
        ReadDeviceText(p, text);
        std::string shown = "device ";
        for (const char* c = text; *c; ++c)
            shown += *c >= 0x20 && *c < 0x7F ? *c : '?';
        return shown;
    }
    default:
        return std::to_string(size) + " payload bytes";
    }
}

} // namespace

std::string MessageSummary(const MessageEntry& entry)
{
    if (entry.protocol != MessageProtocol::Binr)
        return MessageText(entry);
    uint8_t payload[kMessageBytesKept];
    int size = 0;
    const bool whole = Unstuff(entry, payload, size);
    const std::string id = MessageText(entry);
    if (!whole)
        return id + ": " + (entry.length > uint32_t(kMessageBytesKept) ? "too long to decode here" : "not a whole frame");
    return id + ": " + BinrSummary(entry.bytes[1], payload, size);
}
