#include "BinrStartSequence.h"

#include "BinrLayouts.h"

#include <cstdint>
#include <initializer_list>

namespace {

BinrCommandStep Step(int gapMs, uint8_t id, std::initializer_list<uint8_t> payload)
{
    const std::vector<uint8_t> bytes(payload);
    uint8_t frame[kBinrCommandFrameMax];
    const int size = BuildBinrFrame(id, bytes.data(), int(bytes.size()), frame, kBinrCommandFrameMax);
    return {gapMs, BinrBytes(frame, frame + (size > 0 ? size : 0))};
}

} // namespace

std::vector<BinrCommandStep> BinrRecordStartSequence(bool heartbeat, bool position)
{
    std::vector<BinrCommandStep> steps;
    steps.push_back(Step(0, kCmdStopOutput, {}));
    steps.push_back(Step(0, kCmdDeviceInfo, {}));
    for (const uint8_t message : {0x01, 0x04, 0x02, 0x05, 0x03, 0x06})
        steps.push_back(Step(kBinrCommandGapMs, kCmdOutputRate, {0x03, message}));
    steps.push_back(heartbeat ? Step(kBinrCommandGapMs, kCmdHeartbeat, {0x01}) : BinrCommandStep{kBinrCommandGapMs, {}});
    if (position)
        for (BinrCommandStep& s : BinrPositionCommands(true))
            steps.push_back(std::move(s));
    return steps;
}

std::vector<BinrCommandStep> BinrPositionCommands(bool on)
{
    const uint8_t flag = on ? 0x01 : 0x00;
    const uint8_t rate = on ? 0x05 : 0x00;
    return {Step(0, kCmdPosition21, {flag}), Step(0, kCmdPosition27, {flag}), Step(0, kCmdPosition35, {flag}),
            Step(0, kCmdPosition24, {rate})};
}
