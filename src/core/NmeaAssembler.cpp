#include "NmeaAssembler.h"
#include "NmeaChecksum.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
constexpr int kVector = 16; // bytes searched at once

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool HexMatches(uint8_t sum, char high, char low)
{
    static constexpr char kHex[] = "0123456789abcdef";
    return AsciiLower(high) == kHex[sum >> 4] && AsciiLower(low) == kHex[sum & 0x0F];
}

// NmeaChecksum of the characters between the "$" at 0 and end, 16 at a time:
// the sentence buffer's padding holds the last vector, whose bytes from end on
// are masked.
uint8_t SumTo(const char* sentence, int end)
{
#if defined(__SSE2__)
    // kKeep + kVector - k: a mask of the first k bytes of a vector.
    alignas(kVector) static constexpr uint8_t kKeep[2 * kVector] = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    __m128i sum = _mm_setzero_si128();
    int at = 0;
    for (; at + kVector <= end; at += kVector)
        sum = _mm_xor_si128(sum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sentence + at)));
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + kVector - (end - at)));
    sum = _mm_xor_si128(sum, _mm_and_si128(keep, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sentence + at))));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 8));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 4));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 2));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 1));
    // The "$" at 0 was summed with the rest.
    return uint8_t(_mm_cvtsi128_si32(sum) ^ kStart);
#else
    return NmeaChecksum(sentence + 1, sentence + end);
#endif
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
            run = StoreRun(from, std::min(size - i, kNmeaSentenceMax - 1 - int(length_)));
        } else {
            // Between sentences the next "$" is usually the very next byte.
            const void* start = *from == kStart ? from : std::memchr(from, kStart, size_t(size - i));
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

// Sentences are a few tens of characters, where calls to search and to copy
// cost more than the characters: 16 at a time are stored and searched
// together. What is stored past the "$" or line feed lies beyond the
// sentence's length (the buffer's padding holds it).
int NmeaAssembler::StoreRun(const char* data, int limit)
{
    char* const to = sentence_ + length_;
    int n = 0;
#if defined(__SSE2__)
    static_assert(sizeof sentence_ >= kNmeaSentenceMax - 1);
    const __m128i start = _mm_set1_epi8(kStart);
    const __m128i lineFeed = _mm_set1_epi8(kLineFeed);
    const auto stopsAt = [&](int at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), bytes);
        return unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, start), _mm_cmpeq_epi8(bytes, lineFeed))));
    };
    for (; n + kVector <= limit; n += kVector) {
        if (const unsigned found = stopsAt(n)) {
            n += std::countr_zero(found);
            length_ = uint8_t(length_ + n);
            return n;
        }
    }
    if (n < limit && limit >= kVector) {
        // The last 16 before the limit, overlapping what was searched: the
        // bytes already searched hold no stop.
        const int last = limit - kVector;
        const unsigned found = stopsAt(last);
        n = found ? last + std::countr_zero(found) : limit;
        length_ = uint8_t(length_ + n);
        return n;
    }
#endif
    for (; n < limit && data[n] != kStart && data[n] != kLineFeed; ++n)
        to[n] = data[n];
    length_ = uint8_t(length_ + n);
    return n;
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

// The fields go straight into the record kept for their kind, so nothing is
// copied twice; Working() then names that record.
int NmeaAssembler::Complete()
{
    if (!ChecksumMatches())
        return kNmeaError;
    // Whatever lies behind the sentence is cleared: the fixed-size slot copies
    // read it, and the block path leaves other bytes there than the byte path.
    static_assert(kNmeaSentenceMax - 1 + kNmeaSlotChars <= sizeof sentence_);
    std::memset(sentence_ + length_, 0, kNmeaSlotChars);
    int kept = -1;
    const int code = Classify(kept);
    Split(kept < 0 ? working_ : stored_[kept]);
    workingKept_ = int8_t(kept);
    return code;
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
    static_assert((kNmeaSentenceMax - 1) / kVector * kVector + kVector <= sizeof sentence_);
    return HexMatches(SumTo(sentence_, mark), sentence_[mark + 1], sentence_[mark + 2]);
}


