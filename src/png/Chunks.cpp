#include "png/Chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "png/PNGErrors.h"
#include "png/PNGObject.h"

std::string_view ChunkTypeText(const TChunkType& type) {
  const auto* text = reinterpret_cast<const char*>(type.data());
  return {text, static_cast<std::size_t>(std::find(type.begin(), type.end(), 0) - type.begin())};
}

std::uint32_t ChunkCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  // zlib's crc32 is the PNG one (reflected EDB88320, preset and final inversion) and is
  // far faster than a byte-wise table on long IDAT runs.
  while (!bytes.empty()) {
    const auto slice = static_cast<uInt>(std::min<std::size_t>(bytes.size(), std::numeric_limits<uInt>::max()));
    crc = static_cast<std::uint32_t>(crc32(crc, bytes.data(), slice));
    bytes = bytes.subspan(slice);
  }
  return crc;
}

void CheckChunkCrc(TPictureStream& stream, std::uint32_t computed) {
  std::uint8_t stored[4];
  if (stream.Read(stored) != sizeof stored) throw EPngInvalidCRC();
  const std::uint32_t value = std::uint32_t{stored[0]} << 24 | std::uint32_t{stored[1]} << 16 |
                              std::uint32_t{stored[2]} << 8 | std::uint32_t{stored[3]};
  if (value != computed) throw EPngInvalidCRC();
}

void CheckChunkLength(std::uint32_t length) {
  if (length >= 0x80000000u) throw EPngInvalidCRC();
}

bool TChunk::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  CheckChunkLength(length);
  // A body the file cannot hold any more would fail its CRC anyway; failing now keeps the
  // allocation within the file's size.
  if (std::uint64_t{length} + 4 > stream.Remaining()) throw EPngInvalidCRC();
  body_.resize(length);
  if (length > 0) stream.Read(body_);
  std::uint32_t crc = ChunkCrc(0, type);
  crc = ChunkCrc(crc, body_);
  CheckChunkCrc(stream, crc);
  return true;
}

TChunkIHDR& TChunk::HeaderOf() const { return owner_.HeaderChunk(); }

namespace {

struct ChunkClass {
  std::string_view type;
  std::unique_ptr<TChunk> (*create)(TPNGObject&);
};

template <class T>
std::unique_ptr<TChunk> Make(TPNGObject& owner) {
  return std::make_unique<T>(owner);
}

// The chunk kinds the reader interprets, in registration order.
constexpr ChunkClass kChunkClasses[] = {
    {"IEND", Make<TChunkIEND>}, {"IHDR", Make<TChunkIHDR>}, {"IDAT", Make<TChunkIDAT>},
    {"PLTE", Make<TChunkPLTE>}, {"gAMA", Make<TChunkgAMA>}, {"tRNS", Make<TChunktRNS>},
    {"tIME", Make<TChunktIME>}, {"tEXt", Make<TChunktEXt>}, {"zTXt", Make<TChunkzTXt>},
};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

}  // namespace

std::unique_ptr<TChunk> ChunkForType(TPNGObject& owner, const TChunkType& type) {
  const std::string_view text = ChunkTypeText(type);
  std::unique_ptr<TChunk> chunk;
  for (const ChunkClass& kind : kChunkClasses)
    if (kind.type == text) {
      chunk = kind.create(owner);
      break;
    }
  if (!chunk) chunk = std::make_unique<TChunk>(owner);
  chunk->SetChunkType(type);
  return chunk;
}

bool TChunkPLTE::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunk::ReadChunk(stream, type, length);
  const auto body = Body();
  if (body.size() % 3 != 0 || body.size() / 3 > 256) throw EPNGInvalidPalette();
  EntryCount = static_cast<std::uint32_t>(body.size() / 3);
  const auto& gamma = OwnerImage().SampleGamma;
  PaletteTable& table = HeaderOf().ColourTable();
  for (std::uint32_t i = 0; i < EntryCount; ++i)
    table[i] = {gamma[body[3 * i + 2]], gamma[body[3 * i + 1]], gamma[body[3 * i]], 0};
  return true;
}

Color TChunkPLTE::PaletteEntry(std::uint32_t index) const {
  if (index >= EntryCount) throw EPngError(kNoSuchPaletteEntry);
  const auto& entry = HeaderOf().ColourTable()[index];
  return {entry[2], entry[1], entry[0]};
}

