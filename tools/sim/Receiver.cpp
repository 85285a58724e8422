#include "Receiver.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "SimNmea.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kReplayFallbackChunk = 1024;

// A recording is replayed epoch by epoch: an NMEA epoch starts with each GGA,
// a BINR one ends with each navigation solution. A file without either is
// sent in fixed pieces.
std::vector<size_t> NmeaEpochStarts(const Bytes& data)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i + 5 < data.size(); ++i)
        if (data[i] == '$' && std::memcmp(&data[i + 3], "GGA", 3) == 0)
            starts.push_back(i);
    return starts;
}

std::vector<size_t> BinrEpochEnds(const Bytes& data)
{
    std::vector<size_t> ends;
    BinrDecoder decoder;
    for (size_t i = 0; i < data.size(); ++i)
        if (decoder.PushByte(data[i]) == kMsgNavSolution)
            ends.push_back(i + 1);
    return ends;
}

} // namespace

Receiver::Receiver(const SimOptions& options, double startUnixTime)
    : Receiver(options, startUnixTime, ProfileOf(options, 0))
{
}

Receiver::Receiver(const SimOptions& options, double startUnixTime, const ReceiverProfile& profile)
    : options_(options),
      profile_(profile),
      startUnixTime_(startUnixTime),
      protocol_(options.protocol),
      baud_(options.baud),
      heartbeat_(options.heartbeat),
      scenario_(options.scenario, startUnixTime, profile.seed, profile.errors),
      rate_(options.rate),
      epochS_(1.0 / options.rate),
      replayProtocol_(options.protocol)
{
}

bool Receiver::LoadReplay(std::string& error)
{
    std::ifstream in(options_.replayFile, std::ios::binary);
    if (!in) {
        error = "cannot open " + options_.replayFile;
        return false;
    }
    replay_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (replay_.empty()) {
        error = options_.replayFile + " is empty";
        return false;
    }
    std::vector<size_t> cuts = replayProtocol_ == SimProtocol::Nmea ? NmeaEpochStarts(replay_)
                                                                    : BinrEpochEnds(replay_);
    if (cuts.empty())
        for (size_t at = kReplayFallbackChunk; at < replay_.size(); at += kReplayFallbackChunk)
            cuts.push_back(at);
    size_t from = 0;
    for (size_t cut : cuts) {
        if (cut > from)
            replayChunks_.push_back({from, cut - from});
        from = cut;
    }
    if (from < replay_.size())
        replayChunks_.push_back({from, replay_.size() - from});
    return true;
}

void Receiver::Receive(const uint8_t* data, size_t length, Bytes& answers)
{
    for (size_t i = 0; i < length; ++i) {
        if (protocol_ == SimProtocol::Binr)
            ReceiveBinr(data[i], answers);
        else
            ReceiveNmea(char(data[i]), answers);
    }
}

void Receiver::DropInput()
{
    commands_ = CommandReader();
    sentences_.Reset();
    queries_.Reset();
}

void Receiver::ReceiveBinr(uint8_t b, Bytes& answers)
{
    if (commands_.Push(b))
        Command(commands_.Id(), commands_.Payload(), answers);
}

void Receiver::Command(uint8_t id, const Bytes& payload, Bytes& answers)
{
    switch (id) {
    case kCmdPortSetting: {
        if (payload.size() != kPortSettingSize)
            return;
        const long rate = long(ReadU32(&payload[1]));
        if (rate != 0 && !IsLineRate(rate))
            return;                       // a rate it cannot take: no answer
        AppendBinrFrame(answers, kMsgBaudAck, payload);
        if (rate != 0)
            baud_ = int(rate);
        if (payload[5] == kPortModeNmea) {
            protocol_ = SimProtocol::Nmea;
            DropInput();
        }
        return;
    }
    case kCmdDeviceInfo:
        AppendBinrFrame(answers, kMsgDeviceInfo, DeviceInfoPayload(options_.device));
        return;
    case kCmdHeartbeat:
        if (payload.size() == 1 && payload[0] <= 1)
            heartbeat_ = payload[0] == 1;
        return;
    default:
        // 0x26, 0x0E, 0xA0, 0x21, 0x27, 0x35, 0x24 and anything else: taken
        // without an answer, as the receiver does for settings it just applies.
        return;
    }
}

void Receiver::ReceiveNmea(char c, Bytes& answers)
{
    if (queries_.Push(c)) {
        const QueryContext context{options_.device, "NMEA", baud_, rate_, options_.flood};
        const QueryAnswer answer = AnswerQuery(queries_.Line(), context);
        answers.insert(answers.end(), answer.sentence.begin(), answer.sentence.end());
        if (answer.newRate > 0) {
            rate_ = answer.newRate;
            epochS_ = 1.0 / rate_;
        }
        coldStartPending_ = coldStartPending_ || answer.coldStart;
    }
    // $PVKTA,0,115200,3: change to BINR at the given rate.
    if (sentences_.PushByte(c) != kNmeaPvkta)
        return;
    const NmeaFields& f = sentences_.Working();
    if (f.count < 4 || std::strcmp(f.slot[1], "0") != 0 || std::strcmp(f.slot[3], "3") != 0)
        return;
    char* end = nullptr;
    const long rate = std::strtol(f.slot[2], &end, 10);
    if (end == f.slot[2] || *end || !IsLineRate(rate))
        return;
    protocol_ = SimProtocol::Binr;
    baud_ = int(rate);
    DropInput();
}

void Receiver::AppendEpoch(Bytes& out)
{
    Epoch e = scenario_.Next(epochS_);
    // A cold start commanded: the profile's cold start and dropouts count
    // from this epoch on.
    if (coldStartPending_) {
        coldStartPending_ = false;
        startUnixTime_ = e.unixTime;
    }
    const double elapsedS = e.unixTime - startUnixTime_;
    LoseFix(e, FixStateAt(profile_, elapsedS), elapsedS);
    if (Replaying()) {
        const auto [offset, length] = replayChunks_[nextChunk_];
        nextChunk_ = (nextChunk_ + 1) % replayChunks_.size();
        out.insert(out.end(), replay_.begin() + offset, replay_.begin() + offset + length);
    } else if (protocol_ == SimProtocol::Nmea) {
        const std::string text = NmeaEpoch(e);
        out.insert(out.end(), text.begin(), text.end());
    } else {
        const Bytes frames = BinrEpoch(e);
        out.insert(out.end(), frames.begin(), frames.end());
    }
}

void Receiver::AppendFlood(Bytes& out, size_t minBytes)
{
    const size_t target = out.size() + minBytes;
    while (out.size() < target) {
        if (Replaying()) {
            const size_t n = std::min(replay_.size() - floodOffset_, target - out.size());
            out.insert(out.end(), replay_.begin() + floodOffset_, replay_.begin() + floodOffset_ + n);
            floodOffset_ = (floodOffset_ + n) % replay_.size();
        } else
            AppendEpoch(out);
    }
}

void Receiver::AppendHeartbeat(Bytes& out)
{
    Bytes payload;
    PutU16(payload, heartbeatCount_++);
    AppendBinrFrame(out, kMsgHeartbeat, payload);
}
