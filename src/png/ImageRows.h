#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The per-row stages of PNG image decoding: sizes, unfiltering and the row writers that turn
// one unfiltered row into surface pixels.

// Surface bits per pixel for a colour type and bit depth (1, 4, 8 or 24); 0 when the pair has
// no row writer and cannot be decoded.
int SurfaceBitsFor(int colourType, int bitDepth);
bool HasAlphaPlane(int colourType);

// Bytes of one filtered row of `pixels` pixels, without the filter-type byte.
std::uint64_t FilteredRowBytes(int colourType, int bitDepth, std::uint64_t pixels);
// Bytes per complete pixel as the filters count them (at least 1).
int PixelDistance(int colourType, int bitDepth);

// Undoes filter `filterType` on `row` (`count` bytes) given the unfiltered previous row.
// Unknown filter types leave the row as it is.
void Unfilter(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
              int distance);
// The Paeth predictor of the PNG format.
std::uint8_t PaethPredictor(int left, int above, int upperLeft);

// Where the pixels of one row go: `count` pixels, the k-th to column start + k * step of the
// surface row (and of the alpha row, when there is one). Plain rows have start 0, step 1.
struct RowTarget {
  std::uint8_t* surface = nullptr;
  std::uint8_t* alpha = nullptr;
  std::uint32_t start = 0;
  std::uint32_t step = 1;
  std::uint32_t count = 0;
};

// Writes one unfiltered row. The surface row must be zero where packed pixels are placed;
// `gamma` corrects the colour samples of RGB pictures.
void WriteRow(int colourType, int bitDepth, const std::uint8_t* row, const RowTarget& target,
              const std::array<std::uint8_t, 256>& gamma, bool identityGamma);
