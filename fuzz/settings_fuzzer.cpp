// The settings file under the fuzzer: whatever text the reader accepts, the writer writes back
// in a form the reader reads again to the same keys and values, with no line left out, and
// writing that again gives the same text, never more than kSerializedGrowth times the size of
// what was read (the settings file's size limit relies on it). Every value read can be found by
// its key and name.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/RegistryFile.h"

using platform::posix::RegistryDocument;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto first = RegistryDocument::parse(text);
  if (!first) return 0;
  const std::string written = first->serialize();
  const auto second = RegistryDocument::parse(written);
  if (!second || !(*second == *first) || second->ignoredLines() != 0 ||
      second->serialize() != written)
    std::abort();
  if (written.size() > RegistryDocument::kSerializedGrowth * size + RegistryDocument::kSerializedSlack)
    std::abort();
  for (const RegistryDocument::Key& key : second->keys())
    for (const RegistryDocument::Value& value : key.values)
      if (second->find(key.path, value.name) != &value.value) std::abort();
  return 0;
}
