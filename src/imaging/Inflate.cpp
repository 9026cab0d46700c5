// DEFLATE decoding for whole buffers.
//
// Huffman codes are decoded by table: the next bits of the stream (first bit lowest) index a
// table whose entry says which symbol they start with and how many bits its code takes. Codes
// longer than the table's index point to a second-level table for the bits that follow. An
// entry of the literal/length table holds all a symbol means: the literal byte, or the base
// length and the count of extra bits that follow; distance entries likewise.
//
// The bits come through a 64-bit buffer refilled by whole words while 8 bytes of input are left.
// Past the end of the input the buffer takes zero bits and counts them: a symbol that needed any
// of them was cut off, and the decoding stops before writing it. Errors are only raised on
// elements whose bits are all there, so that data cut anywhere gives what its whole symbols say.

#include "imaging/Inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// An entry: bits 0-7 the bits its symbol takes, its code and the extra bits after a length or
// distance code (for a pointer to a second-level table, the first level's index bits); bits 8-11
// the bits of the code alone (for a pointer, the second level's index bits); bits 12-15 what kind
// it is; bits 16-31 the literal, the base length or distance, or where the second-level table
// starts. A symbol's extra bits are thus the bits it takes, less the lowest bits of its code.
using Entry = std::uint32_t;
constexpr Entry kLiteral = 1u << 12;
constexpr Entry kEndOfBlock = 1u << 13;
constexpr Entry kSubtable = 1u << 14;
constexpr Entry kInvalid = 1u << 15;

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLitLenBits = 11;
constexpr unsigned kDistanceBits = 8;
constexpr unsigned kCodeLengthBits = 7;

constexpr unsigned kLitLenSymbols = 288;  // 286 and 287 only in fixed codes, where they mean nothing
constexpr unsigned kDistanceSymbols = 32;  // 30 and 31 likewise
constexpr unsigned kCodeLengthSymbols = 19;

// A second-level table has at most 2^(15 - first-level bits) entries and holds at least two codes:
// no code set needs more tables than half its symbols.
constexpr std::size_t TableSize(unsigned bits, unsigned symbols) {
  return (std::size_t{1} << bits) + symbols / 2 * (std::size_t{1} << (kMaxCodeBits - bits));
}

// What each symbol means, its extra bit count in bits 8-11 until its entry is made.
constexpr auto kLitLenMeaning = [] {
  std::array<Entry, kLitLenSymbols> meaning{};
  for (unsigned s = 0; s < 256; ++s) meaning[s] = kLiteral | s << 16;
  meaning[256] = kEndOfBlock;
  unsigned base = 3;
  for (unsigned i = 0; i < 28; ++i) {
    const unsigned extra = i < 8 ? 0 : (i - 4) / 4;
    meaning[257 + i] = base << 16 | extra << 8;
    base += 1u << extra;
  }
  meaning[285] = 258u << 16;
  meaning[286] = meaning[287] = kInvalid;
  return meaning;
}();

constexpr auto kDistanceMeaning = [] {
  std::array<Entry, kDistanceSymbols> meaning{};
  unsigned base = 1;
  for (unsigned d = 0; d < 30; ++d) {
    const unsigned extra = d < 4 ? 0 : d / 2 - 1;
    meaning[d] = base << 16 | extra << 8;
    base += 1u << extra;
  }
  meaning[30] = meaning[31] = kInvalid;
  return meaning;
}();

constexpr auto kCodeLengthMeaning = [] {
  std::array<Entry, kCodeLengthSymbols> meaning{};
  for (unsigned s = 0; s < kCodeLengthSymbols; ++s) meaning[s] = s << 16;
  return meaning;
}();

// The order in which a dynamic block gives the code lengths of the code length alphabet.
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                               11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr auto kReversedBytes = [] {
  std::array<std::uint8_t, 256> reversed{};
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned i = 0; i < 8; ++i)
      if (b & 1u << i) reversed[b] |= static_cast<std::uint8_t>(0x80u >> i);
  return reversed;
}();

// The entry of a symbol of the given meaning whose code has `length` bits.
constexpr Entry MakeEntry(Entry meaning, unsigned length) {
  return (meaning & ~Entry{0xF00}) | length << 8 | (length + (meaning >> 8 & 15));
}

// `code`'s `length` bits in the opposite order: the order they come in the stream.
unsigned Reversed(unsigned code, unsigned length) {
  return (unsigned{kReversedBytes[code & 0xFF]} << 8 | kReversedBytes[code >> 8 & 0xFF]) >> (16 - length);
}

