#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Locale.h"

namespace testsupport {

// Regional settings of a French user in UTC: "dd/mm/yyyy" and "hh:mm:ss".
class FakeLocale : public platform::Locale {
 public:
  explicit FakeLocale(std::uint16_t languageId = 0x040C) : languageId_(languageId) {}

  std::uint16_t systemLanguageId() override { return languageId_; }
  std::string formatDateTime(platform::DateTime when) override;
  std::optional<platform::DateTime> parseDateTime(const std::string& text) override;

  void setLanguageId(std::uint16_t id) { languageId_ = id; }

 private:
  std::uint16_t languageId_;
};

}  // namespace testsupport
