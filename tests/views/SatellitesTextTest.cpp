#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "NmeaAssembler.h"
#include "SatellitesText.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

namespace {

SatellitesTexts FromStatus(const Status93& status)
{
    BinrDecoder binr;
    EXPECT_EQ(FeedBinr(binr, status), kMsgSolutionStatus);
    FeedBinr(binr, Nav88{});
    return SatellitesFromBinr(binr);
}

TEST(SatellitesBinrTexts, Indicators)
{
    struct Row { uint8_t a; uint8_t b; const char* lit; };
    const Row rows[] = {
        {0x09, 0x00, "obs,rtcm"},
        {0x00, 0x86, "gps,gln,rms"},
        {0x00, 0x11, ""},                  // bits 0 and 4 of the second byte light nothing
        {0xFF, 0xFF, "obs,2d,1d,rtcm,raim,rs,ext,anom,gps,gln,sbas,dsbas,dgbas,rms"},
        {0x80, 0x68, "anom,sbas,dsbas,dgbas"},
    };
    for (const Row& r : rows) {
        Status93 status;
        status.a = r.a;
        status.b = r.b;
        EXPECT_EQ(LitCaptions(FromStatus(status).lit), r.lit) << int(r.a) << "/" << int(r.b);
    }
}

TEST(SatellitesBinrTexts, UsedAndBadLists)
{
    Status93 status;
    status.gpsMask = 0x00000005;
    status.glonassMask = 0x80000001;
    status.bad = {12, 70, 64, 200};   // 200 is -56 as a signed byte: below 64, a GPS entry
    const SatellitesTexts t = FromStatus(status);
    EXPECT_EQ(t.gps, "1 3 ");
    EXPECT_EQ(t.gln, "1 32 ");
    EXPECT_EQ(t.badGps, "12 -56 ");
    EXPECT_EQ(t.badGln, "6 0 ");
}

TEST(SatellitesBinrTexts, BeforeAnyStatusMessageEverythingIsEmpty)
{
    BinrDecoder binr;
    FeedBinr(binr, Nav88{});
    const SatellitesTexts t = SatellitesFromBinr(binr);
    EXPECT_EQ(LitCaptions(t.lit), "");
    EXPECT_EQ(t.gps + t.gln + t.badGps + t.badGln, "");
}

TEST(SatellitesNmeaTexts, ListsFromGsaIds)
{
    struct Row { const char* gsa; const char* gps; const char* gln; };
    const Row rows[] = {
        {"GPGSA,A,3,05,12,67,,,,,,,,,,2.0,1.0,1.5", "5 12 ", "3 "},
        {"GPGSA,A,3,40,33,64,89,65,88,1,32,0,,,,2.0,1.0,1.5", "1 32 ", "1 24 "},
        {"GPGSA,A,3,5.9,x7,,,,,,,,,,,2.0,1.0,1.5", "5 ", ""},
        {"GPGSA,A,3", "", ""},
        // The PDOP field is not a satellite field: count - 4 is the last one.
        {"GPGSA,A,3,,,,,,,,,,,,,2.0,1.0,1.5", "", ""},
    };
    for (const Row& r : rows) {
        NmeaAssembler nmea;
        FeedNmea(nmea, r.gsa);
        const SatellitesTexts t = SatellitesFromNmea(nmea);
        EXPECT_EQ(t.gps, r.gps) << r.gsa;
        EXPECT_EQ(t.gln, r.gln) << r.gsa;
        EXPECT_EQ(t.badGps + t.badGln, "");
        EXPECT_EQ(LitCaptions(t.lit), "");
    }
}

TEST(SatellitesNmeaTexts, WithoutGsaNothingIsListed)
{
    NmeaAssembler nmea;
    FeedNmea(nmea, "GPGGA,120000,5545.0,N,03736.0,E,1,08,0.9,100.0,M,,M,,");
    const SatellitesTexts t = SatellitesFromNmea(nmea);
    EXPECT_EQ(t.gps + t.gln, "");
}

} // namespace
