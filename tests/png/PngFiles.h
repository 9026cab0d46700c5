#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "png/PNGObject.h"

namespace pngtest {

using Bytes = std::vector<std::uint8_t>;

// A PNG file put together chunk by chunk; CRCs are computed with zlib unless given.
class PngFile {
 public:
  PngFile();
  PngFile& Chunk(const std::string& type, const Bytes& body);
  PngFile& ChunkWithCrc(const std::string& type, const Bytes& body, std::uint32_t crc);
  // A chunk header only: length and type, nothing after them.
  PngFile& Raw(const Bytes& bytes);
  PngFile& Ihdr(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType, int interlace = 0);
  // The zlib stream of `raw`, in one IDAT chunk or in chunks of `split` bytes.
  PngFile& Idat(const Bytes& raw, std::size_t split = 0);
  PngFile& End() { return Chunk("IEND", {}); }
  const Bytes& Data() const { return data_; }

 private:
  Bytes data_;
};

Bytes Compress(const Bytes& raw);
std::uint32_t Crc(const std::string& type, const Bytes& body);
Bytes BigEndian(std::uint32_t value);

// Reads a picture from memory (errors propagate).
std::unique_ptr<TPNGObject> Load(const Bytes& file);

// The colour-table index of pixel (x, y) of an indexed surface.
unsigned SurfaceIndex(const TChunkIHDR& header, std::uint32_t x, std::uint32_t y);
// The colour the surface shows at (x, y), through the colour table for indexed surfaces.
Color SurfaceColour(const TChunkIHDR& header, std::uint32_t x, std::uint32_t y);

}  // namespace pngtest
