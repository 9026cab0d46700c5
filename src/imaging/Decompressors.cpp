#include "imaging/Decompressors.h"

#include <algorithm>
#include <bit>
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

  // Codes come most significant bit first: new bytes go in below the bits already held, a
  // code is taken from the top.
  static void Add(std::uint64_t& buffer, unsigned count, std::uint8_t byte) {
    buffer |= std::uint64_t{byte} << (56 - count);
  }
  static void AddWord(std::uint64_t& buffer, unsigned count, const std::uint8_t* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    buffer |= word >> count;
  }
  static unsigned Take(std::uint64_t& buffer, unsigned codeSize) {
    const auto code = static_cast<unsigned>(buffer >> (64 - codeSize));
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

  // Codes come least significant bit first: new bytes go in above the bits already held, a
  // code is taken from the bottom.
  static void Add(std::uint64_t& buffer, unsigned count, std::uint8_t byte) {
    buffer |= std::uint64_t{byte} << count;
  }
  static void AddWord(std::uint64_t& buffer, unsigned count, const std::uint8_t* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    buffer |= word << count;
  }
  static unsigned Take(std::uint64_t& buffer, unsigned codeSize) {
    const auto code = static_cast<unsigned>(buffer & ((1u << codeSize) - 1));
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

// Copies `length` bytes that lie `distance` bytes before `target` (distance >= length). Strings
// are short: while they are 8 bytes away or more and the output has room, whole 8-byte words
// are copied, the last one running a little past the string, into bytes the next strings
// overwrite.
inline void CopyString(std::uint8_t* target, const std::uint8_t* string, std::size_t length,
                       std::size_t distance, std::size_t room) {
  if (distance >= 8 && room >= length + 7) {
    for (std::size_t i = 0; i < length; i += 8) std::memcpy(target + i, string + i, 8);
  } else {
    std::memcpy(target, string, std::min(length, room));
  }
}

// One LZW block into `out`. Each code names a string: a root byte, or an earlier string plus
// one byte. That earlier string is the one the code before wrote, and the byte is the first of
// the string that followed it, so every entry lies whole in the output already written: the
// table keeps where and how long, and a code is a copy from there. The table never grows past
// 4096 entries: a full table is used as it stands until the next clear code.
template <class Flavour>
void DecodeLzw(TLZWState& s, unsigned initialCodeSize, const std::uint8_t* in, std::size_t packedSize,
               std::uint8_t* out, std::size_t unpackedSize) {
  // Offsets are 32 bits; no picture within the size limit has a strip or image that long.
  unpackedSize = std::min<std::size_t>(unpackedSize, UINT32_MAX);
  Registers r = Reset(s, initialCodeSize);
  const unsigned clearCode = s.clearCode, endCode = clearCode + 1;
  std::uint32_t* const offset = s.offset.data();
  std::uint16_t* const length = s.length.data();
  std::uint8_t* target = out;
  std::uint8_t* const targetEnd = out + unpackedSize;
  bool old = false;              // a string was written since the last clear
  std::size_t oldOffset = 0, oldLength = 0;
  // Bits are taken in by whole words while 8 bytes are left: as many whole bytes as fit, the
  // bits of the next byte coming along too, at the place where that byte will go in again.
  std::uint64_t buffer = 0;
  unsigned count = 0;
  const std::uint8_t* const inEnd = in + packedSize;
  for (;;) {
    if (count < r.codeSize) {
      if (inEnd - in >= 8) {
        Flavour::AddWord(buffer, count, in);
        const unsigned bytes = (63 - count) >> 3;
        in += bytes;
        count += bytes * 8;
      } else {
        for (; count <= 56 && in != inEnd; ++in, count += 8) Flavour::Add(buffer, count, *in);
        if (count < r.codeSize) break;
      }
    }
    {
      const unsigned code = Flavour::Take(buffer, r.codeSize);
      count -= r.codeSize;
      if (code == endCode || target == targetEnd) goto done;
      if (code == clearCode) {
        r = Reset(s, initialCodeSize);
        old = false;
        continue;
      }
      // A code may name the entry about to be made, never one beyond; with no string before
      // it, not even that one.
      if (code > r.freeCode || (code == r.freeCode && !old)) throw Exception(Flavour::kInvalid);
      const auto position = static_cast<std::size_t>(target - out);
      const auto room = static_cast<std::size_t>(targetEnd - target);
      std::size_t written;
      if (code < clearCode) {
        *target = static_cast<std::uint8_t>(code);
        written = 1;
      } else if (code < r.freeCode) {
        const std::size_t n = length[code];
        CopyString(target, out + offset[code], n, position - offset[code], room);
        written = std::min(n, room);
      } else {
        // The string not yet in the table: the previous one followed by its own first byte.
        CopyString(target, out + oldOffset, oldLength, oldLength, room);
        if (room > oldLength) target[oldLength] = out[oldOffset];
        written = std::min(oldLength + 1, room);
      }
      if (old && r.freeCode < TLZWState::kTableSize) {
        offset[r.freeCode] = static_cast<std::uint32_t>(oldOffset);
        length[r.freeCode] = static_cast<std::uint16_t>(oldLength + 1);
        Flavour::Grow(r);
      }
      old = true;
      oldOffset = position;
      oldLength = written;
      target += written;
    }
  }
done:
  // What the data did not reach is zero, also where word copies ran past the last string.
  std::memset(target, 0, static_cast<std::size_t>(targetEnd - target));
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
    if (header == 127 && inEnd - in >= 128 && outEnd - out >= 128) {
      // The longest literal, by far the commonest header in photographs: a copy of fixed size
      // that the compiler makes a few vector moves, where a copy of variable size costs a
      // string instruction's start-up for every 128 bytes.
      std::memcpy(out, in, 128);
      out += 128;
      in += 128;
    } else if (header >= 0) {
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
  std::memset(out, 0, static_cast<std::size_t>(outEnd - out));
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
