// The CONSOLE's reading of a sentence field by field: names and units of
// the common sentences, repeated GSV groups, numbered fields of others.
#include "NmeaFields.h"

#include "NmeaChecksum.h"

#include <gtest/gtest.h>

TEST(NmeaFields, NamesValuesAndUnitsOfEachSentence)
{
    const std::string ggaText = NmeaSentence("GPGGA,081836,3751.65,S,14507.36,E,1,05,1.5,280.2,M,-34.0,M,,");
    const std::vector<NmeaFieldRow> gga = NmeaFieldRows(ggaText);
    const std::string checksum = ggaText.substr(ggaText.find('*') + 1, 2);
    struct Row {
        std::vector<NmeaFieldRow> rows;
        size_t at;
        const char* name;
        const char* value;
        const char* unit;
    };
    const Row rows[] = {
        {gga, 0, "talker", "GP", "GP GPS, GL GLONASS, GN several"},
        {gga, 1, "type", "GGA", ""},
        {gga, 2, "UTC time", "081836", "hhmmss.ss"},
        {gga, 9, "HDOP", "1.5", ""},
        {gga, 15, "reference station", "", ""},
        {gga, 16, "checksum", checksum.c_str(), "hex"},
        {NmeaFieldRows("$GLGSV,2,1,08,65,40,100,44,66,10,200,*00\r\n"), 12, "C/N0 2", "", "dB-Hz"},
        {NmeaFieldRows("$GLGSV,2,1,08,65,40,100,44,66,10,200,*00\r\n"), 6, "elevation 1", "40", "degrees"},
        {NmeaFieldRows("$GNRMC,1,A,,,,,0.5,,010124,,,D\n"), 8, "speed", "0.5", "knots"},
        {NmeaFieldRows("$PVKTD,A,2.4*00"), 0, "type", "PVKTD", ""},
        {NmeaFieldRows("$PVKTD,A,2.4*00"), 2, "field 2", "2.4", ""},
    };
    for (const Row& r : rows) {
        ASSERT_LT(r.at, r.rows.size()) << r.name;
        EXPECT_EQ(r.rows[r.at].name, r.name);
        EXPECT_EQ(r.rows[r.at].value, r.value) << r.name;
        EXPECT_EQ(r.rows[r.at].unit, r.unit) << r.name;
    }
    EXPECT_TRUE(NmeaFieldRows("GPGGA,1").empty());
    EXPECT_EQ(NmeaFieldRows("$").size(), 1u);   // an empty type, nothing else
}
