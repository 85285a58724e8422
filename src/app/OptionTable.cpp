#include "OptionTable.h"

#include "WeekRollover.h"

#include <charconv>
#include <cmath>

namespace {

// Where the help starts in each mode's usage, after two spaces and the name.
size_t HelpColumn(OptionMode mode) { return mode == OptionMode::Program ? 22 : 27; }

} // namespace

bool IsOption(OptionMode mode, const std::string& a)
{
    if (mode == OptionMode::Program)
        return a.compare(0, 2, "--") == 0;
    return a.size() > 1 && a[0] == '-';
}

std::string OptionHelpLine(OptionMode mode, const char* name, const char* value, const char* shown, const char* help)
{
    const size_t column = HelpColumn(mode);
    std::string line = "  ";
    if (shown)
        line += shown;
    else
        line += value ? std::string(name) + " " + value : std::string(name);
    // A name too long for the column stands on a line of its own.
    if (line.size() + 2 <= column)
        line.resize(column, ' ');
    else
        line += "\n" + std::string(column, ' ');
    for (const char* h = help; *h; ++h) {
        line += *h;
        if (*h == '\n')
            line += std::string(column, ' ');
    }
    return line + "\n";
}

std::optional<double> OptionNumber(const std::string& text)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<BenchReference> ParseReferenceDegrees(const std::string& text)
{
    const size_t a = text.find(',');
    const size_t b = a == std::string::npos ? a : text.find(',', a + 1);
    if (b == std::string::npos || text.find(',', b + 1) != std::string::npos)
        return std::nullopt;
    const auto lat = OptionNumber(text.substr(0, a));
    const auto lon = OptionNumber(text.substr(a + 1, b - a - 1));
    const auto h = OptionNumber(text.substr(b + 1));
    if (!lat || !lon || !h || std::fabs(*lat) > 90 || std::fabs(*lon) > 180)
        return std::nullopt;
    return BenchReference{*lat, *lon, *h};
}

std::string WeekRolloversFault()
{
    return "--week-rollovers takes a count from " + std::to_string(kMinWeekRollovers) + " to " +
           std::to_string(kMaxWeekRollovers);
}
