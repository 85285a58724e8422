// What the console and the SIGNALS window take from outside: any line typed
// as a command, any bytes logged as an NMEA or BINR message, any byte stream
// folded into signal bars. Accepted commands end as sent; the log's entries
// and texts stay within their bounds; bars stay within their capacities and
// name known systems.
#include "BinrDecoder.h"
#include "GnssEpoch.h"
#include "MessageCapture.h"
#include "MessageLog.h"
#include "ReceiverCommand.h"
#include "SignalBars.h"
#include "SignalEpoch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void CheckCommand(std::string_view text)
{
    const ParsedCommand c = ParseCommand(text);
    if (c.Ok() == c.bytes.empty())
        std::abort();
    const bool sentence = c.Ok() && c.bytes[0] == '$';
    if (sentence && (c.bytes.size() < 6 || c.bytes[c.bytes.size() - 1] != '\n' || c.bytes[c.bytes.size() - 5] != '*'))
        std::abort();
}

void CheckBars(const SignalBars& bars)
{
    if (bars.count < 0 || bars.count > kSignalBarsMax)
        std::abort();
    for (int i = 0; i < bars.count; ++i) {
        const SignalBar& b = bars.bar[i];
        if (b.id.system == Gnss::Unknown || b.signalCount > kSignalsPerBarMax || b.cn0DbHz > kCn0MaxDbHz ||
            b.cn0DbHz < kNoCn0)
            std::abort();
    }
    SignalsLine(bars);
}

// Every message a decoder completes or refuses is captured, whatever the cut.
void CheckCapture(const uint8_t* data, size_t size, MessageLog& log)
{
    NmeaAssembler nmea;
    BinrDecoder binr;
    MessageCapture nmeaCapture(MessageProtocol::Nmea);
    MessageCapture binrCapture(MessageProtocol::Binr);
    const int block = size > 0 ? 1 + data[0] % 17 : 1;
    for (const bool isNmea : {true, false}) {
        const uint64_t before = log.Appended();
        uint64_t results = 0;
        for (size_t at = 0; at < size;) {
            const int part = int(std::min<size_t>(size_t(block), size - at));
            for (int done = 0; done < part;) {
                int used = 0;
                const int r = isNmea ? nmea.PushBlock(reinterpret_cast<const char*>(data) + at + done, part - done, used)
                                     : binr.PushBlock(data + at + done, part - done, used);
                (isNmea ? nmeaCapture : binrCapture).Feed(data + at + done, used, r, 0, 0, log);
                results += r != 0 ? 1 : 0;
                done += used > 0 ? used : 1;
            }
            at += size_t(part);
        }
        if (log.Appended() - before < results)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MessageLog log;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckCommand(text);
    CommandHistory history;
    history.Add(text);

    for (MessageProtocol protocol : {MessageProtocol::Nmea, MessageProtocol::Binr}) {
        const uint64_t seq = log.Append({int64_t(size) * 997, 0, protocol, data, int(size), false});
        const MessageEntry* e = log.At(seq);
        if (e == nullptr || e->length != size || e->type >= kMessageTypesMax)
            std::abort();
        MessageText(*e);
        MessageHex(*e);
        MessageSummary(*e);
        log.RateHz(e->type, int64_t(size) * 997);
    }

    CheckCapture(data, size, log);

    NmeaAssembler nmea;
    SignalFold fold;
    SignalEpoch epoch;
    GnssEpoch gnss;
    gnss.SetEnabled(size % 2 == 0);
    for (size_t i = 0; i < size; ++i) {
        const int result = nmea.PushByte(char(data[i]));
        gnss.Feed(result, nmea);
        if (epoch.OnNmea(result, nmea, gnss))
            CheckBars(epoch.Bars());
        if (result == kNmeaGsv)
            fold.AddGsv(nmea.Stored(NmeaKind::Gsv));
        if (result == kNmeaGga && fold.Close()) {
            CheckBars(fold.Bars({}, true));
            CheckBars(fold.Bars({}, false));
        }
    }
    return 0;
}
