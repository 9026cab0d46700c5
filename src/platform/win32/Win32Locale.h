#pragma once

#include "platform/Locale.h"

namespace platform::win32 {

// The system's default language and the user's short date and long time formats.
class Win32Locale : public Locale {
 public:
  std::uint16_t systemLanguageId() override;
  std::string formatDateTime(DateTime when) override;
  std::optional<DateTime> parseDateTime(const std::string& text) override;
};

}  // namespace platform::win32
