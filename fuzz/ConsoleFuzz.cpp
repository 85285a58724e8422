// What the console and the SIGNALS window take from outside: any line typed
// as a command, any bytes logged as an NMEA or BINR message, any byte stream
// folded into signal bars. Accepted commands end as sent; the log's entries
// and texts stay within their bounds; bars stay within their capacities and
// name known systems.
#include "MessageLog.h"
#include "ReceiverCommand.h"
#include "SignalBars.h"

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

    NmeaAssembler nmea;
    SignalFold fold;
    for (size_t i = 0; i < size; ++i) {
        const int result = nmea.PushByte(char(data[i]));
        if (result == kNmeaGsv)
            fold.AddGsv(nmea.Stored(NmeaKind::Gsv));
        if (result == kNmeaGga && fold.Close()) {
            CheckBars(fold.Bars({}, true));
            CheckBars(fold.Bars({}, false));
        }
    }
    return 0;
}
