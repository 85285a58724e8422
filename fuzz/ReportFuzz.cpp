// Any byte stream through the receiver report, as NMEA and as BINR: the
// epochs, the figures and every output format. No figure may be NaN or
// infinite, and the page and the tracks must come out whatever arrived.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiverReport.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const bool binr : {false, true}) {
        EpochLog log;
        EpochCollector collector(log, {"1.5", "0.0", false}, {});
        if (binr)
            collector.PushBinr(data, size);
        else
            collector.PushNmea(reinterpret_cast<const char*>(data), size);
        collector.Finish();
        ReportEntry entry{"fuzz", binr ? "binr" : "nmea", &log, ComputeFigures(log, std::nullopt)};
        for (const ReportRow& row : ReportRows())
            if (row.value && row.value(entry.figures) && !std::isfinite(*row.value(entry.figures)))
                std::abort();
        std::ostringstream out;
        const std::vector<ReportEntry> entries{entry};
        WriteTextTable(out, entries);
        WriteJson(out, entries);
        WriteCsv(out, entries);
        WriteGpx(out, entries);
        WriteKml(out, entries);
        WriteHtml(out, entries);
    }
    return 0;
}
