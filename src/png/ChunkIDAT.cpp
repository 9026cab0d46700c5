#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "png/Chunks.h"
#include "png/ImageRows.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"

namespace {

// Compressed data are read in slices no larger than this, and never across the end of a
// chunk's data, so that each chunk's CRC covers exactly its own bytes.
constexpr std::size_t kInputSlice = 65535;

struct Adam7Pass {
  std::uint32_t rowStart, columnStart, rowStep, columnStep;
};
constexpr Adam7Pass kAdam7Passes[7] = {
    {0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1},
};

constexpr TChunkType kIDAT = {'I', 'D', 'A', 'T'};

// The state of one decoding: inflate over the run of IDAT chunks, the running CRC of the
// chunk being read, and the two row buffers (the row being read and the one above it).
class ImageDataReader {
 public:
  ImageDataReader(TPictureStream& stream, std::uint32_t length) : stream_(stream), input_(kInputSlice) {
    crc_ = ChunkCrc(0, kIDAT);
    chunkEnd_ = stream.Position() + length;
    if (inflateInit(&z_) != Z_OK) throw EPNGOutMemory();
    // Decoding stops at the last row and never looks at the stream's checksum, so inflate
    // need not compute it.
    inflateValidate(&z_, 0);
  }
  ~ImageDataReader() { inflateEnd(&z_); }
  ImageDataReader(const ImageDataReader&) = delete;
  ImageDataReader& operator=(const ImageDataReader&) = delete;

  // Pulls up to `count` inflated bytes into `target`; fewer only when the data run out.
  std::size_t Pull(std::uint8_t* target, std::size_t count);
  // Reads what is left of the current chunk's data into the CRC, then checks the CRC.
  void FinishChunk();

 private:
  void NextChunk();

  TPictureStream& stream_;
  z_stream z_{};
  std::vector<std::uint8_t> input_;
  std::uint32_t crc_ = 0;
  std::uint64_t chunkEnd_ = 0;
  // Inflate reported the end of the compressed stream: it is not called again.
  bool streamEnded_ = false;
};

void ImageDataReader::NextChunk() {
  CheckChunkCrc(stream_, crc_);
  std::uint8_t header[8];
  // Image data that need more bytes where no further chunk can be read are missing parts.
  if (stream_.Read(header) != sizeof header) throw EPNGMissingMultipleIDAT();
  const std::uint32_t length = std::uint32_t{header[0]} << 24 | std::uint32_t{header[1]} << 16 |
                               std::uint32_t{header[2]} << 8 | std::uint32_t{header[3]};
  const TChunkType type = {header[4], header[5], header[6], header[7]};
  if (ChunkTypeText(type) != "IDAT") throw EPNGMissingMultipleIDAT();
  CheckChunkLength(length);
  crc_ = ChunkCrc(0, type);
  chunkEnd_ = stream_.Position() + length;
}

std::size_t ImageDataReader::Pull(std::uint8_t* target, std::size_t count) {
  z_.next_out = target;
  z_.avail_out = static_cast<uInt>(count);
  while (z_.avail_out > 0) {
    if (streamEnded_) return count - z_.avail_out;
    if (z_.avail_in == 0) {
      if (stream_.Position() == chunkEnd_) NextChunk();
      const auto slice = static_cast<std::size_t>(
          std::min<std::uint64_t>(kInputSlice, chunkEnd_ > stream_.Position() ? chunkEnd_ - stream_.Position() : 0));
      const std::size_t got = stream_.Read({input_.data(), slice});
      if (got == 0) return count - z_.avail_out;
      crc_ = ChunkCrc(crc_, {input_.data(), got});
      z_.next_in = input_.data();
      z_.avail_in = static_cast<uInt>(got);
    }
    const int result = inflate(&z_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) streamEnded_ = true;
    // A preset dictionary cannot be supplied, and inflate would ask for it forever.
    else if (result < 0 || result == Z_NEED_DICT) throw EPNGZLIBError(result);
  }
  return count;
}

void ImageDataReader::FinishChunk() {
  while (stream_.Position() < chunkEnd_) {
    const auto slice = static_cast<std::size_t>(std::min<std::uint64_t>(kInputSlice, chunkEnd_ - stream_.Position()));
    const std::size_t got = stream_.Read({input_.data(), slice});
    if (got == 0) break;
    crc_ = ChunkCrc(crc_, {input_.data(), got});
  }
  CheckChunkCrc(stream_, crc_);
}

bool IsIdentity(const std::array<std::uint8_t, 256>& gamma) {
  for (int i = 0; i < 256; ++i)
    if (gamma[i] != i) return false;
  return true;
}

// Grey pictures draw through a ramp in the colour table, which is where their gamma goes.
void BuildGreyRamp(TChunkIHDR& header, const std::array<std::uint8_t, 256>& gamma) {
  const int entries = 1 << header.SurfaceBitsPerPixel();
  for (int i = 0; i < entries; ++i) {
    const int level = (i * 255 + (entries - 1) / 2) / (entries - 1);
    const std::uint8_t g = gamma[level];
    header.ColourTable()[i] = {g, g, g, 0};
  }
}

}  // namespace

