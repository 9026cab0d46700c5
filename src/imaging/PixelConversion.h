#pragma once

#include <cstddef>
#include <cstdint>

// Small stateless routines that turn one row of samples, as a picture file stores them, into one
// row of a TBitmap, that undo horizontal differencing, and that swap byte order. A reader picks
// its routines once per picture and calls them for every row; each is one pass over one row and
// allocates nothing.

enum class ByteOrder { LittleEndian, BigEndian };

// Source rows hold interleaved samples (all samples of pixel 0, then of pixel 1...) of 8 or 16
// bits; `sampleCount` is the number of samples in the row (width x samples per pixel). 16-bit
// samples are numbers in the file's byte order, hence one instance per order; wherever one is
// reduced to 8 bits its most significant 8 bits are kept. Output pixels are blue first. A
// bits-per-sample value other than 8 or 16 converts nothing, except where said otherwise.
using RowConverter = void (*)(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample,
                              std::size_t sampleCount);

// One 16-bit sample per pixel to one Indexed8 byte; bits per sample is not consulted.
template <ByteOrder Order>
void ConvertGray16To8(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample,
                      std::size_t sampleCount);
// R, G, B to Bgr24.
template <ByteOrder Order>
void ConvertRgb(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample, std::size_t sampleCount);
// R, G, B, A to Bgrx32, the fourth sample kept in the fourth byte.
template <ByteOrder Order>
void ConvertRgba(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample, std::size_t sampleCount);
// C, M, Y, K to Bgr24 with the subtractive rule of the printing inks:
// colour = 255 - (S + K - round(S x K / max)), where round takes halves away from zero.
template <ByteOrder Order>
void ConvertCmyk(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample, std::size_t sampleCount);
// CIE L*a*b* (L unsigned, a and b signed, 8 bits each) to Bgr24 through CIE XYZ, in extended
// floating point; bits per sample is not consulted.
void ConvertCieLab(const std::uint8_t* source, std::uint8_t* target, unsigned bitsPerSample,
                   std::size_t sampleCount);

// Horizontal differencing undone in place, modulo 256: each byte gets the byte one pixel before
// it added. `count` is the row's width minus 1; the routines touch exactly the row's
// width x distance bytes.
using Differencing = void (*)(std::uint8_t* row, std::size_t count);
void UndoDifferencing1(std::uint8_t* row, std::size_t count);
void UndoDifferencing3(std::uint8_t* row, std::size_t count);
void UndoDifferencing4(std::uint8_t* row, std::size_t count);
// Differencing undone on `pixels` pixels of 8-bit RGB and written to `target` as blue, green,
// red in one pass; the differences are left as they are.
void UndoDifferencingRgbToBgr(const std::uint8_t* differences, std::uint8_t* target, std::size_t pixels);
// The same on 16-bit samples in the file's byte order, modulo 65536, for `Samples` samples per
// pixel (1, 3 or 4).
template <ByteOrder Order, unsigned Samples>
void UndoDifferencing16(std::uint8_t* row, std::size_t count);

// Byte order: the two bytes of each of `count` 16-bit values, the four bytes of each of `count`
// 32-bit values, and one 32-bit value.
void SwapWords(std::uint16_t* values, std::size_t count);
void SwapLongs(std::uint32_t* values, std::size_t count);
std::uint32_t SwapLong(std::uint32_t value);
