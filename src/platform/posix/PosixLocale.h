#pragma once

#include <locale.h>

#include "platform/Clock.h"
#include "platform/Locale.h"

namespace platform::posix {

// The user's regional settings from the environment. Dates use the LC_TIME locale of the
// environment (LC_ALL, LC_TIME, LANG) through a locale object of its own, so the process-wide
// locale is never changed; a locale that is not installed falls back to "C". Times are local.
class PosixLocale : public Locale {
 public:
  PosixLocale();
  ~PosixLocale() override;
  PosixLocale(const PosixLocale&) = delete;
  PosixLocale& operator=(const PosixLocale&) = delete;

  // From LC_ALL, else LC_MESSAGES, else LANG (the first that is set and not empty).
  std::uint16_t systemLanguageId() override;
  // The short date ("%x"), then, unless the local time is 00:00:00, a space and the long
  // time ("%X").
  std::string formatDateTime(DateTime when) override;
  // The exact reverse; nothing for text that does not parse or parses only in part. Whole
  // seconds only, as formatDateTime writes them.
  std::optional<DateTime> parseDateTime(const std::string& text) override;

 private:
  locale_t timeLocale_;
};

// The real wall clock.
class SystemClock : public Clock {
 public:
  DateTime now() override;
};

}  // namespace platform::posix
