#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <vector>

namespace platform::win32 {

namespace {

class Win32Key : public RegistryKey {
 public:
  explicit Win32Key(HKEY key) : key_(key) {}
  ~Win32Key() override { RegCloseKey(key_); }
  Win32Key(const Win32Key&) = delete;
  Win32Key& operator=(const Win32Key&) = delete;

  std::optional<std::string> readText(const std::string& name) override {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return std::nullopt;
    // The value may change between the two calls: read until the buffer was large enough.
    std::vector<char> buffer;
    LONG result;
    do {
      buffer.resize(size + 1);
      size = static_cast<DWORD>(buffer.size());
      result = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(buffer.data()), &size);
    } while (result == ERROR_MORE_DATA);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    // The stored text may or may not carry its terminating zero; it ends at the first one.
    std::string text(buffer.data(), std::min<std::size_t>(size, buffer.size()));
    if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    return text;
  }

  std::optional<std::uint32_t> readDword(const std::string& name) override {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
      return std::nullopt;
    return value;
  }

  void writeText(const std::string& name, const std::string& value) override {
    if (RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
      throw ERegistryException(name);
  }

  void writeDword(const std::string& name, std::uint32_t value) override {
    const DWORD stored = value;
    if (RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                       sizeof(stored)) != ERROR_SUCCESS)
      throw ERegistryException(name);
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::openKey(const std::string& path, bool create) {
  HKEY key = nullptr;
  const REGSAM access = KEY_READ | KEY_WRITE;
  const LONG result =
      create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               access, nullptr, &key, nullptr)
             : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key);
  if (result != ERROR_SUCCESS) return nullptr;
  return std::make_unique<Win32Key>(key);
}

}  // namespace platform::win32
