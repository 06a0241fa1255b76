// The version line of the About box: the same text in every time zone and
// locale, from the fixed build time.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "BuildDate.h"
#include "testsupport/scopedenv.h"

namespace {

// Sets TZ (and LANG / LC_ALL) for one test and puts them back after it.
class Environment {
public:
    Environment(const char* tz, const char* lang)
        : m_tz(std::in_place, "TZ", tz),
          m_lang(std::in_place, "LANG", lang),
          m_all(std::in_place, "LC_ALL", lang) {
        tzset();
        // The display sets the C library's locale from the environment;
        // do the same (it fails quietly where the locale is not installed).
        std::setlocale(LC_ALL, "");
    }
    ~Environment() {
        m_all.reset();
        m_lang.reset();
        m_tz.reset();
        tzset();
        std::setlocale(LC_ALL, "C");
    }

private:
    std::optional<testsupport::ScopedEnv> m_tz, m_lang, m_all;
};

const char* const kExpected = "Tapeloom Version 1.0  Built: Friday, October 08, 2004";

TEST(VersionLine, SameInEveryTimeZoneAndLocale) {
    // Kiritimati is 14 hours ahead of UTC, Pago Pago 11 behind (the local
    // date there is Thursday the 7th).
    for (const char* tz : {"Pacific/Kiritimati", "Pacific/Pago_Pago", "UTC"}) {
        for (const char* lang : {"de_DE", "de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
            Environment env(tz, lang);
            EXPECT_EQ(VersionLine(), kExpected) << tz << " " << lang;
        }
    }
}

TEST(VersionLine, LongDateForm) {
    auto date = [](std::time_t when) {
        std::tm utc = *std::gmtime(&when);
        return LongDate(utc);
    };
    EXPECT_EQ(date(0), "Thursday, January 01, 1970");
    EXPECT_EQ(date(951782400), "Tuesday, February 29, 2000");
    EXPECT_EQ(date(1704067199), "Sunday, December 31, 2023");
}

TEST(VersionLine, DateEmptyWhenTheTimeCannotBeBrokenDown) {
    // A year beyond what a breakdown can hold.
    EXPECT_EQ(VersionLine(std::numeric_limits<std::time_t>::max()),
              "Tapeloom Version 1.0  Built: ");
    std::tm bad{};
    bad.tm_mday = 8;
    bad.tm_mon = 12;
    EXPECT_EQ(LongDate(bad), "");
}

}  // namespace
