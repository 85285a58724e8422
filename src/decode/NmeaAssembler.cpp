#include "NmeaAssembler.h"

#include <cstring>

// Placeholder until the assembler lands.
NmeaAssembler::NmeaAssembler()
{
    std::memset(stored_, 0, sizeof stored_);
    std::memset(&working_, 0, sizeof working_);
}

int NmeaAssembler::PushByte(char) { return kNmeaNone; }
void NmeaAssembler::Reset() { inSentence_ = false; length_ = 0; }
const NmeaFields& NmeaAssembler::Stored(NmeaKind kind) const { return stored_[int(kind)]; }
int NmeaAssembler::Complete() { return kNmeaNone; }
bool NmeaAssembler::ChecksumMatches() const { return true; }
void NmeaAssembler::Split() {}
int NmeaAssembler::Classify() { return kNmeaOther; }

NmeaAssembler& ProgramNmea()
{
    static NmeaAssembler instance;
    return instance;
}
