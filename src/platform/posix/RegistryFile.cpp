#include "platform/posix/RegistryFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace platform::posix {

// The file is a registry export as the system's own editor writes and reads it:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\SOFTWARE\Verrelune]
//   "RepertoireRacineDuScan"="/home/ana/Images/"
//   "EditFreqDuree"=dword:0000001e
//
// Inside double quotes a backslash and a double quote are written \\ and \". A text is 8-bit
// path bytes; a quoted string cannot hold a line break or other control bytes, and bytes that
// are not UTF-8 would make the file unreadable in a text editor. Such a text is written in the
// format's other form of a REG_SZ value, its bytes in hexadecimal followed by the terminating
// zero, wrapped with a trailing backslash like the editor does:
//
//   "Dossier"=hex(1):2f,74,6d,70,2f,0a,e9,00
//
// So every byte survives a write and a read; a NUL inside the text is one more 00 before the
// terminating one. Values of other types (hex:, hex(2):, ...) that someone put in by hand are
// kept as written and read as missing.
//
// Settings exported on Windows are read too: the editor writes UTF-16 with its byte-order mark,
// CR LF line ends and the header "Windows Registry Editor Version 5.00", under which a text in
// hexadecimal (hex(1), hex(2), hex(7)) is UTF-16 bytes; such texts are read as UTF-8, and a
// hex(4) of four bytes is the number. The file is always written back as above.
//
// A line that cannot be read costs only itself: a value line is left out, a section line leaves
// out the values under it, and the rest of the file is read. Only text without either header is
// not a registry file at all.

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// The header of the files the system's editor exports today, in UTF-16.
constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHive = "HKEY_CURRENT_USER";
constexpr std::size_t kHexBytesPerLine = 25;

char foldChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return foldChar(x) == foldChar(y); });
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool isUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t extra;
    std::uint32_t codePoint;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[extra] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

bool canBeQuoted(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return isControl(static_cast<unsigned char>(c)); }) &&
         isUtf8(text);
}

std::string quoted(std::string_view text) {
  std::string result = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') result += '\\';
    result += c;
  }
  return result + '"';
}

// `tag` ("hex(1)", ...) and the bytes in hexadecimal, wrapped as the editor wraps them.
std::string hexList(std::string_view tag, std::string_view bytes) {
  std::string result(tag);
  result += ':';
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
    result += hex;
    if (i + 1 < bytes.size()) {
      result += ',';
      if ((i + 1) % kHexBytesPerLine == 0) result += "\\\n  ";
    }
  }
  return result;
}

std::string hexText(std::string_view text) {
  std::string bytes(text);
  bytes += '\0';
  return hexList("hex(1)", bytes);
}

void appendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// UTF-16 text as UTF-8; a surrogate without its pair becomes U+FFFD, an odd last byte is left
// out.
std::string utf8FromUtf16(std::string_view bytes, bool littleEndian) {
  std::string result;
  result.reserve(bytes.size());
  const auto unit = [&](std::size_t i) -> std::uint32_t {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return littleEndian ? (b << 8 | a) : (a << 8 | b);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t codePoint = unit(i);
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      codePoint = 0xFFFD;
    }
    appendUtf8(result, codePoint);
  }
  return result;
}

std::string nameField(const std::string& name) { return name.empty() ? "@" : quoted(name); }

