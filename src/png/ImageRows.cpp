#include "png/ImageRows.h"

#include <cstdlib>
#include <cstring>

int SurfaceBitsFor(int colourType, int bitDepth) {
  switch (colourType) {
    case 0:
    case 3:
      switch (bitDepth) {
        case 1: return 1;
        case 2:
        case 4: return 4;
        case 8:
        case 16: return 8;
      }
      return 0;
    case 4: return bitDepth == 8 || bitDepth == 16 ? 8 : 0;
    case 2:
    case 6: return bitDepth == 8 || bitDepth == 16 ? 24 : 0;
  }
  return 0;
}

bool HasAlphaPlane(int colourType) { return colourType == 4 || colourType == 6; }

std::uint64_t FilteredRowBytes(int colourType, int bitDepth, std::uint64_t pixels) {
  const std::uint64_t depth = static_cast<std::uint64_t>(bitDepth);
  switch (colourType) {
    case 0:
    case 3: return (pixels * depth + 7) / 8;
    case 2: return pixels * depth * 3 / 8;
    case 4: return pixels * depth * 2 / 8;
    case 6: return pixels * depth * 4 / 8;
  }
  return 0;
}

int PixelDistance(int colourType, int bitDepth) {
  const int bytes = bitDepth == 16 ? 2 : 1;
  switch (colourType) {
    case 0: return bytes;
    case 2: return 3 * bytes;
    case 4: return 2 * bytes;
    case 6: return 4 * bytes;
  }
  return 1;
}

std::uint8_t PaethPredictor(int left, int above, int upperLeft) {
  const int pa = std::abs(above - upperLeft);             // |p - left|
  const int pb = std::abs(left - upperLeft);              // |p - above|
  const int pc = std::abs(left + above - 2 * upperLeft);  // |p - upper-left|
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(left);
  return static_cast<std::uint8_t>(pb <= pc ? above : upperLeft);
}

namespace {

// Sub, Average and Paeth with a fixed pixel distance. The left and upper-left bytes of each
// channel are carried in locals from one pixel to the next instead of being read back from
// the row just written, which keeps the serial dependency through the row short.
template <int F, int D>
void UnfilterFixed(std::uint8_t* row, const std::uint8_t* previous, std::size_t count) {
  constexpr int filterType = F;
  int left[D] = {}, upperLeft[D] = {};
  std::size_t i = 0;
  for (; i + D <= count; i += D)
    for (int k = 0; k < D; ++k) {
      const int above = previous[i + k];
      int predicted;
      if constexpr (filterType == 1) {
        predicted = left[k];
      } else if constexpr (filterType == 3) {
        predicted = (above + left[k]) >> 1;
      } else {
        // With p = left + above - upper-left: p - left, p - above, and their sum p - upper-left.
        const int p = above - upperLeft[k];
        const int q = left[k] - upperLeft[k];
        const int pa = p < 0 ? -p : p;
        const int pb = q < 0 ? -q : q;
        const int pc = p + q < 0 ? -(p + q) : p + q;
        predicted = left[k];
        int best = pa;
        if (pb < best) {
          best = pb;
          predicted = above;
        }
        if (pc < best) predicted = upperLeft[k];
      }
      const auto value = static_cast<std::uint8_t>(row[i + k] + predicted);
      row[i + k] = value;
      left[k] = value;
      upperLeft[k] = above;
    }
  // A row that is not a whole number of pixels (packed samples never are): the rest one by one.
  for (; i < count; ++i) {
    const int l = i >= D ? row[i - D] : 0, above = previous[i], ul = i >= D ? previous[i - D] : 0;
    const int predicted = filterType == 1 ? l : filterType == 3 ? (above + l) >> 1 : PaethPredictor(l, above, ul);
    row[i] = static_cast<std::uint8_t>(row[i] + predicted);
  }
}

template <int F>
void UnfilterByDistance(std::uint8_t* row, const std::uint8_t* previous, std::size_t count, int distance) {
  switch (distance) {
    case 1: UnfilterFixed<F, 1>(row, previous, count); break;
    case 2: UnfilterFixed<F, 2>(row, previous, count); break;
    case 3: UnfilterFixed<F, 3>(row, previous, count); break;
    case 4: UnfilterFixed<F, 4>(row, previous, count); break;
    case 6: UnfilterFixed<F, 6>(row, previous, count); break;
    default: UnfilterFixed<F, 8>(row, previous, count); break;
  }
}

}  // namespace

