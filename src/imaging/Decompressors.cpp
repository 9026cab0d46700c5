#include "imaging/Decompressors.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"

namespace {

// The registers of one decoding, kept in locals so that the compiler holds them in machine
// registers: writes of output bytes could otherwise alias them and force reloads per byte.
struct Registers {
  unsigned codeSize;
  unsigned codeMask;
  unsigned freeCode;
};

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
  static void Grow(Registers& r) {
    ++r.freeCode;
    if (r.freeCode == r.codeMask && r.codeSize < 12) {
      ++r.codeSize;
      r.codeMask = (1u << r.codeSize) - 1;
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
  static void Grow(Registers& r) {
    if (r.freeCode == r.codeMask && r.codeSize < 12) {
      ++r.codeSize;
      r.codeMask = (1u << r.codeSize) - 1;
    }
    ++r.freeCode;
  }
};

Registers Reset(const TLZWState& s, unsigned initialCodeSize) {
  return {initialCodeSize, (1u << initialCodeSize) - 1, s.clearCode + 2};
}

// Copies a string of `length` bytes that ends at the stack's end. Strings are short; while the
// output has room, whole 8-byte words are copied. The bytes copied past the string come from
// the stack's slack, which is never written and stays zero, so the output past the decoded
// bytes stays as zero as the caller made it, until the next strings overwrite it.
inline void CopyString(std::uint8_t* target, const std::uint8_t* string, std::size_t length, std::size_t room) {
  if (room >= length + TLZWState::kStackSlack) {
    for (std::size_t i = 0; i < length; i += 8) std::memcpy(target + i, string + i, 8);
  } else {
    std::memcpy(target, string, std::min(length, room));
  }
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
  Registers r = Reset(s, initialCodeSize);
  unsigned oldCode = TLZWState::kNoCode;
  std::uint8_t firstByte = 0;

  std::uint16_t* const prefix = s.prefix.data();
  std::uint8_t* const suffix = s.suffix.data();
  std::uint8_t* const stackEnd = s.stack.data() + TLZWState::kTableSize;
  const unsigned clearCode = s.clearCode, endCode = s.endCode;
  std::uint8_t* target = out;
  std::uint8_t* const targetEnd = out + unpackedSize;
  std::uint32_t buffer = 0;
  unsigned count = 0;
  for (const std::uint8_t* const inEnd = in + packedSize; in != inEnd; ++in) {
    Flavour::Add(buffer, count, *in);
    count += 8;
    while (count >= r.codeSize) {
      unsigned code = Flavour::Take(buffer, r.codeSize);
      count -= r.codeSize;
      if (code == endCode || target == targetEnd) goto done;
      if (code == clearCode) {
        r = Reset(s, initialCodeSize);
        oldCode = TLZWState::kNoCode;
        continue;
      }
      // A code may name the entry about to be made, never one beyond; with no string before
      // it, not even that one.
      if (code > r.freeCode || (code == r.freeCode && oldCode == TLZWState::kNoCode))
        throw Exception(Flavour::kInvalid);
      if (oldCode == TLZWState::kNoCode) {
        firstByte = suffix[code];
        *target++ = firstByte;
        oldCode = code;
        continue;
      }
      const unsigned incoming = code;
      std::uint8_t* top = stackEnd;
      if (code == r.freeCode) {
        // The string not yet in the table: the previous string followed by its own first byte.
        *--top = firstByte;
        code = oldCode;
      }
      while (code > clearCode) {
        *--top = suffix[code];
        code = prefix[code];
      }
      firstByte = suffix[code];
      *--top = firstByte;
      if (r.freeCode < TLZWState::kTableSize) {
        prefix[r.freeCode] = static_cast<std::uint16_t>(oldCode);
        suffix[r.freeCode] = firstByte;
        Flavour::Grow(r);
      }
      oldCode = incoming;
      const auto length = static_cast<std::size_t>(stackEnd - top);
      const auto room = static_cast<std::size_t>(targetEnd - target);
      CopyString(target, top, length, room);
      target += std::min(length, room);
    }
  }
done:
  s.codeSize = r.codeSize;
  s.codeMask = r.codeMask;
  s.freeCode = r.freeCode;
  s.oldCode = oldCode;
  s.firstByte = firstByte;
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
