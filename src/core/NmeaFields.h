#pragma once
// A sentence read field by field for the CONSOLE: each field's name, its
// value as sent and its unit, for the sentences receivers commonly send
// (GGA, RMC, GSA, GSV, VTG, GLL, ZDA, GST, GNS); any other sentence's fields
// are numbered. Nothing here decodes for the views: it only names the
// fields of the text shown, and the same sentence is read by the assembler.
#include <string>
#include <string_view>
#include <vector>

struct NmeaFieldRow {
    std::string name;
    std::string value;
    std::string unit;
};

// The rows of one sentence as received ("$GPGGA,...*hh" with or without its
// line end): the talker and type first, the checksum last when present.
// Empty for a text that does not start with "$".
std::vector<NmeaFieldRow> NmeaFieldRows(std::string_view sentence);
