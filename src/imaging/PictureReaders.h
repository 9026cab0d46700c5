#pragma once

#include "imaging/Bitmap.h"
#include "imaging/FileFormats.h"
#include "imaging/GIFGraphic.h"
#include "imaging/Graphic.h"
#include "imaging/TargaGraphic.h"

// Reader kinds the registry names. The Targa and GIF readers have headers of their own; the
// TIFF reader, whose files the catalogue offers, is a raster reader in the making: until it is
// written it refuses every file. The others are formats the catalogue never offers; they
// refuse every file for good.

// Common body of the kinds that refuse every file.
class TUnsupportedBitmap : public TBitmap {
 public:
  void ReadPictureStream(TPictureStream& stream) override;
};

#define VERRELUNE_UNSUPPORTED_BITMAP(Name)   \
  class Name : public TUnsupportedBitmap {   \
   public:                                   \
    static const TGraphicClass& Class();     \
    VERRELUNE_GRAPHIC_CLASS_TYPE             \
  };

VERRELUNE_UNSUPPORTED_BITMAP(TTIFFGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TSGIGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TPCXGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TAutodeskGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TPCDGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TPPMGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TCUTGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TRLAGraphic)
VERRELUNE_UNSUPPORTED_BITMAP(TPSDGraphic)

#undef VERRELUNE_UNSUPPORTED_BITMAP

// Vector and icon kinds of the platform: registered, never offered, never read.
class TUnsupportedGraphic : public TGraphic {
 public:
  int Width() const override { return 0; }
  int Height() const override { return 0; }
  void DrawStretched(Canvas&, const Rect&) override {}
  void ReadPictureStream(TPictureStream& stream) override;
  void AssignTo(TBitmap& target) override;
};

class TMetafile : public TUnsupportedGraphic {
 public:
  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE
};

class TIcon : public TUnsupportedGraphic {
 public:
  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE
};

// Start-up and end code of the picture-reader module: entries 7 to 34 of the registry
// ("win" ... "bw"), and their removal in the module's order, which leaves "rle" and "dib".
void RegisterPictureReaders(TFileFormatsList& list = FileFormats());
void UnregisterPictureReaders(TFileFormatsList& list = FileFormats());
