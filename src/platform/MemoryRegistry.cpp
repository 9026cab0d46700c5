#include "platform/MemoryRegistry.h"

#include <algorithm>

namespace platform {

namespace {

// The registry folds only ASCII letters; other bytes of an 8-bit name compare as they are.
std::string fold(const std::string& text) {
  std::string folded = text;
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); });
  return folded;
}

}  // namespace

class MemoryRegistry::OpenedKey : public RegistryKey {
 public:
  OpenedKey(std::shared_ptr<Store> store, std::string foldedPath)
      : store_(std::move(store)), path_(std::move(foldedPath)) {}

  std::optional<std::string> readText(const std::string& name) override {
    const RegistryValue* found = find(name);
    if (found == nullptr || found->type != RegistryValue::Type::Text) return std::nullopt;
    return found->text;
  }

  std::optional<std::uint32_t> readDword(const std::string& name) override {
    const RegistryValue* found = find(name);
    if (found == nullptr || found->type != RegistryValue::Type::Dword) return std::nullopt;
    return found->dword;
  }

  void writeText(const std::string& name, const std::string& value) override {
    write(name, RegistryValue::ofText(value));
  }

  void writeDword(const std::string& name, std::uint32_t value) override {
    write(name, RegistryValue::ofDword(value));
  }

 private:
  const RegistryValue* find(const std::string& name) const {
    const auto key = store_->keys.find(path_);
    if (key == store_->keys.end()) return nullptr;
    const auto entry = key->second.values.find(fold(name));
    return entry == key->second.values.end() ? nullptr : &entry->second.value;
  }

  void write(const std::string& name, RegistryValue value) {
    if (store_->writesFail) throw ERegistryException(name);
    auto& values = store_->keys[path_].values;
    auto [entry, inserted] = values.try_emplace(fold(name), Entry{name, {}});
    entry->second.value = std::move(value);
    ++store_->writeCount;
  }

  std::shared_ptr<Store> store_;
  std::string path_;
};

MemoryRegistry::MemoryRegistry() : store_(std::make_shared<Store>()) {}

std::unique_ptr<RegistryKey> MemoryRegistry::openKey(const std::string& path, bool create) {
  const std::string folded = fold(path);
  if (store_->unopenable.contains(folded)) return nullptr;
  if (!store_->keys.contains(folded)) {
    if (!create) return nullptr;
    store_->keys.emplace(folded, Key{});
  }
  return std::make_unique<OpenedKey>(store_, folded);
}

void MemoryRegistry::setUnopenable(const std::string& path, bool unopenable) {
  if (unopenable)
    store_->unopenable.insert(fold(path));
  else
    store_->unopenable.erase(fold(path));
}

void MemoryRegistry::setWritesFail(bool fail) { store_->writesFail = fail; }

bool MemoryRegistry::hasKey(const std::string& path) const {
  return store_->keys.contains(fold(path));
}

void MemoryRegistry::createKey(const std::string& path) { store_->keys.try_emplace(fold(path)); }

std::optional<RegistryValue> MemoryRegistry::value(const std::string& path,
                                                   const std::string& name) const {
  const auto key = store_->keys.find(fold(path));
  if (key == store_->keys.end()) return std::nullopt;
  const auto entry = key->second.values.find(fold(name));
  if (entry == key->second.values.end()) return std::nullopt;
  return entry->second.value;
}

std::optional<std::string> MemoryRegistry::storedName(const std::string& path,
                                                      const std::string& name) const {
  const auto key = store_->keys.find(fold(path));
  if (key == store_->keys.end()) return std::nullopt;
  const auto entry = key->second.values.find(fold(name));
  if (entry == key->second.values.end()) return std::nullopt;
  return entry->second.name;
}

std::vector<std::string> MemoryRegistry::valueNames(const std::string& path) const {
  std::vector<std::string> names;
  const auto key = store_->keys.find(fold(path));
  if (key != store_->keys.end())
    for (const auto& [folded, entry] : key->second.values) names.push_back(entry.name);
  return names;
}

void MemoryRegistry::put(const std::string& path, const std::string& name, RegistryValue value) {
  auto& values = store_->keys[fold(path)].values;
  auto [entry, inserted] = values.try_emplace(fold(name), Entry{name, {}});
  entry->second.value = std::move(value);
}

void MemoryRegistry::remove(const std::string& path, const std::string& name) {
  const auto key = store_->keys.find(fold(path));
  if (key != store_->keys.end()) key->second.values.erase(fold(name));
}

int MemoryRegistry::writeCount() const { return store_->writeCount; }

}  // namespace platform
