#include "imaging/PixelConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Where the most significant byte of a 16-bit sample lies.
template <ByteOrder Order>
constexpr std::size_t kHigh = Order == ByteOrder::BigEndian ? 0 : 1;

template <ByteOrder Order>
std::uint16_t Sample16(const std::uint8_t* p) {
  return Order == ByteOrder::BigEndian ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                                       : static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

template <ByteOrder Order>
void PutSample16(std::uint8_t* p, unsigned value) {
  if (Order == ByteOrder::BigEndian) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
  } else {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
  }
}

std::uint8_t Clamp255(long value) { return static_cast<std::uint8_t>(std::clamp(value, 0L, 255L)); }

// One ink against black: round(S x K / 255) is the platform's multiply-divide, halves away from
// zero; 255 being odd, S x K / 255 is never a half, so adding 127 before dividing rounds it.
std::uint8_t Ink8(unsigned sample, unsigned black) {
  const long covered = static_cast<long>(sample + black) - static_cast<long>((sample * black + 127) / 255);
  return Clamp255(255 - covered);
}

std::uint8_t Ink16(std::uint32_t sample, std::uint32_t black) {
  const std::uint64_t product = std::uint64_t{sample} * black;
  const long covered = static_cast<long>(sample + black) - static_cast<long>((product + 32767) / 65535);
  return Clamp255(255 - (covered >> 8));
}

std::uint8_t LabChannel(long double value) { return Clamp255(std::lround(255 * value)); }

// 8-bit RGB and RGBA to BGR and BGRA. A 16-byte vector holds five pixels of three bytes (the
// 16th byte written is the next five's first, so five go at a time while a sixth follows) or
// four of four.
void SwapRedBlue3Portable(const std::uint8_t* source, std::uint8_t* target, std::size_t pixels) {
  for (; pixels > 0; --pixels, source += 3, target += 3) {
    const std::uint8_t red = source[0], green = source[1], blue = source[2];
    target[0] = blue;
    target[1] = green;
    target[2] = red;
  }
}

