// TIFF reader under the fuzzer: any input must load or fail with one of our errors, and a
// loaded picture must survive drawing, copying and conversion.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Canvas.h"
#include "imaging/PictureStream.h"
#include "imaging/TIFFGraphic.h"

namespace {
// Drawing and conversions walk every pixel; pictures above this are only loaded, to keep runs
// fast.
constexpr std::uint64_t kMaxConvertedPixels = 1 << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTIFFGraphic picture;
  TPictureStream stream(std::span<const std::uint8_t>(data, size));
  try {
    picture.ReadPictureStream(stream);
  } catch (const Exception&) {
    return 0;
  }
  if (static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height()) > kMaxConvertedPixels)
    return 0;
  Canvas canvas(60, 45);
  picture.DrawStretched(canvas, {-3, 0, 63, 45});
  TBitmap copy;
  copy.CopyToBitmap(picture);
  copy.SetPixelLayout(PixelLayout::Bgr24);
  return 0;
}
