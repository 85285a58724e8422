#pragma once
// Whether a live source's bytes decode at all. A receiver on the wrong line
// rate (or talking the other protocol) still sends bytes: the byte counter
// grows, the error count may stay 0 because nothing even frames, and the
// views stay as they were. That silence is worth a word to the user once it
// has lasted kUndecodedAfterMs: bytes keep arriving, and since the first of
// them not one sentence or message decoded.
//
// Nothing here reads a clock: the owner hands in its readings.
#include <cstdint>

constexpr int64_t kUndecodedAfterMs = 3000;

class DecodeSilence {
public:
    // A source starts (or starts afresh): nothing is known of it.
    void Start();
    // A block of bytes arrived at nowMs.
    void OnBytes(int64_t nowMs);
    // A sentence or message decoded.
    void OnDecoded();
    // Bytes arrived over at least kUndecodedAfterMs, none of them decoding.
    bool Undecoded(int64_t nowMs) const;

private:
    bool waiting_ = false;        // bytes arrived since the last decode
    int64_t firstUndecodedMs_ = 0;
};
