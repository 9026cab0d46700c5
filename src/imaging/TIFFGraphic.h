#pragma once

#include "imaging/Bitmap.h"

// TIFF pictures: the first image of the file, in either byte order, stored in strips or tiles
// of interleaved samples, uncompressed, LZW, PackBits or Deflate, with or without horizontal
// differencing. Grey and palette pictures of 1, 4, 8 and 16 bits become Indexed1, Indexed4 or
// Indexed8; RGB becomes Bgr24, or Bgrx32 with an alpha sample; CMYK and CIE L*a*b* become Bgr24.
//
// Every field of the file is untrusted: sizes are computed in 64 bits and checked against the
// picture size limit and the file before anything is allocated, and rows the file's data does
// not reach stay zero. Variants the reader cannot show as they are meant (separate sample
// planes, YCbCr, depths and sample counts outside the list above) fail with an error naming
// them, rather than becoming a wrong picture.
class TTIFFGraphic : public TBitmap {
 public:
  TTIFFGraphic() { SetPixelLayout(PixelLayout::Bgr24); }

  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE

  void ReadPictureStream(TPictureStream& stream) override;
};
