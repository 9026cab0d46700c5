#include "imaging/Decompressors.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"

namespace {

// What sets the two LZW flavours apart; the shared loop below is compiled once for each, so
// that the inner loop has no call and no branch on the flavour.
struct TiffFlavour {
  static constexpr const char* kInvalid = "TIF LZW: invalid opcode.";

  // Codes come most significant bit first: a new byte goes in below the bits already held,
  // a code is taken from the top.
  static void Add(std::uint32_t& buffer, unsigned count, std::uint8_t byte) {
    buffer |= std::uint32_t{byte} << (24 - count);
  }
  static unsigned Take(std::uint32_t& buffer, unsigned codeSize) {
    const unsigned code = buffer >> (32 - codeSize);
    buffer <<= codeSize;
    return code;
  }
  // The width grows one code early: once the next free entry is the last the current width
  // can name.
  static void Grow(TLZWState& s) {
    ++s.freeCode;
    if (s.freeCode == s.codeMask && s.codeSize < 12) {
      ++s.codeSize;
      s.codeMask = (1u << s.codeSize) - 1;
    }
  }
};

struct GifFlavour {
  static constexpr const char* kInvalid = "GIF LZW: invalid opcode.";

  // Codes come least significant bit first: a new byte goes in above the bits already held,
  // a code is taken from the bottom.
  static void Add(std::uint32_t& buffer, unsigned count, std::uint8_t byte) {
    buffer |= std::uint32_t{byte} << count;
  }
  static unsigned Take(std::uint32_t& buffer, unsigned codeSize) {
    const unsigned code = buffer & ((1u << codeSize) - 1);
    buffer >>= codeSize;
    return code;
  }
  // The width grows once the entry just made is the last the current width can name.
  static void Grow(TLZWState& s) {
    if (s.freeCode == s.codeMask && s.codeSize < 12) {
      ++s.codeSize;
      s.codeMask = (1u << s.codeSize) - 1;
    }
    ++s.freeCode;
  }
};

void ResetCodes(TLZWState& s, unsigned initialCodeSize) {
  s.codeSize = initialCodeSize;
  s.codeMask = (1u << initialCodeSize) - 1;
  s.freeCode = s.clearCode + 2;
  s.oldCode = TLZWState::kNoCode;
}

// One LZW block into `out`. Each code names a string: a root byte, or an earlier string plus
// one byte. A string is unwound from its last byte to its first onto the stack, which is
// filled from its end down, so that the finished string lies in order and is copied out at
// once. The table never grows past 4096 entries: a full table is used as it stands until the
// next clear code.
template <class Flavour>
void DecodeLzw(TLZWState& s, unsigned initialCodeSize, const std::uint8_t* in, std::size_t packedSize,
               std::uint8_t* out, std::size_t unpackedSize) {
  s.endCode = s.clearCode + 1;
  for (unsigned i = 0; i < s.clearCode; ++i) {
    s.prefix[i] = TLZWState::kNoCode;
    s.suffix[i] = static_cast<std::uint8_t>(i);
  }
  ResetCodes(s, initialCodeSize);

  std::uint8_t* target = out;
  std::uint8_t* const targetEnd = out + unpackedSize;
  std::uint8_t* const stackEnd = s.stack.data() + s.stack.size();
  const unsigned clearCode = s.clearCode, endCode = s.endCode;
  std::uint32_t buffer = 0;
  unsigned count = 0;
  for (const std::uint8_t* const inEnd = in + packedSize; in != inEnd; ++in) {
    Flavour::Add(buffer, count, *in);
    count += 8;
    while (count >= s.codeSize) {
      unsigned code = Flavour::Take(buffer, s.codeSize);
      count -= s.codeSize;
      if (code == endCode || target == targetEnd) return;
      if (code == clearCode) {
        ResetCodes(s, initialCodeSize);
        continue;
      }
      // A code may name the entry about to be made, never one beyond; with no string before
      // it, not even that one.
      if (code > s.freeCode || (code == s.freeCode && s.oldCode == TLZWState::kNoCode))
        throw Exception(Flavour::kInvalid);
      if (s.oldCode == TLZWState::kNoCode) {
        s.firstByte = s.suffix[code];
        *target++ = s.firstByte;
        s.oldCode = code;
        continue;
      }
      const unsigned incoming = code;
      std::uint8_t* top = stackEnd;
      if (code == s.freeCode) {
        // The string not yet in the table: the previous string followed by its own first byte.
        *--top = s.firstByte;
        code = s.oldCode;
      }
      while (code > clearCode) {
        *--top = s.suffix[code];
        code = s.prefix[code];
      }
      s.firstByte = s.suffix[code];
      *--top = s.firstByte;
      if (s.freeCode < TLZWState::kTableSize) {
        s.prefix[s.freeCode] = static_cast<std::uint16_t>(s.oldCode);
        s.suffix[s.freeCode] = s.firstByte;
        Flavour::Grow(s);
      }
      s.oldCode = incoming;
      const auto length = std::min<std::size_t>(static_cast<std::size_t>(stackEnd - top),
                                                static_cast<std::size_t>(targetEnd - target));
      std::memcpy(target, top, length);
      target += length;
    }
  }
}

}  // namespace

