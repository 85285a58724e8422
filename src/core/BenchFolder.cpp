#include "BenchFolder.h"

std::string BenchFolderName(int64_t, const std::string&) { return {}; }
std::string BenchSafeName(const std::string& name) { return name; }
std::string BenchFileName(const BenchSourceSpec& source) { return source.name + (source.binr ? ".dat" : ".nme"); }
std::string BenchDefaultName(const std::string& address) { return address; }
std::string BenchJsonText(const BenchManifest&) { return {}; }
bool ParseBenchJson(const std::string&, BenchManifest*, std::string* problem)
{
    if (problem)
        *problem = "not built yet";
    return false;
}
