#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Color.h"
#include "imaging/PictureStream.h"
#include "imaging/PixelLayout.h"

class TPNGObject;
class TChunkIHDR;

// The four type bytes of a chunk exactly as they stand in the file.
using TChunkType = std::array<std::uint8_t, 4>;

// A chunk type as text: its bytes up to the first zero byte. Comparisons and the class
// registry use this form.
std::string_view ChunkTypeText(const TChunkType& type);

// One chunk of a PNG file, kept in its picture's chunk list. The base class keeps the body
// as read; the chunk kinds the reader understands derive from it and interpret the body.
class TChunk {
 public:
  explicit TChunk(TPNGObject& owner) : owner_(owner) {}
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;
  virtual ~TChunk() = default;

  // The chunk type this class stands for; empty for a chunk kept only as raw bytes.
  virtual std::string_view TypeOfClass() const { return {}; }

  // Reads the body and the CRC that follows it; the stream stands just past the type.
  // Raises on a CRC mismatch. False would stop the reading of further chunks.
  virtual bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length);

  const TChunkType& ChunkType() const { return type_; }
  void SetChunkType(const TChunkType& type) { type_ = type; }
  std::span<const std::uint8_t> Body() const { return body_; }
  std::uint32_t BodySize() const { return static_cast<std::uint32_t>(body_.size()); }
  TPNGObject& OwnerImage() const { return owner_; }

 protected:
  // The header chunk of the owner picture, which the reader guarantees comes first.
  TChunkIHDR& HeaderOf() const;

 private:
  TPNGObject& owner_;
  TChunkType type_{};
  std::vector<std::uint8_t> body_;
};

// Makes the chunk object for `type`: the first registered class for that type, else a raw
// TChunk.
std::unique_ptr<TChunk> ChunkForType(TPNGObject& owner, const TChunkType& type);

class TChunkIEND : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "IEND"; }
};

// The header: picture size and encoding, and the decoded image (the surface every drawing
// reads, its colour table and the alpha plane).
//
// Surface: rows top to bottom, Stride() bytes each (bits per pixel times width, rounded up to
// 32 bits); 1, 4 or 8 bits per pixel are colour-table indices (leftmost pixel in the most
// significant bits), 24 bits are blue, green, red. Alpha plane: width bytes per row, for the
// colour types that carry alpha.
class TChunkIHDR : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "IHDR"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;

  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::uint8_t BitDepth = 0;
  std::uint8_t ColourType = 0;
  std::uint8_t CompressionMethod = 0;
  std::uint8_t FilterMethod = 0;
  std::uint8_t InterlaceMethod = 0;

  int SurfaceBitsPerPixel() const { return bitsPerPixel_; }
  bool UsesColourTable() const { return bitsPerPixel_ > 0 && bitsPerPixel_ <= 8; }
  std::size_t SurfaceStride() const { return stride_; }
  bool HasAlphaPlane() const { return alpha_ != nullptr; }
  // Row `row` (0 = top) of the surface, and of the alpha plane (null without one).
  std::uint8_t* SurfaceRow(std::uint32_t row) { return surface_.get() + row * stride_; }
  const std::uint8_t* SurfaceRow(std::uint32_t row) const { return surface_.get() + row * stride_; }
  std::uint8_t* AlphaRow(std::uint32_t row) { return alpha_ ? alpha_.get() + std::size_t{row} * Width : nullptr; }
  const std::uint8_t* AlphaRow(std::uint32_t row) const {
    return alpha_ ? alpha_.get() + std::size_t{row} * Width : nullptr;
  }
  // Blue, green, red, 0 for each of the 256 indices; unused entries are black.
  PaletteTable& ColourTable() { return colourTable_; }
  const PaletteTable& ColourTable() const { return colourTable_; }

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const;
  };
  using Buffer = std::unique_ptr<std::uint8_t[], FreeDeleter>;

  void PrepareImage();

  int bitsPerPixel_ = 0;
  std::size_t stride_ = 0;
  Buffer surface_;
  Buffer alpha_;
  PaletteTable colourTable_{};
};

// The image data: reading the first IDAT chunk decodes the whole picture into the header's
// surface, reading on through the IDAT chunks that follow it.
class TChunkIDAT : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "IDAT"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;
};

class TChunkPLTE : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "PLTE"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;

  std::uint32_t EntryCount = 0;
  // The colour of palette entry `index` as the surface shows it; EPngError beyond EntryCount.
  Color PaletteEntry(std::uint32_t index) const;
};

class TChunkgAMA : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "gAMA"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;
  // The stored gamma times 100000: a 4-byte body as a big-endian number; 0 (no gamma) for
  // any other body and for values no picture can have (below 16 or above 625,000,000).
  std::uint32_t Value() const;
};

class TChunktRNS : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "tRNS"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;

  // True when the transparency is one colour (grey and RGB, or a palette with exactly one
  // entry below 255).
  bool SingleKey = false;
  std::array<std::uint8_t, 256> AlphaByIndex{};
};

class TChunktIME : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "tIME"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;

  std::uint16_t Year = 0;
  std::uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

class TChunktEXt : public TChunk {
 public:
  using TChunk::TChunk;
  std::string_view TypeOfClass() const override { return "tEXt"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;

  std::string Keyword;
  std::string Text;
};

// Compressed text. The inflated text is capped: a text that would grow beyond
// kMaxInflatedText bytes is dropped (left empty), so that a small chunk cannot claim
// gigabytes.
class TChunkzTXt : public TChunktEXt {
 public:
  using TChunktEXt::TChunktEXt;
  std::string_view TypeOfClass() const override { return "zTXt"; }
  bool ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) override;

  static constexpr std::size_t kMaxInflatedText = 1 << 20;
};

// CRC-32 of the PNG format (the zlib one), started over the type and continued over data.
std::uint32_t ChunkCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes);
// Reads the 4-byte big-endian CRC that closes a chunk and compares it with `computed`; a
// short read counts as a mismatch. Raises EPngInvalidCRC.
void CheckChunkCrc(TPictureStream& stream, std::uint32_t computed);
// Chunk lengths of 2^31 or more are not valid PNG; they are refused before anything is done
// with them. Also refuses a body plus CRC that the stream cannot hold any more, so that no
// buffer is ever sized beyond the file.
void CheckChunkLength(std::uint32_t length);
