#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/Exception.h"
#include "imaging/Bitmap.h"
#include "imaging/FileFormats.h"
#include "imaging/Graphic.h"

// A failure reported by the JPEG library, or a JPEG beyond our limits.
class EJPEG : public Exception {
 public:
  using Exception::Exception;
};

struct JpegSession;

// The decoding scale of a JPEG picture: full size or 1/2, 1/4, 1/8.
enum class TJPEGScale { FullSize, Half, Quarter, Eighth };

// A JPEG picture. Loading keeps the compressed file in memory and reads only its header (size,
// colour space, progressive or not); the pixels are decoded on first use (drawing, copying,
// Bitmap()) at the current scale into a TBitmap: Bgr24 for colour pictures (YCbCr, RGB, and
// CMYK or YCCK through the printing inks' rule, inverted samples undone for Adobe's files),
// Indexed8 with at most 236 grey levels for greyscale ones.
class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;

  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE

  // The size at the current scale, known from the header alone.
  int Width() const override;
  int Height() const override;

  TJPEGScale JpegScale() const { return scale_; }
  // A different scale drops the decoded pixels; the next use decodes again.
  void SetJpegScale(TJPEGScale scale);

  bool Grayscale() const { return grayscale_; }
  bool ProgressiveEncoding() const { return progressive_; }
  bool Decoded() const { return bitmap_ != nullptr; }

  // The decoded picture at the current scale, decoding it first if needed. Raises EJPEG.
  const TBitmap& Bitmap();

  void DrawStretched(Canvas& canvas, const Rect& rect) override;
  void ReadPictureStream(TPictureStream& stream) override;
  void AssignTo(TBitmap& target) override;

 private:
  TBitmap& DecodedBitmap();

  struct Size {
    int width = 0;
    int height = 0;
  };

  // The compressed file, shared with the buffer it was read from when that can be kept.
  std::shared_ptr<const void> dataOwner_;
  std::span<const std::uint8_t> data_;
  // The library's state after reading the header at load, used by the first decoding so that
  // the header is not parsed twice.
  std::unique_ptr<JpegSession> session_;
  std::array<Size, 4> sizes_{};  // by TJPEGScale
  bool grayscale_ = false;
  bool progressive_ = false;
  TJPEGScale scale_ = TJPEGScale::FullSize;
  std::unique_ptr<TBitmap> bitmap_;
};

// Start-up and end code of the JPEG module: the "jpeg" and "jpg" entries of the registry.
void RegisterJpegFormats(TFileFormatsList& list = FileFormats());
void UnregisterJpegFormats(TFileFormatsList& list = FileFormats());