bool TChunkIDAT::ReadChunk(TPictureStream& stream, const TChunkType&, std::uint32_t length) {
  CheckChunkLength(length);
  TPNGObject& owner = OwnerImage();
  TChunkIHDR& header = HeaderOf();
  const int colourType = header.ColourType, bitDepth = header.BitDepth;
  if (header.UsesColourTable() && (colourType == 0 || colourType == 4)) BuildGreyRamp(header, owner.SampleGamma);
  const bool identityGamma = IsIdentity(owner.SampleGamma);

  const std::uint32_t width = header.Width, height = header.Height;
  const auto fullRowBytes = static_cast<std::size_t>(FilteredRowBytes(colourType, bitDepth, width));
  const int distance = PixelDistance(colourType, bitDepth);
  const bool hasSurface = width > 0 && height > 0;

  ImageDataReader reader(stream, length);
  // Both rows start as zeros: the row above the first row of the picture (and of every
  // Adam7 pass) counts as all zeros.
  std::vector<std::uint8_t> rows[2] = {std::vector<std::uint8_t>(fullRowBytes + 1),
                                       std::vector<std::uint8_t>(fullRowBytes + 1)};
  int current = 1;

  // Reads, unfilters and writes one row of `pixels` pixels; false when the data ran out.
  auto decodeRow = [&](std::size_t rowBytes, std::uint32_t y, std::uint32_t start, std::uint32_t step,
                       std::uint32_t pixels) {
    std::uint8_t* row = rows[current].data();
    if (reader.Pull(row, rowBytes + 1) == 0) return false;
    Unfilter(row[0], row + 1, rows[1 - current].data() + 1, rowBytes, distance);
    if (hasSurface)
      WriteRow(colourType, bitDepth, row + 1, {header.SurfaceRow(y), header.AlphaRow(y), start, step, pixels},
               owner.SampleGamma, identityGamma);
    current = 1 - current;
    return true;
  };

  if (owner.InterlaceKind == 0) {
    for (std::uint32_t y = 0; y < height; ++y)
      if (!decodeRow(fullRowBytes, y, 0, 1, width)) break;
  } else {
    for (const Adam7Pass& pass : kAdam7Passes) {
      const std::uint32_t pixels =
          width > pass.columnStart ? (width - pass.columnStart + pass.columnStep - 1) / pass.columnStep : 0;
      const auto rowBytes = static_cast<std::size_t>(FilteredRowBytes(colourType, bitDepth, pixels));
      std::fill(rows[1 - current].begin(), rows[1 - current].end(), 0);
      // An empty pass has no rows at all, not even their filter bytes.
      if (rowBytes == 0) continue;
      for (std::uint32_t y = pass.rowStart; y < height; y += pass.rowStep)
        if (!decodeRow(rowBytes, y, pass.columnStart, pass.columnStep, pixels)) break;
    }
  }
  reader.FinishChunk();
  return true;
}
