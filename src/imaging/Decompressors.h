#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "imaging/Inflate.h"

// Decompressors of the picture readers. Each expands one whole block of compressed bytes held
// in memory (a TIFF strip, the joined data of a GIF image) into a buffer the caller sized for
// the plain bytes. Output never goes past that size, and what the data does not reach, when it
// ends early, is zero.

class TDecoder {
 public:
  virtual ~TDecoder() = default;

  // Expands `packedSize` bytes from `source` into at most `unpackedSize` bytes at
  // `destination`. `source` is left where it was.
  virtual void Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                      std::size_t unpackedSize) = 0;
};

// The table one LZW decoding works with. Both LZW decoders keep one inside the object: a
// decoding costs no allocation. Every string a code names is either a root byte or has been
// written to the output before, so an entry is where its bytes are and how many: a code is one
// copy, and roots are no different.
struct TLZWState {
  static constexpr unsigned kTableSize = 4096;

  std::array<const std::uint8_t*, kTableSize> string{};
  std::array<std::uint16_t, kTableSize> length{};
};

// TIFF compression 5: codes most significant bit first, 256 roots, 9 to 12 bits with the
// width growing one code early. Raises Exception "TIF LZW: invalid opcode." on a code the
// table does not hold.
class TTIFFLZW : public TDecoder {
 public:
  void Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
              std::size_t unpackedSize) override;

 private:
  TLZWState state_;
};

// GIF image data: codes least significant bit first, 2^(initial code size) roots, codes from
// the initial code size + 1 up to 12 bits. Raises Exception "GIF LZW: invalid opcode." on a
// code the table does not hold, and for an initial code size above 11, whose codes cannot fit
// the 4096-entry table.
class TGIFLZW : public TDecoder {
 public:
  void Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
              std::size_t unpackedSize) override;

  // The LZW minimum code size byte of the image, set before Decode.
  void SetInitialCodeSize(std::uint8_t size) { initialCodeSize_ = size; }

 private:
  std::uint8_t initialCodeSize_ = 8;
  TLZWState state_;
};

// TIFF compression 32773 (PackBits): a signed header byte n is followed by n + 1 literal
// bytes (n >= 0) or by one byte written 1 - n times (n < 0); -128 is no operation.
class TPackbitsRLE : public TDecoder {
 public:
  void Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
              std::size_t unpackedSize) override;
};

// TIFF compression 8 and 32946 (Deflate): one zlib stream per strip or tile, decoded by
// TInflater. Raises Exception "TIFF Deflate: invalid data." on data that is not a zlib stream;
// data that ends early, or holds more than the block, is no error. The stream's checksum is not
// verified.
class TTIFFDeflate : public TDecoder {
 public:
  void Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
              std::size_t unpackedSize) override;

 private:
  // One decoder's tables serve every block of a picture.
  TInflater inflater_;
};

// Expands run-length Targa pixels into one row: packets of a header byte (top bit set: one
// pixel repeated, else literal pixels; low 7 bits + 1 pixels) until the row is full or the
// packed bytes end. `pixelBits` is 8, 15, 16, 24 or 32; any other size decodes nothing.
// Returns the packed bytes consumed, counting the last packet whole even where it runs past
// the row's end or past the bytes given, so that the next row starts at the next header.
std::size_t DecodeTargaRLE(std::span<const std::uint8_t> packed, std::span<std::uint8_t> row, unsigned pixelBits);
