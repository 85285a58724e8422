#include "SimLog.h"

#include <cerrno>
#include <cstring>

bool SimLog::Open(const std::string& path, std::string& error)
{
    records_ = OpenFile(path.c_str(), "wb");
    rx_ = OpenFile((path + ".rx").c_str(), "wb");
    tx_ = OpenFile((path + ".tx").c_str(), "wb");
    if (records_ && rx_ && tx_)
        return true;
    error = "cannot create the log " + path + ": " + std::strerror(errno);
    Close();
    return false;
}

void SimLog::Record(char direction, std::FILE* raw, const uint8_t* data, size_t length)
{
    if (!records_ || length == 0)
        return;
    const uint32_t n = uint32_t(length);
    const uint8_t header[5] = {uint8_t(direction), uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16),
                               uint8_t(n >> 24)};
    std::fwrite(header, 1, sizeof header, records_.get());
    std::fwrite(data, 1, length, records_.get());
    std::fwrite(data, 1, length, raw);
    // A test reads the log while the simulator still runs.
    std::fflush(records_.get());
    std::fflush(raw);
}

void SimLog::Close()
{
    records_.reset();
    rx_.reset();
    tx_.reset();
}
