#include "BenchManifestCheck.h"

#include <cmath>
#include <set>

namespace {

// The reader refuses a NUL in a text (\u0000), so the rule does too.
std::string TextProblem(const std::string& what, const std::string& text, bool required)
{
    if (required && text.empty())
        return what + " is empty";
    if (text.size() > kBenchTextMax)
        return what + " is longer than " + std::to_string(kBenchTextMax) + " bytes";
    if (text.find('\0') != std::string::npos)
        return what + " holds a NUL character";
    return {};
}

std::string ReferenceProblem(const BenchReference& r)
{
    if (!std::isfinite(r.latDeg) || std::fabs(r.latDeg) > 90)
        return "the reference latitude is not within ±90°";
    if (!std::isfinite(r.lonDeg) || std::fabs(r.lonDeg) > 180)
        return "the reference longitude is not within ±180°";
    if (!std::isfinite(r.heightM) || std::fabs(r.heightM) > kBenchHeightMaxM)
        return "the reference height is not within ±" + std::to_string(int64_t(kBenchHeightMaxM)) + " m";
    return {};
}

std::string SourceProblem(const BenchSourceSetup& s, size_t index)
{
    const std::string which = "source " + std::to_string(index + 1) + "'s ";
    if (s.name.empty() || s.name.size() > kBenchSafeNameMax || BenchSafeName(s.name) != s.name)
        return which + "name is not a file name of 1 to " + std::to_string(kBenchSafeNameMax) +
               " letters, digits, '-' and '_'";
    if (std::string why = TextProblem(which + "address", s.address, true); !why.empty())
        return why;
    if (s.baud < 0 || s.baud > kBenchBaudMax)
        return which + "line rate is out of range";
    return {};
}

} // namespace

std::string BenchManifestProblem(const BenchManifest& m)
{
    if (std::string why = TextProblem("the title", m.title, false); !why.empty())
        return why;
    if (std::string why = TextProblem("the program's text", m.program, false); !why.empty())
        return why;
    if (m.startUnixMs < 0 || m.startUnixMs > kBenchLatestMs)
        return "the start is not between 1970 and 9999";
    if (m.reference)
        if (std::string why = ReferenceProblem(*m.reference); !why.empty())
            return why;
    if (m.sources.empty())
        return "there is no source";
    if (m.sources.size() > size_t(kBenchMaxSources))
        return "there are more than " + std::to_string(kBenchMaxSources) + " sources";
    std::set<std::string> names;
    for (size_t i = 0; i < m.sources.size(); ++i) {
        if (std::string why = SourceProblem(m.sources[i], i); !why.empty())
            return why;
        if (!names.insert(m.sources[i].name).second)
            return "the name \"" + m.sources[i].name + "\" is given twice";
    }
    return {};
}

BenchManifest MakeBenchManifest(const std::string& title, int64_t startUnixMs,
                                const std::optional<BenchReference>& reference, std::vector<BenchSourceSetup> sources,
                                const std::string& program)
{
    MakeSourceNamesSafe(sources);
    return {title, startUnixMs, reference, std::move(sources), program};
}

void MakeSourceNamesSafe(std::vector<BenchSourceSetup>& sources)
{
    std::vector<std::string> names;
    for (const BenchSourceSetup& s : sources)
        names.push_back(s.name);
    const std::vector<std::string> safe = BenchSafeNames(names);
    for (size_t i = 0; i < sources.size(); ++i)
        sources[i].name = safe[i];
}
