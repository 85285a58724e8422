// The fix pipeline on decoders of the test's own: the decision on each fix
// of either protocol with its reason, what reaches the counts, the means and
// the report, and what a reset forgets.
#include "BinrEncoder.h"
#include "FixPipeline.h"
#include "NmeaChecksum.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Source {
    NmeaAssembler nmea;
    BinrDecoder binr;
    GnssEpoch gnss;
    FixPipeline pipeline;

    // Every sentence's result goes to the pipeline, as the intake routes it;
    // returns the step of the last one.
    FixStep Nmea(const std::string& body, bool multiGnss = false)
    {
        int result = 0;
        for (char c : NmeaSentence(body))
            result = nmea.PushByte(c);
        gnss.Feed(result, nmea);
        return pipeline.OnNmeaResult(nmea, result, multiGnss ? &gnss : nullptr);
    }
    FixStep Binr(uint8_t id, const BinrBytes& payload)
    {
        int result = 0;
        for (uint8_t b : BinrFrame(id, payload))
            result = binr.PushByte(b);
        return pipeline.OnBinrResult(binr, result, DatePolicy{});
    }
    // An NMEA epoch: RMC, GSA (VDOP), GGA.
    FixStep NmeaFix(const char* quality, const char* hdop, const char* vdop, const char* lat, bool multiGnss = false)
    {
        Nmea("GPRMC,120000,A,5545.0000,N,03736.0000,E,1.0,0.0,010124,,,A", multiGnss);
        Nmea(std::string("GPGSA,A,3,05,12,,,,,,,,,,,2.0,") + hdop + "," + vdop, multiGnss);
        return Nmea(std::string("GPGGA,120000,") + lat + ",N,03736.0000,E," + quality + ",08," + hdop + ",123.4,M,,M,,",
                    multiGnss);
    }
    // A BINR epoch: 0x60 (DOPs), 0x88.
    FixStep BinrFix(uint8_t flags, float hdop, float vdop, double latRad)
    {
        Binr(kMsgDopInfo, DopInfoPayload({2, 0, hdop, vdop}));
        NavSolution nav{};
        nav.flags = flags;
        nav.latRad = latRad;
        nav.lonRad = 0.5;
        nav.altM = 150;
        return Binr(kMsgNavSolution, NavSolutionPayload(nav));
    }
};

