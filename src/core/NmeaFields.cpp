#include "NmeaFields.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct FieldName {
    const char* name;
    const char* unit;
};

struct SentenceLayout {
    const char* type;
    std::vector<FieldName> fields;   // after the address
    // GSV: the fields from here on repeat in groups of repeatSize (per satellite).
    size_t repeatFrom = 0;
    size_t repeatSize = 0;
};

// $GPGGA,081836,3751.65,S,14507.36,E,1,05,1.5,280.2,M,-34.0,M,,*75
const std::vector<SentenceLayout>& Layouts()
{
    static const std::vector<SentenceLayout> layouts = {
        {"GGA",
         {{"UTC time", "hhmmss.ss"}, {"latitude", "ddmm.mmmm"}, {"N/S", ""}, {"longitude", "dddmm.mmmm"},
          {"E/W", ""}, {"quality", "0 none, 1 GPS, 2 DGPS, 4 RTK fixed, 5 RTK float"}, {"satellites used", ""},
          {"HDOP", ""}, {"altitude", ""}, {"altitude unit", "M: metres"}, {"geoid separation", ""},
          {"separation unit", "M: metres"}, {"age of differential", "s"}, {"reference station", ""}}},
        {"RMC",
         {{"UTC time", "hhmmss.ss"}, {"status", "A valid, V not valid"}, {"latitude", "ddmm.mmmm"}, {"N/S", ""},
          {"longitude", "dddmm.mmmm"}, {"E/W", ""}, {"speed", "knots"}, {"course", "degrees true"},
          {"date", "ddmmyy"}, {"magnetic variation", "degrees"}, {"variation E/W", ""},
          {"mode", "A autonomous, D differential, N none"}, {"navigational status", ""}}},
        {"GSA",
         {{"mode", "M manual, A automatic"}, {"fix", "1 none, 2 2D, 3 3D"}, {"satellite 1", "ID"},
          {"satellite 2", "ID"}, {"satellite 3", "ID"}, {"satellite 4", "ID"}, {"satellite 5", "ID"},
          {"satellite 6", "ID"}, {"satellite 7", "ID"}, {"satellite 8", "ID"}, {"satellite 9", "ID"},
          {"satellite 10", "ID"}, {"satellite 11", "ID"}, {"satellite 12", "ID"}, {"PDOP", ""}, {"HDOP", ""},
          {"VDOP", ""}, {"system ID", "1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou"}}},
        {"GSV",
         {{"sentences", ""}, {"sentence", ""}, {"satellites in view", ""}, {"satellite", "ID"},
          {"elevation", "degrees"}, {"azimuth", "degrees true"}, {"C/N0", "dB-Hz"}},
         3, 4},
        {"VTG",
         {{"course", "degrees true"}, {"T", ""}, {"course", "degrees magnetic"}, {"M", ""}, {"speed", "knots"},
          {"N", ""}, {"speed", "km/h"}, {"K", ""}, {"mode", "A autonomous, D differential, N none"}}},
        {"GLL",
         {{"latitude", "ddmm.mmmm"}, {"N/S", ""}, {"longitude", "dddmm.mmmm"}, {"E/W", ""},
          {"UTC time", "hhmmss.ss"}, {"status", "A valid, V not valid"},
          {"mode", "A autonomous, D differential, N none"}}},
        {"ZDA",
         {{"UTC time", "hhmmss.ss"}, {"day", ""}, {"month", ""}, {"year", ""}, {"zone hours", "h"},
          {"zone minutes", "min"}}},
        {"GST",
         {{"UTC time", "hhmmss.ss"}, {"RMS of ranges", "m"}, {"ellipse major", "m"}, {"ellipse minor", "m"},
          {"ellipse orientation", "degrees true"}, {"latitude error", "m"}, {"longitude error", "m"},
          {"altitude error", "m"}}},
        {"GNS",
         {{"UTC time", "hhmmss.ss"}, {"latitude", "ddmm.mmmm"}, {"N/S", ""}, {"longitude", "dddmm.mmmm"},
          {"E/W", ""}, {"modes", "per system: N none, A autonomous, D differential, R RTK fixed, F RTK float"},
          {"satellites used", ""}, {"HDOP", ""}, {"altitude", "m"}, {"geoid separation", "m"},
          {"age of differential", "s"}, {"reference station", ""}, {"navigational status", ""}}},
    };
    return layouts;
}

constexpr size_t kTalkerLength = 2;
constexpr size_t kChecksumDigits = 2;

} // namespace

std::vector<NmeaFieldRow> NmeaFieldRows(std::string_view sentence)
{
    std::vector<NmeaFieldRow> rows;
    if (sentence.empty() || sentence[0] != '$')
        return rows;
    std::string_view body = sentence.substr(1);
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.remove_suffix(1);
    std::string_view checksum;
    if (const size_t star = body.rfind('*'); star != std::string_view::npos) {
        checksum = body.substr(star + 1, kChecksumDigits);
        body = body.substr(0, star);
    }
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t comma = body.find(',', start);
        fields.push_back(body.substr(start, comma == std::string_view::npos ? body.npos : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    const std::string_view address = fields[0];
    const bool proprietary = !address.empty() && address[0] == 'P';
    const std::string_view type = proprietary || address.size() <= kTalkerLength ? address : address.substr(kTalkerLength);
    if (!proprietary && address.size() > kTalkerLength)
        rows.push_back({"talker", std::string(address.substr(0, kTalkerLength)), "GP GPS, GL GLONASS, GN several"});
    rows.push_back({"type", std::string(type), ""});
    const auto layout = std::find_if(Layouts().begin(), Layouts().end(),
                                     [&](const SentenceLayout& l) { return type == l.type; });
    for (size_t i = 1; i < fields.size(); ++i) {
        NmeaFieldRow row{"field " + std::to_string(i), std::string(fields[i]), ""};
        if (layout != Layouts().end()) {
            size_t k = i - 1;
            std::string suffix;
            if (layout->repeatSize > 0 && k >= layout->repeatFrom) {
                const size_t group = (k - layout->repeatFrom) / layout->repeatSize;
                k = layout->repeatFrom + (k - layout->repeatFrom) % layout->repeatSize;
                suffix = " " + std::to_string(group + 1);
            }
            if (k < layout->fields.size()) {
                row.name = layout->fields[k].name + suffix;
                row.unit = layout->fields[k].unit;
            }
        }
        rows.push_back(std::move(row));
    }
    if (!checksum.empty())
        rows.push_back({"checksum", std::string(checksum), "hex"});
    return rows;
}
