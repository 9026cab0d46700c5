// GIF reader under the fuzzer: any input must load or fail with an Exception, and a loaded
// picture must survive copying into a bitmap, conversion and stretched drawing.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Canvas.h"
#include "imaging/GIFGraphic.h"
#include "imaging/PictureStream.h"

namespace {
// Conversions walk every pixel; pictures above this are only loaded, to keep runs fast.
constexpr std::uint64_t kMaxConvertedPixels = 1 << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TGIFGraphic gif;
  TPictureStream stream(std::span<const std::uint8_t>(data, size));
  try {
    gif.ReadPictureStream(stream);
  } catch (const Exception&) {
    return 0;
  }
  if (static_cast<std::uint64_t>(gif.Width()) * static_cast<std::uint64_t>(gif.Height()) > kMaxConvertedPixels)
    return 0;
  TBitmap copy;
  copy.CopyToBitmap(gif);
  Canvas canvas(60, 45);
  copy.DrawStretched(canvas, {-3, 0, 63, 45});
  copy.SetPixelLayout(PixelLayout::Bgr24);
  return 0;
}
