#pragma once

#include "imaging/Bitmap.h"

// GIF pictures (GIF87a and GIF89a): the first image of the file, at its own size, in
// Indexed8 with its colour table (the local one, else the global one). Animation,
// transparency, frame offsets and the background colour are not used.
class TGIFGraphic : public TBitmap {
 public:
  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE

  // Raises Exception "Not a valid GIF file." for a wrong signature, EReadError ("Erreur de
  // lecture du flux") for a file that ends before the image data, "GIF LZW: invalid opcode."
  // for corrupt data, EPictureTooLarge beyond the size limit. Image data that ends early
  // leaves the rest of the picture at index 0; a file without any image, or an image of width
  // or height 0 on a screen of the same, gives an empty picture.
  void ReadPictureStream(TPictureStream& stream) override;
};
