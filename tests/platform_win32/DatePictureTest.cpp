#include "platform/win32/DatePicture.h"

#include <gtest/gtest.h>

namespace {

using platform::win32::Designators;
using platform::win32::LocalTime;
using platform::win32::ParseWithPictures;

struct CasDate {
  const char* texte;
  const char* date;
  const char* heure;
  std::optional<LocalTime> attendu;
};

bool operator==(const LocalTime& a, const LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

void PrintTo(const CasDate& c, std::ostream* os) { *os << c.texte << " | " << c.date << " " << c.heure; }

class LectureDate : public ::testing::TestWithParam<CasDate> {};

TEST_P(LectureDate, ReadsBackWhatTheRegionalFormatsWrite) {
  const CasDate& c = GetParam();
  const auto lu = ParseWithPictures(c.texte, c.date, c.heure, Designators{"AM", "PM"});
  ASSERT_EQ(lu.has_value(), c.attendu.has_value());
  if (lu) {
    EXPECT_TRUE(*lu == *c.attendu);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LectureDate,
    ::testing::Values(
        CasDate{"08/12/2026 07:40:44", "dd/MM/yyyy", "HH:mm:ss", LocalTime{2026, 12, 8, 7, 40, 44}},
        CasDate{"12/8/2026 7:40:44 AM", "M/d/yyyy", "h:mm:ss tt", LocalTime{2026, 12, 8, 7, 40, 44}},
        CasDate{"12/8/2026 7:40:44 PM", "M/d/yyyy", "h:mm:ss tt", LocalTime{2026, 12, 8, 19, 40, 44}},
        CasDate{"12/8/2026 12:05:00 AM", "M/d/yyyy", "h:mm:ss tt", LocalTime{2026, 12, 8, 0, 5, 0}},
        // Midnight is written without its time.
        CasDate{"08.12.26", "dd.MM.yy", "HH:mm:ss", LocalTime{2026, 12, 8, 0, 0, 0}},
        CasDate{"2026-12-08 23:59:59", "yyyy'-'MM'-'dd", "HH':'mm':'ss", LocalTime{2026, 12, 8, 23, 59, 59}},
        CasDate{"29/02/2024", "dd/MM/yyyy", "HH:mm:ss", LocalTime{2024, 2, 29, 0, 0, 0}},
        // Written under other regional settings, or damaged: not a date.
        CasDate{"29/02/2026", "dd/MM/yyyy", "HH:mm:ss", std::nullopt},
        CasDate{"12/31/2026", "dd/MM/yyyy", "HH:mm:ss", std::nullopt},
        CasDate{"08/12/2026 25:00:00", "dd/MM/yyyy", "HH:mm:ss", std::nullopt},
        CasDate{"08/12/2026 07:40:44 extra", "dd/MM/yyyy", "HH:mm:ss", std::nullopt},
        CasDate{"8 déc. 2026", "d MMM yyyy", "HH:mm:ss", std::nullopt},
        CasDate{"", "dd/MM/yyyy", "HH:mm:ss", std::nullopt}));

}  // namespace
