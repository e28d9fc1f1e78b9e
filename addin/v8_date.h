#pragma once

namespace quorvane {

// The platform's date: days since 30 December 1899, the fraction is the time of day.
struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Throws std::invalid_argument for an impossible date or time.
double EncodeDateTime(const TDateTimeParts& AParts);
bool IsValidDateTime(const TDateTimeParts& AParts);
// Milliseconds are rounded to the nearest; a non-finite value gives the zero date.
TDateTimeParts DecodeDateTime(double ADate);

}  // namespace quorvane