void Unfilter(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
              int distance) {
  switch (filterType) {
    case 1:  // Sub
      UnfilterByDistance<1>(row, previous, count, distance);
      break;
    case 3:  // Average
      UnfilterByDistance<3>(row, previous, count, distance);
      break;
    case 4:  // Paeth
      UnfilterByDistance<4>(row, previous, count, distance);
      break;
    case 2:  // Up
      for (std::size_t i = 0; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
      break;
    default:  // None, and unknown types, which leave the row as it is
      break;
  }
}

namespace {

// One sample of `bits` bits (1, 2, 4) at position k of a packed row.
inline unsigned PackedSample(const std::uint8_t* row, std::uint32_t k, int bits) {
  const std::uint32_t bit = k * static_cast<std::uint32_t>(bits);
  return (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
}

// Combines pixel value v into a zeroed packed surface row at column x.
inline void PutPacked(std::uint8_t* surface, std::uint32_t x, int bits, unsigned v) {
  const std::uint32_t bit = x * static_cast<std::uint32_t>(bits);
  surface[bit >> 3] = static_cast<std::uint8_t>(surface[bit >> 3] | v << (8 - bits - (bit & 7)));
}

template <bool Gamma>
void WriteColour(const std::uint8_t* row, const RowTarget& t, int samples, int bytes,
                 const std::array<std::uint8_t, 256>& gamma) {
  const int pixelBytes = samples * bytes;
  std::uint8_t* alpha = t.alpha;
  for (std::uint32_t k = 0, x = t.start; k < t.count; ++k, x += t.step, row += pixelBytes) {
    std::uint8_t* out = t.surface + 3 * std::size_t{x};
    if constexpr (Gamma) {
      out[0] = gamma[row[2 * bytes]];
      out[1] = gamma[row[bytes]];
      out[2] = gamma[row[0]];
    } else {
      out[0] = row[2 * bytes];
      out[1] = row[bytes];
      out[2] = row[0];
    }
    if (samples == 4) alpha[x] = row[3 * bytes];
  }
}

// The common plain 8-bit cases, kept apart so that they compile to straight loops.
void WriteRgb8(const std::uint8_t* row, std::uint8_t* out, std::uint32_t count) {
  for (std::uint32_t k = 0; k < count; ++k, row += 3, out += 3) {
    out[0] = row[2];
    out[1] = row[1];
    out[2] = row[0];
  }
}

void WriteRgba8(const std::uint8_t* row, std::uint8_t* out, std::uint8_t* alpha, std::uint32_t count) {
  for (std::uint32_t k = 0; k < count; ++k, row += 4, out += 3) {
    out[0] = row[2];
    out[1] = row[1];
    out[2] = row[0];
    alpha[k] = row[3];
  }
}

}  // namespace

void WriteRow(int colourType, int bitDepth, const std::uint8_t* row, const RowTarget& t,
              const std::array<std::uint8_t, 256>& gamma, bool identityGamma) {
  const bool plain = t.start == 0 && t.step == 1;
  switch (colourType) {
    case 0:
    case 3:
      if (bitDepth == 16) {
        for (std::uint32_t k = 0, x = t.start; k < t.count; ++k, x += t.step) t.surface[x] = row[2 * k];
      } else if (bitDepth == 8) {
        if (plain) std::memcpy(t.surface, row, t.count);
        else
          for (std::uint32_t k = 0, x = t.start; k < t.count; ++k, x += t.step) t.surface[x] = row[k];
      } else if (bitDepth == 2) {
        // 2-bit samples are stored as 4-bit pixels; grey spreads them over the 16-level ramp.
        const unsigned scale = colourType == 0 ? 5 : 1;
        for (std::uint32_t k = 0, x = t.start; k < t.count; ++k, x += t.step)
          PutPacked(t.surface, x, 4, scale * PackedSample(row, k, 2));
      } else if (plain) {
        std::memcpy(t.surface, row, (std::size_t{t.count} * static_cast<std::size_t>(bitDepth) + 7) / 8);
      } else {
        for (std::uint32_t k = 0, x = t.start; k < t.count; ++k, x += t.step)
          PutPacked(t.surface, x, bitDepth, PackedSample(row, k, bitDepth));
      }
      break;
    case 4: {
      const int bytes = bitDepth / 8;
      for (std::uint32_t k = 0, x = t.start; k < t.count; ++k, x += t.step) {
        t.surface[x] = row[2 * bytes * k];
        t.alpha[x] = row[2 * bytes * k + static_cast<std::uint32_t>(bytes)];
      }
      break;
    }
    case 2:
    case 6: {
      const int samples = colourType == 2 ? 3 : 4;
      const int bytes = bitDepth / 8;
      if (identityGamma && plain && bytes == 1) {
        if (samples == 3) WriteRgb8(row, t.surface, t.count);
        else WriteRgba8(row, t.surface, t.alpha, t.count);
      } else if (identityGamma) {
        WriteColour<false>(row, t, samples, bytes, gamma);
      } else {
        WriteColour<true>(row, t, samples, bytes, gamma);
      }
      break;
    }
  }
}
