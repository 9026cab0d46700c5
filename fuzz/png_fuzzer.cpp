// PNG reader under the fuzzer: any input must load or fail with one of the reader's errors,
// and a loaded picture must survive drawing (opaque, keyed or blended, stretched and clipped)
// and copying into a raster.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"
#include "imaging/PictureStream.h"
#include "png/PNGObject.h"

namespace {
// Drawing and copying walk every pixel; larger pictures are only read, to keep runs fast.
constexpr std::uint64_t kMaxDrawnPixels = 1 << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPNGObject picture;
  TPictureStream stream(std::span<const std::uint8_t>(data, size));
  try {
    picture.ReadPictureStream(stream);
  } catch (const Exception&) {
    // A failed read keeps the chunks read so far; drawing them must be safe too.
  }
  if (static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height()) > kMaxDrawnPixels)
    return 0;
  try {
    Canvas canvas(40, 30);
    canvas.FillRect({0, 0, 40, 30}, {255, 0, 255});
    picture.DrawStretched(canvas, {0, 0, picture.Width(), picture.Height()});
    picture.DrawStretched(canvas, {-5, 3, 47, 29});
    picture.DrawStretched(canvas, {30, 20, 2, 1});
    TBitmap copy;
    copy.CopyToBitmap(picture);
    copy.SetPixelLayout(PixelLayout::Bgr24);
  } catch (const Exception&) {
  }
  return 0;
}