// A double-quoted string starting at `pos`; `pos` ends just past the closing quote.
std::optional<std::string> readQuoted(std::string_view line, std::size_t& pos) {
  if (pos >= line.size() || line[pos] != '"') return std::nullopt;
  std::string result;
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return result;
    }
    if (c == '\\') {
      if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"')) return std::nullopt;
      result += line[pos];
    } else {
      result += c;
    }
  }
  return std::nullopt;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = foldChar(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::uint32_t> readDword(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

// "2f,74,00" (continuation backslashes and spaces already removed): the bytes; an empty list
// is no bytes.
std::optional<std::string> readHexBytes(std::string_view list) {
  std::string bytes;
  std::size_t pos = 0;
  while (pos < list.size()) {
    if (pos + 2 > list.size()) return std::nullopt;
    const int high = hexDigit(list[pos]), low = hexDigit(list[pos + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    pos += 2;
    if (pos < list.size()) {
      if (list[pos] != ',') return std::nullopt;
      if (++pos == list.size()) return std::nullopt;
    }
  }
  return bytes;
}

// The type tag of a hexadecimal value, "hex" or "hex(<hex digits>)", and its length.
std::optional<std::size_t> hexTagLength(std::string_view data) {
  if (data.substr(0, 3) != "hex") return std::nullopt;
  if (data.substr(3, 1) == ":") return 3;
  if (data.substr(3, 1) != "(") return std::nullopt;
  std::size_t end = 4;
  while (end < data.size() && hexDigit(data[end]) >= 0) ++end;
  if (end == 4 || data.substr(end, 2) != "):") return std::nullopt;
  return end + 1;
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Lines end with LF, CR LF or a CR alone (the files of older Macs).
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  return lines;
}

// A line that carries on a hexadecimal list: bytes, commas and blanks, and a backslash at its
// end when the list goes on again.
bool isHexContinuation(std::string_view line) {
  std::string_view piece = trimmed(line);
  if (!piece.empty() && piece.back() == '\\') piece.remove_suffix(1);
  return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) {
    return hexDigit(c) >= 0 || c == ',' || c == ' ' || c == '\t';
  });
}

// The key path of a section line "[HKEY_CURRENT_USER\...]"; nothing for any other line.
std::optional<std::string> readSection(std::string_view line) {
  if (line.size() < 2 || line.back() != ']') return std::nullopt;
  const std::string_view inner = line.substr(1, line.size() - 2);
  if (!sameName(inner.substr(0, kHive.size()), kHive)) return std::nullopt;
  const std::string_view rest = inner.substr(kHive.size());
  if (!rest.empty() && rest[0] != '\\') return std::nullopt;
  return std::string(rest.empty() ? rest : rest.substr(1));
}

struct NamedValue {
  std::string name;
  StoredValue value;
};

// The value of the line `lines[i]`; for a hexadecimal list that goes on, `i` moves to its last
// line. Nothing when the value cannot be read: the continuation lines that looked like ones
// are left out with it, and `i` is left on the last of them.
// The registry type of a hexadecimal value's tag: 3 (binary) for "hex", the number of
// "hex(N)"; nothing for a number too large to be a type.
std::optional<std::uint32_t> hexType(std::string_view tag) {
  if (tag == "hex") return 3;
  std::string_view digits = tag.substr(4, tag.size() - 5);
  while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  return readDword(digits);
}

// `unicode`: the file has the version 5 header, whose texts in hexadecimal (types 1, 2 and 7)
// are UTF-16 bytes; in a REGEDIT4 file they are the bytes of the text itself.
std::optional<NamedValue> readValue(const std::vector<std::string_view>& lines, std::size_t& i,
                                    bool unicode) {
  const std::string_view line = lines[i];
  std::size_t pos = 0;
  NamedValue result;
  if (line[0] == '@') {
    pos = 1;
  } else {
    auto quotedName = readQuoted(line, pos);
    if (!quotedName) return std::nullopt;
    result.name = std::move(*quotedName);
  }
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  const std::string_view data = line.substr(pos + 1);
  StoredValue& value = result.value;

  if (!data.empty() && data[0] == '"') {
    std::size_t end = 0;
    auto content = readQuoted(data, end);
    if (!content || end != data.size()) return std::nullopt;
    value.text = std::move(*content);
    return result;
  }
  if (data.substr(0, 6) == "dword:") {
    auto number = readDword(data.substr(6));
    if (!number) return std::nullopt;
    value.type = StoredValue::Type::Dword;
    value.dword = *number;
    return result;
  }
  const std::optional<std::size_t> tag = hexTagLength(data);
  if (!tag) return std::nullopt;
  // Gather the continuation lines of the list.
  std::string written(data);
  std::string list;
  std::string_view piece = trimmed(data.substr(*tag + 1));
  for (;;) {
    const bool continued = !piece.empty() && piece.back() == '\\';
    if (continued) piece.remove_suffix(1);
    for (char c : piece)
      if (c != ' ' && c != '\t') list += c;
    if (!continued) break;
    if (i + 1 >= lines.size() || !isHexContinuation(lines[i + 1])) return std::nullopt;
    written += "\n";
    written += lines[++i];
    piece = trimmed(lines[i]);
  }
  std::optional<std::string> bytes = readHexBytes(list);
  if (!bytes) return std::nullopt;
  const std::string_view tagText = data.substr(0, *tag);
  const std::optional<std::uint32_t> type = hexType(tagText);
  const bool text = type == 1 || type == 2 || type == 7;
  if (unicode && text) {
    if (bytes->size() % 2 != 0) return std::nullopt;
    *bytes = utf8FromUtf16(*bytes, true);
  }
  if (type == 1) {
    // A text: its bytes, then the terminating zero.
    if (bytes->empty() || bytes->back() != '\0') return std::nullopt;
    bytes->pop_back();
    value.text = std::move(*bytes);
  } else if (type == 4 && bytes->size() == 4) {
    // A number written as its four bytes, least significant first.
    value.type = StoredValue::Type::Dword;
    for (int k = 3; k >= 0; --k) value.dword = value.dword << 8 | static_cast<unsigned char>((*bytes)[static_cast<std::size_t>(k)]);
  } else {
    value.type = StoredValue::Type::Other;
    // Written back in a REGEDIT4 file, where a text's bytes are its own.
    value.text = unicode && text ? hexList(tagText, *bytes) : std::move(written);
  }
  return result;
}

}  // namespace

bool sameRegistryName(std::string_view a, std::string_view b) { return sameName(a, b); }

bool isStorableName(const std::string& name) {
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return isControl(static_cast<unsigned char>(c)); });
}

