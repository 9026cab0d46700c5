// Windows-bitmap reader under the fuzzer: any input must load or fail with EInvalidGraphic,
// and a loaded picture must survive conversion and drawing.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"
#include "imaging/PictureStream.h"

namespace {
// Conversions walk every pixel; pictures above this are only loaded, to keep runs fast.
constexpr std::uint64_t kMaxConvertedPixels = 1 << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TBitmap bitmap;
  TPictureStream stream(std::span<const std::uint8_t>(data, size));
  try {
    bitmap.ReadPictureStream(stream);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  if (static_cast<std::uint64_t>(bitmap.Width()) * static_cast<std::uint64_t>(bitmap.Height()) > kMaxConvertedPixels)
    return 0;
  Canvas canvas(60, 45);
  bitmap.DrawStretched(canvas, {-3, 0, 63, 45});
  TBitmap copy;
  copy.CopyToBitmap(bitmap);
  copy.SetPixelLayout(PixelLayout::Bgr24);
  bitmap.SetPixelLayout(size % 2 ? PixelLayout::Indexed4 : PixelLayout::Rgb16);
  return 0;
}
