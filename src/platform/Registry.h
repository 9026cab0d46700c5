#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/Exception.h"

namespace platform {

// A registry value could not be written. The text is the runtime's own:
// "Echec à la définition des données pour '<value name>'".
class ERegistryException : public Exception {
 public:
  explicit ERegistryException(const std::string& valueName);
};

// One opened key of HKEY_CURRENT_USER. Values are typed: text (REG_SZ) or a 32-bit number
// (REG_DWORD). Value names are compared without regard to case, as the registry does.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // The value's text, or nothing when the value is missing or not of a text type.
  virtual std::optional<std::string> readText(const std::string& name) = 0;
  // The value's number, or nothing when the value is missing or not a REG_DWORD.
  virtual std::optional<std::uint32_t> readDword(const std::string& name) = 0;

  // Both replace any earlier value of that name, whatever its type, and throw
  // ERegistryException when the value cannot be stored.
  virtual void writeText(const std::string& name, const std::string& value) = 0;
  virtual void writeDword(const std::string& name, std::uint32_t value) = 0;
};

// HKEY_CURRENT_USER. Key paths use backslashes ("SOFTWARE\\Verrelune") and are compared
// without regard to case.
class Registry {
 public:
  virtual ~Registry() = default;

  // The key, or nullptr when it does not exist (and `create` is false) or cannot be opened.
  virtual std::unique_ptr<RegistryKey> openKey(const std::string& path, bool create) = 0;
};

// Key paths the program uses.
inline constexpr const char* kCleProgramme = "SOFTWARE\\Verrelune";
inline constexpr const char* kCleDemarrage = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kCleDossiersShell =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr const char* kCleBureau = "Control Panel\\Desktop";

}  // namespace platform
