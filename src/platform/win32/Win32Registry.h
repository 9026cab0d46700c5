#pragma once

#include "platform/Registry.h"

namespace platform::win32 {

// HKEY_CURRENT_USER through the registry's ANSI calls. Text values are REG_SZ (REG_EXPAND_SZ
// reads as text too, unexpanded); numbers are REG_DWORD.
class Win32Registry : public Registry {
 public:
  std::unique_ptr<RegistryKey> openKey(const std::string& path, bool create) override;
};

}  // namespace platform::win32
