// Any byte stream through the receiver report, as NMEA and as BINR: the
// epochs, the figures and every output format. No figure may be NaN or
// infinite, the page and the tracks must come out whatever arrived, a report
// without a page must write what one with a page writes, and the error
// percentiles must be the nearest-rank values of the sorted errors.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiverReport.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The percentiles a full sort of each error set gives.
void CheckPercentiles(const EpochLog& log, const Figures& f)
{
    if (!f.reference)
        return;
    const LocalFrame frame(*f.reference);
    std::vector<float> sets[3];
    log.ForEach([&](const EpochRecord& r, int64_t) {
        if (!r.Accepted() || !r.HasPosition())
            return;
        const LocalFrame::Enu e = frame.ErrorOf(r);
        sets[0].push_back(float(std::sqrt(e.east * e.east + e.north * e.north)));
        sets[1].push_back(float(std::fabs(e.up)));
        sets[2].push_back(float(std::sqrt(e.east * e.east + e.north * e.north + e.up * e.up)));
    });
    if (sets[0].empty())
        return;
    for (auto& set : sets)
        std::sort(set.begin(), set.end());
    const auto same = [&](const Figure& figure, int set, double percent) {
        if (!figure || *figure != double(sets[set][NearestRank(sets[set].size(), percent)]))
            std::abort();
    };
    same(f.cep50M, 0, 50);
    same(f.r68M, 0, 68);
    same(f.r95M, 0, 95);
    same(f.r99M, 0, 99);
    same(f.rMaxM, 0, 100);
    same(f.up50M, 1, 50);
    same(f.up95M, 1, 95);
    same(f.up99M, 1, 99);
    same(f.d3_50M, 2, 50);
    same(f.d3_95M, 2, 95);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const bool binr : {false, true}) {
        std::string withoutPage[2];
        for (const bool charts : {true, false}) {
            EpochLog log;
            log.KeepCharts(charts);
            EpochCollector collector(log, {"1.5", "0.0", false}, {});
            if (binr)
                collector.PushBinr(data, size);
            else
                collector.PushNmea(reinterpret_cast<const char*>(data), size);
            collector.Finish();
            ReportEntry entry;
            entry.name = "fuzz";
            entry.protocol = binr ? "binr" : "nmea";
            entry.log = &log;
            entry.figures = ComputeFigures(log, std::nullopt);
            for (const ReportRow& row : ReportRows())
                if (row.value && row.value(entry.figures) && !std::isfinite(*row.value(entry.figures)))
                    std::abort();
            CheckPercentiles(log, entry.figures);
            std::ostringstream out;
            const std::vector<ReportEntry> entries{entry};
            WriteTextTable(out, entries);
            WriteJson(out, entries);
            WriteCsv(out, entries);
            WriteGpx(out, entries);
            WriteKml(out, entries);
            withoutPage[charts] = out.str();
            if (charts)
                WriteHtml(out, entries);
        }
        if (withoutPage[0] != withoutPage[1])
            std::abort();
    }
    return 0;
}