void SwapRedBlue4Portable(const std::uint8_t* source, std::uint8_t* target, std::size_t pixels) {
  for (; pixels > 0; --pixels, source += 4, target += 4) {
    const std::uint8_t red = source[0], green = source[1], blue = source[2], alpha = source[3];
    target[0] = blue;
    target[1] = green;
    target[2] = red;
    target[3] = alpha;
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define VERRELUNE_SSSE3 1
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

[[gnu::target("ssse3")]] void SwapRedBlue3Ssse3(const std::uint8_t* source, std::uint8_t* target, std::size_t pixels) {
  for (; pixels >= 6; pixels -= 5, source += 15, target += 15) {
    Bytes16 v;
    std::memcpy(&v, source, 16);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::memcpy(target, &v, 16);
  }
  SwapRedBlue3Portable(source, target, pixels);
}

[[gnu::target("ssse3")]] void SwapRedBlue4Ssse3(const std::uint8_t* source, std::uint8_t* target, std::size_t pixels) {
  for (; pixels >= 4; pixels -= 4, source += 16, target += 16) {
    Bytes16 v;
    std::memcpy(&v, source, 16);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    std::memcpy(target, &v, 16);
  }
  SwapRedBlue4Portable(source, target, pixels);
}
#endif

void SwapRedBlue3(const std::uint8_t* source, std::uint8_t* target, std::size_t pixels) {
#ifdef VERRELUNE_SSSE3
  if (HasSsse3()) return SwapRedBlue3Ssse3(source, target, pixels);
#endif
  SwapRedBlue3Portable(source, target, pixels);
}

void SwapRedBlue4(const std::uint8_t* source, std::uint8_t* target, std::size_t pixels) {
#ifdef VERRELUNE_SSSE3
  if (HasSsse3()) return SwapRedBlue4Ssse3(source, target, pixels);
#endif
  SwapRedBlue4Portable(source, target, pixels);
}

}  // namespace

template <ByteOrder Order>
void ConvertGray16To8(const std::uint8_t* source, std::uint8_t* target, unsigned, std::size_t sampleCount) {
  source += kHigh<Order>;
  for (std::size_t i = 0; i < sampleCount; ++i) target[i] = source[2 * i];
}

template <ByteOrder Order>
void ConvertRgb(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample, std::size_t sampleCount) {
  const std::size_t pixels = sampleCount / 3;
  if (bitsPerSample == 8) {
    SwapRedBlue3(source, target, pixels);
  } else if (bitsPerSample == 16) {
    source += kHigh<Order>;
    for (std::size_t i = 0; i < pixels; ++i, source += 6, target += 3) {
      target[0] = source[4];
      target[1] = source[2];
      target[2] = source[0];
    }
  }
}

template <ByteOrder Order>
void ConvertRgba(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample, std::size_t sampleCount) {
  const std::size_t pixels = sampleCount / 4;
  if (bitsPerSample == 8) {
    SwapRedBlue4(source, target, pixels);
  } else if (bitsPerSample == 16) {
    source += kHigh<Order>;
    for (std::size_t i = 0; i < pixels; ++i, source += 8, target += 4) {
      target[0] = source[4];
      target[1] = source[2];
      target[2] = source[0];
      target[3] = source[6];
    }
  }
}

template <ByteOrder Order>
void ConvertCmyk(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample, std::size_t sampleCount) {
  const std::size_t pixels = sampleCount / 4;
  if (bitsPerSample == 8) {
    for (std::size_t i = 0; i < pixels; ++i, source += 4, target += 3) {
      const unsigned black = source[3];
      target[0] = Ink8(source[2], black);
      target[1] = Ink8(source[1], black);
      target[2] = Ink8(source[0], black);
    }
  } else if (bitsPerSample == 16) {
    for (std::size_t i = 0; i < pixels; ++i, source += 8, target += 3) {
      const std::uint32_t black = Sample16<Order>(source + 6);
      target[0] = Ink16(Sample16<Order>(source + 4), black);
      target[1] = Ink16(Sample16<Order>(source + 2), black);
      target[2] = Ink16(Sample16<Order>(source), black);
    }
  }
}

void ConvertCieLab(const std::uint8_t* source, std::uint8_t* target, unsigned, std::size_t sampleCount) {
  const std::size_t pixels = sampleCount / 3;
  for (std::size_t i = 0; i < pixels; ++i, source += 3, target += 3) {
    const long double lightness = source[0] / 2.55L;
    const long double a = static_cast<std::int8_t>(source[1]);
    const long double b = static_cast<std::int8_t>(source[2]);
    const long double fy = (lightness + 16) / 116;
    long double x, y, z;
    if (lightness < 7.9996L) {
      // Near black the cube root of the CIE definition turns into its linear segment.
      y = lightness / 903.3L;
      x = y + a / 3893.5L;
      z = y - b / 1557.4L;
    } else {
      const long double fx = fy + a / 500;
      const long double fz = fy - b / 200;
      x = fx * fx * fx;
      y = fy * fy * fy;
      z = fz * fz * fz;
    }
    target[0] = LabChannel(0.099L * x - 0.198L * y + 1.099L * z);
    target[1] = LabChannel(-0.952L * x + 1.893L * y + 0.059L * z);
    target[2] = LabChannel(2.998L * x - 1.458L * y - 0.541L * z);
  }
}

// The running sums are kept in registers: adding the byte just written back from memory would
// make every byte wait for the store before it.
void UndoDifferencing1(std::uint8_t* row, std::size_t count) {
  std::uint8_t sum = row[0];
  for (std::size_t i = 1; i <= count; ++i) row[i] = sum = static_cast<std::uint8_t>(sum + row[i]);
}

void UndoDifferencing3(std::uint8_t* row, std::size_t count) {
  std::uint8_t a = row[0], b = row[1], c = row[2];
  for (std::uint8_t* p = row + 3; count > 0; --count, p += 3) {
    p[0] = a = static_cast<std::uint8_t>(a + p[0]);
    p[1] = b = static_cast<std::uint8_t>(b + p[1]);
    p[2] = c = static_cast<std::uint8_t>(c + p[2]);
  }
}

namespace {

void UndoDifferencingRgbToBgrPortable(const std::uint8_t* p, std::uint8_t* target, std::size_t pixels) {
  std::uint8_t red = 0, green = 0, blue = 0;
  for (; pixels > 0; --pixels, p += 3, target += 3) {
    target[2] = red = static_cast<std::uint8_t>(red + p[0]);
    target[1] = green = static_cast<std::uint8_t>(green + p[1]);
    target[0] = blue = static_cast<std::uint8_t>(blue + p[2]);
  }
}

#ifdef VERRELUNE_SSSE3
// Five pixels at a time in a 16-byte vector: each byte gets the sum of those 3, 6 and 12 bytes
// before it (a running sum within the five), then the last pixel of the five before, and goes
// out with red and blue exchanged. The 16th byte written is the next five's first.

[[gnu::target("ssse3")]] void UndoDifferencingRgbToBgrSsse3(const std::uint8_t* p, std::uint8_t* target,
                                                           std::size_t pixels) {
  const Bytes16 zero{};
  Bytes16 before{};  // the last pixel so far, in every pixel's place
  for (; pixels >= 6; pixels -= 5, p += 15, target += 15) {
    Bytes16 v;
    std::memcpy(&v, p, 16);
    v += __builtin_shufflevector(zero, v, 0, 1, 2, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28);
    v += __builtin_shufflevector(zero, v, 0, 1, 2, 3, 4, 5, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25);
    v += __builtin_shufflevector(zero, v, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19);
    v += before;
    before = __builtin_shufflevector(v, v, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 15);
    const Bytes16 out = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::memcpy(target, &out, 16);
  }
  std::uint8_t red = before[0], green = before[1], blue = before[2];
  for (; pixels > 0; --pixels, p += 3, target += 3) {
    target[2] = red = static_cast<std::uint8_t>(red + p[0]);
    target[1] = green = static_cast<std::uint8_t>(green + p[1]);
    target[0] = blue = static_cast<std::uint8_t>(blue + p[2]);
  }
}
#endif

}  // namespace

void UndoDifferencingRgbToBgr(const std::uint8_t* differences, std::uint8_t* target, std::size_t pixels) {
#ifdef VERRELUNE_SSSE3
  if (HasSsse3()) return UndoDifferencingRgbToBgrSsse3(differences, target, pixels);
#endif
  UndoDifferencingRgbToBgrPortable(differences, target, pixels);
}

void UndoDifferencing4(std::uint8_t* row, std::size_t count) {
  std::uint8_t a = row[0], b = row[1], c = row[2], d = row[3];
  for (std::uint8_t* p = row + 4; count > 0; --count, p += 4) {
    p[0] = a = static_cast<std::uint8_t>(a + p[0]);
    p[1] = b = static_cast<std::uint8_t>(b + p[1]);
    p[2] = c = static_cast<std::uint8_t>(c + p[2]);
    p[3] = d = static_cast<std::uint8_t>(d + p[3]);
  }
}

template <ByteOrder Order, unsigned Samples>
void UndoDifferencing16(std::uint8_t* row, std::size_t count) {
  unsigned sums[Samples];
  for (unsigned s = 0; s < Samples; ++s) sums[s] = Sample16<Order>(row + 2 * s);
  for (std::uint8_t* p = row + 2 * Samples; count > 0; --count, p += 2 * Samples)
    for (unsigned s = 0; s < Samples; ++s) {
      sums[s] = (sums[s] + Sample16<Order>(p + 2 * s)) & 0xFFFF;
      PutSample16<Order>(p + 2 * s, sums[s]);
    }
}

void SwapWords(std::uint16_t* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) values[i] = static_cast<std::uint16_t>(values[i] << 8 | values[i] >> 8);
}

