#include "BinrDecoder.h"

#include <cstring>

// Placeholder until the decoder lands.
BinrDecoder::BinrDecoder()
{
    std::memset(nav_, 0, sizeof nav_);
    std::memset(dop_, 0, sizeof dop_);
    std::memset(device_, 0, sizeof device_);
    std::memset(statusHeader_, 0, sizeof statusHeader_);
    std::memset(badSatNumber_, 0, sizeof badSatNumber_);
    std::memset(badSatValue_, 0, sizeof badSatValue_);
    std::memset(satInView_, 0, sizeof satInView_);
}

int BinrDecoder::PushByte(uint8_t) { return 0; }
void BinrDecoder::Reset() { length_ = 0; dlePending_ = false; inFrame_ = false; }
int BinrDecoder::Decode() { return -1; }

BinrDecoder& ProgramBinr()
{
    static BinrDecoder instance;
    return instance;
}
