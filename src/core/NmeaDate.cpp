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

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2);
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
