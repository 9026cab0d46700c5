#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Clock.h"

namespace platform {

// The user's regional settings.
class Locale {
 public:
  virtual ~Locale() = default;

  // The system's default language as a Windows language identifier (0x040C French (France),
  // 0x0409 English (United States), ...).
  virtual std::uint16_t systemLanguageId() = 0;

  // Local date and time as text: the short date format, then, unless hours, minutes and
  // seconds are all zero, a space and the long time format.
  virtual std::string formatDateTime(DateTime when) = 0;
  // The reverse of formatDateTime under the same settings; nothing when the text does not parse.
  virtual std::optional<DateTime> parseDateTime(const std::string& text) = 0;
};

}  // namespace platform
