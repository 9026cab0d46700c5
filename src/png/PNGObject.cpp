#include "png/PNGObject.h"

#include <numeric>

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

bool IsType(const TChunkType& type, std::string_view name) { return ChunkTypeText(type) == name; }

// Critical chunks have bit 5 of their first type byte clear; a reader must understand them.
bool IsUnknownCritical(const TChunk& chunk, const TChunkType& type) {
  return typeid(chunk) == typeid(TChunk) && type[0] != 0 && (type[0] & 32) == 0;
}

}  // namespace

TPNGObject::TPNGObject() { ClearChunks(); }

TPNGObject::~TPNGObject() = default;

const TGraphicClass& TPNGObject::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TPNGObject>("TPNGObject", TGraphic::Class());
  return kind;
}

int TPNGObject::Width() const { return HasHeader() ? static_cast<int>(HeaderChunk().Width) : 0; }
int TPNGObject::Height() const { return HasHeader() ? static_cast<int>(HeaderChunk().Height) : 0; }

void TPNGObject::ClearChunks() {
  std::iota(SampleGamma.begin(), SampleGamma.end(), 0);
  std::iota(SampleGammaInverse.begin(), SampleGammaInverse.end(), 0);
  chunks_.clear();
}

bool TPNGObject::HasHeader() const {
  return !chunks_.empty() && dynamic_cast<const TChunkIHDR*>(chunks_.front().get()) != nullptr;
}

TChunkIHDR& TPNGObject::HeaderChunk() const {
  if (!HasHeader()) throw EPNGHeaderNotPresent();
  return static_cast<TChunkIHDR&>(*chunks_.front());
}

void TPNGObject::ReadPictureStream(TPictureStream& stream) {
  ClearChunks();
  std::uint8_t signature[8];
  if (stream.Read(signature) != sizeof signature || !std::equal(signature, signature + 8, kSignature))
    throw EPNGInvalidFileHeader();

  bool imageDataSeen = false;
  for (;;) {
    std::uint8_t header[8];
    const std::size_t got = stream.Read(header);
    if (got == 0) throw EPngUnexpectedEnd();
    // A length cut short reads as its missing bytes being zero; the CRC then fails.
    std::fill(header + got, header + 8, 0);
    const std::uint32_t length = std::uint32_t{header[0]} << 24 | std::uint32_t{header[1]} << 16 |
                                 std::uint32_t{header[2]} << 8 | std::uint32_t{header[3]};
    const TChunkType type = {header[4], header[5], header[6], header[7]};
    CheckChunkLength(length);
    if (chunks_.empty() && !IsType(type, "IHDR")) throw EPNGIHDRNotFirst();

    // Later IDAT chunks were consumed by the first one's decoding, or lie past a gap; chromaticities
    // are never used. Both are passed over unchecked.
    if ((imageDataSeen && IsType(type, "IDAT")) || IsType(type, "cHRM")) {
      stream.Skip(std::uint64_t{length} + 4);
      continue;
    }
    if (IsType(type, "IDAT")) imageDataSeen = true;
    chunks_.push_back(ChunkForType(*this, type));
    TChunk& chunk = *chunks_.back();
    if (IsUnknownCritical(chunk, type)) throw EPNGUnknownCriticalChunk();
    if (!chunk.ReadChunk(stream, type, length)) break;
    if (IsType(type, "IEND")) break;
  }
  if (!imageDataSeen) throw EPNGNoImageData();
}

TTransparencyKind TPNGObject::TransparencyKind() const {
  const TChunkIHDR& header = HeaderChunk();
  const TChunktRNS* trns = FirstOfClass<TChunktRNS>();
  switch (header.ColourType) {
    case 0:
    case 2: return trns ? TTransparencyKind::KeyTransparency : TTransparencyKind::NoTransparency;
    case 3:
      if (!trns) return TTransparencyKind::NoTransparency;
      return trns->SingleKey ? TTransparencyKind::KeyTransparency : TTransparencyKind::AlphaTransparency;
    case 4:
    case 6: return TTransparencyKind::AlphaTransparency;
  }
  return TTransparencyKind::NoTransparency;
}

Color TPNGObject::KeyColour() const {
  const TChunktRNS* trns = FirstOfClass<TChunktRNS>();
  if (!trns) return {};
  const auto body = trns->Body();
  // Bytes the body does not have read as 0.
  auto at = [&](std::size_t i) -> std::uint8_t { return i < body.size() ? body[i] : 0; };
  switch (HeaderChunk().ColourType) {
    case 0: return {at(0), at(0), at(0)};
    case 2: return {at(1), at(3), at(5)};
    case 3: {
      const TChunkPLTE* palette = FirstOfClass<TChunkPLTE>();
      if (!palette) return {};
      for (std::uint32_t i = 0; i < body.size(); ++i)
        if (trns->AlphaByIndex[i] == 0) return palette->PaletteEntry(i);
      return {};
    }
  }
  return {};
}

void RegisterPngFormat(TFileFormatsList& list) {
  list.Add("PNG", "Portable Network Graphics", TPNGObject::Class());
}

void UnregisterPngFormat(TFileFormatsList& list) { list.Remove(TPNGObject::Class()); }