void TTIFFLZW::Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                      std::size_t unpackedSize) {
  state_.clearCode = 256;
  DecodeLzw<TiffFlavour>(state_, 9, source, packedSize, destination, unpackedSize);
}

void TGIFLZW::Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                     std::size_t unpackedSize) {
  // The clear code and the end code must be table entries, and the widest code 12 bits.
  if (initialCodeSize_ > 11) throw Exception(GifFlavour::kInvalid);
  state_.clearCode = 1u << initialCodeSize_;
  DecodeLzw<GifFlavour>(state_, initialCodeSize_ + 1u, source, packedSize, destination, unpackedSize);
}

void TPackbitsRLE::Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                          std::size_t unpackedSize) {
  const std::uint8_t* in = source;
  const std::uint8_t* const inEnd = source + packedSize;
  std::uint8_t* out = destination;
  std::uint8_t* const outEnd = destination + unpackedSize;
  while (in != inEnd && out != outEnd) {
    const int header = static_cast<std::int8_t>(*in++);
    if (header >= 0) {
      const auto literal = std::min({static_cast<std::size_t>(header) + 1, static_cast<std::size_t>(inEnd - in),
                                     static_cast<std::size_t>(outEnd - out)});
      std::memcpy(out, in, literal);
      out += literal;
      in += std::min(static_cast<std::size_t>(header) + 1, static_cast<std::size_t>(inEnd - in));
    } else if (header != -128) {
      if (in == inEnd) break;
      const auto run = std::min(static_cast<std::size_t>(1 - header), static_cast<std::size_t>(outEnd - out));
      std::memset(out, *in++, run);
      out += run;
    }
  }
}

std::size_t DecodeTargaRLE(std::span<const std::uint8_t> packed, std::span<std::uint8_t> row, unsigned pixelBits) {
  std::size_t pixelSize;
  switch (pixelBits) {
    case 8: pixelSize = 1; break;
    case 15: case 16: pixelSize = 2; break;
    case 24: pixelSize = 3; break;
    case 32: pixelSize = 4; break;
    default: return 0;
  }
  std::size_t in = 0, out = 0;
  while (out < row.size() && in < packed.size()) {
    const unsigned header = packed[in++];
    const std::size_t count = (header & 127) + 1;
    const std::size_t room = (row.size() - out) / pixelSize;
    if (header & 128) {
      if (packed.size() - in < pixelSize) return in + pixelSize;
      const std::uint8_t* pixel = packed.data() + in;
      in += pixelSize;
      const std::size_t n = std::min(count, room);
      if (pixelSize == 1) {
        std::memset(row.data() + out, *pixel, n);
      } else {
        for (std::size_t i = 0; i < n; ++i) std::memcpy(row.data() + out + i * pixelSize, pixel, pixelSize);
      }
      out += n * pixelSize;
    } else {
      const std::size_t n = std::min({count, room, (packed.size() - in) / pixelSize});
      std::memcpy(row.data() + out, packed.data() + in, n * pixelSize);
      out += n * pixelSize;
      in += count * pixelSize;
    }
    if (count > room) break;
  }
  return in;
}
