#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::posix {

// One value of the registry file.
struct StoredValue {
  enum class Type {
    Text,   // REG_SZ
    Dword,  // REG_DWORD
    Other,  // any other type a hand-edited file may hold: kept as written, never read
  };
  Type type = Type::Text;
  std::string text;  // the text, or for Other the written form after the '='
  std::uint32_t dword = 0;
  friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

// The content of a registry export file of HKEY_CURRENT_USER, in file order. Key paths are
// relative to HKEY_CURRENT_USER ("SOFTWARE\\Verrelune"); key paths and value names compare
// without regard to ASCII case and keep the spelling they were first written with. Keys and
// values are found through an index, so reading a file takes time in proportion to its size
// whatever its shape.
class RegistryDocument {
 public:
  struct Value {
    std::string name;
    StoredValue value;
    friend bool operator==(const Value&, const Value&) = default;
  };
  struct Key {
    std::string path;
    std::vector<Value> values;
    friend bool operator==(const Key&, const Key&) = default;
  };

  bool hasKey(const std::string& path) const;
  // Adds the key when it is missing.
  void obtainKey(const std::string& path);
  const StoredValue* find(const std::string& path, const std::string& name) const;
  void set(const std::string& path, const std::string& name, StoredValue value);

  const std::vector<Key>& keys() const { return keys_; }

  // The file text: "REGEDIT4", then one [HKEY_CURRENT_USER\path] section per key. Whatever
  // text parse() read, this is at most kSerializedGrowth times its size plus
  // kSerializedSlack bytes, and parse() reads it back to the same keys and values.
  std::string serialize() const;
  // Nothing when the text is not a registry file at all (no REGEDIT4 or "Windows Registry
  // Editor Version 5.00" header). Read in UTF-8, or UTF-16 with its byte-order mark as the
  // system's editor exports; lines end with LF, CR LF or CR. Lines that cannot be read are
  // left out, each costing only itself (a section line, the values under it); ignoredLines()
  // counts them.
  static std::optional<RegistryDocument> parse(const std::string& text);

  // The most a text grows from parse() to serialize(): a byte inside quotes that must be
  // written in hexadecimal becomes "xx," with its share of the list's line breaks (3.2 bytes);
  // a short dword doubles. The slack covers the header of an empty text.
  static constexpr std::size_t kSerializedGrowth = 4;
  static constexpr std::size_t kSerializedSlack = 64;
  std::size_t ignoredLines() const { return ignoredLines_; }

  // The same keys and values in the same order, spelt the same.
  friend bool operator==(const RegistryDocument& a, const RegistryDocument& b);

 private:
  static std::string folded(std::string_view name);
  std::optional<std::size_t> keyPosition(const std::string& path) const;
  std::size_t obtainKeyPosition(const std::string& path);
  void setAt(std::size_t key, const std::string& name, StoredValue value);

  std::vector<Key> keys_;
  // Folded key path to its place in keys_; for each key, folded value name to its place.
  std::unordered_map<std::string, std::size_t> keyPositions_;
  std::vector<std::unordered_map<std::string, std::size_t>> valuePositions_;
  std::size_t ignoredLines_ = 0;
};

// Whether a key path or value name can be stored in the file at all: the format is line-based,
// so names may not hold line breaks or other control bytes.
bool isStorableName(const std::string& name);

// Key paths and value names compare without regard to ASCII case.
bool sameRegistryName(std::string_view a, std::string_view b);

}  // namespace platform::posix
