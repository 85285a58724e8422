#pragma once
// NMEA synthesis from BINR: while a BINR stream is recorded or played, every
// navigation solution (0x88) appends GGA, RMC, GSA and PVKTD sentences and
// every satellites-in-view message (0x52) a GSV group to a side file.
#include <string>

class BinrDecoder;

bool OpenNmeaOutput(const char* fileName);
void CloseNmeaOutput();
bool NmeaOutputOpen();

// The generators read the program-wide BinrDecoder and write nothing while no
// output is open.
void WriteGga();
void WriteRmc();
void WriteGsa();
void WritePvktd();
void WriteGsv();

// Side-file name for a record or playback file: the name up to and including
// its first full stop, then "nme" (rgfile.dat gives rgfile.nme).
std::string SideFileName(const std::string& fileName);
