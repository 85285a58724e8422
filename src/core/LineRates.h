#pragma once
// The nine line rates of the serial link and their termios codes, shared by
// the port, the receiver simulator and the tests that check line settings.
#include <termios.h>

struct LineRate {
    int baud;
    speed_t code;
};

constexpr LineRate kLineRates[] = {{4800, B4800},     {9600, B9600},     {19200, B19200},
                                   {38400, B38400},   {57600, B57600},   {115200, B115200},
                                   {230400, B230400}, {460800, B460800}, {921600, B921600}};

inline bool IsLineRate(long baud)
{
    for (const LineRate& r : kLineRates)
        if (r.baud == baud)
            return true;
    return false;
}

// B0 for a rate that is not one of the nine.
inline speed_t SpeedCode(int baud)
{
    for (const LineRate& r : kLineRates)
        if (r.baud == baud)
            return r.code;
    return B0;
}

// 0 for a code that is not one of the nine.
inline int BaudOf(speed_t code)
{
    for (const LineRate& r : kLineRates)
        if (r.code == code)
            return r.baud;
    return 0;
}