// The kind is read where the address's letters stand in the sentence: three
// after a two-letter talker, or a proprietary five-letter address. A shorter
// address ends in a separator or the line's end there, which no kind holds;
// behind a short line lie the cleared bytes, never an earlier sentence's.
int NmeaAssembler::Classify(int& kept) const
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
    const char* const address = sentence_ + 1;
    for (const Row& row : kRows) {
        const bool match = row.proprietary ? std::memcmp(address, row.name, kProprietaryLength) == 0
                                           : std::memcmp(address + kKindOffset, row.name, kKindLength) == 0;
        if (match) {
            kept = row.store;
            return row.code;
        }
    }
    kept = -1;
    return kNmeaOther;
}

// Fields run from just after "$" to the first "*"; without a "*" they run to
// the end of the line, whose CR LF is not part of the last field. The ends of
// the fields are found first, all at once, as bits of a mask.
void NmeaAssembler::Split(NmeaFields& fields)
{
    int end = length_ - 1; // the line feed
    if (end > 1 && sentence_[end - 1] == kCarriageReturn)
        --end;
    constexpr int kMaskWords = 3;
    constexpr int kWordBits = 64;
    static_assert(kMaskWords * kWordBits >= kNmeaSentenceMax);
    uint64_t commas[kMaskWords] = {};
    uint64_t marks[kMaskWords] = {};
#if defined(__SSE2__)
    // Whole vectors up to the one holding the end; the padding behind the
    // sentence keeps them inside the buffer.
    static_assert((kNmeaSentenceMax - 1) / kVector * kVector + kVector <= sizeof sentence_);
    const __m128i comma = _mm_set1_epi8(kSeparator);
    const __m128i mark = _mm_set1_epi8(kChecksumMark);
    for (int at = 0; at <= end; at += kVector) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sentence_ + at));
        const uint64_t c = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, comma)));
        const uint64_t m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, mark)));
        commas[at / kWordBits] |= c << (at % kWordBits);
        marks[at / kWordBits] |= m << (at % kWordBits);
    }
#else
    for (int at = 1; at < end; ++at) {
        commas[at / kWordBits] |= uint64_t(sentence_[at] == kSeparator) << (at % kWordBits);
        marks[at / kWordBits] |= uint64_t(sentence_[at] == kChecksumMark) << (at % kWordBits);
    }
#endif
    // The fields stop at the first "*" before the end ("$" stands at 0).
    int stop = end;
    for (int w = 0; w < kMaskWords; ++w) {
        if (marks[w] != 0) {
            stop = std::min(stop, w * kWordBits + std::countr_zero(marks[w]));
            break;
        }
    }
    // Only the commas before the stop end fields; the stop ends the last.
    for (int w = 0; w < kMaskWords; ++w) {
        const int below = stop - w * kWordBits;
        if (below <= 0)
            commas[w] = 0;
        else if (below < kWordBits)
            commas[w] &= (uint64_t(1) << below) - 1;
    }
    commas[stop / kWordBits] |= uint64_t(1) << (stop % kWordBits);

    int field = 1;
    int slot = 0;
    int word = 0;
    uint64_t ends = commas[0];
    for (;;) {
        while (ends == 0)
            ends = commas[++word];
        const int after = word * kWordBits + std::countr_zero(ends);
        ends &= ends - 1;
        // A fixed-size copy of the whole slot is cheaper than a counted one;
        // the padding behind the sentence keeps it inside the buffer.
        std::memcpy(fields.slot[slot], sentence_ + field, kNmeaSlotChars);
        fields.slot[slot][std::min(after - field, kSlotText)] = '\0';
        ++slot;
        if (after == stop || slot == kNmeaSlots)
            break;
        field = after + 1;
    }
    fields.count = uint8_t(slot);
}
