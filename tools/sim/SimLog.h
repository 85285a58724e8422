#pragma once
// The --log files: every byte the simulated receiver received and sent, so a
// test can compare exactly what the program wrote and what it was given.
//   FILE     records in order: 'R' or 'S', 32-bit little-endian length, bytes
//   FILE.rx  the received bytes, raw
//   FILE.tx  the sent bytes, raw
#include "FileHandle.h"

#include <cstdint>
#include <cstdio>
#include <string>

class SimLog {
public:
    bool Open(const std::string& path, std::string& error);
    void Received(const uint8_t* data, size_t length) { Record('R', rx_.get(), data, length); }
    void Sent(const uint8_t* data, size_t length) { Record('S', tx_.get(), data, length); }
    void Close();

private:
    void Record(char direction, std::FILE* raw, const uint8_t* data, size_t length);

    FileHandle records_;
    FileHandle rx_;
    FileHandle tx_;
};
