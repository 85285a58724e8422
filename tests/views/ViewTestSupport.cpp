#include "ViewTestSupport.h"

#include "BinrDecoder.h"
#include "BinrEncoder.h"
#include "IntakeFeed.h"
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"

int FeedNmea(NmeaAssembler& nmea, const std::string& body)
{
    int result = 0;
    for (char c : NmeaSentence(body))
        result = nmea.PushByte(c);
    return result;
}

int FeedNmea(Intake& intake, const std::string& body) { return FeedIntake(intake, NmeaSentence(body)); }

std::vector<uint8_t> Payload(const Nav88& nav) { return NavSolutionPayload(nav); }

std::vector<uint8_t> Payload(const Dop60& dop) { return DopInfoPayload({dop.gps, dop.glonass, dop.hdop, dop.vdop}); }

std::vector<uint8_t> Payload(const Status93& status)
{
    std::vector<BadSatellite> bad;
    for (const uint8_t number : status.bad)
        bad.push_back({number, 0.0f});
    return SolutionStatusPayload({status.a, status.b, status.gpsMask, status.glonassMask}, bad);
}

int FeedBinr(BinrDecoder& binr, uint8_t id, const std::vector<uint8_t>& payload)
{
    int result = 0;
    for (const uint8_t b : BinrFrame(id, payload))
        result = binr.PushByte(b);
    return result;
}

int FeedBinr(BinrDecoder& binr, const Nav88& nav) { return FeedBinr(binr, kMsgNavSolution, Payload(nav)); }
int FeedBinr(BinrDecoder& binr, const Dop60& dop) { return FeedBinr(binr, kMsgDopInfo, Payload(dop)); }
int FeedBinr(BinrDecoder& binr, const Status93& status) { return FeedBinr(binr, kMsgSolutionStatus, Payload(status)); }

int FeedBinr(Intake& intake, const Nav88& nav) { return FeedIntake(intake, BinrFrame(kMsgNavSolution, Payload(nav))); }
int FeedBinr(Intake& intake, const Dop60& dop) { return FeedIntake(intake, BinrFrame(kMsgDopInfo, Payload(dop))); }
int FeedBinr(Intake& intake, const Status93& status)
{
    return FeedIntake(intake, BinrFrame(kMsgSolutionStatus, Payload(status)));
}

std::string Deg(const std::string& utf8Text)
{
    std::string out;
    for (size_t i = 0; i < utf8Text.size(); ++i) {
        if (uint8_t(utf8Text[i]) == 0xC2 && i + 1 < utf8Text.size() && uint8_t(utf8Text[i + 1]) == 0xB0) {
            out += '\xB0';
            ++i;
        } else {
            out += utf8Text[i];
        }
    }
    return out;
}
