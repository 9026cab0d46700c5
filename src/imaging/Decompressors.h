#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Decompressors of the picture readers. Each expands one whole block of compressed bytes held
// in memory (a TIFF strip, the joined data of a GIF image) into a buffer the caller sized for
// the plain bytes. Output never goes past that size; data that ends early leaves the rest of
// the buffer as it was, so readers hand in zero-filled buffers.

class TDecoder {
 public:
  virtual ~TDecoder() = default;

  // Expands `packedSize` bytes from `source` into at most `unpackedSize` bytes at
  // `destination`. `source` is left where it was.
  virtual void Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                      std::size_t unpackedSize) = 0;
};

// The tables and registers one LZW decoding works with. Both LZW decoders keep one inside the
// object: a decoding costs no allocation, and strings are unwound through a stack, never by
// recursion.
struct TLZWState {
  static constexpr unsigned kTableSize = 4096;
  static constexpr unsigned kNoCode = kTableSize;
  // Strings are copied out of the stack in whole words; the stack ends with zero bytes for
  // that, never written.
  static constexpr unsigned kStackSlack = 8;

  unsigned codeSize = 0;
  unsigned codeMask = 0;
  unsigned freeCode = 0;
  unsigned oldCode = kNoCode;
  std::uint8_t firstByte = 0;
  unsigned clearCode = 0;
  unsigned endCode = 0;
  std::array<std::uint16_t, kTableSize> prefix{};
  std::array<std::uint8_t, kTableSize> suffix{};
  std::array<std::uint8_t, kTableSize + kStackSlack> stack{};
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

// Expands run-length Targa pixels into one row: packets of a header byte (top bit set: one
// pixel repeated, else literal pixels; low 7 bits + 1 pixels) until the row is full or the
// packed bytes end. `pixelBits` is 8, 15, 16, 24 or 32; any other size decodes nothing.
// Returns the packed bytes consumed, counting the last packet whole even where it runs past
// the row's end or past the bytes given, so that the next row starts at the next header.
std::size_t DecodeTargaRLE(std::span<const std::uint8_t> packed, std::span<std::uint8_t> row, unsigned pixelBits);
