#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/FileFormats.h"
#include "imaging/Graphic.h"
#include "png/Chunks.h"
#include "png/PNGErrors.h"

// How a PNG picture lets the background show through when drawn.
enum class TTransparencyKind { NoTransparency, KeyTransparency, AlphaTransparency };

// A PNG picture: the chunks of the file, in file order, with the decoded image held by the
// header chunk. Reading checks every chunk's CRC and decodes the image data as it goes;
// drawing blends or colour-keys the picture when it carries transparency.
class TPNGObject : public TGraphic {
 public:
  TPNGObject();
  ~TPNGObject() override;

  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE

  int Width() const override;
  int Height() const override;

  void ReadPictureStream(TPictureStream& stream) override;
  void DrawStretched(Canvas& canvas, const Rect& rect) override;
  // Copies the colours (not the alpha) into `target`, in the Device layout; a colour-keyed
  // picture makes the bitmap transparent with its key colour.
  void AssignTo(TBitmap& target) override;

  // The chunks read, in file order (the header first after a successful read).
  std::span<const std::unique_ptr<TChunk>> ChunkList() const { return chunks_; }
  // Drops every chunk and resets the gamma tables; every read starts with it.
  void ClearChunks();
  bool HasHeader() const;
  // Raises EPNGHeaderNotPresent without one.
  TChunkIHDR& HeaderChunk() const;

  // The first chunk of class T (or derived from it), or null.
  template <class T>
  T* FirstOfClass() const {
    for (const auto& chunk : chunks_)
      if (auto* found = dynamic_cast<T*>(chunk.get())) return found;
    return nullptr;
  }

  TTransparencyKind TransparencyKind() const;
  Color KeyColour() const;

  // Copy of the header's interlace method (0 none, 1 Adam7).
  std::uint8_t InterlaceKind = 0;
  // Gamma correction applied to each colour sample as it is decoded, and its inverse.
  std::array<std::uint8_t, 256> SampleGamma{};
  std::array<std::uint8_t, 256> SampleGammaInverse{};

 private:
  void AlphaBlend(Canvas& canvas, const Rect& rect);

  std::vector<std::unique_ptr<TChunk>> chunks_;
};

// Start-up and end code of the PNG module: the "png" entry of the format registry, which is
// registered after every other reader.
void RegisterPngFormat(TFileFormatsList& list = FileFormats());
void UnregisterPngFormat(TFileFormatsList& list = FileFormats());
