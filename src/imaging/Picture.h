#pragma once

#include <memory>
#include <string>

#include "imaging/FileFormats.h"
#include "imaging/Graphic.h"

// Holds one picture, loaded from a file by the reader its extension names in the registry.
class TPicture {
 public:
  explicit TPicture(const TFileFormatsList& formats = FileFormats()) : formats_(&formats) {}

  // Reads the file with a new reader object of the kind registered for its extension and, on
  // success, keeps it in place of the previous picture. On any failure (unknown extension,
  // file not readable, bad data) the error propagates and the previous picture stays.
  void LoadPicture(const std::string& path);

  // The picture held, or null.
  TGraphic* Graphic() const { return graphic_.get(); }
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

 private:
  const TFileFormatsList* formats_;
  std::unique_ptr<TGraphic> graphic_;
};
