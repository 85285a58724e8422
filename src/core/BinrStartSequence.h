#pragma once
// What a BINR receiver is told when a recording or watch starts: stop what
// it sends, name itself, send the six messages the views and the synthesis
// read, and, as chosen, the heartbeat and POSITION's own messages. The same
// frames in the same order for the classic window and the bench; each says
// how long to wait after the one before, since a receiver busy with one
// command may drop the next.
#include "BinrEncoder.h"

#include <vector>

constexpr int kBinrCommandGapMs = 200;

struct BinrCommandStep {
    int gapBeforeMs = 0;
    // Empty: only the wait, kept so that what follows the sequence keeps
    // its distance from the last command.
    BinrBytes frame;
};

std::vector<BinrCommandStep> BinrRecordStartSequence(bool heartbeat, bool position);
// POSITION's messages on or off, all at once.
std::vector<BinrCommandStep> BinrPositionCommands(bool on);
