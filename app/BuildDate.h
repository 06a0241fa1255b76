// The build date the About box shows.
#pragma once

#include <ctime>
#include <string>

// The moment the program was built, in seconds since 1970-01-01 UTC.
constexpr std::time_t kBuildTime = 1097222986;

// The long date form of the C locale ("Friday, October 08, 2004") of a
// UTC breakdown: full weekday name, comma, full month name, two-digit day,
// comma, year.  Empty for a breakdown whose fields are out of range.  The
// names are always the English ones, whatever locale the process runs in.
std::string LongDate(const std::tm& utc);

// "Tapeloom Version 1.0  Built: " and the long date of `when` broken down
// as UTC (never local time); the date is empty if `when` cannot be broken
// down.
std::string VersionLine(std::time_t when = kBuildTime);
