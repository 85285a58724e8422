#pragma once
// The simulated receiver's NMEA side: one epoch as the sentences a GPS/GLONASS
// receiver sends, each with its checksum and CR LF.
#include "NmeaChecksum.h"
#include "Scenario.h"

#include <string>

// RMC, GSA, one GSV cycle carrying both systems, PVKTD and GGA. GGA comes
// last because the program refreshes its views on GGA and reads the other
// sentences kept by then: this way every refresh shows one epoch.
std::string NmeaEpoch(const Epoch& e);

// The sentence fields the epoch is made of, for tests and for the demo.
std::string GgaBody(const Epoch& e);
std::string RmcBody(const Epoch& e);
std::string GsaBody(const Epoch& e);
std::string PvktdBody(const Epoch& e);
