#include "TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace imagingtest {

TempFolder::TempFolder() {
  // A folder of its own, whatever other test programs run beside this one.
  std::random_device hasard;
  for (int essai = 0; essai < 100; ++essai) {
    auto candidate = std::filesystem::temp_directory_path() / ("verrelune-imaging-" + std::to_string(hasard()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const auto file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file.string();
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height, unsigned bitCount,
                                  unsigned compression, const std::vector<std::uint32_t>& palette,
                                  const std::vector<std::uint8_t>& pixels, std::uint32_t colorsUsed,
                                  const std::vector<std::uint32_t>& masks) {
  const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(4 * masks.size() + 4 * palette.size());
  Bytes b;
  b.U8('B').U8('M').U32(offset + static_cast<std::uint32_t>(pixels.size())).U32(0).U32(offset);
  b.U32(40).U32(static_cast<std::uint32_t>(width)).U32(static_cast<std::uint32_t>(height)).U16(1).U16(bitCount);
  b.U32(compression).U32(static_cast<std::uint32_t>(pixels.size())).U32(2835).U32(2835).U32(colorsUsed).U32(0);
  for (auto m : masks) b.U32(m);
  for (auto p : palette) b.U32(p);
  b.Raw(pixels);
  return b;
}

}  // namespace imagingtest
