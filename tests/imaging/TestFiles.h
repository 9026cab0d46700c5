#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TBitmap;

namespace imagingtest {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes `bytes` to the file `name` (which may contain sub-folders) and returns its path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFile(const std::string& path);

// Little-endian byte writer for hand-made picture files.
class Bytes {
 public:
  Bytes& U8(unsigned v) { data_.push_back(static_cast<std::uint8_t>(v)); return *this; }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8 & 0xFF); }
  Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Raw(const std::vector<std::uint8_t>& v) { data_.insert(data_.end(), v.begin(), v.end()); return *this; }
  std::size_t Size() const { return data_.size(); }
  std::vector<std::uint8_t>& Data() { return data_; }
  operator const std::vector<std::uint8_t>&() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
};

// A Windows bitmap with a 40-byte information header. `height` negative means top-down.
// `palette` holds blue, green, red, 0 entries already packed; `pixels` is the raw data.
std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height, unsigned bitCount,
                                  unsigned compression, const std::vector<std::uint32_t>& palette,
                                  const std::vector<std::uint8_t>& pixels, std::uint32_t colorsUsed = 0,
                                  const std::vector<std::uint32_t>& masks = {});

// Every pixel of `bitmap` against an RGB picture of the same size; the first difference. With
// fewer than 8 significant bits only the top bits of each channel are compared (a reader that
// widens 5-bit channels by another rule than the reference).
::testing::AssertionResult SamePixels(const TBitmap& bitmap, const std::uint8_t* rgb, int width, int height,
                                      unsigned significantBits = 8);

}  // namespace imagingtest
