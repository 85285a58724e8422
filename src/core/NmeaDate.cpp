#include "NmeaDate.h"

int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t RmcDateDay(const char* text)
{
    for (int i = 0; i < 6; ++i)
        if (text[i] < '0' || text[i] > '9')
            return -1;
    if (text[6] != '\0')
        return -1;
    auto twoDigits = [text](int at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    const int d = twoDigits(0), m = twoDigits(2), y = twoDigits(4);
    if (d < 1 || d > 31 || m < 1 || m > 12)
        return -1;
    return DaysFromCivil(RmcYear(y), m, d);
}