TEST(FixPipeline, DecisionWithItsReason)
{
    using V = FixVerdict;
    struct Row {
        const char* name;
        bool binr;
        const char* quality;   // NMEA GGA quality
        uint8_t flags;         // BINR 0x88 flags
        float hdop, vdop;
        bool impossible;
        FixLimits limits;
        bool multiGnss;
        V verdict;
    };
    const FixLimits none;
    const FixLimits hdop15{"1.5", "0.0", false};
    const FixLimits vdop12{"0.0", "1.2", false};
    const FixLimits diff{"0.0", "0.0", true};
    const Row rows[] = {
        {"NMEA, no limits", false, "1", 0, 5.0f, 9.9f, false, none, false, V::Accepted},
        {"NMEA quality 0", false, "0", 0, 1.0f, 1.0f, false, none, false, V::NoSolution},
        {"NMEA latitude beyond 90", false, "1", 0, 1.0f, 1.0f, true, none, false, V::Impossible},
        {"NMEA HDOP at the limit", false, "1", 0, 1.5f, 1.0f, false, hdop15, false, V::Accepted},
        {"NMEA HDOP above the limit", false, "1", 0, 1.6f, 1.0f, false, hdop15, false, V::AboveHdopLimit},
        {"NMEA VDOP 1.2 in single precision", false, "1", 0, 1.0f, 1.2f, false, vdop12, false, V::AboveVdopLimit},
        {"NMEA DIFF only, quality 1", false, "1", 0, 1.0f, 1.0f, false, diff, false, V::NotDifferential},
        {"NMEA DIFF only, quality 2", false, "2", 0, 1.0f, 1.0f, false, diff, false, V::Accepted},
        {"NMEA DIFF only, RTK classic", false, "4", 0, 1.0f, 1.0f, false, diff, false, V::NotDifferential},
        {"NMEA DIFF only, RTK Multi-GNSS", false, "4", 0, 1.0f, 1.0f, false, diff, true, V::Accepted},
        {"BINR, no limits", true, "", 0x01, 50, 60, false, none, false, V::Accepted},
        {"BINR flag bit 0 clear", true, "", 0x0A, 1, 1, false, none, false, V::NoSolution},
        {"BINR NaN latitude", true, "", 0x01, 1, 1, true, none, false, V::Impossible},
        {"BINR HDOP above the limit", true, "", 0x01, 1.6f, 1, false, hdop15, false, V::AboveHdopLimit},
        {"BINR VDOP above the limit", true, "", 0x01, 1, 1.3f, false, vdop12, false, V::AboveVdopLimit},
        {"BINR DIFF only, bit 3 clear", true, "", 0x03, 1, 1, false, diff, false, V::NotDifferential},
        {"BINR DIFF only, bit 3 set", true, "", 0x09, 1, 1, false, diff, false, V::Accepted},
        // An invalid fix is no solution whatever else is wrong with it.
        {"BINR invalid and impossible", true, "", 0x00, 9, 9, true, hdop15, false, V::NoSolution},
    };
    for (const Row& r : rows) {
        Source s;
        s.gnss.SetEnabled(r.multiGnss);
        s.pipeline.SetLimits(r.limits);
        const std::string hdop = std::to_string(r.hdop).substr(0, 3);
        const std::string vdop = std::to_string(r.vdop).substr(0, 3);
        const FixStep step = r.binr ? s.BinrFix(r.flags, r.hdop, r.vdop, r.impossible ? kNaN : 1.0)
                                    : s.NmeaFix(r.quality, hdop.c_str(), vdop.c_str(), r.impossible ? "9130.0000" : "5545.0000",
                                                r.multiGnss);
        const bool accepted = r.verdict == V::Accepted;
        EXPECT_TRUE(step.offered) << r.name;
        EXPECT_EQ(step.verdict, r.verdict) << r.name;
        EXPECT_EQ(step.Accepted(), accepted) << r.name;
        EXPECT_EQ(step.fromBinr, r.binr) << r.name;
        EXPECT_EQ(step.offeredCount, 1) << r.name;
        EXPECT_EQ(step.acceptedCount, accepted ? 1 : 0) << r.name;
        // The report gets the same decision on its epoch.
        s.pipeline.Collector().Finish();
        ASSERT_EQ(s.pipeline.Log().Size(), 1u) << r.name;
        EXPECT_EQ(s.pipeline.Log()[0].Accepted(), accepted) << r.name;
        if (accepted) {
            const double lat = r.binr ? 1.0 : (55 + 45.0 / 60) * std::numbers::pi / 180;
            EXPECT_NEAR(step.position.latRad, lat, 1e-12) << r.name;
            EXPECT_NEAR(step.stats.meanLat, lat, 1e-12) << r.name;
            EXPECT_DOUBLE_EQ(step.position.altM, r.binr ? 150 : 123.4) << r.name;
        }
    }
}

// Nall counts every fix offered, N the accepted ones; the means move only
// with accepted fixes; a reset forgets the counts and the report but keeps
// the last means (VISUAL's reference button may still take them).
TEST(FixPipeline, CountsMeansAndReset)
{
    Source s;
    EXPECT_FALSE(s.Nmea("GPRMC,120000,A,5545.0000,N,03736.0000,E,0.0,0.0,010124,,,A").offered);
    EXPECT_TRUE(s.NmeaFix("1", "1.0", "1.0", "5545.0000").Accepted());
    s.pipeline.SetLimits({"0.5", "0.0", false});
    const FixStep rejected = s.BinrFix(0x01, 1, 1, 0.5);
    EXPECT_EQ(rejected.verdict, FixVerdict::AboveHdopLimit);
    EXPECT_EQ(rejected.acceptedCount, 1);
    EXPECT_EQ(rejected.offeredCount, 2);
    EXPECT_DOUBLE_EQ(rejected.stats.meanH, 123.4);
    EXPECT_TRUE(s.pipeline.LastFromBinr());
    s.pipeline.SetLimits({});
    const FixStep second = s.BinrFix(0x01, 1, 1, 0.5);
    EXPECT_EQ(second.acceptedCount, 2);
    EXPECT_DOUBLE_EQ(second.stats.meanH, (123.4 + 150) / 2);

    s.pipeline.Reset();
    EXPECT_EQ(s.pipeline.AcceptedCount(), 0);
    EXPECT_EQ(s.pipeline.OfferedCount(), 0);
    EXPECT_EQ(s.pipeline.Log().Size(), 0u);
    EXPECT_DOUBLE_EQ(s.pipeline.Stats().meanH, (123.4 + 150) / 2);
    const FixStep fresh = s.BinrFix(0x01, 1, 1, 0.5);
    EXPECT_EQ(fresh.acceptedCount, 1);
    EXPECT_EQ(fresh.offeredCount, 1);
    EXPECT_DOUBLE_EQ(fresh.stats.meanH, 150);
}

} // namespace
