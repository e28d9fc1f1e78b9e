#include "addin/v8_date.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace quorvane {

namespace {

// Days from 1 January of year 0 (proleptic Gregorian) to the given date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& AYear, int& AMonth, int& ADay) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    ADay = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    AMonth = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    AYear = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (AMonth <= 2));
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

bool IsValidDateTime(const TDateTimeParts& p) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1) return false;
    int days = kDays[p.Month - 1] + (p.Month == 2 && IsLeap(p.Year) ? 1 : 0);
    if (p.Day > days) return false;
    return p.Hour >= 0 && p.Hour < 24 && p.Minute >= 0 && p.Minute < 60 && p.Second >= 0 && p.Second < 60 &&
           p.Millisecond >= 0 && p.Millisecond < 1000;
}

double EncodeDateTime(const TDateTimeParts& p) {
    if (!IsValidDateTime(p)) throw std::invalid_argument("Invalid date or time");
    double days = static_cast<double>(
        DaysFromCivil(p.Year, static_cast<unsigned>(p.Month), static_cast<unsigned>(p.Day)) - kEpoch);
    double time = (((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond) / 86400000.0;
    // Before the epoch the fraction still counts forward from midnight of that day.
    return days < 0 ? days - time : days + time;
}

TDateTimeParts DecodeDateTime(double ADate) {
    TDateTimeParts parts;
    if (!std::isfinite(ADate) || std::fabs(ADate) > 3.0e6) return parts;
    double whole = std::trunc(ADate);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(ADate - whole) * 86400000.0));
    auto days = static_cast<std::int64_t>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += ADate < 0 ? -1 : 1;
    }
    CivilFromDays(days + kEpoch, parts.Year, parts.Month, parts.Day);
    parts.Millisecond = static_cast<int>(ms % 1000);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.Minute = static_cast<int>(ms / 60000 % 60);
    parts.Hour = static_cast<int>(ms / 3600000);
    return parts;
}

}  // namespace quorvane
