#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "imaging/Color.h"

class Canvas;
class TBitmap;
class TGraphic;
class TPictureStream;

// A picture that cannot be read: unknown extension, bad data, unsupported variant.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A picture whose size is beyond the limits of Limits.h.
class EPictureTooLarge : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

// The identity of a picture kind, so that the format registry can name a kind, make an object
// of it, and ask whether one kind derives from another. Every kind has exactly one such
// descriptor, returned by its static Class().
struct TGraphicClass {
  std::string_view name;
  const TGraphicClass* parent = nullptr;
  // Makes a new, empty picture of this kind; null for the abstract root.
  std::unique_ptr<TGraphic> (*create)() = nullptr;

  bool InheritsFrom(const TGraphicClass& ancestor) const {
    for (const TGraphicClass* kind = this; kind; kind = kind->parent)
      if (kind == &ancestor) return true;
    return false;
  }

  // The descriptor of a concrete kind T deriving from the kind `parent`.
  template <class T>
  static TGraphicClass Of(std::string_view name, const TGraphicClass& parent) {
    return TGraphicClass{name, &parent, []() -> std::unique_ptr<TGraphic> { return std::make_unique<T>(); }};
  }
};

// Root of the picture kinds: a picture with a size that can be read from a file, drawn
// stretched onto a canvas, and copied into a raster.
class TGraphic {
 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  virtual ~TGraphic() = default;

  static const TGraphicClass& Class();
  virtual const TGraphicClass& ClassType() const = 0;

  // Size in pixels as the picture would be drawn now (for JPEG: at the current scale).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() == 0 || Height() == 0; }

  // Draws the whole picture into `rect` of the canvas, stretched or shrunk to fill it.
  virtual void DrawStretched(Canvas& canvas, const Rect& rect) = 0;

  // Reads the picture from the stream's current position. Each kind reads its own format.
  virtual void ReadPictureStream(TPictureStream& stream) = 0;
  // Reads the whole file at `path` and hands it to ReadPictureStream from its first byte.
  void ReadPictureFile(const std::string& path);

  // Makes `target` an independent raster copy of this picture (TBitmap::CopyToBitmap).
  virtual void AssignTo(TBitmap& target) = 0;
};

// The body of ClassType() in every concrete kind: its own static descriptor.
#define VERRELUNE_GRAPHIC_CLASS_TYPE \
  const TGraphicClass& ClassType() const override { return Class(); }
