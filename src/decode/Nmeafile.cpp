#include "Nmeafile.h"

// Placeholder until the synthesis lands.
bool OpenNmeaOutput(const char*) { return false; }
void CloseNmeaOutput() {}
bool NmeaOutputOpen() { return false; }
void WriteGga() {}
void WriteRmc() {}
void WriteGsa() {}
void WritePvktd() {}
void WriteGsv() {}

std::string SideFileName(const std::string& fileName)
{
    const auto dot = fileName.find('.');
    return (dot == std::string::npos ? std::string() : fileName.substr(0, dot + 1)) + "nme";
}
