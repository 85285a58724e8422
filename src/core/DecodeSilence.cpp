#include "DecodeSilence.h"

void DecodeSilence::Start() { waiting_ = false; }

void DecodeSilence::OnBytes(int64_t nowMs)
{
    if (!waiting_) {
        waiting_ = true;
        firstUndecodedMs_ = nowMs;
    }
}

void DecodeSilence::OnDecoded() { waiting_ = false; }

bool DecodeSilence::Undecoded(int64_t nowMs) const
{
    return waiting_ && nowMs - firstUndecodedMs_ >= kUndecodedAfterMs;
}