void SwapLongs(std::uint32_t* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) values[i] = SwapLong(values[i]);
}

std::uint32_t SwapLong(std::uint32_t value) {
  return value << 24 | (value & 0xFF00) << 8 | (value >> 8 & 0xFF00) | value >> 24;
}

template void ConvertGray16To8<ByteOrder::LittleEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertGray16To8<ByteOrder::BigEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertRgb<ByteOrder::LittleEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertRgb<ByteOrder::BigEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertRgba<ByteOrder::LittleEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertRgba<ByteOrder::BigEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertCmyk<ByteOrder::LittleEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void ConvertCmyk<ByteOrder::BigEndian>(const std::uint8_t*, std::uint8_t*, unsigned, std::size_t);
template void UndoDifferencing16<ByteOrder::LittleEndian, 1>(std::uint8_t*, std::size_t);
template void UndoDifferencing16<ByteOrder::LittleEndian, 3>(std::uint8_t*, std::size_t);
template void UndoDifferencing16<ByteOrder::LittleEndian, 4>(std::uint8_t*, std::size_t);
template void UndoDifferencing16<ByteOrder::BigEndian, 1>(std::uint8_t*, std::size_t);
template void UndoDifferencing16<ByteOrder::BigEndian, 3>(std::uint8_t*, std::size_t);
template void UndoDifferencing16<ByteOrder::BigEndian, 4>(std::uint8_t*, std::size_t);
