#include "platform/posix/PosixLocale.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <time.h>

#include <chrono>

#include "TempEnvironment.h"
#include "platform/posix/LanguageIds.h"

using platform::posix::PosixLocale;
using platform::posix::windowsLanguageId;
using namespace std::chrono;

namespace {

struct LanguageCase {
  const char* locale;
  std::uint16_t id;
};

void PrintTo(const LanguageCase& c, std::ostream* out) { *out << '"' << c.locale << '"'; }

class LanguageIdTest : public testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageIdTest, MapsTheLocaleName) {
  EXPECT_EQ(windowsLanguageId(GetParam().locale), GetParam().id) << GetParam().locale;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LanguageIdTest,
    testing::Values(LanguageCase{"fr_FR.UTF-8", 0x040C}, LanguageCase{"fr_BE", 0x080C},
                    LanguageCase{"fr_CA.UTF-8", 0x0C0C}, LanguageCase{"fr_CH.utf8", 0x100C},
                    LanguageCase{"fr_LU", 0x140C}, LanguageCase{"fr_MC", 0x180C},
                    LanguageCase{"ar_DZ.UTF-8", 0x1401}, LanguageCase{"ar_MA", 0x1801},
                    LanguageCase{"ar_TN", 0x1C01}, LanguageCase{"fr", 0x040C},
                    LanguageCase{"fr_BF", 0x040C}, LanguageCase{"ar_SA", 0x0401},
                    LanguageCase{"en_US.UTF-8", 0x0409}, LanguageCase{"en_GB", 0x0809},
                    LanguageCase{"en_CA", 0x1009}, LanguageCase{"de_DE@euro", 0x0407},
                    LanguageCase{"de_IT", 0x0407}, LanguageCase{"sr_RS@latin", 0x241A},
                    LanguageCase{"sr_RS", 0x281A}, LanguageCase{"C", 0x0409},
                    LanguageCase{"C.UTF-8", 0x0409}, LanguageCase{"POSIX", 0x0409},
                    LanguageCase{"", 0x0409}, LanguageCase{"xx_YY", 0x0409}));

class PosixLocaleTest : public testing::Test {
 protected:
  // A locale the system has, or the test is skipped.
  static bool installed(const char* name) {
    locale_t probe = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (probe == static_cast<locale_t>(nullptr)) return false;
    freelocale(probe);
    return true;
  }

  void useTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

  TempEnvironment env;
};

TEST_F(PosixLocaleTest, LanguageComesFromTheFirstSetVariable) {
  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_MESSAGES", "fr_CA.UTF-8", 1);
  setenv("LC_ALL", "", 1);
  EXPECT_EQ(PosixLocale().systemLanguageId(), 0x0C0C);
  setenv("LC_ALL", "ar_MA", 1);
  EXPECT_EQ(PosixLocale().systemLanguageId(), 0x1801);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(PosixLocale().systemLanguageId(), 0x0407);
  unsetenv("LANG");
  EXPECT_EQ(PosixLocale().systemLanguageId(), 0x0409);
}

struct DateCase {
  const char* locale;
  const char* withTime;
  const char* dateOnly;
};

void PrintTo(const DateCase& c, std::ostream* out) { *out << c.locale; }

class PosixLocaleDates : public PosixLocaleTest, public testing::WithParamInterface<DateCase> {};

TEST_P(PosixLocaleDates, WritesTheRegionalFormatAndReadsItBack) {
  if (!installed(GetParam().locale)) GTEST_SKIP() << GetParam().locale << " is not installed";
  setenv("LANG", GetParam().locale, 1);
  useTimeZone("UTC0");
  PosixLocale locale;
  const platform::DateTime afternoon = sys_days{2024y / March / 9} + 14h + 5min + 7s;
  const platform::DateTime midnight = sys_days{2024y / March / 9};

  EXPECT_EQ(locale.formatDateTime(afternoon + 250ms), GetParam().withTime);
  EXPECT_EQ(locale.formatDateTime(midnight), GetParam().dateOnly);
  EXPECT_EQ(locale.parseDateTime(GetParam().withTime), afternoon);
  EXPECT_EQ(locale.parseDateTime(GetParam().dateOnly), midnight);
}

INSTANTIATE_TEST_SUITE_P(Locales, PosixLocaleDates,
                         testing::Values(DateCase{"C", "03/09/24 14:05:07", "03/09/24"},
                                         DateCase{"fr_FR.UTF-8", "09/03/2024 14:05:07", "09/03/2024"},
                                         DateCase{"de_DE.UTF-8", "09.03.2024 14:05:07", "09.03.2024"},
                                         DateCase{"en_US.UTF-8", "03/09/2024 02:05:07 PM", "03/09/2024"}));

TEST_F(PosixLocaleTest, TextThatDoesNotParseGivesNothing) {
  if (!installed("fr_FR.UTF-8")) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
  setenv("LC_TIME", "fr_FR.UTF-8", 1);
  useTimeZone("UTC0");
  PosixLocale locale;
  for (const char* text : {"", "hier", "09/03/2024 14:05", "09/03/2024 14:05:07 extra",
                           "09/03/2024x", "31/02/2024", "09/13/2024", "03/09/2024 02:05:07 PM"})
    EXPECT_EQ(locale.parseDateTime(text), std::nullopt) << text;
}

TEST_F(PosixLocaleTest, LocalTimeIsUsed) {
  if (!installed("fr_FR.UTF-8")) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
  setenv("LC_ALL", "fr_FR.UTF-8", 1);
  useTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
  PosixLocale locale;
  // 23:00 UTC is midnight in Paris in winter: a date with no time part.
  const platform::DateTime winterMidnight = sys_days{2024y / January / 14} + 23h;
  EXPECT_EQ(locale.formatDateTime(winterMidnight), "15/01/2024");
  EXPECT_EQ(locale.parseDateTime("15/01/2024"), winterMidnight);
  const platform::DateTime summer = sys_days{2024y / July / 1} + 10h;
  EXPECT_EQ(locale.formatDateTime(summer), "01/07/2024 12:00:00");
  EXPECT_EQ(locale.parseDateTime("01/07/2024 12:00:00"), summer);
}

TEST_F(PosixLocaleTest, MissingLocaleFallsBackToC) {
  setenv("LC_ALL", "zz_ZZ.UTF-8", 1);
  useTimeZone("UTC0");
  const char* before = setlocale(LC_TIME, nullptr);
  const std::string processLocale = before ? before : "";
  PosixLocale locale;
  EXPECT_EQ(locale.formatDateTime(sys_days{2001y / December / 31} + 1s), "12/31/01 00:00:01");
  EXPECT_EQ(setlocale(LC_TIME, nullptr), processLocale);
}

}  // namespace
