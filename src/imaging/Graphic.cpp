#include "imaging/Graphic.h"

#include "imaging/PictureStream.h"

const TGraphicClass& TGraphic::Class() {
  static const TGraphicClass root{"TGraphic", nullptr, nullptr};
  return root;
}

void TGraphic::ReadPictureFile(const std::string& path) {
  const TFileBytes file = ReadPictureFileBytes(path);
  TPictureStream stream(file.Bytes());
  ReadPictureStream(stream);
}
