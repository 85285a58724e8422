#include "NmeaAssembler.h"
#include "NmeaChecksum.h"

#include <algorithm>
#include <cstring>

// Policy: "$" always restarts, a line feed always ends. A sentence is dropped
// (-1) when it overflows the buffer or its checksum is wrong; everything else
// that completes is accepted. The checksum is looked for where it stands in a
// sentence ending in "*hh" and CR LF, or "*hh" and a bare LF as several
// receivers and our own synthesised files end their lines; any other ending
// is accepted unchecked.

namespace {

constexpr char kStart = '$';
constexpr char kChecksumMark = '*';
constexpr char kSeparator = ',';
constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr int kMinChecked = 6;          // "$*hh\r\n": the shortest sentence with a checksum
constexpr int kSlotText = kNmeaSlotChars - 1;
constexpr int kKindOffset = 2;          // the kind follows the two-letter talker
constexpr int kKindLength = 3;
constexpr int kProprietaryLength = 5;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool HexMatches(uint8_t sum, char high, char low)
{
    static constexpr char kHex[] = "0123456789abcdef";
    return AsciiLower(high) == kHex[sum >> 4] && AsciiLower(low) == kHex[sum & 0x0F];
}

bool KindIs(const NmeaFields& f, const char* kind)
{
    return std::memcmp(f.slot[0] + kKindOffset, kind, kKindLength) == 0;
}

bool AddressStartsWith(const NmeaFields& f, const char* prefix)
{
    return std::memcmp(f.slot[0], prefix, kProprietaryLength) == 0;
}

} // namespace

NmeaAssembler::NmeaAssembler()
{
    std::memset(stored_, 0, sizeof stored_);
    std::memset(sentence_, 0, sizeof sentence_);
    std::memset(&working_, 0, sizeof working_);
}

void NmeaAssembler::Reset()
{
    inSentence_ = false;
    length_ = 0;
}

const NmeaFields& NmeaAssembler::Stored(NmeaKind kind) const
{
    return stored_[int(kind)];
}

int NmeaAssembler::PushBlock(const char* data, int size, int& used)
{
    int i = 0;
    while (i < size) {
        // Up to the next "$" or line feed nothing but storing (in a sentence)
        // or ignoring (outside) can happen.
        const char* from = data + i;
        int run;
        if (inSentence_) {
            const int limit = std::min(size - i, kNmeaSentenceMax - 1 - int(length_));
            const void* lineFeed = std::memchr(from, kLineFeed, size_t(limit));
            run = lineFeed ? int(static_cast<const char*>(lineFeed) - from) : limit;
            if (const void* start = std::memchr(from, kStart, size_t(run)))
                run = int(static_cast<const char*>(start) - from);
            std::memcpy(sentence_ + length_, from, size_t(run));
            length_ = uint8_t(length_ + run);
        } else {
            const void* start = std::memchr(from, kStart, size_t(size - i));
            run = start ? int(static_cast<const char*>(start) - from) : size - i;
        }
        i += run;
        if (i == size)
            break;
        if (const int result = PushSpecial(data[i++])) {
            used = i;
            return result;
        }
    }
    used = i;
    return 0;
}

// The bytes the inline path leaves: "$", a line feed, and the byte that fills
// the buffer.
int NmeaAssembler::PushSpecial(char c)
{
    if (c == kStart) {
        inSentence_ = true;
        length_ = 0;
    }
    if (!inSentence_)
        return kNmeaNone;
    sentence_[length_++] = c;
    if (length_ >= kNmeaSentenceMax) {
        Reset();
        return kNmeaError;
    }
    if (c != kLineFeed)
        return kNmeaNone;
    inSentence_ = false;
    return Complete();
}

int NmeaAssembler::Complete()
{
    if (!ChecksumMatches())
        return kNmeaError;
    Split();
    return Classify();
}

// $GPGGA,...*hh\r\n  or  $GPGGA,...*hh\n
bool NmeaAssembler::ChecksumMatches() const
{
    const int n = length_;
    int mark = -1;
    if (n >= kMinChecked && sentence_[n - 5] == kChecksumMark)
        mark = n - 5;
    else if (n >= kMinChecked - 1 && sentence_[n - 4] == kChecksumMark && sentence_[n - 2] != kCarriageReturn)
        mark = n - 4;
    if (mark < 0)
        return true;
    const uint8_t sum = NmeaChecksum(sentence_ + 1, sentence_ + mark);
    return HexMatches(sum, sentence_[mark + 1], sentence_[mark + 2]);
}

// Fields run from just after "$" to the first "*"; without a "*" they run to
// the end of the line, whose CR LF is not part of the last field.
void NmeaAssembler::Split()
{
    int end = length_ - 1; // the line feed
    if (end > 1 && sentence_[end - 1] == kCarriageReturn)
        --end;
    const char* const stop = sentence_ + end;
    const char* field = sentence_ + 1;
    int slot = 0;
    for (;;) {
        const char* after = field;
        while (after != stop && *after != kSeparator && *after != kChecksumMark)
            ++after;
        // A fixed-size copy is cheaper than a counted one; the padding behind
        // the sentence keeps it inside the buffer.
        std::memcpy(working_.slot[slot], field, kSlotText);
        working_.slot[slot][std::min(int(after - field), kSlotText)] = '\0';
        ++slot;
        if (after == stop || *after == kChecksumMark || slot == kNmeaSlots)
            break;
        field = after + 1;
    }
    working_.count = uint8_t(slot);
}

int NmeaAssembler::Classify()
{
    struct Row {
        bool proprietary;
        const char* name;
        int code;
        int store; // index into stored_, or -1
    };
    static constexpr Row kRows[] = {
        {false, "GGA", kNmeaGga, int(NmeaKind::Gga)},
        {false, "RMC", kNmeaRmc, int(NmeaKind::Rmc)},
        {false, "GSA", kNmeaGsa, int(NmeaKind::Gsa)},
        {true, "PVKTD", kNmeaPvktd, int(NmeaKind::Pvktd)},
        {true, "PVKTA", kNmeaPvkta, -1},
        {false, "GSV", kNmeaGsv, int(NmeaKind::Gsv)},
    };
    for (const Row& row : kRows) {
        const bool match = row.proprietary ? AddressStartsWith(working_, row.name) : KindIs(working_, row.name);
        if (!match)
            continue;
        if (row.store >= 0) {
            // Slots at and beyond the count have no defined content.
            NmeaFields& stored = stored_[row.store];
            std::memcpy(stored.slot, working_.slot, size_t(working_.count) * kNmeaSlotChars);
            stored.count = working_.count;
        }
        return row.code;
    }
    return kNmeaOther;
}
