#include "imaging/Decompressors.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "base/Exception.h"

namespace {

// What sets the two LZW flavours apart; the shared loop below is compiled once for each, so
// that the inner loop has no call and no branch on the flavour.
struct TiffFlavour {
  static constexpr const char* kInvalid = "TIF LZW: invalid opcode.";
  // The width grows one code early: once the entry just made is the last but one the current
  // width can name.
  static constexpr unsigned kEarly = 1;

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
};

struct GifFlavour {
  static constexpr const char* kInvalid = "GIF LZW: invalid opcode.";
  // The width grows once the entry just made is the last the current width can name.
  static constexpr unsigned kEarly = 0;

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
};

// The roots' strings: root i is the byte i (GIF roots above 255 keep their low byte). Copies
// read a whole 16-byte block from a string's start, so the bytes go on past the last root.
constexpr unsigned kCopyBlock = 16;
constexpr auto kRootBytes = [] {
  std::array<std::uint8_t, 256 + kCopyBlock> bytes{};
  for (unsigned i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}();

// One LZW block into `out`. Each code names a string: a root byte, or an earlier string plus
// one byte. That earlier string is the one the code before wrote, and the byte is the first of
// the string that follows it, so every entry lies whole in the output once the next string is
// written: the table keeps where and how long, and a code is a copy from there. The table never
// grows past 4096 entries: a full table is used as it stands until the next clear code.
template <class Flavour>
void DecodeLzw(TLZWState& s, const unsigned clearCode, const unsigned initialCodeSize, const std::uint8_t* in,
               std::size_t packedSize, std::uint8_t* out, std::size_t unpackedSize) {
  constexpr unsigned kNever = TLZWState::kTableSize + 1;
  const unsigned endCode = clearCode + 1;
  const std::uint8_t** const string = s.string.data();
  std::uint16_t* const length = s.length.data();
  for (unsigned i = 0; i < clearCode; ++i) {
    string[i] = kRootBytes.data() + (i & 255);
    length[i] = 1;
  }
  std::uint8_t* target = out;
  std::uint8_t* const targetEnd = out + unpackedSize;
  const std::uint8_t* const inEnd = in + packedSize;

  // Bits are taken in by whole words while 8 bytes are left: as many whole bytes as fit, the
  // bits of the next byte coming along too, at the place where that byte will go in again.
  std::uint64_t buffer = 0;
  unsigned count = 0;
  unsigned codeSize = initialCodeSize;
  const auto next = [&](unsigned& code) {
    if (inEnd - in >= 8) {
      Flavour::AddWord(buffer, count, in);
      in += (63 - count) >> 3;
      count = 56 + (count & 7);
    } else if (count < codeSize) {
      for (; count <= 56 && in != inEnd; ++in, count += 8) Flavour::Add(buffer, count, *in);
      if (count < codeSize) return false;
    }
    code = Flavour::Take(buffer, codeSize);
    count -= codeSize;
    return true;
  };

  unsigned code, freeCode, growAt;
  const std::uint8_t* oldString;
  std::size_t oldLength;
reset:
  codeSize = initialCodeSize;
  growAt = codeSize < 12 ? (1u << codeSize) - 1 - Flavour::kEarly : kNever;
  freeCode = clearCode + 2;
  // After a clear code there is no string to extend: the first code is a root.
  do {
    if (!next(code) || code == endCode || target == targetEnd) goto done;
  } while (code == clearCode);
  if (code > clearCode) throw Exception(Flavour::kInvalid);
  *target = static_cast<std::uint8_t>(code);
  oldString = target++;
  oldLength = 1;

  for (;;) {
    if (!next(code)) break;
    if (code - clearCode < 2) {
      if (code == endCode || target == targetEnd) break;
      goto reset;
    }
    if (code > freeCode) {
      if (target == targetEnd) break;
      throw Exception(Flavour::kInvalid);
    }
    // The entry this code makes is the previous string and the first byte of this one, which
    // is where the previous string ends: it can be made before this string is written. A code
    // may name it at once: then its last byte is its own first.
    const bool ownEntry = code == freeCode;
    if (freeCode < TLZWState::kTableSize) {
      string[freeCode] = oldString;
      length[freeCode] = static_cast<std::uint16_t>(oldLength + 1);
      if (freeCode == growAt) {
        ++codeSize;
        growAt = codeSize < 12 ? (1u << codeSize) - 1 - Flavour::kEarly : kNever;
      }
      ++freeCode;
    }
    const std::uint8_t* from = string[code];
    const std::size_t n = length[code];
    const auto room = static_cast<std::size_t>(targetEnd - target);
    std::size_t written;
    if (n + kCopyBlock <= room) [[likely]] {
      // Whole blocks, the last running past the string into bytes the next strings overwrite.
      // A block is read whole before it is written, and the bytes of the string lie before
      // `target`, so no block reads a byte this copy has changed and still needs it.
      std::uint8_t* to = target;
      do {
        std::uint8_t block[kCopyBlock];
        std::memcpy(block, from, kCopyBlock);
        std::memcpy(to, block, kCopyBlock);
        from += kCopyBlock;
        to += kCopyBlock;
      } while (to < target + n);
      written = n;
    } else {
      if (room == 0) break;
      written = std::min(n, room);
      std::memmove(target, from, written);
    }
    if (ownEntry && written == n) target[n - 1] = target[0];
    oldString = target;
    oldLength = written;
    target += written;
  }
done:
  // What the data did not reach is zero, also where block copies ran past the last string.
  std::memset(target, 0, static_cast<std::size_t>(targetEnd - target));
}

}  // namespace

void TTIFFLZW::Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                      std::size_t unpackedSize) {
  DecodeLzw<TiffFlavour>(state_, 256, 9, source, packedSize, destination, unpackedSize);
}

void TGIFLZW::Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                     std::size_t unpackedSize) {
  // The clear code and the end code must be table entries, and the widest code 12 bits.
  if (initialCodeSize_ > 11) throw Exception(GifFlavour::kInvalid);
  DecodeLzw<GifFlavour>(state_, 1u << initialCodeSize_, initialCodeSize_ + 1u, source, packedSize, destination,
                        unpackedSize);
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

void TTIFFDeflate::Decode(const std::uint8_t*& source, std::uint8_t* destination, std::size_t packedSize,
                          std::size_t unpackedSize) {
  const std::optional<std::size_t> written = inflater_.Inflate({source, packedSize}, {destination, unpackedSize});
  if (!written) throw Exception("TIFF Deflate: invalid data.");
  std::memset(destination + *written, 0, unpackedSize - *written);
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