// Fills `table` for the canonical code of `lengths` (0: the symbol has no code). False when the
// lengths are no prefix code. `loneCode`: one code of one bit is allowed, the other bit then
// being invalid. `whenEmpty` fills the table when no symbol has a code.
bool BuildTable(std::span<Entry> table, unsigned bits, std::span<const std::uint8_t> lengths,
                const Entry* meaning, bool loneCode, Entry whenEmpty) {
  // Counted in four rows, so that runs of equal lengths do not wait on one counter.
  unsigned counts[4][kMaxCodeBits + 1] = {};
  std::size_t s = 0;
  for (; s + 4 <= lengths.size(); s += 4)
    for (unsigned k = 0; k < 4; ++k) ++counts[k][lengths[s + k]];
  for (; s < lengths.size(); ++s) ++counts[0][lengths[s]];
  unsigned count[kMaxCodeBits + 1];
  for (unsigned length = 0; length <= kMaxCodeBits; ++length)
    count[length] = counts[0][length] + counts[1][length] + counts[2][length] + counts[3][length];
  count[0] = 0;
  unsigned longest = kMaxCodeBits;
  while (longest > 0 && count[longest] == 0) --longest;
  const std::size_t size = std::size_t{1} << bits;
  if (longest == 0) {
    std::fill_n(table.begin(), size, whenEmpty);
    return true;
  }
  // Each length doubles the codes still free; none may be taken twice, and a complete code
  // leaves none.
  int free = 1;
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
    free = 2 * free - static_cast<int>(count[length]);
    if (free < 0) return false;
  }
  if (free > 0) {
    if (!loneCode || longest != 1) return false;
    const auto symbol = static_cast<std::size_t>(std::find(lengths.begin(), lengths.end(), 1) - lengths.begin());
    for (std::size_t i = 0; i < size; i += 2) {
      table[i] = MakeEntry(meaning[symbol], 1);
      table[i + 1] = MakeEntry(kInvalid, 1);
    }
    return true;
  }

  // Symbols by code length, then by value: the order of their canonical codes.
  unsigned start[kMaxCodeBits + 2] = {};
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) start[length + 1] = start[length] + count[length];
  std::array<std::uint16_t, kLitLenSymbols> sorted;
  for (std::size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s] != 0) sorted[start[lengths[s]]++] = static_cast<std::uint16_t>(s);

  unsigned left[kMaxCodeBits + 1];
  std::copy(std::begin(count), std::end(count), left);
  std::size_t next = size;  // where the next second-level table goes
  std::size_t subStart = 0;
  unsigned subBits = 0, subPrefix = ~0u;
  unsigned code = 0, i = 0;
  // The codes of the first level: those of each length in a table of as many bits, which is then
  // doubled for the next length, its second half a copy of the first (one more bit that the
  // shorter codes do not look at). Every entry ends up written: the code is complete.
  for (unsigned length = 1; length <= bits; ++length, code <<= 1) {
    for (unsigned k = 0; k < count[length]; ++k, ++code, --left[length])
      table[Reversed(code, length)] = MakeEntry(meaning[sorted[i++]], length);
    if (length < bits) std::copy_n(table.begin(), std::size_t{1} << length, table.begin() + (std::size_t{1} << length));
  }
  for (unsigned length = bits + 1; length <= longest; ++length, code <<= 1) {
    for (unsigned k = 0; k < count[length]; ++k, ++code, --left[length]) {
      const Entry meant = meaning[sorted[i++]];
      const unsigned reversed = Reversed(code, length);
      // Codes sharing their first `bits` bits come one after the other, the shorter first.
      const unsigned prefix = reversed & static_cast<unsigned>(size - 1);
      if (prefix != subPrefix) {
        // As many bits as it takes for the codes left, shortest first, to fill the table.
        subBits = length - bits;
        int room = 1 << subBits;
        for (unsigned l = length;; ++l) {
          room -= static_cast<int>(left[l]);
          if (room <= 0 || l == longest) break;
          ++subBits;
          room *= 2;
        }
        if (next + (std::size_t{1} << subBits) > table.size()) return false;
        subStart = next;
        next += std::size_t{1} << subBits;
        subPrefix = prefix;
        table[prefix] = kSubtable | static_cast<Entry>(subStart) << 16 | subBits << 8 | bits;
      }
      for (std::size_t at = reversed >> bits; at < std::size_t{1} << subBits; at += std::size_t{1} << (length - bits))
        table[subStart + at] = MakeEntry(meant, length - bits);
    }
  }
  return true;
}

}  // namespace

