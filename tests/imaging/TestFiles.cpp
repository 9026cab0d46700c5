#include "TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "imaging/Bitmap.h"

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

::testing::AssertionResult SamePixels(const TBitmap& bitmap, const std::uint8_t* rgb, int width, int height,
                                      unsigned significantBits) {
  if (bitmap.Width() != width || bitmap.Height() != height)
    return ::testing::AssertionFailure() << "size " << bitmap.Width() << "x" << bitmap.Height() << " expected "
                                         << width << "x" << height;
  const unsigned drop = 8 - significantBits;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Color got = bitmap.PixelColor(x, y);
      const std::uint8_t* want = rgb + 3 * (static_cast<std::size_t>(y) * width + x);
      if (got.red >> drop != want[0] >> drop || got.green >> drop != want[1] >> drop ||
          got.blue >> drop != want[2] >> drop)
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is " << int(got.red) << "," << int(got.green) << ","
               << int(got.blue) << " expected " << int(want[0]) << "," << int(want[1]) << "," << int(want[2]);
    }
  return ::testing::AssertionSuccess();
}

}  // namespace imagingtest
