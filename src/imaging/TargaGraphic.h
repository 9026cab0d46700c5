#pragma once

#include <string>

#include "imaging/Bitmap.h"

// Truevision Targa pictures: colour-mapped, true-colour and grey images, uncompressed or
// run-length, 8, 15, 16, 24 or 32 bits per pixel, stored bottom-up or top-down, left to right
// or right to left. Pixels keep the file's own layout: Indexed8, Rgb15, Bgr24 or Bgrx32; grey
// pictures of 16 bits (grey and alpha) keep their grey byte in Indexed8.
class TTargaGraphic : public TBitmap {
 public:
  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE

  // Raises Exception "Targa: invalid image" when uncompressed pixel data is cut short,
  // EReadError ("Erreur de lecture du flux") when the file ends inside its header, text or
  // colour map, EPictureTooLarge beyond the size limit. Other image types and pixel depths
  // give a black picture of the header's size; run-length data cut short leaves black rows.
  void ReadPictureStream(TPictureStream& stream) override;

  // The file's image identification text.
  const std::string& IdentificationText() const { return identification_; }

 private:
  std::string identification_;
};
