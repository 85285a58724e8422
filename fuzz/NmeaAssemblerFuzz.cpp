// Any byte stream through the NMEA assembler, byte by byte and in blocks: the
// two must agree, and every stored record must stay within its table.
#include "NmeaAssembler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

void CheckFields(const NmeaFields& f)
{
    if (f.count > kNmeaSlots)
        std::abort();
    for (int i = 0; i < f.count; ++i)
        if (strnlen(f.slot[i], kNmeaSlotChars) >= size_t(kNmeaSlotChars))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static NmeaAssembler single;
    static NmeaAssembler block;
    single.Reset();
    block.Reset();
    const char* text = reinterpret_cast<const char*>(data);
    const int total = int(size);
    // The first byte chooses the block size, so blocks of every size and
    // boundaries at every place get tried.
    const int blockSize = size > 0 ? 1 + data[0] % 64 : 1;
    int at = 0;
    while (at < total) {
        const int left = total - at < blockSize ? total - at : blockSize;
        int used = 0;
        const int result = block.PushBlock(text + at, left, used);
        if (used < 1 || used > left || (result == 0 && used != left))
            std::abort();
        for (int i = 0; i < used - 1; ++i)
            if (single.PushByte(text[at + i]) != 0)
                std::abort();
        if (single.PushByte(text[at + used - 1]) != result)
            std::abort();
        if (result > 0 && std::memcmp(&single.Working(), &block.Working(), sizeof(NmeaFields)) != 0)
            std::abort();
        at += used;
    }
    for (NmeaKind kind : {NmeaKind::Gga, NmeaKind::Rmc, NmeaKind::Gsa, NmeaKind::Pvktd, NmeaKind::Gsv})
        CheckFields(single.Stored(kind));
    CheckFields(single.Working());
    return 0;
}
