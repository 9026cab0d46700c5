#include <cstdlib>

#include "imaging/Limits.h"
#include "png/Chunks.h"
#include "png/ImageRows.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"

void TChunkIHDR::FreeDeleter::operator()(std::uint8_t* p) const { std::free(p); }

bool TChunkIHDR::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunk::ReadChunk(stream, type, length);
  const auto body = Body();
  if (body.size() < 13) throw EPngInvalidIHDR();
  auto be32 = [&](std::size_t at) {
    return std::uint32_t{body[at]} << 24 | std::uint32_t{body[at + 1]} << 16 | std::uint32_t{body[at + 2]} << 8 |
           std::uint32_t{body[at + 3]};
  };
  const std::uint32_t width = be32(0), height = be32(4);
  const std::uint8_t bitDepth = body[8], colourType = body[9], interlace = body[12];
  if (width > 65535 || height > 65535) throw EPNGSizeExceeds();
  if (body[10] != 0) throw EPNGUnknownCompression();
  if (interlace > 1) throw EPNGUnknownInterlace();
  // A colour type and depth without a row writer cannot be decoded at all.
  if (SurfaceBitsFor(colourType, bitDepth) == 0) throw EPngInvalidIHDR();
  // The fields are taken only now, so that a header that failed never announces a size
  // without the surface to go with it.
  Width = width;
  Height = height;
  BitDepth = bitDepth;
  ColourType = colourType;
  CompressionMethod = body[10];
  FilterMethod = body[11];
  InterlaceMethod = interlace;
  // Only the first chunk is the picture's header; a repeated IHDR is kept as read, without a
  // second surface that nothing would use.
  if (OwnerImage().ChunkList().front().get() != this) return true;
  OwnerImage().InterlaceKind = InterlaceMethod;
  try {
    PrepareImage();
  } catch (...) {
    Width = Height = 0;
    throw;
  }
  return true;
}

void TChunkIHDR::PrepareImage() {
  surface_.reset();
  alpha_.reset();
  colourTable_ = {};
  bitsPerPixel_ = SurfaceBitsFor(ColourType, BitDepth);
  const std::uint64_t width = Width, height = Height;
  stride_ = static_cast<std::size_t>((bitsPerPixel_ * width + 31) / 32 * 4);
  // The size limit comes before any pixel memory: a few bytes of header must not be able to
  // claim gigabytes.
  if (width * height > kMaxPicturePixels) throw EPNGOutMemory();
  if (width == 0 || height == 0) return;
  // Zeroed memory: rows the data never reach stay black, and packed rows are combined into it.
  surface_.reset(static_cast<std::uint8_t*>(std::calloc(stride_ * height, 1)));
  if (::HasAlphaPlane(ColourType)) alpha_.reset(static_cast<std::uint8_t*>(std::calloc(width * height, 1)));
  if (!surface_ || (::HasAlphaPlane(ColourType) && !alpha_)) {
    surface_.reset();
    alpha_.reset();
    throw EPNGOutMemory();
  }
}