std::string RegistryDocument::folded(std::string_view name) {
  std::string result(name);
  for (char& c : result) c = foldChar(c);
  return result;
}

std::optional<std::size_t> RegistryDocument::keyPosition(const std::string& path) const {
  const auto found = keyPositions_.find(folded(path));
  if (found == keyPositions_.end()) return std::nullopt;
  return found->second;
}

bool RegistryDocument::hasKey(const std::string& path) const {
  return keyPosition(path).has_value();
}

std::size_t RegistryDocument::obtainKeyPosition(const std::string& path) {
  const auto [entry, added] = keyPositions_.try_emplace(folded(path), keys_.size());
  if (added) {
    keys_.push_back(Key{path, {}});
    valuePositions_.emplace_back();
  }
  return entry->second;
}

void RegistryDocument::obtainKey(const std::string& path) { obtainKeyPosition(path); }

const StoredValue* RegistryDocument::find(const std::string& path,
                                          const std::string& name) const {
  const std::optional<std::size_t> key = keyPosition(path);
  if (!key) return nullptr;
  const auto& positions = valuePositions_[*key];
  const auto found = positions.find(folded(name));
  return found == positions.end() ? nullptr : &keys_[*key].values[found->second].value;
}

void RegistryDocument::setAt(std::size_t key, const std::string& name, StoredValue value) {
  std::vector<Value>& values = keys_[key].values;
  const auto [entry, added] = valuePositions_[key].try_emplace(folded(name), values.size());
  if (added)
    values.push_back(Value{name, std::move(value)});
  else
    values[entry->second].value = std::move(value);
}

void RegistryDocument::set(const std::string& path, const std::string& name, StoredValue value) {
  setAt(obtainKeyPosition(path), name, std::move(value));
}

std::string RegistryDocument::serialize() const {
  std::string text(kHeader);
  text += "\n";
  for (const Key& key : keys_) {
    text += "\n[";
    text += kHive;
    if (!key.path.empty()) text += "\\" + key.path;
    text += "]\n";
    for (const Value& value : key.values) {
      text += nameField(value.name) + "=";
      switch (value.value.type) {
        case StoredValue::Type::Text:
          text += canBeQuoted(value.value.text) ? quoted(value.value.text)
                                                : hexText(value.value.text);
          break;
        case StoredValue::Type::Dword: {
          char digits[9];
          std::snprintf(digits, sizeof digits, "%08x", value.value.dword);
          text += "dword:";
          text += digits;
          break;
        }
        case StoredValue::Type::Other:
          text += value.value.text;
          break;
      }
      text += "\n";
    }
  }
  return text;
}

std::optional<RegistryDocument> RegistryDocument::parse(const std::string& text) {
  std::string_view body = text;
  // The system's editor exports in UTF-16 with its byte-order mark.
  std::string decoded;
  if (body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF") {
    decoded = utf8FromUtf16(body.substr(2), body[0] == '\xFF');
    body = decoded;
  } else if (body.substr(0, 3) == "\xEF\xBB\xBF") {
    body.remove_prefix(3);
  }
  const std::vector<std::string_view> lines = splitLines(body);
  RegistryDocument document;

  std::size_t i = 0;
  while (i < lines.size() && trimmed(lines[i]).empty()) ++i;
  // An empty file holds no settings; there is nothing to keep aside.
  if (i == lines.size()) return document;
  const std::string_view header = trimmed(lines[i]);
  if (header != kHeader && header != kHeaderVersion5) return std::nullopt;
  const bool unicode = header == kHeaderVersion5;

  // None while no section line has been read, or after one that could not be.
  constexpr std::size_t kNoKey = SIZE_MAX;
  std::size_t currentKey = kNoKey;
  for (++i; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (trimmed(line).empty() || line[0] == ';') continue;

    if (line[0] == '[') {
      const std::optional<std::string> path = readSection(line);
      currentKey = path ? document.obtainKeyPosition(*path) : kNoKey;
      if (!path) ++document.ignoredLines_;
      continue;
    }

    std::optional<NamedValue> value = readValue(lines, i, unicode);
    if (!value || currentKey == kNoKey) {
      ++document.ignoredLines_;
      continue;
    }
    // A later line for the same name wins, as when the file is imported.
    document.setAt(currentKey, value->name, std::move(value->value));
  }
  return document;
}

bool operator==(const RegistryDocument& a, const RegistryDocument& b) { return a.keys_ == b.keys_; }

}  // namespace platform::posix
