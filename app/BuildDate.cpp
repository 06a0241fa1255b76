#include "BuildDate.h"

#include <cstdio>

namespace {

const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};

}  // namespace

std::string LongDate(const std::tm& utc) {
    if (utc.tm_wday < 0 || utc.tm_wday > 6 || utc.tm_mon < 0 || utc.tm_mon > 11 ||
        utc.tm_mday < 1 || utc.tm_mday > 31)
        return "";
    // Built by hand rather than with strftime: the C library's long date
    // follows the process's locale, which the display sets from the
    // environment.
    char buffer[100] = {};
    std::snprintf(buffer, sizeof buffer, "%s, %s %02d, %d", kWeekdays[utc.tm_wday],
                  kMonths[utc.tm_mon], utc.tm_mday, utc.tm_year + 1900);
    return buffer;
}

std::string VersionLine(std::time_t when) {
    std::string line = "Tapeloom Version 1.0";
    line += "  Built: ";
    // gmtime's result is shared by the whole process; copy it at once.
    if (const std::tm* utc = std::gmtime(&when)) {
        const std::tm copy = *utc;
        line += LongDate(copy);
    }
    return line;
}
