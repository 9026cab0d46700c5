// JPEG path under the fuzzer: header reading on load, then decoding at full size and at 1/8,
// through the same calls the program makes. Any input must load or fail with EJPEG or
// EInvalidGraphic.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Canvas.h"
#include "imaging/JPEGImage.h"
#include "imaging/PictureStream.h"

namespace {
// Decoding costs time in proportion to the picture's size; larger headers are read but not
// decoded, so that the fuzzer spends its time on varied inputs rather than on big blank frames.
constexpr std::uint64_t kMaxDecodedPixels = 1 << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TJPEGImage jpeg;
  TPictureStream stream(std::span<const std::uint8_t>(data, size));
  try {
    jpeg.ReadPictureStream(stream);
    if (static_cast<std::uint64_t>(jpeg.Width()) * static_cast<std::uint64_t>(jpeg.Height()) > kMaxDecodedPixels)
      return 0;
    Canvas canvas(60, 45);
    jpeg.SetJpegScale(TJPEGScale::Eighth);
    jpeg.DrawStretched(canvas, {0, 0, 60, 45});
    jpeg.SetJpegScale(size % 2 ? TJPEGScale::FullSize : TJPEGScale::Half);
    TBitmap copy;
    copy.CopyToBitmap(jpeg);
    copy.SetPixelLayout(PixelLayout::Bgr24);
  } catch (const EJPEG&) {
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}
