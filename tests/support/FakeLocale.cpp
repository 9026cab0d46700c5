#include "support/FakeLocale.h"

#include <chrono>
#include <cstdio>

namespace testsupport {

using namespace std::chrono;

std::string FakeLocale::formatDateTime(platform::DateTime when) {
  const auto day = floor<days>(when);
  const year_month_day ymd{day};
  const hh_mm_ss<seconds> time{floor<seconds>(when - day)};
  char text[40];
  std::snprintf(text, sizeof text, "%02u/%02u/%04d", unsigned(ymd.day()), unsigned(ymd.month()),
                int(ymd.year()));
  std::string result = text;
  if (time.to_duration().count() != 0) {
    std::snprintf(text, sizeof text, " %02d:%02d:%02d", int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    result += text;
  }
  return result;
}

std::optional<platform::DateTime> FakeLocale::parseDateTime(const std::string& text) {
  int d = 0, m = 0, y = 0, h = 0, mi = 0, s = 0, used = 0;
  if (std::sscanf(text.c_str(), "%2d/%2d/%4d%n", &d, &m, &y, &used) != 3) return std::nullopt;
  if (used != static_cast<int>(text.size())) {
    int more = 0;
    if (std::sscanf(text.c_str() + used, " %2d:%2d:%2d%n", &h, &mi, &s, &more) != 3 ||
        used + more != static_cast<int>(text.size()))
      return std::nullopt;
  }
  const year_month_day ymd{year{y}, month{unsigned(m)}, day{unsigned(d)}};
  if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return sys_days{ymd} + hours{h} + minutes{mi} + seconds{s};
}

}  // namespace testsupport