struct TInflater::Tables {
  std::array<Entry, TableSize(kLitLenBits, 286)> litLen;
  std::array<Entry, TableSize(kDistanceBits, 30)> distance;
  std::array<Entry, std::size_t{1} << kCodeLengthBits> codeLength;
  std::array<Entry, std::size_t{1} << kLitLenBits> fixedLitLen;
  std::array<Entry, std::size_t{1} << kDistanceBits> fixedDistance;
  std::array<std::uint8_t, 286 + 30> lengths;
};

namespace {

using Tables = TInflater::Tables;

enum class Outcome { kBlockEnd, kStop, kError };

// The input, its bit buffer and the output of one decoding.
struct Stream {
  const std::uint8_t* in;
  const std::uint8_t* inEnd;
  std::uint8_t* outStart;
  std::uint8_t* out;
  std::uint8_t* outEnd;
  std::uint64_t bits = 0;
  unsigned count = 0;    // bits held, from the lowest
  unsigned phantom = 0;  // of these, the zero bits taken past the end of the input

  // At least 56 bits held afterwards. A word load takes as many whole bytes as fit; the bits of
  // the next byte that come along are at the place where that byte will go in.
  void Refill() {
    if (inEnd - in >= 8) {
      std::uint64_t word;
      std::memcpy(&word, in, 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      bits |= word << count;
      in += (63 - count) >> 3;
      count |= 56;
      return;
    }
    for (; count <= 56; count += 8) {
      if (in != inEnd) bits |= std::uint64_t{*in++} << count;
      else phantom += 8;
    }
  }
  unsigned Peek(unsigned n) const { return static_cast<unsigned>(bits & ((std::uint64_t{1} << n) - 1)); }
  void Drop(unsigned n) {
    bits >>= n;
    count -= n;
  }
  unsigned Take(unsigned n) {
    const unsigned value = Peek(n);
    Drop(n);
    return value;
  }
  // Whether bits past the end of the input were used.
  bool CutOff() const { return phantom > count; }
};

std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}
void Store8(std::uint8_t* p, std::uint64_t word) { std::memcpy(p, &word, 8); }

// Output room the fast loop keeps: three literals, the longest match, and what the copies of
// whole words write past a match.
constexpr std::ptrdiff_t kOutputMargin = 3 + 258 + 32;
// Input the fast loop keeps: the last word load of a round starts at most 11 bytes after the first
// (two literals of 15 bits are taken before the second refill, which holds at most 63 bits).
constexpr std::ptrdiff_t kInputMargin = 24;

// A match of `length` bytes from `distance` back, by whole words, which may write up to 29
// bytes past its end.
inline void CopyMatch(std::uint8_t* out, unsigned distance, unsigned length) {
  std::uint8_t* const end = out + length;
  const std::uint8_t* from = out - distance;
  if (distance >= 16) {
    // Most matches are short: their first 32 bytes without a test.
    const auto copy16 = [](std::uint8_t* to, const std::uint8_t* source) {
      std::uint8_t block[16];
      std::memcpy(block, source, 16);
      std::memcpy(to, block, 16);
    };
    copy16(out, from);
    copy16(out + 16, from + 16);
    for (out += 32, from += 32; out < end; out += 16, from += 16) copy16(out, from);
  } else if (distance >= 8) {
    do {
      Store8(out, Load8(from));
      from += 8;
      out += 8;
    } while (out < end);
  } else if (distance == 1) {
    const std::uint64_t run = *from * 0x0101010101010101ull;
    do {
      Store8(out, run);
      out += 8;
    } while (out < end);
  } else {
    // The bytes repeat every `distance` (a pixel back, in flat parts of a picture): the first
    // `distance` bytes, repeated through a word (bytes in little-endian order), go out by whole
    // words a multiple of the distance apart. Nothing the copy writes is read back, which
    // would wait on the stores.
    const unsigned period = distance * 8;
    std::uint64_t pattern = Load8(from) & ((std::uint64_t{1} << period) - 1);
    for (unsigned shift = period; shift < 64; shift *= 2) pattern |= pattern << shift;
    const unsigned step = 8 / distance * distance;
    do {
      Store8(out, pattern);
      out += step;
    } while (out < end);
  }
}

// The value of a symbol's extra bits, which come after its code in `bits`.
inline unsigned ExtraBits(std::uint64_t bits, Entry e) {
  return static_cast<unsigned>((bits & ((std::uint64_t{1} << (e & 0xFF)) - 1)) >> (e >> 8 & 15));
}

// The symbols of one Huffman block until its end code. While margins of input and output are
// left, symbols are decoded without checks on either: several literals per refill, whole-word
// copies. The rest goes symbol by symbol.
[[gnu::always_inline]] inline Outcome DecodeHuffmanBody(Stream& s, const Entry* litLen, const Entry* distanceTable) {
  constexpr unsigned kLitLenMask = (1u << kLitLenBits) - 1;
  constexpr unsigned kDistanceMask = (1u << kDistanceBits) - 1;
  // Locals, not the stream's members: byte stores could otherwise change them for the compiler.
  const std::uint8_t* in = s.in;
  const std::uint8_t* const inEnd = s.inEnd;
  std::uint8_t* out = s.out;
  std::uint8_t* const outStart = s.outStart;
  std::uint8_t* const outEnd = s.outEnd;
  std::uint64_t bits = s.bits;
  unsigned count = s.count;
  Outcome outcome = Outcome::kStop;

  if constexpr (std::endian::native == std::endian::little) {
    const auto refill = [&] {
      bits |= Load8(in) << count;
      in += (63 - count) >> 3;
      count |= 56;
    };
    const auto drop = [&](unsigned n) {
      bits >>= n;
      count -= n;
    };
    const auto roomLeft = [&] { return inEnd - in >= kInputMargin && outEnd - out >= kOutputMargin; };
    if (roomLeft()) {
      // Each symbol's entry is looked up as soon as the bits of the table's first level are held
      // (11 at least), so that the lookup overlaps the refill and the copy of a match before it.
      refill();
      Entry e = litLen[bits & kLitLenMask];
      do {
        refill();
        if (e & kLiteral) {
          // From 56 bits, three literals of at most 15 bits leave the 11 the next lookup needs.
          std::uint8_t literal = static_cast<std::uint8_t>(e >> 16);
          drop(e & 0xFF);
          e = litLen[bits & kLitLenMask];
          *out++ = literal;
          if (e & kLiteral) {
            literal = static_cast<std::uint8_t>(e >> 16);
            drop(e & 0xFF);
            e = litLen[bits & kLitLenMask];
            *out++ = literal;
            if (e & kLiteral) {
              literal = static_cast<std::uint8_t>(e >> 16);
              drop(e & 0xFF);
              e = litLen[bits & kLitLenMask];
              *out++ = literal;
              continue;
            }
          }
          refill();
        }
        if (e & kSubtable) {
          drop(kLitLenBits);
          e = litLen[(e >> 16) + (bits & ((1u << (e >> 8 & 15)) - 1))];
          if (e & kLiteral) {
            drop(e & 0xFF);
            *out++ = static_cast<std::uint8_t>(e >> 16);
            e = litLen[bits & kLitLenMask];
            continue;
          }
        }
        if (e & (kEndOfBlock | kInvalid)) {
          drop(e & 0xFF);
          outcome = e & kEndOfBlock ? Outcome::kBlockEnd : Outcome::kError;
          goto leave;
        }
        // From 56 bits, a length code with its extra bits (20 at most) and a distance code with
        // its own (28 at most).
        const unsigned length = (e >> 16) + ExtraBits(bits, e);
        drop(e & 0xFF);
        Entry d = distanceTable[bits & kDistanceMask];
        if (d & kSubtable) {
          drop(kDistanceBits);
          d = distanceTable[(d >> 16) + (bits & ((1u << (d >> 8 & 15)) - 1))];
        }
        if (d & kInvalid) {
          outcome = Outcome::kError;
          goto leave;
        }
        const unsigned distance = (d >> 16) + ExtraBits(bits, d);
        drop(d & 0xFF);
        if (distance > static_cast<std::size_t>(out - outStart)) {
          outcome = Outcome::kError;
          goto leave;
        }
        refill();
        e = litLen[bits & kLitLenMask];
        CopyMatch(out, distance, length);
        out += length;
      } while (roomLeft());
    }
  }

  s.in = in, s.out = out, s.bits = bits, s.count = count;
  // Near either end: one symbol at a time, each checked against the input's end before it
  // counts, and against the output's end before it is written.
  for (;;) {
    s.Refill();
    Entry e = litLen[s.bits & kLitLenMask];
    if (e & kSubtable) {
      s.Drop(kLitLenBits);
      e = litLen[(e >> 16) + s.Peek(e >> 8 & 15)];
    }
    const unsigned length = (e >> 16) + ExtraBits(s.bits, e);
    s.Drop(e & 0xFF);
    if (s.CutOff()) return Outcome::kStop;
    if (e & kLiteral) {
      if (s.out == s.outEnd) return Outcome::kStop;
      *s.out++ = static_cast<std::uint8_t>(e >> 16);
      continue;
    }
    if (e & kEndOfBlock) return Outcome::kBlockEnd;
    if (e & kInvalid) return Outcome::kError;
    s.Refill();
    Entry d = distanceTable[s.bits & kDistanceMask];
    if (d & kSubtable) {
      s.Drop(kDistanceBits);
      d = distanceTable[(d >> 16) + s.Peek(d >> 8 & 15)];
    }
    const unsigned distance = (d >> 16) + ExtraBits(s.bits, d);
    s.Drop(d & 0xFF);
    if (s.CutOff()) return Outcome::kStop;
    if (d & kInvalid) return Outcome::kError;
    // A match without room ends the decoding before its distance is looked at.
    if (s.out == s.outEnd) return Outcome::kStop;
    if (distance > static_cast<std::size_t>(s.out - s.outStart)) return Outcome::kError;
    const auto room = static_cast<std::size_t>(s.outEnd - s.out);
    const std::size_t n = std::min<std::size_t>(length, room);
    for (std::size_t k = 0; k < n; ++k, ++s.out) *s.out = *(s.out - distance);
    if (n < length) return Outcome::kStop;
  }

leave:
  s.in = in, s.out = out, s.bits = bits, s.count = count;
  return outcome;
}

Outcome DecodeHuffmanPortable(Stream& s, const Entry* litLen, const Entry* distanceTable) {
  return DecodeHuffmanBody(s, litLen, distanceTable);
}

#if defined(__GNUC__) && defined(__x86_64__)
// Shifts by a variable count take one instruction with BMI2 instead of three, and the loop is
// little else.
[[gnu::target("bmi2")]] Outcome DecodeHuffmanBmi2(Stream& s, const Entry* litLen, const Entry* distanceTable) {
  return DecodeHuffmanBody(s, litLen, distanceTable);
}

Outcome DecodeHuffman(Stream& s, const Entry* litLen, const Entry* distanceTable) {
  static const bool bmi2 = __builtin_cpu_supports("bmi2");
  return bmi2 ? DecodeHuffmanBmi2(s, litLen, distanceTable) : DecodeHuffmanPortable(s, litLen, distanceTable);
}
#else
Outcome DecodeHuffman(Stream& s, const Entry* litLen, const Entry* distanceTable) {
  return DecodeHuffmanPortable(s, litLen, distanceTable);
}
#endif

// A stored block: after the block's three bits, the rest of the byte is skipped; the length and
// its complement follow, then the bytes.
Outcome CopyStored(Stream& s) {
  s.Drop(s.count & 7);
  s.Refill();
  const unsigned length = s.Take(16);
  const unsigned complement = s.Take(16);
  if (s.CutOff()) return Outcome::kStop;
  if ((length ^ 0xFFFF) != complement) return Outcome::kError;
  // The whole bytes still held go back to the input.
  s.in -= (s.count - s.phantom) / 8;
  s.bits = 0, s.count = 0, s.phantom = 0;
  const std::size_t n = std::min({std::size_t{length}, static_cast<std::size_t>(s.inEnd - s.in),
                                  static_cast<std::size_t>(s.outEnd - s.out)});
  std::memcpy(s.out, s.in, n);
  s.in += n;
  s.out += n;
  return n == length ? Outcome::kBlockEnd : Outcome::kStop;
}

// The code lengths of a dynamic block, themselves Huffman-coded, and its two tables from them.
Outcome ReadCodes(Stream& s, Tables& t) {
  s.Refill();
  const unsigned litLenCount = s.Take(5) + 257;
  const unsigned distanceCount = s.Take(5) + 1;
  const unsigned codeLengthCount = s.Take(4) + 4;
  if (s.CutOff()) return Outcome::kStop;
  if (litLenCount > 286 || distanceCount > 30) return Outcome::kError;
  std::uint8_t codeLengths[kCodeLengthSymbols] = {};
  for (unsigned i = 0; i < codeLengthCount; ++i) {
    s.Refill();
    codeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(s.Take(3));
  }
  if (s.CutOff()) return Outcome::kStop;
  // Without any code, every bit reads as a length of 0; the block then has no end code.
  if (!BuildTable(t.codeLength, kCodeLengthBits, codeLengths, kCodeLengthMeaning.data(), false,
                  MakeEntry(kCodeLengthMeaning[0], 1)))
    return Outcome::kError;

  const unsigned total = litLenCount + distanceCount;
  std::uint8_t* const lengths = t.lengths.data();
  for (unsigned i = 0; i < total;) {
    s.Refill();
    const Entry e = t.codeLength[s.Peek(kCodeLengthBits)];
    s.Drop(e & 0xFF);
    const unsigned symbol = e >> 16;
    if (symbol < 16) {
      if (s.CutOff()) return Outcome::kStop;
      lengths[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t repeated = 0;
    unsigned times;
    if (symbol == 16) {
      times = 3 + s.Take(2);
      if (s.CutOff()) return Outcome::kStop;
      if (i == 0) return Outcome::kError;
      repeated = lengths[i - 1];
    } else {
      times = symbol == 17 ? 3 + s.Take(3) : 11 + s.Take(7);
      if (s.CutOff()) return Outcome::kStop;
    }
    if (times > total - i) return Outcome::kError;
    std::fill_n(lengths + i, times, repeated);
    i += times;
  }
  if (lengths[256] == 0) return Outcome::kError;
  if (!BuildTable(t.litLen, kLitLenBits, {lengths, litLenCount}, kLitLenMeaning.data(), true,
                  MakeEntry(kInvalid, 1)) ||
      !BuildTable(t.distance, kDistanceBits, {lengths + litLenCount, distanceCount}, kDistanceMeaning.data(), true,
                  MakeEntry(kInvalid, 1)))
    return Outcome::kError;
  return Outcome::kBlockEnd;
}

}  // namespace

TInflater::TInflater() : tables_(std::make_unique<Tables>()) {
  std::array<std::uint8_t, kLitLenSymbols> fixed;
  std::fill_n(fixed.begin(), 144, 8);
  std::fill_n(fixed.begin() + 144, 112, 9);
  std::fill_n(fixed.begin() + 256, 24, 7);
  std::fill_n(fixed.begin() + 280, 8, 8);
  BuildTable(tables_->fixedLitLen, kLitLenBits, fixed, kLitLenMeaning.data(), false, 0);
  fixed.fill(5);
  BuildTable(tables_->fixedDistance, kDistanceBits, {fixed.data(), kDistanceSymbols}, kDistanceMeaning.data(), false,
             0);
}

TInflater::~TInflater() = default;

std::optional<std::size_t> TInflater::Inflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  // The header: method 8 with a window of at most 32 KiB, a check of both bytes, no dictionary.
  if (in.size() < 2) return 0;
  const unsigned method = in[0], flags = in[1];
  if ((method << 8 | flags) % 31 != 0 || (method & 15) != 8 || method >> 4 > 7) return std::nullopt;
  if (flags & 0x20) {
    // The dictionary's checksum follows; data that ends before it has nothing to decode.
    if (in.size() >= 6) return std::nullopt;
    return 0;
  }

  Stream s{in.data() + 2, in.data() + in.size(), out.data(), out.data(), out.data() + out.size()};
  Tables& t = *tables_;
  for (bool last = false; !last;) {
    s.Refill();
    last = s.Take(1) != 0;
    const unsigned type = s.Take(2);
    if (s.CutOff()) break;
    Outcome outcome;
    if (type == 0) {
      outcome = CopyStored(s);
    } else if (type == 1) {
      outcome = DecodeHuffman(s, t.fixedLitLen.data(), t.fixedDistance.data());
    } else if (type == 2) {
      outcome = ReadCodes(s, t);
      if (outcome == Outcome::kBlockEnd) outcome = DecodeHuffman(s, t.litLen.data(), t.distance.data());
    } else {
      outcome = Outcome::kError;
    }
    if (outcome == Outcome::kError) return std::nullopt;
    if (outcome == Outcome::kStop) break;
  }
  return static_cast<std::size_t>(s.out - s.outStart);
}
