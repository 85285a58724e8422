// The text routines on arbitrary numbers and texts: defined results, texts of
// bounded size, readings that agree with a plain reference; the text also as
// a bench.json (one target for both keeps the short fuzz pass short).
#include "BenchFolder.h"
#include "TerminalText.h"
#include "Util.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// Saturating decimal reading done the long way, for comparison.
int32_t ReferenceInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t(1) << 32);
    value = negative ? -value : value;
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The plain strtod reading of a decimal number, which the exact fast path
// of TextToReal must match bit for bit.
double ReferenceReal(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    const char* digits = text + (*text == '-' || *text == '+');
    const bool number = (digits[0] >= '0' && digits[0] <= '9') || (digits[0] == '.' && digits[1] >= '0' && digits[1] <= '9');
    if (!number || (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')))
        return 0;
    constexpr double kMax = std::numeric_limits<double>::max();
    return std::clamp(std::strtod(text, nullptr), -kMax, kMax);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kNumbers = 4 + 4 + 8 + 8;
    if (size >= kNumbers) {
        int32_t a, b;
        double x, y;
        std::memcpy(&a, data, 4);
        std::memcpy(&b, data + 4, 4);
        std::memcpy(&x, data + 8, 8);
        std::memcpy(&y, data + 16, 8);
        Check(TimeToText(a).size() <= 12);
        const std::string date = GpsDateToText(a, b);
        Check(date.size() == 8 && date[2] == '.' && date[5] == '.');
        Check(LatToText(x).size() <= 22);
        Check(LonToText(y).size() <= 22);
        // The printf-free number texts must equal printf's, digit for digit.
        const int decimals = int(uint32_t(a) % 10);
        Check(FixedText(x, decimals) == Format("%.*f", decimals, x));
        const int width = int(uint32_t(b) % 12);
        Check(PaddedFixedText(y, width, 1) == Format("%0*.*f", width, 1, y));
        Check(PaddedFixedText(y, width, 1, true) == Format("%+0*.*f", width, 1, y));
        static StatisticsAccumulator accumulator;
        if (data[0] & 1)
            accumulator = {};
        StatisticsOutput out;
        AccumulateStatistics(accumulator, x, y, double(a), double(b), out);
        data += kNumbers;
        size -= kNumbers;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(TextToInt(text.c_str()) == ReferenceInt(text.substr(0, std::strlen(text.c_str()))));
    const double real = TextToReal(text.c_str());
    const double reference = ReferenceReal(text.c_str());
    Check(std::isfinite(real) && std::memcmp(&real, &reference, sizeof real) == 0);
    // Safe for a terminal: no C0 control or DEL left, and nothing a second
    // pass would still replace (so no broken UTF-8 and no C1 control).
    const std::string shown = TerminalText(text);
    Check(std::none_of(shown.begin(), shown.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; }));
    Check(TerminalText(shown) == shown);
    // bench.json from disk: refused with a reason, or read into a manifest
    // that writes back to the same manifest.
    BenchManifest manifest;
    std::string problem;
    if (ParseBenchJson(text, &manifest, &problem)) {
        BenchManifest again;
        Check(ParseBenchJson(BenchJsonText(manifest), &again, &problem) && again == manifest);
    } else {
        Check(!problem.empty());
    }
    return 0;
}