namespace {

// Gamma values (times 100000) a picture can really have been made for: 1/6250 to 6250. Beyond
// them the table sends every level but one to black or to white.
constexpr std::uint32_t kLowestGamma = 16;
constexpr std::uint32_t kHighestGamma = 625000000;

}  // namespace

std::uint32_t TChunkgAMA::Value() const {
  if (BodySize() != 4) return 0;
  const std::uint32_t value = BigEndian32(Body().data());
  return value >= kLowestGamma && value <= kHighestGamma ? value : 0;
}

bool TChunkgAMA::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunk::ReadChunk(stream, type, length);
  // A gamma that cannot be right is a damaged ancillary chunk: the picture shows as without it.
  const std::uint32_t value = Value();
  if (value == 0) return true;
  TPNGObject& owner = OwnerImage();
  const double exponent = 1.0 / (value / 100000.0 * 2.2);
  for (int i = 0; i < 256; ++i) {
    // nearbyint rounds ties to even in the default rounding mode.
    const double corrected = std::nearbyint(255.0 * std::pow(i / 255.0, exponent));
    const auto level = static_cast<std::uint8_t>(std::clamp(corrected, 0.0, 255.0));
    owner.SampleGamma[i] = level;
    owner.SampleGammaInverse[level] = static_cast<std::uint8_t>(i);
  }
  return true;
}

bool TChunktRNS::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunk::ReadChunk(stream, type, length);
  const auto body = Body();
  if (body.size() > 256) throw EPNGInvalidPalette();
  AlphaByIndex.fill(255);
  std::copy(body.begin(), body.end(), AlphaByIndex.begin());
  switch (HeaderOf().ColourType) {
    case 0:
    case 2:
      SingleKey = true;
      break;
    case 3:
      SingleKey = std::count_if(body.begin(), body.end(), [](std::uint8_t a) { return a != 255; }) == 1;
      break;
    default:
      SingleKey = false;
  }
  return true;
}

bool TChunktIME::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunk::ReadChunk(stream, type, length);
  if (BodySize() != 7) return true;
  const auto body = Body();
  Year = static_cast<std::uint16_t>(body[0] << 8 | body[1]);
  Month = body[2];
  Day = body[3];
  Hour = body[4];
  Minute = body[5];
  Second = body[6];
  return true;
}

bool TChunktEXt::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunk::ReadChunk(stream, type, length);
  if (BodySize() <= 2) return true;
  const auto body = Body();
  const auto zero = std::find(body.begin(), body.end(), 0);
  Keyword.assign(body.begin(), zero);
  Text.assign(zero == body.end() ? body.end() : zero + 1, body.end());
  return true;
}

namespace {

// Inflates `compressed` as one zlib stream; false when the data are broken or the result
// would exceed `limit` bytes.
bool InflateBounded(std::span<const std::uint8_t> compressed, std::size_t limit, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(compressed.data());
  z.avail_in = static_cast<uInt>(compressed.size());
  std::uint8_t block[16384];
  int result = Z_OK;
  bool ok = true;
  while (result != Z_STREAM_END) {
    z.next_out = block;
    z.avail_out = sizeof block;
    result = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = sizeof block - z.avail_out;
    // Any other result, or no progress at all, ends the stream as a failure.
    if ((result != Z_OK && result != Z_STREAM_END) || out.size() + produced > limit ||
        (result == Z_OK && produced == 0 && z.avail_in == 0)) {
      ok = false;
      break;
    }
    out.append(reinterpret_cast<const char*>(block), produced);
  }
  inflateEnd(&z);
  return ok;
}

}  // namespace

bool TChunkzTXt::ReadChunk(TPictureStream& stream, const TChunkType& type, std::uint32_t length) {
  TChunktEXt::ReadChunk(stream, type, length);
  if (BodySize() <= 3) return true;
  const auto body = Body();
  const auto zero = std::find(body.begin(), body.end(), 0);
  // The data start after the keyword's zero and the compression-method byte.
  const std::size_t start = std::min<std::size_t>(static_cast<std::size_t>(zero - body.begin()) + 2, body.size());
  std::string text;
  Text.clear();
  if (InflateBounded(body.subspan(start), kMaxInflatedText, text)) Text = std::move(text);
  return true;
}
