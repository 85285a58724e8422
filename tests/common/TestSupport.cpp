#include "TestSupport.h"

#include "EpochIndex.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::string SourceDir() { return KESTROVA_SOURCE_DIR; }

std::string SharedNmeaDir()
{
    const fs::path dir = fs::path(KESTROVA_SOURCE_DIR) / ".." / "shared" / "testdata" / "nmea";
    std::error_code ec;
    return fs::is_directory(dir, ec) ? fs::canonical(dir, ec).string() : std::string();
}

std::vector<std::string> SharedNmeaFiles()
{
    std::vector<std::string> files;
    const std::string dir = SharedNmeaDir();
    if (dir.empty())
        return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".log")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadBinaryFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::string NmeaEpochs(const std::vector<int64_t>& times)
{
    std::string text;
    for (const int64_t t : times) {
        char field[16] = "";
        if (t != kNoTime)
            std::snprintf(field, sizeof field, "%02d%02d%02d.%03d", int(t / 3600000), int(t / 60000 % 60),
                          int(t / 1000 % 60), int(t % 1000));
        text += std::string("$GPGGA,") + field + ",0*\n$GPGSA,A*\n";
    }
    return text;
}
