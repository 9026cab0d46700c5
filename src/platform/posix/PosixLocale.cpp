#include "platform/posix/PosixLocale.h"

#include <time.h>

#include <cstdlib>

#include "platform/posix/LanguageIds.h"

namespace platform::posix {

namespace {

std::string firstSetVariable(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return {};
}

std::string formatted(const char* format, const tm& fields, locale_t locale) {
  char text[256];
  const std::size_t length = strftime_l(text, sizeof text, format, &fields, locale);
  return std::string(text, length);
}

// Fields as parsed from the whole text with `format`, or nothing.
std::optional<tm> parsedWhole(const std::string& text, const char* format, locale_t locale) {
  tm fields{};
  const char* end = strptime_l(text.c_str(), format, &fields, locale);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return fields;
}

}  // namespace

PosixLocale::PosixLocale() {
  // "" takes the LC_TIME locale from the environment the way setlocale does.
  timeLocale_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (timeLocale_ == static_cast<locale_t>(nullptr))
    timeLocale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
}

PosixLocale::~PosixLocale() {
  if (timeLocale_ != static_cast<locale_t>(nullptr)) freelocale(timeLocale_);
}

std::uint16_t PosixLocale::systemLanguageId() {
  return windowsLanguageId(firstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"}));
}

std::string PosixLocale::formatDateTime(DateTime when) {
  const time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
  tm fields{};
  if (localtime_r(&seconds, &fields) == nullptr) return {};
  std::string text = formatted("%x", fields, timeLocale_);
  if (fields.tm_hour != 0 || fields.tm_min != 0 || fields.tm_sec != 0)
    text += " " + formatted("%X", fields, timeLocale_);
  return text;
}

std::optional<DateTime> PosixLocale::parseDateTime(const std::string& text) {
  std::optional<tm> fields = parsedWhole(text, "%x %X", timeLocale_);
  if (!fields) fields = parsedWhole(text, "%x", timeLocale_);
  if (!fields) return std::nullopt;

  tm normalised = *fields;
  normalised.tm_isdst = -1;
  const time_t seconds = mktime(&normalised);
  // mktime moves impossible dates (31 February) and times (in a daylight-saving gap) to real
  // ones; such text was not written by formatDateTime and does not count as a date.
  if (seconds == static_cast<time_t>(-1) || normalised.tm_year != fields->tm_year ||
      normalised.tm_mon != fields->tm_mon || normalised.tm_mday != fields->tm_mday ||
      normalised.tm_hour != fields->tm_hour || normalised.tm_min != fields->tm_min ||
      normalised.tm_sec != fields->tm_sec)
    return std::nullopt;
  return std::chrono::system_clock::from_time_t(seconds);
}

DateTime SystemClock::now() { return std::chrono::system_clock::now(); }

}  // namespace platform::posix
