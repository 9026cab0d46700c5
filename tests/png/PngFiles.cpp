#include "PngFiles.h"

#include <zlib.h>

#include <stdexcept>

#include "imaging/PictureStream.h"

namespace pngtest {

Bytes BigEndian(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::uint32_t Crc(const std::string& type, const Bytes& body) {
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  if (!body.empty()) crc = crc32(crc, body.data(), static_cast<uInt>(body.size()));
  return static_cast<std::uint32_t>(crc);
}

Bytes Compress(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    throw std::runtime_error("compress2");
  out.resize(size);
  return out;
}

PngFile::PngFile() : data_{137, 80, 78, 71, 13, 10, 26, 10} {}

PngFile& PngFile::ChunkWithCrc(const std::string& type, const Bytes& body, std::uint32_t crc) {
  Raw(BigEndian(static_cast<std::uint32_t>(body.size())));
  data_.insert(data_.end(), type.begin(), type.begin() + 4);
  Raw(body);
  return Raw(BigEndian(crc));
}

PngFile& PngFile::Chunk(const std::string& type, const Bytes& body) { return ChunkWithCrc(type, body, Crc(type, body)); }

PngFile& PngFile::Raw(const Bytes& bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  return *this;
}

PngFile& PngFile::Ihdr(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType, int interlace) {
  Bytes body = BigEndian(width);
  const Bytes h = BigEndian(height);
  body.insert(body.end(), h.begin(), h.end());
  body.insert(body.end(), {static_cast<std::uint8_t>(bitDepth), static_cast<std::uint8_t>(colourType), 0, 0,
                           static_cast<std::uint8_t>(interlace)});
  return Chunk("IHDR", body);
}

PngFile& PngFile::Idat(const Bytes& raw, std::size_t split) {
  const Bytes z = Compress(raw);
  if (split == 0) return Chunk("IDAT", z);
  for (std::size_t at = 0; at < z.size(); at += split)
    Chunk("IDAT", Bytes(z.begin() + static_cast<std::ptrdiff_t>(at),
                        z.begin() + static_cast<std::ptrdiff_t>(std::min(z.size(), at + split))));
  return *this;
}

std::unique_ptr<TPNGObject> Load(const Bytes& file) {
  auto picture = std::make_unique<TPNGObject>();
  TPictureStream stream(file);
  picture->ReadPictureStream(stream);
  return picture;
}

unsigned SurfaceIndex(const TChunkIHDR& header, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* row = header.SurfaceRow(y);
  switch (header.SurfaceBitsPerPixel()) {
    case 8: return row[x];
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
  }
  return 0;
}

Color SurfaceColour(const TChunkIHDR& header, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* row = header.SurfaceRow(y);
  if (header.SurfaceBitsPerPixel() == 24) return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
  const auto& entry = header.ColourTable()[SurfaceIndex(header, x, y)];
  return {entry[2], entry[1], entry[0]};
}

}  // namespace pngtest
