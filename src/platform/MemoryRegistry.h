#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform {

// One stored registry value as it sits in the store, with its type.
struct RegistryValue {
  enum class Type { Text, Dword };
  Type type = Type::Text;
  std::string text;
  std::uint32_t dword = 0;

  static RegistryValue ofText(std::string value) { return {Type::Text, std::move(value), 0}; }
  static RegistryValue ofDword(std::uint32_t value) { return {Type::Dword, {}, value}; }
  bool operator==(const RegistryValue&) const = default;
};

// HKEY_CURRENT_USER held in memory. Key paths and value names are compared without regard to
// ASCII case; a value keeps the spelling of its name as first written. Opened keys share the
// store, so a key stays usable even after the MemoryRegistry itself is gone.
//
// It also serves as the registry of tests: a key path can be made unopenable, writes can be
// made to fail (they then throw ERegistryException and change nothing), and values can be
// inspected or planted directly, including values of the wrong type.
class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();

  std::unique_ptr<RegistryKey> openKey(const std::string& path, bool create) override;

  // openKey of this path returns nullptr, whether the key exists or not.
  void setUnopenable(const std::string& path, bool unopenable = true);
  // Every value write throws ERegistryException and leaves the store as it was.
  void setWritesFail(bool fail = true);

  bool hasKey(const std::string& path) const;
  // Creates the key when it is missing; bypasses both switches.
  void createKey(const std::string& path);
  std::optional<RegistryValue> value(const std::string& path, const std::string& name) const;
  // The value's name as first written, or nothing when it is missing.
  std::optional<std::string> storedName(const std::string& path, const std::string& name) const;
  std::vector<std::string> valueNames(const std::string& path) const;
  // Plants a value (creating the key), bypassing both switches.
  void put(const std::string& path, const std::string& name, RegistryValue value);
  void remove(const std::string& path, const std::string& name);

  // Number of successful value writes through opened keys, for tests that check that nothing
  // was written.
  int writeCount() const;

 private:
  struct Entry {
    std::string name;
    RegistryValue value;
  };
  struct Key {
    std::map<std::string, Entry> values;  // by folded name
  };
  struct Store {
    std::map<std::string, Key> keys;  // by folded path
    std::set<std::string> unopenable;
    bool writesFail = false;
    int writeCount = 0;
  };
  class OpenedKey;

  std::shared_ptr<Store> store_;
};

}  // namespace platform
