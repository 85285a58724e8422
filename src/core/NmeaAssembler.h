#pragma once
// NMEA 0183 sentence assembler.
//
// Bytes arrive one at a time from the port or a played file. A "$" always
// starts a new sentence; a line feed ends it, the checksum (when present) is
// checked, the sentence is split at its commas and classified, and the last
// sentence of each interesting kind is kept for the views to read in place.
// Anything outside a sentence is ignored. Nothing is allocated after
// construction.
//
// Sentences that do not fit the field table are cut, not rejected: a field
// keeps its first 19 characters and a sentence its first 40 fields.
#include <cstdint>

constexpr int kNmeaSlots = 40;        // fields kept per sentence, address included
constexpr int kNmeaSlotChars = 20;    // 19 characters and the terminating NUL
constexpr int kNmeaSentenceMax = 130; // a sentence reaching this length overflows

struct NmeaFields {
    char slot[kNmeaSlots][kNmeaSlotChars];
    uint8_t count;
};

enum class NmeaKind { Gga, Rmc, Gsa, Pvktd, Gsv };

// Result codes of NmeaAssembler::PushByte.
enum NmeaResult : int {
    kNmeaError = -1,
    kNmeaNone = 0,
    kNmeaOther = 1,
    kNmeaGga = 2,
    kNmeaRmc = 3,
    kNmeaGsa = 4,
    kNmeaPvktd = 5,
    kNmeaPvkta = 6,
    kNmeaGsv = 7,
};

class NmeaAssembler {
public:
    NmeaAssembler();

    // The result code of the table above. Inline: it runs once per received
    // byte, and almost every byte only lands in the buffer.
    int PushByte(char c)
    {
        if (!inSentence_ && c != '$')
            return kNmeaNone;
        if (inSentence_ && c != '$' && c != '\n' && length_ < kNmeaSentenceMax - 1) {
            sentence_[length_++] = c;
            return kNmeaNone;
        }
        return PushSpecial(c);
    }
    // Feeds characters in turn until one gives a non-zero result or the block
    // ends: returns that result (0 at the end of the block) and sets used to the
    // characters consumed, the deciding one included. The results are exactly
    // those of PushByte on each character; sentence text is copied in runs.
    int PushBlock(const char* data, int size, int& used);
    void Reset();

    const NmeaFields& Stored(NmeaKind kind) const;
    // The fields of the last accepted sentence, whatever its kind.
    const NmeaFields& Working() const { return workingKept_ < 0 ? working_ : stored_[workingKept_]; }

private:
    int PushSpecial(char c);
    int StoreRun(const char* data, int limit);
    int Complete();
    bool ChecksumMatches() const;
    int Classify(int& kept) const;
    void Split(NmeaFields& fields);

    NmeaFields stored_[5];
    // Padded behind the longest sentence for whole-slot copies and 16-byte
    // scans.
    char sentence_[kNmeaSentenceMax + kNmeaSlotChars];
    uint8_t length_ = 0;
    bool inSentence_ = false;
    int8_t workingKept_ = -1; // the stored_ record Working() is, or -1: working_
    NmeaFields working_;
};
